#include "ui/TextPane.h"
#include "WindowFixture.h"
#include "app/framework/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

using TextPaneTest = WindowFixture;

TEST_F(TextPaneTest, OthersGetLfBreaksAndThePanesTheBytesThatQuickConvertWrites)
{
    // Not UTF-8, and a line break inside a value. The whole result is copied
    // over the left pane, and from there back over the right one.
    const QString input = file("in.txt", "name=Jos\xe9&note=Hi%0D%0Athere");
    prompts.openAnswers << input << input;
    prompts.saveAnswers << file("quick.txt", "", false) << file("saved.txt", "", false);
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    dlg->button(IDC_LOAD)->click();
    dlg->button(IDC_CONVERT)->click();
    TextPane* left = dlg->pane(IDC_SOURCE_TEXT);
    TextPane* right = dlg->pane(IDC_RESULT_TEXT);
    right->selectAll();
    right->copy();
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromUtf8("name :: Jos\u00e9\n\nnote :: Hi\nthere"));
    left->selectAll();
    left->paste();
    left->selectAll();
    left->copy();
    right->selectAll();
    right->paste();
    dlg->button(IDC_SAVE)->click();
    EXPECT_EQ(contents(dir.filePath("saved.txt")), contents(dir.filePath("quick.txt")));
    EXPECT_EQ(contents(dir.filePath("saved.txt")), "name :: Jos\xe9\r\n\r\nnote :: Hi\r\nthere");
}

TEST_F(TextPaneTest, ACopiedFilePastesItsText)
{
    // A file manager's copy: the file's address, and its path as text.
    auto* copied = new QMimeData;
    copied->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/form.txt"))});
    copied->setText(QStringLiteral("/tmp/form.txt"));
    QApplication::clipboard()->setMimeData(copied);
    QTest::keyClick(dlg->pane(IDC_SOURCE_TEXT), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "/tmp/form.txt");
}
