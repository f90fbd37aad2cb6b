#pragma once

#include "CurlLibrary.h"
#include "ImapUrl.h"

#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One session with an IMAP server. libcurl connects, makes the connection
// TLS (from the start for imaps://, through STARTTLS for imap://), checks the
// server's certificate and logs in, with the password from --password-file
// or else from ~/.netrc; the session then speaks the few commands it needs
// over that connection itself, so that a message of any size and any line
// length arrives whole, as the byte count of its literal says, and goes on
// to the reader piece by piece without being held in memory.
//
// Nothing of the mailbox changes: it is examined (read-only), not selected,
// and its messages are fetched with BODY.PEEK[], which sets no \Seen flag.
//
// Every failure is thrown as a FileError that names the mailbox.
class ImapSession
{
public:
    struct Login
    {
        std::string passwordFile; // empty: ~/.netrc
        std::string caCert;       // empty: the system's certificate authorities
    };

    // Takes the messages that fetch() gives, one after another.
    class Fetched
    {
    public:
        virtual ~Fetched() = default;
        virtual void begin() = 0;
        virtual void piece(std::string_view bytes) = 0;
        // The message is whole; `uid` is its UID.
        virtual void end(std::uint32_t uid) = 0;
    };

    // Runs of UIDs, [first, last], in ascending order.
    using Uids = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

    // Connects and logs in.
    ImapSession(const ImapUrl& url, const Login& login);
    ~ImapSession();
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    // Examines the URL's mailbox; returns its UIDVALIDITY.
    std::uint32_t examine();
    // UID SEARCH with `criteria` (IMAP search keys).
    Uids search(const std::string& criteria);
    // UID FETCH of the UIDs of each set that `nextSet` gives (an IMAP
    // sequence set such as 3:9,12), up to an empty one.
    void fetch(const std::function<std::string()>& nextSet, Fetched& fetched);

    // The password of a --password-file: its first line. Refuses a file that
    // anyone but its owner, the user, may read or write. Throws FileError.
    static std::string readPasswordFile(const std::string& path);

private:
    void connect(const ImapUrl& url, const Login& login);
    [[noreturn]] void fail(const std::string& reason);
    std::string loginFailure(CURLcode code) const;
    void send(const std::string& text);
    void fill();
    void wait(short events);
    std::string readLine();
    bool nextStartsWith(std::string_view start);
    void readLiteral(std::size_t size, const std::function<void(std::string_view)>& piece);
    static bool literalAtEnd(const std::string& line, std::size_t& size);
    void readSearch(Uids& uids);
    void readFetch(std::string line, std::size_t at, Fetched& fetched);
    std::string command(const std::string& text, const char* doing,
                        const std::function<bool(std::string& line)>& untagged,
                        Uids* found = nullptr);
    std::string start(const std::string& text);
    std::string finish(const std::string& tag, const char* doing,
                       const std::function<bool(std::string& line)>& untagged,
                       Uids* found = nullptr);

    ImapUrl m_url;
    std::string m_name;
    const CurlLibrary* m_lib = nullptr;
    CURL* m_curl = nullptr;
    curl_socket_t m_socket = CURL_SOCKET_BAD;
    char m_error[CURL_ERROR_SIZE] = {};
    std::string m_in; // what the server sent that is not read yet, from m_at
    std::size_t m_at = 0;
    unsigned m_tag = 0;
    bool m_healthy = false; // the connection can take a LOGOUT
};
