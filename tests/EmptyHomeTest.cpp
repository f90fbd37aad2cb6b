// Every command, with the real dialogs answered as a person would, in a
// process whose home folder is a fresh empty one: after each command that
// folder must still be empty, since the program keeps no settings and writes
// only the files that the user chooses. The files chosen lie elsewhere.
#include "CannedHttpServer.h"
#include "ModalScript.h"
#include "app/CFormtidyApp.h"
#include "app/framework/CommandIds.h"
#include "news/FetchNews.h"
#include "news/NewsFetcher.h"
#include "ui/CAboutDlg.h"
#include "ui/CFormtidyDlg.h"
#include "ui/CHelpDlg.h"
#include "ui/TextPane.h"

#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace {

QTemporaryDir* g_home = nullptr;

class EmptyHomeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        running.emplace(&dlg);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QFile input(files.filePath("in.txt"));
        ASSERT_TRUE(input.open(QIODevice::WriteOnly));
        input.write("item=blue+cup&size=2");
    }
    void TearDown() override
    {
        running.reset();
        dlg.close();
    }

    // Runs command `id` of the window while `script` answers its dialogs,
    // then lists what is under the home folder.
    std::string run(int id, ModalScript& script)
    {
        script.start();
        dlg.OnCommand(id);
        QCoreApplication::processEvents();
        EXPECT_TRUE(script.finished()) << script.failure().toStdString();
        return homeFiles();
    }

    // Every file and folder under the home folder, one a line.
    static std::string homeFiles()
    {
        QStringList found;
        QDirIterator it(g_home->path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found.join('\n').toStdString();
    }

    // Types `name` into the file dialog and accepts it; an empty name cancels.
    static void answerFileDialog(ModalScript& script, const QString& name)
    {
        script.then("the file dialog", ModalScript::is<QFileDialog>(), [name](QWidget* w) {
            auto* dialog = static_cast<QFileDialog*>(w);
            auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (name.isEmpty() || !edit)
                return dialog->reject();
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
        });
    }

    // Closes the dialog with OK (the About box's cancel command fetches the news).
    template <class Dialog> static void close(ModalScript& script, const QString& what)
    {
        script.then(what, ModalScript::is<Dialog>(),
                    [](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    }

    QTemporaryDir files;
    CFormtidyDlg dlg;
    std::optional<CFormtidyApp::MainWndScope> running; // dlg as the main window
};

TEST_F(EmptyHomeTest, NoCommandWritesIntoTheHomeFolder)
{
    ModalScript load;
    answerFileDialog(load, files.filePath("in.txt"));
    EXPECT_EQ(run(ID_FILE_OPENFILE, load), "") << "after Open file";

    ModalScript cancelled;
    answerFileDialog(cancelled, QString());
    EXPECT_EQ(run(ID_FILE_OPENFILE, cancelled), "") << "after a cancelled Open file";

    ModalScript none;
    EXPECT_EQ(run(ID_FILE_CONVERT, none), "") << "after Convert";

    ModalScript save;
    answerFileDialog(save, files.filePath("out"));
    EXPECT_EQ(run(ID_FILE_SAVEFILE, save), "") << "after Save file";
    EXPECT_TRUE(QFile::exists(files.filePath("out.txt")));

    ModalScript quick;
    answerFileDialog(quick, files.filePath("in.txt"));
    answerFileDialog(quick, files.filePath("quick.txt"));
    EXPECT_EQ(run(ID_FILE_QUICKCONVERT, quick), "") << "after Quick Convert";
    EXPECT_TRUE(QFile::exists(files.filePath("quick.txt")));

    ModalScript about;
    close<CAboutDlg>(about, "the About box");
    EXPECT_EQ(run(ID_ABOUT_ABOUT, about), "") << "after About";

    ModalScript help;
    close<CHelpDlg>(help, "the Help dialog");
    EXPECT_EQ(run(ID_ABOUT_HELP, help), "") << "after Help";

    // Copy and paste through the clipboard, by keys.
    TextPane* source = dlg.GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    source->setFocus();
    source->selectAll();
    QTest::keyClick(source, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(source, Qt::Key_End);
    QTest::keyClick(source, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(homeFiles(), "") << "after copy and paste";
}

TEST_F(EmptyHomeTest, TheNewsWritesNothingIntoTheHomeFolder)
{
    CannedHttpServer server;
    server.responses << CannedHttpServer::ok("Version 2.1 is out.\r\n");
    ModalScript news;
    close<QDialog>(news, "the Latest News dialog");
    news.start();
    FetchNews(server.url(), NewsFetcher());
    EXPECT_TRUE(news.finished()) << news.failure().toStdString();
    EXPECT_EQ(homeFiles(), "") << "after the news";
}

} // namespace

int main(int argc, char** argv)
{
    // A fresh, empty home folder, with no other place for settings, caches
    // or data, set before anything could have looked at them.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    g_home = &home;
    qputenv("HOME", home.path().toLocal8Bit());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME",
                             "XDG_RUNTIME_DIR"})
        qunsetenv(name);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CFormtidyApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
