#include "ModalScript.h"
#include "WindowFixture.h"
#include "app/CFormtidyApp.h"
#include "app/framework/CommandIds.h"
#include "ui/CHelpDlg.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

namespace {

// The four topics as the program has always worded them, with two spaces
// after each full stop.
const char* const kCaptions[] = {"To load a file", "To convert the file", "To save a file",
                                 "Using Quick Convert"};
const char* const kShown[] = {
    "First you must open a file to be converted by selected Open file or clicking the load file "
    "button.  Files should be of text format.  The left pane will fill with the unformatted "
    "text.  You can edit the text and paste in new text if you want.",
    "Then hit the convert button or use the convert command from the file menu.  Your loaded "
    "file will be converted and put into the right pane.",
    "Just click the save button or select save from the file menu to save the file.  The files "
    "will be saved as text format.  Again, you may edit the formatted text before saving.",
    "It will ask for a file to convert, then ask for a file to save.  Supply the two and you "
    "don't have to go through the three normal steps."};

QString shownText(const QLabel* label)
{
    QTextDocument doc;
    doc.setHtml(label->text());
    return doc.toPlainText();
}

} // namespace

TEST(HelpDialogTest, ShowsTheFourTopicsExactlyInATwoByTwoGrid)
{
    CHelpDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Help"));
    EXPECT_FALSE(dlg.windowIcon().isNull());
    for (int i = 0; i < CHelpDlg::kTopics; ++i) {
        SCOPED_TRACE(kCaptions[i]);
        EXPECT_EQ(dlg.frame(i)->title(), QLatin1String(kCaptions[i]));
        EXPECT_EQ(shownText(dlg.text(i)), QLatin1String(kShown[i]));
        // Every line of the text is inside its box.
        const QLabel* text = dlg.text(i);
        EXPECT_LE(text->heightForWidth(text->width()), text->height());
        EXPECT_TRUE(dlg.frame(i)->rect().contains(text->geometry()));
    }
    // Only the O of "Open" is marked, and no ampersand is shown.
    EXPECT_TRUE(dlg.text(0)->text().contains(QLatin1String("<u>O</u>pen file")));
    EXPECT_EQ(dlg.text(0)->text().count(QLatin1String("<u>")), 1);

    EXPECT_LT(dlg.frame(0)->geometry().right(), dlg.frame(1)->geometry().left());
    EXPECT_LT(dlg.frame(1)->geometry().bottom(), dlg.frame(3)->geometry().top());
    EXPECT_TRUE(dlg.rect().contains(dlg.frame(3)->geometry()));
    EXPECT_GT(dlg.GetDlgItem<QPushButton>(IDOK)->x(), dlg.frame(1)->geometry().right());
}

TEST(HelpDialogTest, OkEscAndTheCloseBoxEndIt)
{
    CHelpDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_EQ(QApplication::focusWidget(), dlg.GetDlgItem<QPushButton>(IDOK));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    dlg.show();
    EXPECT_TRUE(dlg.close());
    dlg.show();
    QTest::keyClick(dlg.GetDlgItem<QPushButton>(IDOK), Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

using HelpFromMainWindowTest = WindowFixture;

TEST_F(HelpFromMainWindowTest, OpensFromTheMenuF1AndTheApplication)
{
    const std::pair<const char*, std::function<void()>> openers[] = {
        {"About > Help", [this] { dlg->action(ID_ABOUT_HELP)->trigger(); }},
        {"F1", [this] { QTest::keyClick(dlg.get(), Qt::Key_F1); }},
        {"the application's map",
         [] { ASSERT_TRUE(CFormtidyApp::instance()->OnCommand(ID_ABOUT_HELP)); }},
    };
    for (const auto& [how, open] : openers) {
        SCOPED_TRACE(how);
        dlg->activateWindow(); // offscreen, nothing hands activation back after a dialog
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        QString title;
        ModalScript script;
        script.then(QStringLiteral("Help"), ModalScript::is<CHelpDlg>(), [&](QWidget* w) {
            title = w->windowTitle();
            QTest::mouseClick(static_cast<CHelpDlg*>(w)->GetDlgItem<QPushButton>(IDOK),
                              Qt::LeftButton);
        });
        script.start();
        open(); // returns when Help is closed
        EXPECT_TRUE(script.finished()) << script.failure().toStdString();
        EXPECT_EQ(title, QStringLiteral("Help"));
    }
}
