// The real file dialogs, answered as a person would: by typing a name; and
// the real message box.
#include "ModalScript.h"
#include "app/framework/Prompts.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {
// The filter texts that the dialog's filter box shows.
QStringList shownFilters(QFileDialog* dialog)
{
    QStringList texts;
    if (auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo")) {
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    }
    return texts;
}

// The names that the dialog's file list shows, once it has settled.
QStringList listedNames(QFileDialog* dialog, qsizetype expected)
{
    auto* list = dialog->findChild<QListView*>("listView");
    if (!list)
        return {};
    const auto names = [list] {
        QStringList found;
        const QModelIndex root = list->rootIndex();
        for (int row = 0; row < list->model()->rowCount(root); ++row)
            found << list->model()->index(row, 0, root).data().toString();
        found.sort();
        return found;
    };
    // When it never settles, the caller's comparison shows what was listed.
    static_cast<void>(QTest::qWaitFor([&] { return names().size() == expected; }, 2000));
    return names();
}

// Types `name` into the file dialog and accepts it; `look` sees the dialog first.
ModalScript& answer(ModalScript& script, const QString& name,
                    std::function<void(QFileDialog*)> look = {})
{
    return script.then("the file dialog", ModalScript::is<QFileDialog>(), [name, look](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        if (look)
            look(dialog);
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (!edit)
            return dialog->reject();
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
    });
}
} // namespace

TEST(FileDialogs, SaveOffersTextFilesAndAddsTxtToANameWithoutAnExtension)
{
    QTemporaryDir dir;
    QStringList filters;
    ModalScript script;
    answer(script, dir.filePath("result"),
           [&](QFileDialog* dialog) { filters = shownFilters(dialog); });
    script.start();
    const QString chosen = Prompts::current().saveFileName();
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();
    EXPECT_EQ(chosen, dir.filePath("result.txt"));
    EXPECT_EQ(filters, QStringList{"Text Files (*.txt)"});
}

TEST(FileDialogs, OpenShowsTheThreeFiltersWhoseOwnPatternsChooseTheFiles)
{
    QTemporaryDir dir;
    const QStringList files = {"notes.txt", "old.htm", "page.html", "plain", "table.csv"};
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QStringList filters;
    std::vector<QStringList> listed;
    ModalScript script;
    answer(script, dir.filePath("not-there.html"), [&](QFileDialog* dialog) {
        filters = shownFilters(dialog);
        dialog->setDirectory(dir.path());
        listed.push_back(listedNames(dialog, 2));
        // Down in the filter box chooses the next filter, as a user would.
        auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
        for (const qsizetype expected : {1, 5}) {
            if (combo)
                QTest::keyClick(combo, Qt::Key_Down);
            listed.push_back(listedNames(dialog, expected));
        }
    });
    script.start();
    const QString chosen = Prompts::current().openFileName();
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();
    EXPECT_EQ(chosen, dir.filePath("not-there.html"));
    EXPECT_EQ(filters,
              QStringList({"HTML Files (*.html,*.htm)", "Text Files (*.txt)", "All Files (*.*)"}));
    EXPECT_EQ(listed, std::vector<QStringList>({{"old.htm", "page.html"}, {"notes.txt"}, files}));
}

TEST(FileDialogs, AMessageCutsALongPathInTheMiddleAndStaysWithinTheScreen)
{
    const QString path = "/" + QStringLiteral("folder/").repeated(570) + "out.txt";
    QSize box, screen;
    QString shown;
    ModalScript script;
    script.then("the message box", ModalScript::is<QMessageBox>(), [&](QWidget* w) {
        box = w->frameGeometry().size();
        screen = w->screen()->availableGeometry().size();
        shown = static_cast<QMessageBox*>(w)->text();
        static_cast<QMessageBox*>(w)->accept();
    });
    script.start();
    Prompts().message("Save File failed.\n\nCannot write \"" + path + "\": Permission denied.");
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();
    EXPECT_TRUE(box.width() <= screen.width() && box.height() <= screen.height())
        << box.width() << "x" << box.height();
    EXPECT_TRUE(shown.startsWith("Save File failed.\n\nCannot write \"/folder/folder/"));
    EXPECT_TRUE(shown.contains(QChar(0x2026)) && shown.endsWith("/out.txt\": Permission denied."))
        << shown.toStdString();
}
