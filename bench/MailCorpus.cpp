#include "MailCorpus.h"

#include "FormCorpus.h"

#include <glib.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string head(unsigned number)
{
    return "From: Web Form <form@example.org>\nTo: orders@example.org\nSubject: Form posted\n"
           "Message-ID: <" +
           std::to_string(number) +
           "@example.org>\nDate: Tue, 8 Dec 2026 10:00:00 +0000\nMIME-Version: 1.0\n";
}

// A value as a browser encodes it: letters, digits and "*-._" stay, a space
// is "+", every other byte "%XX".
std::string urlEncode(std::string_view value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (g_ascii_isalnum(c) || std::string_view("*-._").find(c) != std::string_view::npos) {
            encoded += c;
        } else if (c == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 15];
        }
    }
    return encoded;
}

// An order form of about 750 bytes, as a shop's web form posts it.
std::string orderForm(std::mt19937& rng)
{
    static const char* const first[] = {"Jane", "Renée", "Jürgen", "Ana María", "Søren", "Łukasz"};
    static const char* const last[] = {"Doe", "Müller", "O'Brien", "García", "Nowak", "Smith"};
    static const char* const words[] = {
        "please", "deliver", "the",        "order",   "before", "Friday", "and",    "ring", "twice",
        "at",     "the",     "back door,", "thanks!", "size",   "café",   "(blue)", "50%",  "off?"};
    const auto pick = [&rng](const auto& list) {
        return list[std::uniform_int_distribution<std::size_t>(0, std::size(list) - 1)(rng)];
    };
    std::string comment;
    while (comment.size() < 400)
        comment += std::string(comment.empty() ? "" : " ") + pick(words);
    comment += "\r\nKind regards";
    const std::string name = std::string(pick(first)) + " " + pick(last);
    const unsigned number = std::uniform_int_distribution<unsigned>(1000, 99999)(rng);
    const std::pair<const char*, std::string> fields[] = {
        {"_charset_", "UTF-8"},
        {"name", name},
        {"email", "customer" + std::to_string(number) + "@example.com"},
        {"phone", "+44 20 7946 " + std::to_string(number % 10000)},
        {"street", std::to_string(number % 200) + " High Street, Flat 2"},
        {"city", "London"},
        {"postcode", "SW1A 1AA"},
        {"product", "Blue cup & saucer (set of 4)"},
        {"quantity", std::to_string(number % 9 + 1)},
        {"delivery", "express"},
        {"comment", comment},
        {"newsletter", "yes"},
        {"submit", "Send order"},
    };
    std::string form;
    for (const auto& [field, value] : fields)
        form += (form.empty() ? "" : "&") + std::string(field) + "=" + urlEncode(value);
    return form;
}

// Quoted-printable of an ASCII text with no line breaks: "=" is "=3D", and
// lines are cut at 76 characters with a soft break.
std::string quotedPrintable(std::string_view text)
{
    std::string encoded, line;
    for (const char c : text) {
        const std::string piece = c == '=' ? "=3D" : std::string(1, c);
        if (line.size() + piece.size() > 75) {
            encoded += line + "=\n";
            line.clear();
        }
        line += piece;
    }
    return encoded + line + "\n";
}

std::string base64Lines(std::string_view text)
{
    gchar* base64 = g_base64_encode(reinterpret_cast<const guchar*>(text.data()), text.size());
    const std::string_view all(base64);
    std::string lines;
    for (std::size_t at = 0; at < all.size(); at += 76)
        lines.append(all.substr(at, 76)).append("\n");
    g_free(base64);
    return lines;
}

} // namespace

