#include "ui/TextPane.h"
#include "WindowFixture.h"
#include "app/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

using TextPaneTest = WindowFixture;

namespace {

QMenu* openMenu()
{
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// Opens the pane's menu with Shift+F10 and spells it: each item's initial
// while it is enabled, '-' while not, '|' for a separator.
std::string menuState(TextPane* pane, bool close = true)
{
    QTest::keyClick(pane, Qt::Key_F10, Qt::ShiftModifier);
    QMenu* menu = openMenu();
    if (!menu)
        return "no menu";
    std::string state;
    for (const QAction* item : menu->actions())
        state += item->isSeparator() ? '|'
                 : item->isEnabled() ? item->text().remove('&').front().toLatin1()
                                     : '-';
    if (close)
        menu->close();
    return state;
}

} // namespace

TEST_F(TextPaneTest, OthersGetLfBreaksAndThePanesTheBytesThatQuickConvertWrites)
{
    // Not UTF-8, and a line break inside a value.
    const QString input = file("in.txt", "name=Jos\xe9&note=Hi%0D%0Athere");
    prompts.openAnswers << input << input;
    prompts.saveAnswers << file("quick.txt", "", false) << file("saved.txt", "", false);
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    dlg->button(IDC_LOAD)->click();
    dlg->button(IDC_CONVERT)->click();

    // The whole result over the left pane, then from there over the right one.
    TextPane* left = dlg->pane(IDC_SOURCE_TEXT);
    TextPane* right = dlg->pane(IDC_RESULT_TEXT);
    right->setFocus();
    right->selectAll();
    dlg->action(ID_EDIT_COPY)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromUtf8("name :: Jos\u00e9\n\nnote :: Hi\nthere"));
    left->setFocus();
    left->selectAll();
    dlg->action(ID_EDIT_PASTE)->trigger();
    left->selectAll();
    left->copy();
    right->selectAll();
    right->paste();
    dlg->button(IDC_SAVE)->click();
    EXPECT_EQ(contents(dir.filePath("saved.txt")), "name :: Jos\xe9\r\n\r\nnote :: Hi\r\nthere");
    EXPECT_EQ(contents(dir.filePath("saved.txt")), contents(dir.filePath("quick.txt")));
}

TEST_F(TextPaneTest, ACopiedFilePastesItsTextByKeyEditMenuAndPaneMenu)
{
    auto* copied = new QMimeData;
    copied->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/form.txt"))});
    copied->setText(QStringLiteral("/tmp/form.txt "));
    QApplication::clipboard()->setMimeData(copied);
    TextPane* left = dlg->pane(IDC_SOURCE_TEXT);
    QTest::keyClick(left, Qt::Key_V, Qt::ControlModifier);
    dlg->action(ID_EDIT_PASTE)->trigger();
    ASSERT_EQ(menuState(left, false), "U|--P-|S");
    openMenu()->actions().at(4)->trigger();
    openMenu()->close();
    EXPECT_EQ(left->bytes(), "/tmp/form.txt /tmp/form.txt /tmp/form.txt ");
}

TEST_F(TextPaneTest, ItsMenuHasAnEditControlsItemsEnabledByThePane)
{
    TextPane* pane = dlg->pane(IDC_RESULT_TEXT);
    pane->setFocus();
    QApplication::clipboard()->clear();
    EXPECT_EQ(menuState(pane), "-|----|-") << "empty, with nothing to paste";
    QApplication::clipboard()->setText(QStringLiteral("x"));
    pane->setBytes("a :: 1");
    EXPECT_EQ(menuState(pane), "-|--P-|S") << "new text, nothing selected";
    pane->moveCursor(QTextCursor::End);
    QTest::keyClicks(pane, "2");
    pane->selectAll();
    EXPECT_EQ(menuState(pane), "U|CCPD|S") << "typed, all selected";

    // Undo is the Edit menu's: the second one restores what the first undid.
    for (const char* expected : {"a :: 1", "a :: 12"}) {
        menuState(pane, false);
        openMenu()->actions().at(0)->trigger();
        openMenu()->close();
        EXPECT_EQ(pane->bytes(), expected);
    }
    pane->selectAll();
    pane->setReadOnly(true);
    EXPECT_EQ(menuState(pane), "-|-C--|S") << "read-only";

    // A right click opens the same menu.
    const QPoint at(5, 5);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, pane->viewport()->mapToGlobal(at));
    QApplication::sendEvent(pane->viewport(), &click);
    ASSERT_NE(openMenu(), nullptr);
    EXPECT_EQ(openMenu()->actions().size(), 8);
    openMenu()->close();
}
