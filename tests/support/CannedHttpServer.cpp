#include "CannedHttpServer.h"

#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

CannedHttpServer::CannedHttpServer()
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

QUrl CannedHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/news.txt").arg(port()));
}

QByteArray CannedHttpServer::ok(const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

QUrl CannedHttpServer::refusedUrl()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const quint16 port = server.serverPort();
    server.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/news.txt").arg(port));
}

void CannedHttpServer::serve(QTcpSocket* socket)
{
    socket->setParent(this);
    QTimer::singleShot(kIdleLimitMs, socket, [socket] {
        if (socket->state() == QAbstractSocket::UnconnectedState)
            return;
        ADD_FAILURE() << "a client held its connection open for " << kIdleLimitMs << " ms";
        socket->abort();
    });
    auto head = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
        head->append(socket->readAll());
        if (head->isEmpty() || !head->contains("\r\n\r\n"))
            return;
        requests << *head;
        head->clear();
        if (onRequest)
            onRequest();
        if (responses.isEmpty()) {
            if (hangUpWhenOutOfResponses)
                socket->disconnectFromHost();
            return;
        }
        socket->write(responses.takeFirst());
        if (!repeatAfterAnswer.isEmpty()) {
            // Keeps a little queued, so that the sending follows the client's reading.
            const QByteArray piece = repeatAfterAnswer;
            const auto topUp = [socket, piece] {
                while (socket->bytesToWrite() < 64 * 1024)
                    socket->write(piece);
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
            topUp();
        } else if (closeAfterAnswer) {
            socket->disconnectFromHost();
        }
    });
}
