#include "FakePrompts.h"
#include "ModalScript.h"
#include "app/CFormtidyApp.h"
#include "ui/CFormtidyDlg.h"

#include <QApplication>
#include <gtest/gtest.h>

TEST(Application, NamesVersionAndIcon)
{
    EXPECT_EQ(QApplication::applicationName(), "formtidy");
    EXPECT_EQ(QApplication::applicationVersion(), "2.0.0.1");
    // The window manager is given every image of the icon: one of each size.
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48)})
        EXPECT_EQ(sizes.count(size), 1) << size.width();
}

TEST(Application, WithoutSocketsOnlyTheMessageIsShown)
{
    FakePrompts prompts;
    CFormtidyApp* app = CFormtidyApp::instance();
    ASSERT_NE(app, nullptr);
    {
        const CFormtidyApp::SocketCheckOverride noSockets([] { return false; });
        EXPECT_EQ(app->InitInstance(), 0);
    }
    EXPECT_EQ(prompts.messages, QStringList{"Windows sockets initialization failed."});
    EXPECT_EQ(CFormtidyApp::GetMainWnd(), nullptr);
}

TEST(Application, RunsTheMainWindowUntilItClosesAndEndsWithZero)
{
    FakePrompts prompts;
    CFormtidyApp* app = CFormtidyApp::instance();
    bool wasMainWnd = false;
    ModalScript script;
    script
        .then("the main window", ModalScript::is<CFormtidyDlg>(),
              [&](QWidget* w) {
                  wasMainWnd = CFormtidyApp::GetMainWnd() == dynamic_cast<MainWnd*>(w);
                  static_cast<CFormtidyDlg*>(w)->reject(); // as Esc does
              })
        .start();
    EXPECT_EQ(app->InitInstance(), 0);
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();
    EXPECT_TRUE(wasMainWnd);
    EXPECT_EQ(CFormtidyApp::GetMainWnd(), nullptr);
}
