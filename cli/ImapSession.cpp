#include "ImapSession.h"

#include "files/FileError.h"
#include "files/FileReader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kIdleSeconds = 120;
constexpr long kConnectSeconds = 30;
constexpr std::size_t kMaxLine = 1024 * 1024;
constexpr std::size_t kRead = 64 * 1024;

bool isLoopback(const std::string& host)
{
    return host == "localhost" || host.rfind("127.", 0) == 0 || host == "[::1]";
}

bool startsWithNoCase(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() &&
           std::equal(start.begin(), start.end(), text.begin(),
                      [](char a, char b) { return std::toupper(a) == std::toupper(b); });
}

// A number of IMAP's, up to 2^32 - 1; false where there is none.
bool number(std::string_view text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(c); }))
        return false;
    const unsigned long long n = std::stoull(std::string(text));
    if (n > 0xFFFFFFFFull)
        return false;
    value = static_cast<std::uint32_t>(n);
    return true;
}

} // namespace

std::string ImapSession::readPasswordFile(const std::string& path)
{
    FileReader in(path);
    struct stat st
    {
    };
    if (::fstat(in.handle(), &st) != 0)
        throw FileError::fromErrno("read", path, errno);
    if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
        throw FileError("read", path,
                        std::string("a password file must be yours and readable by you alone, "
                                    "and this one is ") +
                            (st.st_uid != ::geteuid() ? "another user's" : "open to others") +
                            " (mode " + mode + "): chmod 600 it");
    }
    std::string text;
    char buffer[4096];
    while (const std::size_t got = in.read(buffer, sizeof buffer)) {
        text.append(buffer, got);
        if (text.find('\n') != std::string::npos || text.size() > 64 * 1024)
            break;
    }
    std::memset(buffer, 0, sizeof buffer);
    text.erase(std::min(text.find('\n'), text.size()));
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.empty())
        throw FileError("read", path, "the password file's first line is empty");
    return text;
}

ImapSession::ImapSession(const ImapUrl& url, const Login& login)
    : m_url(url), m_name(url.name()), m_lib(CurlLibrary::open()),
      m_curl(m_lib ? m_lib->easyInit() : nullptr)
{
    try {
        connect(url, login);
    } catch (...) {
        if (m_curl)
            m_lib->easyCleanup(m_curl);
        throw;
    }
}

