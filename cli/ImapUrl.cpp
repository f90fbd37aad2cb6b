#include "ImapUrl.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

bool startsWithNoCase(const std::string& text, const std::string& start)
{
    return text.size() >= start.size() &&
           std::equal(start.begin(), start.end(), text.begin(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(c));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Undoes %XX escapes; false where one is not two hexadecimal digits.
bool decode(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || hexDigit(text[i + 1]) < 0 || hexDigit(text[i + 2]) < 0)
            return false;
        out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
        i += 2;
    }
    return true;
}

} // namespace

bool ImapUrl::isImap(const std::string& text)
{
    return startsWithNoCase(text, "imap://") || startsWithNoCase(text, "imaps://");
}

std::string ImapUrl::parse(const std::string& text, ImapUrl& url)
{
    url = ImapUrl();
    url.tls = startsWithNoCase(text, "imaps://");
    std::string rest = text.substr(url.tls ? 8 : 7);
    if (rest.find_first_of("?#") != std::string::npos)
        return "an IMAP URL names a mailbox only; choose its messages with --search or --since";
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? "" : rest.substr(slash + 1);
    if (path.find(';') != std::string::npos)
        return "an IMAP URL names a mailbox only (no ;UID= or ;UIDVALIDITY=)";
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        if (authority.substr(0, at).find(':') != std::string::npos)
            return "the password does not go into the URL: put it in ~/.netrc or give "
                   "--password-file";
        if (!decode(authority.substr(0, at), url.user))
            return "the user name has a % that is no %XX escape";
        authority.erase(0, at + 1);
    }
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
        url.port = authority.substr(colon + 1);
        authority.erase(colon);
        if (url.port.empty() ||
            !std::all_of(url.port.begin(), url.port.end(), [](char c) { return std::isdigit(c); }))
            return "the port is not a number";
    }
    url.host = authority;
    std::transform(url.host.begin(), url.host.end(), url.host.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    if (url.host.empty())
        return "the URL names no server";
    if (!decode(path, url.mailbox))
        return "the mailbox has a % that is no %XX escape";
    while (!url.mailbox.empty() && url.mailbox.back() == '/')
        url.mailbox.pop_back();
    if (url.mailbox.empty())
        url.mailbox = "INBOX";
    for (const char c : url.mailbox)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return "the mailbox name holds a control byte or a letter outside ASCII: give it as "
                   "the server names it (modified UTF-7, such as Entw&APw-rfe)";
    return {};
}

std::string ImapUrl::encode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || std::string_view("-._~!$&'()*+,=:/").find(c) != std::string::npos) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::string ImapUrl::server() const
{
    return std::string(tls ? "imaps://" : "imap://") + host + (port.empty() ? "" : ":" + port);
}

std::string ImapUrl::name() const
{
    return server() + "/" + encode(mailbox);
}

std::string ImapUrl::key() const
{
    std::string userPart = encode(user);
    // An "@" or ":" of the user name would end it in a URL.
    std::string escaped;
    for (const char c : userPart)
        escaped += c == ':' ? "%3A" : c == '@' ? "%40" : std::string(1, c);
    return std::string(tls ? "imaps://" : "imap://") + (user.empty() ? "" : escaped + "@") + host +
           (port.empty() ? "" : ":" + port) + "/" + encode(mailbox);
}
