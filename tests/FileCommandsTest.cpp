#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "files/FileWriter.h"
#include "ui/TextPane.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;

using FileCommandsTest = WindowFixture;

TEST_F(FileCommandsTest, LoadPutsTheFileIntoTheLeftPaneOnly)
{
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "right");
    prompts.openAnswers << file("form.txt", "a=1");
    dlg->GetDlgItem<QPushButton>(IDC_LOAD)->click();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "right");
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_CONVERT));
}

TEST_F(FileCommandsTest, LoadStopsAtTheFirstNulAndEmptiesForAnEmptyFile)
{
    prompts.openAnswers << file("nul.txt", "a=1\0b=2"s) << file("empty.txt", "");
    dlg->action(ID_FILE_OPENFILE)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1");
    EXPECT_EQ(focused(),
              dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)); // the menu leaves the focus alone
    dlg->action(ID_FILE_OPENFILE)->trigger();
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "");
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(FileCommandsTest, CancelledDialogsChangeNothing)
{
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "left");
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "right");
    dlg->GetDlgItem<QPushButton>(IDC_LOAD)->click();
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_LOAD));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "left");
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_LOAD));
    EXPECT_EQ(prompts.dialogsShown, 2);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(FileCommandsTest, SaveWithAnEmptyRightPaneAsksForNoFile)
{
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    EXPECT_EQ(prompts.messages, QStringList{"No data to save!"});
    EXPECT_EQ(prompts.dialogsShown, 0);
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_LOAD));
}

TEST_F(FileCommandsTest, SaveReplacesTheFileWithExactlyThePaneBytes)
{
    const QString out = file("out.txt", "a much longer old content");
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "a :: 1\r\n\r\nb :: \xe9");
    prompts.saveAnswers << out;
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    EXPECT_EQ(contents(out), "a :: 1\r\n\r\nb :: \xe9");
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_LOAD));
}

TEST_F(FileCommandsTest, QuickConvertWritesTheDecodedFileAndLeavesThePanes)
{
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "left");
    prompts.openAnswers << file("in.txt", "a=1&b=2");
    prompts.saveAnswers << file("out.txt", "", false);
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    EXPECT_EQ(contents(dir.filePath("out.txt")), "a :: 1\r\n\r\nb :: 2");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "left");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "");
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT));
}

TEST_F(FileCommandsTest, QuickConvertOfNothingStillWritesAnEmptyFile)
{
    prompts.openAnswers << file("in.txt", "%%");
    prompts.saveAnswers << file("out.txt", "old");
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    EXPECT_EQ(contents(dir.filePath("out.txt")), "");
}

TEST_F(FileCommandsTest, QuickConvertOfAnEmptyTextAsksNoMore)
{
    prompts.openAnswers << file("nul.txt", "\0a=1"s);
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    EXPECT_EQ(prompts.messages, QStringList{"File is empty!"});
    EXPECT_EQ(prompts.dialogsShown, 1);
}

TEST_F(FileCommandsTest, QuickConvertCancelledAtTheSecondDialogWritesNothing)
{
    prompts.openAnswers << file("in.txt", "a=1");
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    EXPECT_EQ(prompts.dialogsShown, 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"in.txt"});
}

TEST_F(FileCommandsTest, ConvertAndQuickConvertWriteTheSameBytes)
{
    // Every byte, raw line ends of every kind among them, which mix with the
    // decoded CR LF; and a UTF-8 body with LF line ends.
    std::string latin = "name=J%FCrgen+M\xfcller&note=caf\xe9%21%0D%0A\xa0+x\n";
    for (int b = 1; b < 256; ++b)
        latin += static_cast<char>(b);
    latin += "&a=1\r\nb=2\rc=3\n";
    const std::string bodies[] = {latin, "a=1&b=2\nc=3&d=4\n",
                                  "\xef\xbb\xbfname=Jos\xc3\xa9&x=\xe2\x86\x92\n\nend\r\n"};
    for (const std::string& body : bodies) {
        const QString in = file("in.txt", body);
        prompts.openAnswers << in << in;
        prompts.saveAnswers << file("quick.txt", "", false) << file("panes.txt", "", false);
        dlg->action(ID_FILE_QUICKCONVERT)->trigger();
        dlg->GetDlgItem<QPushButton>(IDC_LOAD)->click();
        dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
        dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
        EXPECT_EQ(contents(dir.filePath("panes.txt")), contents(dir.filePath("quick.txt")));
        EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), body);
    }
    EXPECT_EQ(contents(dir.filePath("quick.txt")),
              "\xef\xbb\xbfname :: Jos\xc3\xa9\r\n\r\nx :: \xe2\x86\x92\n\nend\r\n");
    EXPECT_EQ(dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT)->format().encoding,
              PaneCodec::Encoding::Utf8);
    EXPECT_EQ(dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT)->toPlainText(),
              QChar(0xFEFF) + QString::fromUtf8("name :: José\n\nx :: →\n\nend\n"));
}

