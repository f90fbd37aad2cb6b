#include "NewsFetcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <stdexcept>

namespace {
[[noreturn]] void fail(const QString& reason)
{
    throw std::runtime_error(reason.toLocal8Bit().toStdString());
}
} // namespace

NewsFetcher::NewsFetcher(std::chrono::milliseconds idleTimeout,
                         std::chrono::milliseconds totalTimeout, qint64 maxBytes)
    : m_idleTimeout(idleTimeout), m_totalTimeout(totalTimeout), m_maxBytes(maxBytes)
{}

std::optional<std::string> NewsFetcher::get(const QUrl& url) const
{
    // The system's proxy settings: on Linux, http_proxy and no_proxy.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QCoreApplication::applicationName());
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));

    std::string body;
    bool answered = false; // the server has begun its response
    bool tooLarge = false;
    // Qt reports its own aborts as OperationCanceledError, so which limit
    // ended the fetch is kept here.
    bool timedOut = false;
    QTimer idle, total;
    idle.setSingleShot(true);
    total.setSingleShot(true);
    QEventLoop loop;

    const auto arrived = [&] {
        answered = true;
        idle.start(m_idleTimeout);
    };
    const auto take = [&] {
        const QByteArray chunk = reply->readAll();
        if (qint64(body.size()) + chunk.size() > m_maxBytes) {
            tooLarge = true;
            reply->abort();
            return;
        }
        body.append(chunk.constData(), std::size_t(chunk.size()));
    };
    const auto giveUp = [&] {
        timedOut = true;
        reply->abort();
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, arrived);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        arrived();
        take();
    });
    QObject::connect(&idle, &QTimer::timeout, &loop, giveUp);
    QObject::connect(&total, &QTimer::timeout, &loop, giveUp);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    idle.start(m_idleTimeout);
    total.start(m_totalTimeout);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    idle.stop();
    total.stop();

    if (!answered)
        return std::nullopt; // the address could not be opened
    if (!tooLarge && !timedOut && reply->isOpen())
        take();
    if (tooLarge)
        fail(QStringLiteral("The news file is larger than %1 bytes.").arg(m_maxBytes));
    if (timedOut)
        fail(QStringLiteral("The news file did not arrive in time."));
    // An error status such as 404 is not a failure: its page is the news.
    const QNetworkReply::NetworkError error = reply->error();
    const bool errorStatus =
        (error >= QNetworkReply::ContentAccessDenied &&
         error <= QNetworkReply::UnknownContentError) ||
        (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
    if (error != QNetworkReply::NoError && !errorStatus)
        fail(QStringLiteral("Reading the news file failed: %1").arg(reply->errorString()));
    return body;
}
