#include "NewsFetcher.h"

#include "CurlTransfer.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace {

[[noreturn]] void fail(const QString& reason)
{
    throw std::runtime_error(reason.toLocal8Bit().toStdString());
}

// What the callbacks of one exchange learn and keep.
struct Exchange
{
    CURL* easy = nullptr;
    qint64 maxBytes = 0;
    std::function<void()> arrived; // called whenever bytes of a response come in
    std::string body;
    qint64 headBytes = 0;  // of the response head being read
    bool location = false; // that head names another address
    bool answered = false; // the head of the final response is complete
    bool tooLarge = false; // the body outgrew maxBytes
};

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           QByteArray::fromRawData(text.data(), qsizetype(prefix.size()))
                   .compare(QByteArray::fromRawData(prefix.data(), qsizetype(prefix.size())),
                            Qt::CaseInsensitive) == 0;
}

// Each line of each response head, the status line first and an empty line last.
std::size_t takeHeaderLine(char* data, std::size_t size, std::size_t count, void* user)
{
    Exchange& exchange = *static_cast<Exchange*>(user);
    const std::size_t length = size * count;
    exchange.arrived();
    exchange.headBytes += qint64(length);
    if (exchange.headBytes > NewsFetcher::kMaxHeaderBytes)
        return 0; // ends the transfer
    const std::string_view line(data, length);
    if (startsWithNoCase(line, "location:"))
        exchange.location = true;
    if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(exchange.easy, CURLINFO_RESPONSE_CODE, &status);
        // Neither an interim response nor a redirect that is followed: the
        // server has begun to answer the request.
        const bool redirect = status >= 300 && status < 400 && exchange.location;
        exchange.answered = status >= 200 && !redirect;
        exchange.headBytes = 0;
        exchange.location = false;
    }
    return length;
}

std::size_t takeBody(char* data, std::size_t size, std::size_t count, void* user)
{
    Exchange& exchange = *static_cast<Exchange*>(user);
    const std::size_t length = size * count;
    exchange.arrived();
    if (qint64(exchange.body.size()) + qint64(length) > exchange.maxBytes) {
        exchange.tooLarge = true;
        return 0; // ends the transfer
    }
    exchange.body.append(data, length);
    return length;
}

// The variable of the environment that libcurl takes a proxy from for an
// address with `scheme`, and that proxy; empty when none is set.
std::pair<QString, QUrl> environmentProxy(const QString& scheme)
{
    QStringList names;
    if (scheme == QLatin1String("http"))
        names << QStringLiteral("http_proxy"); // the upper-case spelling is ignored for http
    else if (scheme == QLatin1String("https"))
        names << QStringLiteral("https_proxy") << QStringLiteral("HTTPS_PROXY");
    names << QStringLiteral("all_proxy") << QStringLiteral("ALL_PROXY");
    for (const QString& name : std::as_const(names)) {
        QString value = qEnvironmentVariable(name.toLatin1().constData());
        if (value.isEmpty())
            continue;
        if (!value.contains(QLatin1String("://")))
            value.prepend(QLatin1String("http://"));
        return {name, QUrl(value)};
    }
    return {};
}

// Throws a report naming the proxy when the 407 that ended the exchange came
// from the proxy of the environment and the environment gives it no user
// name: the proxy's page would not tell the user what to do about it.
void refuseProxyWithoutCredentials(CURL* easy)
{
    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    const QUrl target(QString::fromUtf8(effective ? effective : ""));
    const auto [name, proxy] = environmentProxy(target.scheme());
    if (name.isEmpty() || !proxy.userName().isEmpty())
        return;
    if (proxy.scheme() != QLatin1String("http") && proxy.scheme() != QLatin1String("https"))
        return;
    // libcurl's default port for a proxy; no_proxy may have sent the request
    // past the proxy, and then the last connection was not to its port.
    const int port = proxy.port(proxy.scheme() == QLatin1String("https") ? 443 : 1080);
    long connectedPort = 0;
    curl_easy_getinfo(easy, CURLINFO_PRIMARY_PORT, &connectedPort);
    if (connectedPort != port)
        return;
    const QString where = QStringLiteral("%1:%2").arg(proxy.host()).arg(port);
    fail(QStringLiteral("The proxy %1 asks for a user name and password. Give them in %2, "
                        "as in http://name:password@%1/.")
             .arg(where, name));
}

} // namespace

NewsFetcher::NewsFetcher(std::chrono::milliseconds idleTimeout,
                         std::chrono::milliseconds totalTimeout, qint64 maxBytes)
    : m_idleTimeout(idleTimeout), m_totalTimeout(totalTimeout), m_maxBytes(maxBytes)
{}

std::optional<std::string> NewsFetcher::get(const QUrl& url) const
{
    static const CURLcode started = curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::unique_ptr<CURL, void (*)(CURL*)> easy(
        started == CURLE_OK ? curl_easy_init() : nullptr, curl_easy_cleanup);
    if (!easy)
        fail(QStringLiteral("The network library could not be started."));

    Exchange exchange;
    exchange.easy = easy.get();
    exchange.maxBytes = m_maxBytes;
    char error[CURL_ERROR_SIZE] = "";
    const QByteArray address = url.toEncoded();
    const QByteArray agent = QCoreApplication::applicationName().toUtf8();
    CURL* const e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, address.constData());
    curl_easy_setopt(e, CURLOPT_USERAGENT, agent.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, ""); // whatever libcurl can decode
    // The head of a proxy's tunnel is not the server's answer.
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &takeHeaderLine);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &takeBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &exchange);
    // Proxies come from the environment (http_proxy, https_proxy, no_proxy),
    // which libcurl reads itself.

    CurlTransfer transfer(e);
    QTimer idle, total;
    idle.setSingleShot(true);
    total.setSingleShot(true);
    QObject::connect(&idle, &QTimer::timeout, &idle, [&transfer] { transfer.stop(); });
    QObject::connect(&total, &QTimer::timeout, &total, [&transfer] { transfer.stop(); });
    exchange.arrived = [&idle, this] { idle.start(m_idleTimeout); };
    idle.start(m_idleTimeout);
    total.start(m_totalTimeout);
    const std::optional<CURLcode> result = transfer.run();
    idle.stop();
    total.stop();

    if (!result) { // a time-out ended it
        if (!exchange.answered)
            return std::nullopt;
        fail(QStringLiteral("The news file did not arrive in time."));
    }
    if (exchange.tooLarge)
        fail(QStringLiteral("The news file is larger than %1 bytes.").arg(m_maxBytes));
    long status = 0, tunnelStatus = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(e, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
    if ((*result == CURLE_OK && status == 407) || tunnelStatus == 407)
        refuseProxyWithoutCredentials(e);
    if (*result != CURLE_OK) {
        if (!exchange.answered)
            return std::nullopt; // the address could not be opened
        fail(QStringLiteral("Reading the news file failed: %1")
                 .arg(QString::fromLocal8Bit(error[0] ? error : curl_easy_strerror(*result))));
    }
    return std::move(exchange.body);
}
