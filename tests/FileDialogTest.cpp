// The real file dialogs, answered as a person would: by typing a name.
#include "ModalScript.h"
#include "app/Prompts.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {
// Types `name` into the open file dialog and accepts it.
ModalScript& answer(ModalScript& script, const QString& name, QStringList* filters = nullptr)
{
    return script.then("the file dialog", ModalScript::is<QFileDialog>(),
                       [name, filters](QWidget* w) {
                           auto* dialog = static_cast<QFileDialog*>(w);
                           if (filters)
                               *filters = dialog->nameFilters();
                           auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
                           if (!edit)
                               return dialog->reject();
                           edit->setText(name);
                           QTest::keyClick(edit, Qt::Key_Return);
                       });
}
} // namespace

TEST(FileDialogs, SaveAddsTxtToANameWithoutAnExtension)
{
    QTemporaryDir dir;
    ModalScript script;
    answer(script, dir.filePath("result"));
    script.start();
    const QString chosen = Prompts::current().saveFileName();
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();
    EXPECT_EQ(chosen, dir.filePath("result.txt"));
}

TEST(FileDialogs, OpenOffersTheThreeFiltersAndTakesAMissingName)
{
    QTemporaryDir dir;
    QStringList filters;
    ModalScript script;
    answer(script, dir.filePath("not-there.html"), &filters);
    script.start();
    const QString chosen = Prompts::current().openFileName();
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();
    EXPECT_EQ(chosen, dir.filePath("not-there.html"));
    EXPECT_EQ(filters, QStringList({"HTML Files (*.html,*.htm) (*.html *.htm)",
                                    "Text Files (*.txt)", "All Files (*.*) (*)"}));
}
