#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

// A web server on 127.0.0.1 for the tests. It answers each request with the
// next of its canned raw responses and closes the connection, or goes on
// sending a piece without end. A request with
// no response left gets no answer, or has its connection closed. A connection
// still open after kIdleLimitMs fails the test and is closed, so that a client
// that would wait for ever cannot hang it.
class CannedHttpServer : public QObject
{
public:
    static constexpr int kIdleLimitMs = 15000;

    CannedHttpServer();

    quint16 port() const { return m_server.serverPort(); }
    QUrl url() const;

    // A complete "200 OK" response carrying `body`.
    static QByteArray ok(const QByteArray& body);
    // An address on this machine where nothing listens, so that a fetch is refused at once.
    static QUrl refusedUrl();

    QList<QByteArray> responses;
    bool closeAfterAnswer = true;
    bool hangUpWhenOutOfResponses = false;
    // When set, sent again and again after each answer for as long as the
    // client reads, instead of closing the connection.
    QByteArray repeatAfterAnswer;
    QList<QByteArray> requests;      // the head of each request, in order
    std::function<void()> onRequest; // called before each request is answered

private:
    void serve(QTcpSocket* socket);

    QTcpServer m_server;
};
