#include "CurlTransfer.h"

#include <QSocketNotifier>

#include <algorithm>
#include <climits>
#include <new>

CurlTransfer::CurlTransfer(CURL* easy) : m_easy(easy), m_multi(curl_multi_init())
{
    if (!m_multi)
        throw std::bad_alloc();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlTransfer::watchSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlTransfer::setTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_loop, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlTransfer::~CurlTransfer()
{
    // Removing the transfer closes its sockets, which libcurl reports through
    // watchSocket, so the notifiers go after it.
    curl_multi_remove_handle(m_multi, m_easy);
    curl_multi_cleanup(m_multi);
    m_watches.clear();
    m_retired.clear();
}

std::optional<CURLcode> CurlTransfer::run()
{
    // libcurl asks for its timer at once; the transfer starts when it fires.
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    if (!m_result && !m_stopped)
        m_loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_timer.stop();
    return m_stopped ? std::nullopt : m_result;
}

void CurlTransfer::stop()
{
    m_stopped = true;
    m_loop.quit();
}

int CurlTransfer::watchSocket(CURL*, curl_socket_t socket, int what, void* self, void*)
{
    auto* transfer = static_cast<CurlTransfer*>(self);
    auto& watches = transfer->m_watches;
    if (what == CURL_POLL_REMOVE) {
        const auto found = watches.find(socket);
        if (found != watches.end()) {
            for (std::unique_ptr<QSocketNotifier>* notifier :
                 {&found->second.in, &found->second.out}) {
                if (*notifier) {
                    (*notifier)->setEnabled(false);
                    transfer->m_retired.push_back(std::move(*notifier));
                }
            }
            watches.erase(found);
        }
        return 0;
    }
    Watch& watch = watches[socket];
    const auto ensure = [&](std::unique_ptr<QSocketNotifier>& notifier, QSocketNotifier::Type type,
                            int events) {
        if (!notifier) {
            notifier = std::make_unique<QSocketNotifier>(qintptr(socket), type);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &transfer->m_loop,
                             [transfer, socket, events] { transfer->act(socket, events); });
        }
    };
    ensure(watch.in, QSocketNotifier::Read, CURL_CSELECT_IN);
    ensure(watch.out, QSocketNotifier::Write, CURL_CSELECT_OUT);
    watch.in->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watch.out->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    return 0;
}

int CurlTransfer::setTimer(CURLM*, long timeoutMs, void* self)
{
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (timeoutMs < 0)
        transfer->m_timer.stop();
    else
        transfer->m_timer.start(int(std::min<long>(timeoutMs, INT_MAX)));
    return 0;
}

void CurlTransfer::act(curl_socket_t socket, int events)
{
    if (m_result || m_stopped)
        return;
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy) {
            m_result = message->data.result;
            m_loop.quit();
        }
    }
}
