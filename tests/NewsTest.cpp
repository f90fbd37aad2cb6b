#include "CannedHttpServer.h"
#include "WindowFixture.h"
#include "app/CommandGuard.h"
#include "app/CommandIds.h"
#include "news/CNewsDlg.h"
#include "news/FetchNews.h"
#include "news/NewsFetcher.h"

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {
const QString kNoConnection = QStringLiteral("No connection can be established.");
// Bounds a fetch that is meant to succeed; a working server never comes near it.
constexpr int kPatientMs = 10000;
} // namespace

// FetchNews against the test's own server; the dialog records its text instead
// of opening, and notes whether the wait cursor was still up by then.
class NewsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CNewsDlg::SetModalHook([this](CNewsDlg& dlg) {
            shown.push_back(dlg.m_strNews);
            waitCursorAtShow = waitCursorAtShow || QGuiApplication::overrideCursor();
            return 1;
        });
    }
    void TearDown() override { CNewsDlg::SetModalHook({}); }
    void fetch(int idleMs = kPatientMs, int totalMs = kPatientMs)
    {
        FetchNews(server.url(), NewsFetcher(std::chrono::milliseconds(idleMs),
                                            std::chrono::milliseconds(totalMs)));
    }

    FakePrompts prompts;
    CannedHttpServer server;
    std::vector<std::string> shown;
    bool waitCursorAtShow = false;
};

TEST_F(NewsTest, EveryUseShowsEachLineOfAFreshFetchEndedByCrLf)
{
    const std::pair<QByteArray, std::string> cases[] = {
        {"one line without an end", "one line without an end\r\n"},
        {"\r\n", "\r\n"},
        {"first\r\n\r\nthird\r\n", "first\r\n\r\nthird\r\n"},
        {"lf\nonly\n\n", "lf\r\nonly\r\n\r\n"},
        {"caf\xE9 \x80\n", "caf\xE9 \x80\r\n"},
    };
    int waitCursors = 0;
    server.onRequest = [&] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        waitCursors += cursor && cursor->shape() == Qt::WaitCursor;
    };
    for (const auto& [body, text] : cases) {
        server.responses = {CannedHttpServer::ok(body)};
        fetch();
        ASSERT_FALSE(shown.empty()) << body.constData();
        EXPECT_EQ(shown.back(), text);
    }
    EXPECT_EQ(shown.size(), std::size(cases));
    EXPECT_EQ(waitCursors, int(std::size(cases)));
    EXPECT_FALSE(waitCursorAtShow);
    EXPECT_TRUE(server.requests.first().startsWith("GET /news.txt HTTP/1.1\r\n"));
    EXPECT_TRUE(server.requests.first().contains("\r\nUser-Agent: formtidy\r\n"));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(NewsTest, NothingReadSaysNoConnectionInsteadOfTheDialog)
{
    server.responses = {CannedHttpServer::ok("")};
    fetch(); // an empty body
    server.hangUpWhenOutOfResponses = true;
    fetch(); // the connection closes without an answer
    server.hangUpWhenOutOfResponses = false;
    fetch(200); // no answer at all

    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
    const QUrl refused(QStringLiteral("http://127.0.0.1:%1/news.txt").arg(gone.serverPort()));
    gone.close();
    FetchNews(refused, NewsFetcher());

    EXPECT_EQ(prompts.messages, QStringList(4, kNoConnection));
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(NewsTest, AnErrorPageIsShownAsTheNews)
{
    server.responses = {"HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n"
                        "Content-Length: 10\r\n\r\nNot here.\n"};
    fetch();
    EXPECT_EQ(shown, std::vector<std::string>{"Not here.\r\n"});
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(NewsTest, ABodyThatBreaksOffStallsOrOverflowsIsAFailure)
{
    const QByteArray cutShort = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly a part";
    server.responses = {cutShort};
    EXPECT_THROW(fetch(), std::runtime_error);
    server.closeAfterAnswer = false;
    server.responses = {cutShort};
    EXPECT_THROW(fetch(kPatientMs, 200), std::runtime_error);

    server.closeAfterAnswer = true;
    // A body far larger than any news is given up on, holding no more than the limit.
    server.responses = {CannedHttpServer::ok(QByteArray(50 << 20, 'n'))};
    EXPECT_THROW(fetch(), std::runtime_error);

    server.responses = {CannedHttpServer::ok("0123456789"), CannedHttpServer::ok("0123456789+")};
    const NewsFetcher tenBytes{std::chrono::milliseconds(kPatientMs),
                               std::chrono::milliseconds(kPatientMs), 10};
    EXPECT_EQ(tenBytes.get(server.url()), std::optional<std::string>("0123456789"));
    EXPECT_THROW(tenBytes.get(server.url()), std::runtime_error);

    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(NewsTest, TheDialogShowsTheTextReadOnlyAndUnwrappedAndClosesWithEsc)
{
    CNewsDlg::SetModalHook({});
    const QByteArray longLine(300, 'x');
    server.responses = {CannedHttpServer::ok("Caf\xE9 news\r\n" + longLine)};

    // Looks at the dialog once it is up and closes it with Esc; a modal
    // window still up after five seconds is closed, so that nothing hangs.
    CNewsDlg* seen = nullptr;
    int ticks = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* news = qobject_cast<CNewsDlg*>(modal);
        if (news && news != seen) {
            seen = news;
            EXPECT_EQ(news->windowTitle(), QStringLiteral("Latest News"));
            EXPECT_EQ(news->minimumSize(), news->maximumSize());
            EXPECT_EQ(news->focusWidget(), news->GetDlgItem(IDOK));
            auto* text = qobject_cast<QPlainTextEdit*>(news->GetDlgItem(IDC_NEWS_TEXT));
            EXPECT_TRUE(text && text->isReadOnly());
            if (text) {
                EXPECT_EQ(text->toPlainText(),
                          QStringLiteral("Café news\n") + QString::fromLatin1(longLine) + "\n");
                EXPECT_GT(text->horizontalScrollBar()->maximum(), 0);
            }
            QTest::keyClick(news->focusWidget() ? news->focusWidget() : news, Qt::Key_Escape);
        } else if (modal && ++ticks > 250) {
            ADD_FAILURE() << "a modal window stayed open";
            modal->close();
        }
    });
    poll.start(20);
    fetch();
    EXPECT_NE(seen, nullptr);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

using NewsMenuTest = WindowFixture;

TEST_F(NewsMenuTest, CheckLatestNewsFetchesTheNewsAddressForThisWindow)
{
    // The test's server stands in as the system's proxy, so that the
    // program's own address is asked for without leaving this machine.
    CannedHttpServer proxy;
    proxy.responses = {CannedHttpServer::ok("proxied news")};
    const QByteArray savedProxy = qgetenv("http_proxy");
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1/").arg(proxy.port()).toLatin1());
    std::vector<std::string> shown;
    QWidget* owner = nullptr;
    CNewsDlg::SetModalHook([&](CNewsDlg& news) {
        shown.push_back(news.m_strNews);
        owner = news.parentWidget();
        return 1;
    });

    dlg->action(ID_ABOUT_NEWS)->trigger();

    CNewsDlg::SetModalHook({});
    if (savedProxy.isNull())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", savedProxy);
    EXPECT_EQ(shown, std::vector<std::string>{"proxied news\r\n"});
    EXPECT_EQ(owner, dlg.get());
    ASSERT_EQ(proxy.requests.size(), 1);
    EXPECT_TRUE(proxy.requests[0].startsWith("GET " FORMTIDY_NEWS_URL " HTTP/1.1\r\n"));
    EXPECT_TRUE(prompts.messages.isEmpty());
}