TEST_F(FileCommandsTest, SavingKeepsPermissionsAndFollowsLinks)
{
    const QString target = file("target.txt", "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target), 0640), 0);
    const QString link = dir.filePath("link.txt");
    ASSERT_TRUE(QFile::link(target, link));
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "new");
    prompts.saveAnswers << link;
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    EXPECT_EQ(contents(target), "new");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(target), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(FileCommandsTest, SavingKeepsOwnerModeAndHardLinks)
{
    const QString theirs = file("theirs.txt", "old");
    const QString readOnly = file("readonly.txt", "old");
    ASSERT_EQ(::chmod(QFile::encodeName(theirs), 0640), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly), 0444), 0);
    const bool root = ::geteuid() == 0;
    if (root) { // another user's file, as root saves it
        ASSERT_EQ(::chown(QFile::encodeName(theirs), 12345, 12346), 0);
    }
    const QString linked = file("linked.txt", "an old text longer than the new one");
    const QString alias = dir.filePath("alias.txt");
    ASSERT_EQ(::link(QFile::encodeName(linked), QFile::encodeName(alias)), 0);

    dlg->SetDlgItemText(IDC_RESULT_TEXT, "new");
    prompts.saveAnswers << theirs << linked;
    if (root)
        prompts.saveAnswers << readOnly;
    while (!prompts.saveAnswers.isEmpty())
        dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();

    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(theirs), &st), 0);
    EXPECT_EQ(contents(theirs), "new");
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 12345u);
        EXPECT_EQ(st.st_gid, 12346u);
        ASSERT_EQ(::stat(QFile::encodeName(readOnly), &st), 0);
        EXPECT_EQ(contents(readOnly), "new");
        EXPECT_EQ(st.st_mode & 07777, 0444u);
    }
    // Both names still share the file, and it holds just the new text.
    EXPECT_EQ(contents(alias), "new");
    ASSERT_EQ(::stat(QFile::encodeName(alias), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

TEST_F(FileCommandsTest, DanglingAndLoopingLinksAreReportedNotReplaced)
{
    const QString dangling = dir.filePath("dangling.txt");
    const QString loop = dir.filePath("loop.txt");
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere.txt"), dangling));
    ASSERT_TRUE(QFile::link(loop, loop));
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "new");
    prompts.saveAnswers << dangling << loop;
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(prompts.messages[0].contains(dangling + "\": No such file or directory"))
        << prompts.messages[0].toStdString();
    EXPECT_TRUE(prompts.messages[1].contains(loop + "\": Too many levels of symbolic links"))
        << prompts.messages[1].toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"dangling.txt", "loop.txt"}));
}

// Paths that cannot be read or written, also by root.
class FileFaultTest : public WindowFixture, public ::testing::WithParamInterface<const char*>
{
protected:
    QString faultyPath()
    {
        const std::string kind = GetParam();
        if (kind == "missing")
            return dir.filePath("missing/nothing.txt");
        if (kind == "folder")
            return dir.path();
        if (kind == "fifo") {
            const QString fifo = dir.filePath("fifo");
            EXPECT_EQ(::mkfifo(QFile::encodeName(fifo), 0600), 0);
            return fifo;
        }
        if (kind == "device")
            return QStringLiteral("/dev/zero");
        return QStringLiteral("/proc/formtidy-cannot-create.txt");
    }

    void expectReported(const QString& path)
    {
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].contains(path)) << prompts.messages[0].toStdString();
        EXPECT_TRUE(prompts.messages[0].contains(": ")) << prompts.messages[0].toStdString();
        EXPECT_TRUE(dlg->isVisible());
    }
};

class ReadFaultTest : public FileFaultTest
{
};
class WriteFaultTest : public FileFaultTest
{
};

TEST_P(ReadFaultTest, LoadReportsAndKeepsTheLeftPane)
{
    const QString path = faultyPath();
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "kept");
    prompts.openAnswers << path;
    dlg->GetDlgItem<QPushButton>(IDC_LOAD)->click();
    expectReported(path);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "kept");
}

TEST_P(WriteFaultTest, SaveReportsAndKeepsThePanes)
{
    const QString path = faultyPath();
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "kept");
    prompts.saveAnswers << path;
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    expectReported(path);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "kept");
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT))
        << "a failed save moves no focus";
}

TEST_P(ReadFaultTest, QuickConvertReportsTheInput)
{
    const QString path = faultyPath();
    const QString out = file("out.txt", "old");
    prompts.openAnswers << path;
    prompts.saveAnswers << out;
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    expectReported(path);
    EXPECT_EQ(contents(out), "old");
}

INSTANTIATE_TEST_SUITE_P(Paths, ReadFaultTest,
                         ::testing::Values("missing", "folder", "fifo", "device"));
// Nothing is written to /dev by the tests; /proc takes no new files.
INSTANTIATE_TEST_SUITE_P(Paths, WriteFaultTest,
                         ::testing::Values("missing", "folder", "fifo", "proc"));

TEST_F(FileCommandsTest, FullDiskLeavesTheOldFileWhole)
{
    const QString out = file("out.txt", "precious old content");
    {
        const FileWriter::WriteOverride fullDisk(
            [](int fd, const char* data, size_t size, off_t at) {
                EXPECT_EQ(::pwrite(fd, data, size / 2, at), ssize_t(size / 2));
                errno = ENOSPC;
                return ssize_t(-1);
            });
        dlg->SetDlgItemText(IDC_RESULT_TEXT, "new content that does not fit");
        prompts.saveAnswers << out;
        dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    }
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains("No space left on device"))
        << prompts.messages[0].toStdString();
    EXPECT_EQ(contents(out), "precious old content");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.txt"});
}
