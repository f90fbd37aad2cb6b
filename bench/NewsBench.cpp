// Fetches the news from a server on 127.0.0.1 that never ends its answer and
// prints, for each way of not ending, how the fetch ended, how long it took
// and the process's peak resident memory during it (VmHWM, reset before each
// case through /proc/self/clear_refs). Usage: bench_news
#include "CannedHttpServer.h"
#include "news/NewsFetcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <stdexcept>

namespace {

// The peak resident memory since the last reset, in MB; -1 when unknown.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').constFirst().toDouble() / 1024.0;
    }
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void run(const char* what, const QByteArray& start, const QByteArray& piece)
{
    CannedHttpServer server;
    server.closeAfterAnswer = false;
    server.responses = {start};
    server.repeatAfterAnswer = piece;
    resetPeak();
    const double before = peakMegabytes();
    QElapsedTimer clock;
    clock.start();
    QString outcome;
    try {
        const std::optional<std::string> body = NewsFetcher().get(server.url());
        outcome = body ? QStringLiteral("news of %1 bytes").arg(body->size())
                       : QStringLiteral("no connection (failed open)");
    } catch (const std::runtime_error& e) {
        outcome = QStringLiteral("failure: %1").arg(QString::fromLocal8Bit(e.what()));
    }
    std::printf("%-28s %8lld ms  peak %6.1f MB (%.1f MB before)  %s\n", what,
                static_cast<long long>(clock.elapsed()), peakMegabytes(), before,
                outcome.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("formtidy"));
    const QByteArray line = "X-Filler: " + QByteArray(100, 'f') + "\r\n";
    run("endless header lines", "HTTP/1.1 200 OK\r\n", line);
    run("one endless header line", "HTTP/1.1 200 OK\r\nX-Long: ", QByteArray(4096, 'h'));
    run("endless status line", "HTTP/1.1 200 ", QByteArray(4096, 's'));
    run("endless body", "HTTP/1.1 200 OK\r\n\r\n", QByteArray(4096, 'b'));
    return 0;
}