void ImapSession::connect(const ImapUrl& url, const Login& login)
{
    if (!m_lib)
        fail("libcurl cannot be opened: " + CurlLibrary::error());
    if (!m_curl)
        fail("libcurl cannot start");
    std::string password;
    if (!login.passwordFile.empty())
        password = readPasswordFile(login.passwordFile);
    const std::string server = url.server() + "/";
    m_lib->easySetopt(m_curl, CURLOPT_URL, server.c_str());
    m_lib->easySetopt(m_curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
    m_lib->easySetopt(m_curl, CURLOPT_CONNECT_ONLY, 1L);
    m_lib->easySetopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    m_lib->easySetopt(m_curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    m_lib->easySetopt(m_curl, CURLOPT_ERRORBUFFER, m_error);
    if (!url.user.empty())
        m_lib->easySetopt(m_curl, CURLOPT_USERNAME, url.user.c_str());
    if (!password.empty()) {
        m_lib->easySetopt(m_curl, CURLOPT_PASSWORD, password.c_str()); // libcurl keeps a copy
        std::fill(password.begin(), password.end(), '\0');
    } else {
        m_lib->easySetopt(m_curl, CURLOPT_NETRC, long(CURL_NETRC_OPTIONAL));
    }
    // imap:// turns to TLS before the login; only on this machine may a
    // server that cannot be asked to go without it.
    if (!url.tls)
        m_lib->easySetopt(m_curl, CURLOPT_USE_SSL,
                          long(isLoopback(url.host) ? CURLUSESSL_TRY : CURLUSESSL_ALL));
    if (!login.caCert.empty())
        m_lib->easySetopt(m_curl, CURLOPT_CAINFO, login.caCert.c_str());
    const CURLcode code = m_lib->easyPerform(m_curl);
    if (code != CURLE_OK)
        fail(loginFailure(code));
    if (m_lib->easyGetinfo(m_curl, CURLINFO_ACTIVESOCKET, &m_socket) != CURLE_OK ||
        m_socket == CURL_SOCKET_BAD)
        fail("the connection was lost after the login");
    m_healthy = true;
}

ImapSession::~ImapSession()
{
    if (m_healthy) {
        // A polite end; the answer is not waited for.
        const std::string logout = "F" + std::to_string(++m_tag) + " LOGOUT\r\n";
        std::size_t sent = 0;
        m_lib->easySend(m_curl, logout.data(), logout.size(), &sent);
    }
    if (m_curl)
        m_lib->easyCleanup(m_curl);
}

std::string ImapSession::loginFailure(CURLcode code) const
{
    const std::string detail = m_error[0] ? std::string(m_error) : m_lib->easyStrerror(code);
    switch (code) {
    case CURLE_LOGIN_DENIED:
        return "the server refused the login: the user name or the password (from " +
               std::string("--password-file or ~/.netrc) is wrong");
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        return "the server's certificate does not verify (" + detail +
               "); for a private certificate authority give --cacert FILE";
    case CURLE_USE_SSL_FAILED:
        return "the server offers no STARTTLS, and the password is not sent without TLS: use "
               "imaps://";
    default:
        return "cannot log in: " + detail;
    }
}

void ImapSession::fail(const std::string& reason)
{
    m_healthy = false;
    throw FileError("read", m_name, reason);
}

void ImapSession::wait(short events)
{
    pollfd p{static_cast<int>(m_socket), events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, kIdleSeconds * 1000);
        if (n > 0)
            return;
        if (n == 0)
            fail("the server sent nothing for " + std::to_string(kIdleSeconds) + " s");
        if (errno != EINTR)
            fail(std::string("waiting for the server failed: ") + std::strerror(errno));
    }
}

void ImapSession::send(const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        std::size_t sent = 0;
        const CURLcode code =
            m_lib->easySend(m_curl, text.data() + done, text.size() - done, &sent);
        if (code == CURLE_AGAIN) {
            wait(POLLOUT);
            continue;
        }
        if (code != CURLE_OK)
            fail(std::string("the connection was lost: ") + m_lib->easyStrerror(code));
        done += sent;
    }
}

// Reads more of what the server sends, waiting for it.
void ImapSession::fill()
{
    if (m_at > 0) {
        m_in.erase(0, m_at);
        m_at = 0;
    }
    const std::size_t had = m_in.size();
    m_in.resize(had + kRead);
    for (;;) {
        std::size_t got = 0;
        const CURLcode code = m_lib->easyRecv(m_curl, m_in.data() + had, kRead, &got);
        if (code == CURLE_AGAIN) {
            wait(POLLIN);
            continue;
        }
        m_in.resize(had + got);
        if (code != CURLE_OK)
            fail(std::string("the connection was lost: ") + m_lib->easyStrerror(code));
        if (got == 0)
            fail("the server closed the connection");
        return;
    }
}