bool WriteRealisticMbox(int fd, unsigned messages)
{
    std::mt19937 rng(20);
    std::string mail;
    for (unsigned i = 0; i < messages; ++i) {
        const std::string form = orderForm(rng);
        char id[64];
        std::snprintf(id, sizeof id, "%08X%04X", 0x5A3C0000u + i, i % 65536);
        const std::string stamp = "Tue,  8 Dec 2026 " + std::to_string(10 + i / 3600 % 10) + ":" +
                                  std::to_string(10 + i / 60 % 50) + ":" +
                                  std::to_string(10 + i % 50) + " +0000";
        mail = "From www-data@web1.example.org  Tue Dec  8 10:00:00 2026\n"
               "Return-Path: <www-data@web1.example.org>\n"
               "Delivered-To: orders@example.org\n"
               "Received: from web1.example.org (web1.example.org [192.0.2.10])\n"
               "\tby mx.example.org (Postfix) with ESMTPS id " +
               std::string(id) + "\n\tfor <orders@example.org>; " + stamp +
               " (UTC)\n"
               "Received: by web1.example.org (Postfix, from userid 33)\n\tid " +
               std::string(id) + "; " + stamp +
               " (UTC)\n"
               "To: orders@example.org\n"
               "Subject: Order form submission\n"
               "From: Web Shop <www-data@web1.example.org>\n"
               "Date: " +
               stamp + "\nMessage-ID: <" + id +
               "@web1.example.org>\n"
               "MIME-Version: 1.0\n"
               "X-Mailer: PHP/8.2.7\n";
        switch (i % 3) {
        case 0:
            mail += "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 7bit\n\n" +
                    form + "\n\n";
            break;
        case 1:
            mail += "Content-Type: text/plain; charset=UTF-8\n"
                    "Content-Transfer-Encoding: quoted-printable\n\n" +
                    quotedPrintable(form) + "\n";
            break;
        default:
            mail += "Content-Type: multipart/mixed; boundary=\"=_form" + std::string(id) +
                    "\"\n\nThis is a multi-part message in MIME format.\n\n--=_form" + id +
                    "\nContent-Type: text/plain; charset=UTF-8\n"
                    "Content-Transfer-Encoding: 7bit\n\nThe order form is attached.\n\n--=_form" +
                    id +
                    "\nContent-Type: application/x-www-form-urlencoded; name=\"POSTDATA.ATT\"\n"
                    "Content-Transfer-Encoding: base64\n"
                    "Content-Disposition: attachment; filename=\"POSTDATA.ATT\"\n\n" +
                    base64Lines(form) + "\n--=_form" + id + "--\n\n";
        }
        if (!writeAll(fd, mail))
            return false;
    }
    return true;
}

bool WriteFormMbox(int fd, std::size_t bytes)
{
    std::string mail;
    std::size_t written = 0;
    for (unsigned i = 0; written < bytes; ++i) {
        const std::string form = MakeFormCorpus(4000, i % 512 + 1);
        mail = "From form@example.org Tue Dec  8 10:00:00 2026\n" + head(i);
        if (i % 2 == 0) {
            mail += "Content-Type: text/plain\n\n" + form + "\n\n";
        } else {
            gchar* base64 =
                g_base64_encode(reinterpret_cast<const guchar*>(form.data()), form.size());
            const std::string_view all(base64);
            mail += "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
                    "Content-Type: text/plain\n\nThe form is attached.\n--b\n"
                    "Content-Type: application/x-www-form-urlencoded\n"
                    "Content-Disposition: attachment; filename=\"POSTDATA.ATT\"\n"
                    "Content-Transfer-Encoding: base64\n\n";
            for (std::size_t at = 0; at < all.size(); at += 76)
                mail.append(all.substr(at, 76)).append("\n");
            mail += "--b--\n\n";
            g_free(base64);
        }
        if (!writeAll(fd, mail))
            return false;
        written += mail.size();
    }
    return true;
}

bool WriteLongHeaderMail(int fd, std::size_t bytes)
{
    if (!writeAll(fd, head(0) + "X-Long: "))
        return false;
    const std::string chunk(1024 * 1024, 'x');
    for (std::size_t done = 0; done < bytes; done += chunk.size())
        if (!writeAll(fd, std::string_view(chunk).substr(0, bytes - done)))
            return false;
    return writeAll(fd, "\nContent-Type: text/plain\n\na=1&b=2\n");
}

bool WriteNestedMail(int fd, int depth)
{
    std::string text = head(0) + "Content-Type: multipart/mixed; boundary=b0\n\n";
    for (int i = 0; i < depth; ++i)
        text += "--b" + std::to_string(i) + "\nContent-Type: multipart/mixed; boundary=b" +
                std::to_string(i + 1) + "\n\n";
    text += "--b" + std::to_string(depth) + "\nContent-Type: text/plain\n\na=1&b=2\n";
    for (int i = depth; i >= 0; --i)
        text += "--b" + std::to_string(i) + "--\n";
    return writeAll(fd, text);
}
