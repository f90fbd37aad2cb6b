// Saves by an ordinary user and over other users' files, with the faults made
// real: a folder the user cannot write, a sticky shared folder, a planted
// symbolic link, a kill in the middle and a full disk. Needs root to make the
// user (as in CI); elsewhere the tests are skipped with a message.
#include "TestUser.h"
#include "files/FileError.h"
#include "files/FileWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kTool = QStringLiteral(FORMTIDY_DECODE_BIN);

std::string contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
}

struct stat statOf(const QString& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

class SaveAsUserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!user.available())
            GTEST_SKIP() << user.skipReason().toStdString();
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        input = make("in.txt", "a=1&b=2", 0, 0644);
    }

    // A file of `owner` with `bytes` and `mode`.
    QString make(const QString& name, const std::string& bytes, uid_t owner, mode_t mode)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
        f.close();
        const QByteArray native = QFile::encodeName(path);
        EXPECT_EQ(::chown(native.constData(), owner, owner ? user.gid() : 0), 0);
        EXPECT_EQ(::chmod(native.constData(), mode), 0);
        return path;
    }
    QString folder(const QString& name, uid_t owner, mode_t mode)
    {
        EXPECT_TRUE(QDir(dir.path()).mkdir(name));
        const QByteArray native = QFile::encodeName(dir.filePath(name));
        EXPECT_EQ(::chown(native.constData(), owner, 0), 0);
        EXPECT_EQ(::chmod(native.constData(), mode), 0);
        return dir.filePath(name);
    }

    TestUser user;
    QTemporaryDir dir;
    QString input;
};
} // namespace

TEST_F(SaveAsUserTest, FileInAFolderTheUserCannotWriteIsRewrittenInPlace)
{
    folder("ro", 0, 0755);
    const std::string old = "an old text that is longer than the new one";
    const QString out = make("ro/out.txt", old, user.uid(), 0640);
    const ino_t inode = statOf(out).st_ino;

    // An input that cannot be read leaves the old file whole.
    EXPECT_EQ(user.run(kTool, {"-o", out, input, "/nonexistent.txt"}), 1);
    EXPECT_EQ(contents(out), old);

    EXPECT_EQ(user.run(kTool, {"-o", out, input}), 0);
    EXPECT_EQ(contents(out), "a :: 1\r\n\r\nb :: 2");
    const struct stat st = statOf(out);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(st.st_uid, user.uid());
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A file the user may write but not read has no backup; the tool says so
    // before it rewrites the file.
    const QString writeOnly = make("ro/write-only.txt", "old", user.uid(), 0200);
    QProcess tool;
    tool.start("setpriv", user.setprivArguments(kTool, {"-o", writeOnly, input}));
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_EQ(contents(writeOnly), "a :: 1\r\n\r\nb :: 2");
    EXPECT_EQ(tool.readAllStandardError().toStdString(),
              "formtidy-decode: No backup of \"" + writeOnly.toStdString() +
                  "\" can be made: this user may not read it. Should the save be cut short while "
                  "the file is rewritten in place, it may hold part of the new text and part of "
                  "the old.\n");

    // The output may be one of the inputs: it is read whole before it is rewritten.
    const QString self = make("ro/self.txt", "c=3", user.uid(), 0644);
    EXPECT_EQ(user.run(kTool, {"-o", self, self}), 0);
    EXPECT_EQ(contents(self), "c :: 3");
    EXPECT_EQ(QDir(dir.filePath("ro")).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"out.txt", "self.txt", "write-only.txt"}));
}

TEST_F(SaveAsUserTest, GroupFileInAStickyFolderIsRewrittenNotReplaced)
{
    folder("shared", 0, 01777);
    // Root's file, writable by the user's group: the user may not rename over
    // it here, nor give a new file root as its owner.
    const QString out = make("shared/report.txt", "root's old text", 0, 0664);
    ASSERT_EQ(::chown(QFile::encodeName(out).constData(), 0, user.gid()), 0);
    EXPECT_EQ(user.run(kTool, {"-o", out, input}), 0);
    EXPECT_EQ(contents(out), "a :: 1\r\n\r\nb :: 2");
    const struct stat st = statOf(out);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, user.gid());
    EXPECT_EQ(st.st_mode & 07777, 0664u);
}