std::string ImapSession::readLine()
{
    for (std::size_t searched = m_at;;) {
        const std::size_t end = m_in.find('\n', searched);
        if (end != std::string::npos) {
            std::string line = m_in.substr(m_at, end - m_at);
            m_at = end + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (m_in.size() - m_at > kMaxLine)
            fail("the server sent a line of more than 1 MiB");
        const std::size_t have = m_in.size() - m_at;
        fill();
        searched = m_at + have;
    }
}

bool ImapSession::nextStartsWith(std::string_view start)
{
    while (m_in.size() - m_at < start.size()) {
        if (m_in.find('\n', m_at) != std::string::npos)
            break;
        fill();
    }
    return startsWithNoCase(std::string_view(m_in).substr(m_at), start);
}

void ImapSession::readLiteral(std::size_t size, const std::function<void(std::string_view)>& piece)
{
    while (size > 0) {
        if (m_at == m_in.size())
            fill();
        const std::size_t take = std::min(size, m_in.size() - m_at);
        piece(std::string_view(m_in).substr(m_at, take));
        m_at += take;
        size -= take;
    }
}

bool ImapSession::literalAtEnd(const std::string& line, std::size_t& size)
{
    if (line.empty() || line.back() != '}')
        return false;
    const std::size_t open = line.rfind('{');
    std::uint32_t n = 0;
    if (open == std::string::npos || !number(line.substr(open + 1, line.size() - open - 2), n))
        return false;
    size = n;
    return true;
}

// A "* SEARCH" line, read number by number: the line of a large mailbox is
// long, and only the runs of its UIDs are kept.
void ImapSession::readSearch(Uids& uids)
{
    m_at += std::strlen("* SEARCH");
    std::uint64_t value = 0;
    bool digits = false;
    const auto take = [&] {
        if (!digits)
            return;
        if (value == 0 || value > 0xFFFFFFFFull)
            fail("the server's search result holds a UID that cannot be");
        const auto uid = static_cast<std::uint32_t>(value);
        if (!uids.empty() && uids.back().second + 1 == uid)
            uids.back().second = uid;
        else
            uids.emplace_back(uid, uid);
        value = 0;
        digits = false;
    };
    for (;;) {
        if (m_at == m_in.size())
            fill();
        const char c = m_in[m_at++];
        if (c >= '0' && c <= '9') {
            value = value * 10 + std::uint64_t(c - '0');
            digits = true;
            if (value > 0xFFFFFFFFull)
                fail("the server's search result holds a UID that cannot be");
            continue;
        }
        take();
        if (c == '\n')
            break;
        if (c == '(') {
            // "(MODSEQ n)" after the UIDs: the rest of the line is not UIDs.
            readLine();
            break;
        }
    }
    // UIDs come in any order; runs are put in order and joined.
    std::sort(uids.begin(), uids.end());
    Uids joined;
    for (const auto& run : uids) {
        if (!joined.empty() && run.first <= joined.back().second + 1)
            joined.back().second = std::max(joined.back().second, run.second);
        else
            joined.push_back(run);
    }
    uids.swap(joined);
}

// One "* N FETCH (...)" response, from `at` in its first line: its items
// are read one by one, and the message of BODY[] goes to `fetched` as it
// arrives.
void ImapSession::readFetch(std::string line, std::size_t at, Fetched& fetched)
{
    std::uint32_t uid = 0;
    bool body = false;
    const auto malformed = [&] { fail("the server's FETCH response cannot be read: " + line); };
    for (;;) {
        while (at < line.size() && line[at] == ' ')
            ++at;
        if (at >= line.size())
            malformed();
        if (line[at] == ')')
            break;
        // The item's name, with its [section].
        const std::size_t nameStart = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '(' && line[at] != ')') {
            if (line[at] == '[') {
                const std::size_t close = line.find(']', at);
                if (close == std::string::npos)
                    malformed();
                at = close;
            }
            ++at;
        }
        const std::string name = line.substr(nameStart, at - nameStart);
        while (at < line.size() && line[at] == ' ')
            ++at;
        if (at >= line.size())
            malformed();
        std::size_t size = 0;
        if (line[at] == '{' && literalAtEnd(line, size) && line.rfind('{') == at) {
            const bool message = startsWithNoCase(name, "BODY[]") && name.size() == 6;
            if (message) {
                fetched.begin();
                body = true;
            }
            readLiteral(size, [&](std::string_view bytes) {
                if (message)
                    fetched.piece(bytes);
            });
            line = readLine();
            at = 0;
            continue;
        }
        if (line[at] == '"') {
            for (++at; at < line.size() && line[at] != '"'; ++at)
                if (line[at] == '\\')
                    ++at;
            ++at;
        } else if (line[at] == '(') {
            int depth = 0;
            do {
                if (line[at] == '(')
                    ++depth;
                else if (line[at] == ')')
                    --depth;
                ++at;
            } while (at < line.size() && depth > 0);
        } else {
            const std::size_t valueStart = at;
            while (at < line.size() && line[at] != ' ' && line[at] != ')')
                ++at;
            if (startsWithNoCase(name, "UID") && name.size() == 3 &&
                !number(line.substr(valueStart, at - valueStart), uid))
                malformed();
        }
    }
    if (body) {
        if (uid == 0)
            fail("the server sent a message without its UID");
        fetched.end(uid);
    }
}

