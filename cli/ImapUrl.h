#pragma once

#include <string>

// An IMAP mailbox named by its URL: imaps://[USER@]HOST[:PORT]/MAILBOX, over
// TLS from the start, or imap://... for a server that turns to TLS with
// STARTTLS. The user and the mailbox may hold %XX escapes; an empty mailbox
// is INBOX.
struct ImapUrl
{
    bool tls = true; // imaps
    std::string user;
    std::string host; // as written, with [ ] around an IPv6 address
    std::string port; // empty for the scheme's own
    std::string mailbox;

    // Whether `text` is written as an IMAP URL (rather than a file name).
    static bool isImap(const std::string& text);
    // Reads an IMAP URL; returns an empty string, or what is wrong with it.
    static std::string parse(const std::string& text, ImapUrl& url);

    // "imaps://HOST[:PORT]", where libcurl connects.
    std::string server() const;
    // "imaps://HOST[:PORT]/MAILBOX", to name the mailbox in messages and in a
    // message's source.
    std::string name() const;
    // "imaps://USER@HOST[:PORT]/MAILBOX": the mailbox of that user, for good.
    std::string key() const;

    // Percent-encodes what a URL's path or user may not hold as it is.
    static std::string encode(const std::string& text);
};
