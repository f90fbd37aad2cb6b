#include "CannedHttpServer.h"
#include "ModalScript.h"
#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "news/FetchNews.h"
#include "news/NewsFetcher.h"
#include "ui/CAboutDlg.h"
#include "ui/CHelpDlg.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <optional>
#include <stdexcept>

namespace {

CAboutDlg* about(QWidget* w)
{
    return qobject_cast<CAboutDlg*>(w);
}

} // namespace

// The About box shown on its own, with the news fetch counted instead of run.
class AboutBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    FakePrompts prompts;
    int fetches = 0;
    std::optional<CAboutDlg::NewsOverride> counted{std::in_place, [this] { ++fetches; }};
    CAboutDlg dlg;
};

TEST_F(AboutBoxTest, EscCloseBoxAndNewsFetchTheNewsAndOnlyOkCloses)
{
    EXPECT_EQ(QApplication::focusWidget(), dlg.GetDlgItem<QPushButton>(IDOK));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.close()); // the close box, Alt+F4 and Close on the window menu
    QTest::keyClick(dlg.GetDlgItem<QPushButton>(IDCANCEL), Qt::Key_Return);
    EXPECT_EQ(fetches, 3);
    EXPECT_TRUE(dlg.isVisible());

    QTest::keyClick(dlg.GetDlgItem<QPushButton>(IDOK), Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(fetches, 3);
}

TEST_F(AboutBoxTest, AFetchThatFailsOrIsCancelledAgainIsContained)
{
    counted.emplace([this] {
        ++fetches;
        QTest::keyClick(&dlg, Qt::Key_Escape); // again, while the fetch still runs
        throw std::runtime_error("The network is down.");
    });
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(prompts.messages,
              QStringList{QStringLiteral("News failed.\n\nThe network is down.")});
    EXPECT_TRUE(dlg.isVisible());

    counted.emplace([this] { ++fetches; });
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(fetches, 2);
}

// As the user meets it: About > About Formtidy, in its own modal loop, with
// the real fetch of an address that refuses the connection.
using AboutBoxFromMenuTest = WindowFixture;

TEST_F(AboutBoxFromMenuTest, EscSaysNoConnectionHelpReturnsToTheBoxAndOkCloses)
{
    const QUrl dead = CannedHttpServer::refusedUrl();
    const CAboutDlg::NewsOverride refused([dead] { FetchNews(dead, NewsFetcher()); });
    ModalScript script;
    script
        .then(QStringLiteral("the About box"), ModalScript::is<CAboutDlg>(),
              [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); })
        .then(
            QStringLiteral("the About box after the message"),
            [this](QWidget* w) { return about(w) && !prompts.messages.isEmpty(); },
            [](QWidget* w) {
                QTest::mouseClick(about(w)->GetDlgItem<QPushButton>(IDC_ABOUT_HELP),
                                  Qt::LeftButton);
            })
        .then(QStringLiteral("Help over the About box"), ModalScript::is<CHelpDlg>(),
              [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); })
        .then(QStringLiteral("the About box again"), ModalScript::is<CAboutDlg>(), [](QWidget* w) {
            QTest::mouseClick(about(w)->GetDlgItem<QPushButton>(IDOK), Qt::LeftButton);
        });
    script.start();
    dlg->action(ID_ABOUT_ABOUT)->trigger(); // returns when the box is closed
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();
    EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("No connection can be established.")});
}
