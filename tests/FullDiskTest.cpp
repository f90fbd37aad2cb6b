// A real full disk: a tiny tmpfs mounted for the test. Needs the right to
// mount (root, as in CI); elsewhere the write seam of FileCommandsTest covers it.
#include "WindowFixture.h"
#include "app/framework/CommandIds.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>

#include <unistd.h>

namespace {
bool run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}
} // namespace

class FullDiskTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        disk = dir.filePath("disk");
        QDir().mkpath(disk);
        mounted = run("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk});
        if (!mounted)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        old = std::string(20000, 'o');
        QFile f(disk + "/out.txt");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old.data(), qint64(old.size()));
    }
    void TearDown() override
    {
        if (mounted)
            run("umount", {disk});
        WindowFixture::TearDown();
    }

    void expectOldFileWhole(const QStringList& names = {"out.txt"})
    {
        for (const QString& name : names)
            EXPECT_EQ(contents(disk + "/" + name), old) << name.toStdString();
        EXPECT_EQ(QDir(disk).entryList(QDir::Files | QDir::Hidden), names);
    }

    // Saves far more than fits over `name`, through the window and then the
    // command-line tool; both must report the full disk.
    void expectSaveAndToolToFail(const QString& name)
    {
        dlg->SetDlgItemText(IDC_RESULT_TEXT, std::string(200000, 'n'));
        prompts.saveAnswers << disk + "/" + name;
        dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].contains(name)) << prompts.messages[0].toStdString();
        EXPECT_TRUE(prompts.messages[0].contains("No space left on device"))
            << prompts.messages[0].toStdString();

        QProcess tool;
        tool.start(QStringLiteral(FORMTIDY_DECODE_BIN), {"-o", disk + "/" + name});
        const std::string input(200000, 'x');
        tool.write(input.data(), qint64(input.size()));
        tool.closeWriteChannel();
        ASSERT_TRUE(tool.waitForFinished(20000));
        EXPECT_EQ(tool.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
        EXPECT_TRUE(err.contains(name) && err.contains("No space left on device"))
            << err.toStdString();
    }

    QString disk;
    bool mounted = false;
    std::string old;
};

TEST_F(FullDiskTest, SaveAndDecodeToolLeaveTheOldFileWhole)
{
    expectSaveAndToolToFail("out.txt");
    expectOldFileWhole();
}

// A second hard link makes the save rewrite the file in place; the room is
// reserved before the first old byte is overwritten.
TEST_F(FullDiskTest, HardLinkedFileIsLeftWholeWhenTheRoomIsMissing)
{
    ASSERT_EQ(::link(QFile::encodeName(disk + "/out.txt"), QFile::encodeName(disk + "/alias.txt")),
              0);
    expectSaveAndToolToFail("alias.txt");
    expectOldFileWhole({"alias.txt", "out.txt"});
}
