#include "FakePrompts.h"
#include "app/CFormtidyApp.h"
#include "ui/CFormtidyDlg.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

TEST(Application, NamesAndVersion)
{
    EXPECT_EQ(QApplication::applicationName(), "formtidy");
    EXPECT_EQ(QApplication::applicationVersion(), "2.0.0.1");
}

TEST(Application, WithoutSocketsOnlyTheMessageIsShown)
{
    FakePrompts prompts;
    CFormtidyApp* app = CFormtidyApp::instance();
    ASSERT_NE(app, nullptr);
    const auto saved = app->socketCheck;
    app->socketCheck = [] { return false; };
    EXPECT_EQ(app->InitInstance(), 0);
    app->socketCheck = saved;
    EXPECT_EQ(prompts.messages, QStringList{"Windows sockets initialization failed."});
    EXPECT_EQ(CFormtidyApp::GetMainWnd(), nullptr);
}

TEST(Application, RunsTheMainWindowUntilItClosesAndEndsWithZero)
{
    FakePrompts prompts;
    CFormtidyApp* app = CFormtidyApp::instance();
    bool sawWindow = false;
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        CFormtidyDlg* wnd = CFormtidyApp::GetMainWnd();
        if (wnd && wnd->isVisible()) {
            sawWindow = QApplication::activeModalWidget() == wnd;
            wnd->reject(); // as Esc does
        } else if (++polls > 100) {
            QApplication::exit(1); // give up rather than hang
        }
    });
    poll.start(50);
    EXPECT_EQ(app->InitInstance(), 0);
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(CFormtidyApp::GetMainWnd(), nullptr);
}