// Sends one command and reads what the server answers, up to the answer
// tagged as the command was. Each untagged line goes to `untagged`, which
// returns whether it took it (and any literal it announces); the rest are
// passed over, but for the UIDs of a search, which go to `found`. Returns
// the text of the tagged OK; a NO or a BAD fails.
std::string ImapSession::command(const std::string& text, const char* doing,
                                 const std::function<bool(std::string& line)>& untagged,
                                 Uids* found)
{
    return finish(start(text), doing, untagged, found);
}

std::string ImapSession::start(const std::string& text)
{
    std::string tag = "F" + std::to_string(++m_tag);
    send(tag + " " + text + "\r\n");
    return tag;
}

std::string ImapSession::finish(const std::string& tag, const char* doing,
                                const std::function<bool(std::string& line)>& untagged, Uids* found)
{
    for (;;) {
        // A search's line is read as it streams in, not whole.
        if (found && nextStartsWith("* SEARCH")) {
            readSearch(*found);
            continue;
        }
        std::string line = readLine();
        if (line.rfind(tag + " ", 0) == 0) {
            const std::string status = line.substr(tag.size() + 1, 3);
            const std::string rest = line.substr(std::min(line.size(), tag.size() + 4));
            if (startsWithNoCase(status, "OK "))
                return rest;
            fail(std::string(doing) +
                 ": the server answered: " + line.substr(std::min(line.size(), tag.size() + 1)));
        }
        if (startsWithNoCase(line, "* BYE"))
            fail("the server ended the session: " +
                 line.substr(std::min<std::size_t>(6, line.size())));
        if (startsWithNoCase(line, "+")) {
            m_healthy = false;
            fail(std::string(doing) + ": the server asks for more of the command");
        }
        if (untagged && untagged(line))
            continue;
        // Passed over, and so is any literal it announces.
        std::size_t size = 0;
        while (literalAtEnd(line, size)) {
            readLiteral(size, [](std::string_view) {});
            line = readLine();
        }
    }
}

std::uint32_t ImapSession::examine()
{
    std::string quoted = "\"";
    for (const char c : m_url.mailbox) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::uint32_t validity = 0;
    command("EXAMINE " + quoted, "the mailbox cannot be opened", [&](std::string& line) {
        static const std::string_view kCode = "* OK [UIDVALIDITY ";
        if (!startsWithNoCase(line, kCode))
            return false;
        const std::size_t end = line.find(']', kCode.size());
        if (end == std::string::npos ||
            !number(std::string_view(line).substr(kCode.size(), end - kCode.size()), validity))
            fail("the server's UIDVALIDITY cannot be read: " + line);
        return true;
    });
    if (validity == 0)
        fail("the server gives the mailbox no UIDVALIDITY, so its messages cannot be named for "
             "good");
    return validity;
}

ImapSession::Uids ImapSession::search(const std::string& criteria)
{
    Uids uids;
    command("UID SEARCH " + criteria, "the search failed", nullptr, &uids);
    return uids;
}

void ImapSession::fetch(const std::function<std::string()>& nextSet, Fetched& fetched)
{
    const auto untagged = [&](std::string& line) {
        // "* N FETCH (": N is the message's number in the mailbox.
        if (line.size() < 2 || line[0] != '*' || line[1] != ' ')
            return false;
        std::size_t at = 2;
        while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at])))
            ++at;
        if (at == 2 || !startsWithNoCase(std::string_view(line).substr(at), " FETCH ("))
            return false;
        readFetch(line, at + std::strlen(" FETCH ("), fetched);
        return true;
    };
    // One batch more is asked for while one is read, so that the server
    // never waits for the next command.
    std::deque<std::string> tags;
    const auto ask = [&] {
        const std::string set = nextSet();
        if (!set.empty())
            tags.push_back(start("UID FETCH " + set + " (UID BODY.PEEK[])"));
    };
    ask();
    ask();
    while (!tags.empty()) {
        finish(tags.front(), "the messages cannot be fetched", untagged);
        tags.pop_front();
        ask();
    }
}
