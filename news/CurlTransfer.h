#pragma once

#include <QEventLoop>
#include <QTimer>

#include <curl/curl.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

// Runs one libcurl transfer inside a Qt event loop that takes no user input:
// the windows go on repainting while it waits, and other Qt sockets of the
// same thread keep working. libcurl tells which sockets to watch and when to
// call it again; Qt's socket notifiers and a timer do the waiting.
class CurlTransfer
{
public:
    // `easy` is set up by the caller and stays the caller's.
    explicit CurlTransfer(CURL* easy);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Runs the transfer to its end and gives libcurl's result; nothing when
    // stop() ended it first.
    std::optional<CURLcode> run();
    // Ends run() at once. For timers and signal handlers, not for libcurl's callbacks.
    void stop();

private:
    static int watchSocket(CURL*, curl_socket_t socket, int what, void* self, void*);
    static int setTimer(CURLM*, long timeoutMs, void* self);
    void act(curl_socket_t socket, int events);

    struct Watch
    {
        std::unique_ptr<QSocketNotifier> in, out;
    };

    CURL* m_easy;
    CURLM* m_multi;
    QEventLoop m_loop;
    QTimer m_timer;
    std::map<curl_socket_t, Watch> m_watches;
    // Notifiers of sockets that libcurl let go; one of them may be the sender
    // of the signal being handled, so they are deleted only at the end.
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired;
    std::optional<CURLcode> m_result;
    bool m_stopped = false;
};
