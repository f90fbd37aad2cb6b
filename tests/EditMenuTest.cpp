#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "ui/TextPane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

using EditMenuTest = WindowFixture;

namespace {

const int kEditItems[] = {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_CLEAR};

// Puts `text` into the pane and selects `length` characters from `from`.
void select(TextPane* pane, const std::string& text, int from, int length)
{
    pane->setBytes(text);
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(from + length, QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
}

QString clipboardText()
{
    return QApplication::clipboard()->text();
}

} // namespace

class EditMenuStateTest : public WindowFixture
{
protected:
    // "enabled" or "grayed" when all five Edit items agree, "mixed" otherwise.
    std::string editState() const
    {
        int enabled = 0;
        for (int id : kEditItems)
            enabled += dlg->action(id)->isEnabled();
        return enabled == 5 ? "enabled" : enabled == 0 ? "grayed" : "mixed";
    }
};

TEST_F(EditMenuStateTest, ItemsAreEnabledExactlyWhileAPaneHasTheFocus)
{
    EXPECT_EQ(editState(), "enabled") << "the window opens with the left pane focused";
    QTest::keyClick(focused(), Qt::Key_Tab);
    EXPECT_EQ(editState(), "grayed") << "Convert button";
    QTest::keyClick(focused(), Qt::Key_Tab);
    EXPECT_EQ(editState(), "enabled") << "right pane";
    QTest::mouseClick(dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->viewport(), Qt::LeftButton);
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT));
    EXPECT_EQ(editState(), "enabled") << "straight from one pane to the other";

    // Each button, even one that finds nothing to do, takes the focus.
    for (int id : {IDC_LOAD, IDC_SAVE, IDC_CONVERT}) {
        dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT)->setFocus();
        ASSERT_EQ(editState(), "enabled");
        dlg->GetDlgItem<QPushButton>(id)->click();
        EXPECT_EQ(editState(), "grayed") << "after button " << id;
    }
    EXPECT_TRUE(dlg->menuBar()->actions().at(1)->isEnabled()) << "the Edit menu itself";
    EXPECT_TRUE(dlg->action(ID_FILE_CONVERT)->isEnabled());
}

TEST_F(EditMenuStateTest, AnotherActiveWindowGraysTheItemsUntilTheFocusComesBack)
{
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(editState(), "grayed");
    other.close();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT));
    EXPECT_EQ(editState(), "enabled");
}

TEST_F(EditMenuStateTest, OpeningTheMenuFromTheKeyboardKeepsThePaneAndItsItems)
{
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "a=");
    dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->moveCursor(QTextCursor::End);

    // Alt+E opens the Edit menu; its items must still be enabled while it is open.
    std::string stateWhileOpen = "menu did not open";
    int polls = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu) {
            stateWhileOpen = editState();
            QTest::keyClick(menu, Qt::Key_P); // Paste
            poll.stop();
        } else if (++polls > 100) {
            poll.stop();
        }
    });
    poll.start();
    QTest::keyClick(dlg.get(), Qt::Key_E, Qt::AltModifier);
    for (int i = 0; i < 250 && poll.isActive(); ++i)
        QTest::qWait(20);
    ASSERT_FALSE(poll.isActive());

    EXPECT_EQ(stateWhileOpen, "enabled");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=pasted");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "");
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT));
    EXPECT_EQ(editState(), "enabled");
}

TEST_F(EditMenuTest, CopyLeavesTheLastSelectionOnTheClipboard)
{
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    select(left, "left=1", 0, 4);
    select(right, "right :: 1", 0, 5);
    dlg->action(ID_EDIT_COPY)->trigger();
    EXPECT_EQ(clipboardText(), "right") << "the left pane's text was copied first";

    // Only the left pane has a selection, kept while the right pane has the focus.
    select(right, "right :: 1", 3, 0);
    right->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("before"));
    dlg->action(ID_EDIT_COPY)->trigger();
    EXPECT_EQ(clipboardText(), "left");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "left=1");
}

TEST_F(EditMenuTest, CutAndDeleteActOnBothPanes)
{
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    select(left, "left=1", 0, 4);
    select(right, "right :: 1", 0, 5);
    dlg->action(ID_EDIT_CUT)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "=1");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), " :: 1");
    EXPECT_EQ(clipboardText(), "right");

    select(left, "abc", 1, 1);
    select(right, "xyz", 0, 2);
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    dlg->action(ID_EDIT_CLEAR)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "ac");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "z");
    EXPECT_EQ(clipboardText(), "kept") << "Delete leaves the clipboard alone";

    // Nothing selected: Copy, Cut and Delete change nothing.
    for (int id : {ID_EDIT_COPY, ID_EDIT_CUT, ID_EDIT_CLEAR})
        dlg->action(id)->trigger();
    EXPECT_EQ(clipboardText(), "kept");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "ac");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "z");
}

TEST_F(EditMenuTest, PasteGoesToTheFocusedPaneOrElseTheRightOne)
{
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "L");
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "R");
    QApplication::clipboard()->setText(QStringLiteral("x"));

    dlg->action(ID_EDIT_PASTE)->trigger();
    right->setFocus();
    dlg->action(ID_EDIT_PASTE)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "xL");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "xR");

    dlg->GetDlgItem<QPushButton>(IDC_LOAD)->setFocus();
    dlg->OnCommand(ID_EDIT_PASTE);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "xL");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "xxR");

    QApplication::clipboard()->clear();
    dlg->OnCommand(ID_EDIT_PASTE);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "xxR") << "no text on the clipboard";
}

TEST_F(EditMenuTest, UndoRevertsBothPanesAndUndoAgainRestores)
{
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "a=1");
    left->moveCursor(QTextCursor::End);
    QTest::keyClicks(left, "&b=2");
    right->setFocus();
    QTest::keyClicks(right, "typed");

    dlg->action(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "");
    dlg->action(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1&b=2");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "typed");
    dlg->action(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1");

    // An edit after an undo is what the next undo reverts.
    left->moveCursor(QTextCursor::End);
    left->setFocus();
    QTest::keyClicks(left, "!");
    dlg->action(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1");
    dlg->action(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1!");

    // A converted result is new text: there is nothing to undo in it.
    dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    dlg->action(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "a :: 1!");
}

TEST_F(EditMenuTest, CopyAndPasteKeepEveryCharacterAndLineBreak)
{
    // Not UTF-8, so shown as Windows-1252: a no-break space and a euro sign.
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    select(left, "a\xA0\x80\r\nb", 0, 5);
    dlg->action(ID_EDIT_COPY)->trigger();
    // Other programs get LF breaks; the panes get the break as it was.
    EXPECT_EQ(clipboardText(), QString::fromUtf8("a\u00A0\u20AC\nb"));
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data(TextPane::kExactTextFormat),
              QByteArray("a\u00A0\u20AC\r\nb"));

    select(left, "a\xA0\x80\r\nb", 5, 0);
    dlg->action(ID_EDIT_PASTE)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a\xA0\x80\r\nba\xA0\x80\r\nb");
}