TEST_F(SaveAsUserTest, KillInTheMiddleLeavesTheOldFile)
{
    folder("ro", 0, 0755);
    folder("rw", user.uid(), 0755);
    for (const QString& name : {QStringLiteral("ro/out.txt"), QStringLiteral("rw/out.txt")}) {
        const QString out = make(name, "precious", user.uid(), 0644);
        QProcess tool;
        tool.start("setpriv", user.setprivArguments(kTool, {"-o", out}));
        ASSERT_TRUE(tool.waitForStarted());
        const std::string piece(1 << 20, 'x');
        for (int i = 0; i < 8; ++i) {
            tool.write(piece.data(), qint64(piece.size()));
            tool.waitForBytesWritten(5000);
        }
        QThread::msleep(200);
        ::kill(pid_t(tool.processId()), SIGKILL);
        ASSERT_TRUE(tool.waitForFinished(10000));
        EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(contents(out), "precious") << name.toStdString();
    }
}

TEST_F(SaveAsUserTest, LinkPlantedInASharedFolderIsNotFollowed)
{
    std::ifstream setting("/proc/sys/fs/protected_symlinks");
    int protectedLinks = 0;
    setting >> protectedLinks;
    if (protectedLinks != 1)
        GTEST_SKIP() << "fs.protected_symlinks is off here, so the system follows such links";
    const QString shared = folder("shared", 0, 01777);
    const QString victim = make("victim.txt", "root only", 0, 0600);
    const QString link = shared + "/report.txt";
    ASSERT_EQ(user.run("ln", {"-s", victim, link}), 0);
    try {
        FileWriter::writeFile(link.toStdString(), "replaced");
        ADD_FAILURE() << "the planted link was followed";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(link.toStdString()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
    }
    EXPECT_EQ(contents(victim), "root only");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST_F(SaveAsUserTest, FullDiskUnderAFolderTheUserCannotWrite)
{
    const QString disk = folder("disk", 0, 0755);
    QProcess mount;
    mount.start("mount", {"-t", "tmpfs", "-o", "size=64k,mode=0755", "tmpfs", disk});
    if (!mount.waitForFinished(10000) || mount.exitCode() != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string old(20000, 'o');
    const QString out = make("disk/out.txt", old, user.uid(), 0644);
    QProcess tool;
    tool.start("setpriv", user.setprivArguments(kTool, {"-o", out}));
    const std::string body(200000, 'x');
    tool.write(body.data(), qint64(body.size()));
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitCode(), 1);
    const std::string err = tool.readAllStandardError().toStdString();
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    EXPECT_EQ(contents(out), old);
    EXPECT_EQ(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});
    QProcess::execute("umount", {disk});
}

TEST_F(SaveAsUserTest, DatabaseInAFolderTheUserCannotWriteIsLeftAsItWas)
{
    folder("ro", 0, 0755);
    const QString db = dir.filePath("ro/forms.sqlite");
    const auto add = [&](const char* id) {
        return QStringList{
            "--mail", "--format",
            "sqlite", "-o",
            db,       make(id, "Message-ID: <" + std::string(id) + ">\n\na=1\n", 0, 0644)};
    };
    ASSERT_EQ(QProcess::execute(kTool, add("one@example.org")), 0);
    ASSERT_EQ(::chown(QFile::encodeName(db).constData(), user.uid(), user.gid()), 0);
    const std::string before = contents(db);
    QProcess tool;
    tool.start("setpriv", user.setprivArguments(kTool, add("two@example.org")));
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitCode(), 1);
    const std::string err = tool.readAllStandardError().toStdString();
    EXPECT_NE(err.find("its form cannot be kept in " + db.toStdString() +
                       ": its folder cannot be written, and SQLite writes its journal there"),
              std::string::npos)
        << err;
    EXPECT_EQ(contents(db), before);
}
