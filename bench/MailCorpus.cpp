#include "MailCorpus.h"

#include "FormCorpus.h"

#include <glib.h>

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

} // namespace

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
