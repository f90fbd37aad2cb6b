#pragma once

#include <QtGlobal>

#include <chrono>
#include <optional>
#include <string>

class QUrl;

// Reads one file over HTTP for a command that has to wait for it. While it
// waits the windows go on repainting but take no input, so that no other
// command can start meanwhile; two time-outs bound the wait.
class NewsFetcher
{
public:
    static constexpr std::chrono::milliseconds kDefaultIdleTimeout{10000};
    static constexpr std::chrono::milliseconds kDefaultTotalTimeout{30000};
    static constexpr qint64 kDefaultMaxBytes = 4 * 1024 * 1024;
    // The most that the head of one response (status line and header lines)
    // may take; real servers send a few hundred bytes.
    static constexpr qint64 kMaxHeaderBytes = 64 * 1024;
    static constexpr long kMaxRedirects = 20;

    // Gives up when nothing has arrived for `idleTimeout`, when the whole
    // exchange takes longer than `totalTimeout`, or when the body grows beyond
    // `maxBytes`.
    NewsFetcher(std::chrono::milliseconds idleTimeout = kDefaultIdleTimeout,
                std::chrono::milliseconds totalTimeout = kDefaultTotalTimeout,
                qint64 maxBytes = kDefaultMaxBytes);

    // The body that a GET of `url` returns, whatever the response's status:
    // an error page is the news as much as a "200 OK" is. Redirects are
    // followed (http and https only, at most kMaxRedirects).
    //
    // Nothing when the address cannot be opened: no network, an unknown host,
    // a refused or reset connection, no response in time, a redirect that
    // leads to such an address or goes round in a loop, or a response head
    // larger than kMaxHeaderBytes.
    //
    // Throws std::runtime_error when it fails after the response has begun:
    // the body breaks off, stalls, is late or is too large. Throws as well,
    // naming the proxy, when the proxy of the system's settings asks for a
    // user name and password that those settings do not give.
    std::optional<std::string> get(const QUrl& url) const;

private:
    std::chrono::milliseconds m_idleTimeout;
    std::chrono::milliseconds m_totalTimeout;
    qint64 m_maxBytes;
};
