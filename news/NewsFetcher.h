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

    // Gives up when nothing has arrived for `idleTimeout`, when the whole
    // exchange takes longer than `totalTimeout`, or when the body grows beyond
    // `maxBytes`.
    NewsFetcher(std::chrono::milliseconds idleTimeout = kDefaultIdleTimeout,
                std::chrono::milliseconds totalTimeout = kDefaultTotalTimeout,
                qint64 maxBytes = kDefaultMaxBytes);

    // The body that a GET of `url` returns, whatever the response's status.
    // Nothing when the address cannot be opened: no network, an unknown host,
    // a refused or reset connection, or no response in time. Throws
    // std::runtime_error when it fails after the response has begun: the body
    // breaks off, stalls, is late or is too large.
    std::optional<std::string> get(const QUrl& url) const;

private:
    std::chrono::milliseconds m_idleTimeout;
    std::chrono::milliseconds m_totalTimeout;
    qint64 m_maxBytes;
};
