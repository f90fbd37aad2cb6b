#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "ui/TextPane.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <map>
#include <memory>
#include <vector>

using MainWindowTest = WindowFixture;

namespace {
void setButtonSize(CFormtidyDlg& dlg, int w, int h)
{
    for (int id : {IDC_LOAD, IDC_CONVERT, IDC_SAVE})
        dlg.GetDlgItem<QPushButton>(id)->resize(w, h);
}
} // namespace

TEST_F(MainWindowTest, LayoutOfAnEvenClientArea)
{
    setButtonSize(*dlg, 63, 25);
    dlg->OnSize(636, 405);
    EXPECT_EQ(dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT)->geometry(), QRect(353, 10, 273, 385));
    EXPECT_EQ(dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->geometry(), QRect(10, 10, 273, 385));
    EXPECT_EQ(dlg->GetDlgItem<QPushButton>(IDC_LOAD)->geometry(), QRect(287, 15, 63, 25));
    EXPECT_EQ(dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->geometry(), QRect(287, 190, 63, 25));
    EXPECT_EQ(dlg->GetDlgItem<QPushButton>(IDC_SAVE)->geometry(), QRect(287, 365, 63, 25));
}

TEST_F(MainWindowTest, LayoutOfAnOddWidthAndOfNothing)
{
    setButtonSize(*dlg, 63, 25);
    dlg->OnSize(637, 405);
    const QRect right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT)->geometry();
    EXPECT_EQ(right.x(), 354);
    EXPECT_EQ(right.x() - dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->geometry().right() - 1, 71);
    EXPECT_EQ(637 - (right.x() + right.width()), 10);

    // Minimised: negative sizes become zero, and the buttons keep theirs.
    dlg->OnSize(0, 0);
    EXPECT_EQ(dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->size(), QSize(0, 0));
    EXPECT_EQ(dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->geometry(), QRect(-31, -12, 63, 25));
}

TEST_F(MainWindowTest, ResizingTheWindowLaysOutTheClientArea)
{
    dlg->resize(700, 500);
    QTest::qWait(50);
    const QWidget* client = dlg->clientArea();
    EXPECT_EQ(client->y(), dlg->menuBar()->height());
    EXPECT_EQ(dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->height(), client->height() - 20);
}

TEST_F(MainWindowTest, OpensWithTheLeftPaneFocusedAndTabsInTemplateOrder)
{
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT));
    const QWidget* order[] = {
        dlg->GetDlgItem<QPushButton>(IDC_CONVERT), dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT),
        dlg->GetDlgItem<QPushButton>(IDC_SAVE), dlg->GetDlgItem<QPushButton>(IDC_LOAD),
        dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)};
    for (const QWidget* next : order) {
        QTest::keyClick(focused(), Qt::Key_Tab);
        EXPECT_EQ(focused(), next);
    }
}

TEST_F(MainWindowTest, TypedFormIsConvertedFromTheKeyboard)
{
    QTest::keyClicks(focused(), "item=blue+cup&size=2");
    QTest::keyClick(focused(), Qt::Key_Tab);
    ASSERT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_CONVERT));
    QTest::keyClick(focused(), Qt::Key_Return);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "item :: blue cup\r\n\r\nsize :: 2");
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_SAVE));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(MainWindowTest, EnterInAPaneBreaksTheLineAndReadsBackAsCrLf)
{
    QTest::keyClicks(focused(), "a=1");
    QTest::keyClick(focused(), Qt::Key_Return);
    QTest::keyClicks(focused(), "b=2");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1\r\nb=2");
    dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "a :: 1\r\nb :: 2");
}

TEST_F(MainWindowTest, EmptyLeftPaneIsReportedAndNothingChanges)
{
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "kept");
    dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    EXPECT_EQ(prompts.messages, QStringList{"You must first load a file or have text to convert!"});
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "kept");
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_LOAD));
}

TEST_F(MainWindowTest, ConvertingToNothingEmptiesTheRightPane)
{
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "%%");
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "old");
    dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "");
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_SAVE));
    // Blank text is not empty: it is converted.
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, " \r\n");
    dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), " \r\n");
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(MainWindowTest, MenuConvertLeavesTheFocusWhereItWas)
{
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "a=1");
    dlg->action(ID_FILE_CONVERT)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "a :: 1");
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT));
}

TEST_F(MainWindowTest, MenuShortcutsAreLabelsOnly)
{
    // The keys shown in the menus never reach the menu items from a pane:
    // the pane handles its own, and Alt+F4 is the window manager's.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const int id : {ID_EDIT_UNDO, ID_EDIT_COPY, ID_EDIT_CLEAR, ID_APP_EXIT})
        spies.push_back(std::make_unique<QSignalSpy>(dlg->action(id), &QAction::triggered));
    QTest::keyClicks(focused(), "typed");
    QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(focused(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(focused(), Qt::Key_Delete);
    QTest::keyClick(focused(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(focused(), Qt::Key_F4, Qt::AltModifier);
    for (const auto& spy : spies)
        EXPECT_EQ(spy->count(), 0) << qPrintable(spy->signal());
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindowTest, ScreenReadersGetPaneNamesAndMenuItemsWithoutTheirKeys)
{
    const std::pair<int, const char*> panes[] = {{IDC_SOURCE_TEXT, "Encoded form data"},
                                                 {IDC_RESULT_TEXT, "Decoded text"}};
    for (const auto& [id, name] : panes) {
        QAccessibleInterface* pane =
            QAccessible::queryAccessibleInterface(dlg->GetDlgItem<TextPane>(id));
        ASSERT_NE(pane, nullptr);
        EXPECT_EQ(pane->text(QAccessible::Name), name);
        EXPECT_FALSE(pane->text(QAccessible::Description).isEmpty()) << name;
    }
    // Every menu item is named by its label alone; a shown key is its accelerator.
    std::map<QString, QString> accelerators;
    for (QAction* menuAction : dlg->menuBar()->actions()) {
        QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(menuAction->menu());
        ASSERT_NE(menu, nullptr);
        for (int i = 0; i < menu->childCount(); ++i) {
            const QString itemName = menu->child(i)->text(QAccessible::Name);
            EXPECT_FALSE(itemName.contains(QLatin1Char('\t'))) << itemName.toStdString();
            accelerators[itemName] = menu->child(i)->text(QAccessible::Accelerator);
        }
    }
    EXPECT_EQ(accelerators[QStringLiteral("Undo")], "Ctrl+Z");
    EXPECT_EQ(accelerators[QStringLiteral("Copy")], "Ctrl+C");
    EXPECT_EQ(accelerators[QStringLiteral("Delete")], "Del");
    EXPECT_EQ(accelerators[QStringLiteral("Exit")], "Alt+F4");
}

TEST_F(MainWindowTest, EscapeInAPaneClosesTheWindow)
{
    QTest::keyClicks(focused(), "typed");
    QTest::keyClick(focused(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(MainWindowTest, FileExitClosesTheWindow)
{
    dlg->action(ID_APP_EXIT)->trigger();
    EXPECT_FALSE(dlg->isVisible());
}

TEST(MainWindowLifetime, DestroyedWhileShownWithAPaneFocused)
{
    // The panes lose the focus while the window is torn down; that must not
    // reach the window's members any more (the sanitizer build would tell).
    FakePrompts prompts;
    auto dlg = std::make_unique<CFormtidyDlg>();
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->setFocus();
    dlg.reset();
}
