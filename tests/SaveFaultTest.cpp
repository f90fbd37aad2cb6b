// formtidy-decode -o stopped at each system call of a save in turn, by strace's
// fault injection: killed, interrupted with SIGINT, or failed with EIO. Every
// stop must leave the old file whole, or the new one, or the file and a backup
// of the old text named as the README says; an interruption must leave nothing
// behind. Then signals in the middle of a 200 MB save, and saves with /proc
// hidden and $TMPDIR missing.
#include "TestUser.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace {
const QString kTool = QStringLiteral(FORMTIDY_DECODE_BIN);
const std::string kNew = "a :: 1\r\n\r\nb :: 2\r\n\r\nc :: hello world";

std::string contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
}

// Writes `bytes` over the file's content, keeping the file itself.
void put(const QString& path, const std::string& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

// The tool's environment: $TMPDIR set to `scratch`, and no leak checker in a
// sanitizer build, as it needs /proc and cannot work under strace.
QProcessEnvironment toolEnvironment(const QString& scratch)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", scratch);
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS", "detect_leaks=0") + ":detect_leaks=0");
    return env;
}

// Runs `command` under strace with the options `strace`, to its end.
void runTraced(QProcess& process, const QStringList& strace, const QStringList& command,
               const QString& scratch)
{
    process.setProcessEnvironment(toolEnvironment(scratch));
    // A sanitizer's runtime reads /proc/self/maps as it starts, in more or
    // fewer reads as the address layout varies, and so shifts the count of
    // the call a fault is aimed at. The layout is fixed where the system lets
    // it be.
    static const bool fixedLayout = QProcess::execute("setarch", {"-R", "true"}) == 0;
    const QStringList traced = QStringList{"strace", "-qq"} + strace + command;
    if (fixedLayout)
        process.start("setarch", QStringList{"-R"} + traced);
    else
        process.start(traced.front(), traced.mid(1));
    EXPECT_TRUE(process.waitForFinished(20000));
}

// The files in `folders` other than out.txt and alias.txt, with their content.
std::map<QString, std::string> leftovers(const QStringList& folders)
{
    std::map<QString, std::string> found;
    for (const QString& folder : folders)
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            if (name != "out.txt" && name != "alias.txt")
                found[folder + "/" + name] = contents(folder + "/" + name);
    return found;
}
} // namespace

TEST(SaveFaultTest, EveryStopOfASaveLeavesTheOldTextTheNewTextOrABackupOfTheOld)
{
    if (QStandardPaths::findExecutable("strace").isEmpty())
        GTEST_SKIP() << "strace is not installed";
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString input = dir.filePath("in.txt");
    put(input, "a=1&b=2&c=hello+world");
    TestUser user;
    // Replaced; rewritten in place for a hard link, to a shorter and a longer
    // text; and by a user in a folder they cannot write, the backup in $TMPDIR.
    const struct
    {
        const char* name;
        std::string old;
        bool hardLink, asUser;
    } shapes[] = {{"replaced", "old", false, false},
                  {"shorter", std::string(4000, 'o'), true, false},
                  {"longer", "old", true, false},
                  {"by a user", "old", false, true}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        if (shape.asUser && !user.available())
            continue;
        const QString folder = dir.filePath(shape.name), scratch = folder + "-scratch";
        const QString out = folder + "/out.txt", alias = folder + "/alias.txt";
        ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(scratch));
        put(out, shape.old);
        ASSERT_TRUE(!shape.hardLink ||
                    ::link(QFile::encodeName(out), QFile::encodeName(alias)) == 0);
        QStringList command{kTool, "-o", out, input};
        if (shape.asUser) {
            ASSERT_EQ(::chown(QFile::encodeName(out), user.uid(), user.gid()), 0);
            ASSERT_EQ(::chown(QFile::encodeName(scratch), user.uid(), user.gid()), 0);
            command = QStringList{"setpriv"} + user.setprivArguments(kTool, command.mid(1));
        }
        const auto run = [&](const QStringList& strace, QProcess& process) {
            runTraced(process, strace, command, scratch);
        };

        // Each system call from the first file made for the save to the end,
        // as a name and the how-manieth call of that name it is.
        QProcess recorded;
        run({"-o", dir.filePath("log")}, recorded);
        ASSERT_EQ(contents(out), kNew) << recorded.readAllStandardError().toStdString();
        std::ifstream trace(QFile::encodeName(dir.filePath("log")).toStdString());
        std::vector<std::string> steps;
        std::map<std::string, int> seen;
        for (std::string line; std::getline(trace, line);) {
            const std::string call = line.substr(0, line.find('('));
            if (call == line || call == "exit_group")
                continue;
            const std::string step = call + ":when=" + std::to_string(++seen[call]);
            if (!steps.empty() || line.find("O_TMPFILE") != std::string::npos)
                steps.push_back(step);
        }
        ASSERT_GT(steps.size(), 10u);

        static const QRegularExpression backupName("/out\\.txt\\.formtidy-backup-[0-9A-Za-z]{8}$");
        static const QRegularExpression temporaryName("/\\.out\\.txt\\.[0-9A-Za-z]{8}$");
        for (const std::string& step : steps) {
            // Where no room can be reserved, the free room is checked instead.
            const char* noRoom = step.rfind("fallocate:", 0) == 0 ? "error=EOPNOTSUPP" : "";
            for (const std::string fault : {"signal=KILL", "signal=INT", "error=EIO", noRoom}) {
                if (fault.empty())
                    continue;
                const std::string injected = "inject=" + step.substr(0, step.find(':')) + ":" +
                                             fault + step.substr(step.find(':'));
                SCOPED_TRACE(injected);
                put(out, shape.old);
                QProcess stopped;
                run({"-o", "/dev/null", "-e", QString::fromStdString(injected)}, stopped);
                const std::string now = contents(out);
                const std::string err = stopped.readAllStandardError().toStdString();
                const bool killed = fault == "signal=KILL", interrupted = fault == "signal=INT";
                EXPECT_TRUE(!killed || stopped.exitStatus() == QProcess::CrashExit);
                // A kill may leave a backup of the old text, or, between naming
                // the new file and renaming it, the new file; nothing else. A
                // failed save names its backup, and the scratch folder.
                bool oldKept = false;
                for (const auto& [path, bytes] : leftovers({folder, scratch})) {
                    const bool backup = backupName.match(path).hasMatch() && bytes == shape.old;
                    const bool whole = temporaryName.match(path).hasMatch() && bytes == kNew;
                    EXPECT_TRUE(!interrupted && (backup || (killed && whole)))
                        << path.toStdString();
                    EXPECT_TRUE(killed || now == shape.old || !backup ||
                                err.find(path.toStdString()) != std::string::npos)
                        << err;
                    oldKept |= backup;
                    QFile::remove(path);
                }
                EXPECT_TRUE(now == shape.old || now == kNew || oldKept) << now.substr(0, 60);
                EXPECT_TRUE(fault != noRoom || now == kNew) << err;
                EXPECT_TRUE(!shape.hardLink || contents(alias) == now);
                EXPECT_TRUE(err.find("held aside") == std::string::npos ||
                            err.find(scratch.toStdString()) != std::string::npos)
                    << err;
            }
        }
    }
}

TEST(SaveFaultTest, AReadThatFailsMidwayKeepsTheTextDecodedBeforeIt)
{
    if (QStandardPaths::findExecutable("strace").isEmpty())
        GTEST_SKIP() << "strace is not installed";
    QTemporaryDir dir;
    const QString input = dir.filePath("in.txt");
    put(input, "a=" + std::string(300000, 'x'));
    QProcess recorded, failed;
    runTraced(recorded, {"-o", dir.filePath("log"), "-e", "trace=openat,read"},
              {kTool, "-o", "/dev/null", input}, dir.path());
    // The input is read 128 KiB at a time; its third read fails.
    const std::string log = contents(dir.filePath("log"));
    const std::string before = "\n" + log.substr(0, log.find(input.toStdString()));
    std::size_t reads = 0;
    for (std::size_t at = 0; (at = before.find("\nread(", at)) != std::string::npos; ++at)
        ++reads;
    runTraced(failed,
              {"-o", "/dev/null", "-e", QString("inject=read:error=EIO:when=%1").arg(reads + 3)},
              {kTool, input}, dir.path());
    EXPECT_EQ(failed.exitCode(), 1);
    EXPECT_EQ(failed.readAllStandardOutput().toStdString(), "a :: " + std::string(262142, 'x'));
    EXPECT_EQ(failed.readAllStandardError().toStdString(),
              "formtidy-decode: " + input.toStdString() + ": Input/output error\n");
}

TEST(SaveFaultTest, ASignalInTheMiddleOfALargeSaveLeavesNothingBehind)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("big.txt"), out = dir.filePath("out.txt");
    QFile big(input);
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    for (int i = 0; i < 200; ++i)
        big.write(QByteArray("name=blue+cup&size=2&").repeated(50000));
    big.close();
    put(out, "old");
    for (const int signal : {SIGKILL, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        QProcess tool;
        tool.start(kTool, {"-o", out, input});
        ASSERT_TRUE(tool.waitForStarted());
        // Signalled once 20 MB of the new text are written.
        const std::string io = "/proc/" + std::to_string(tool.processId()) + "/io";
        for (long long written = 0; written < 20'000'000 && tool.state() == QProcess::Running;) {
            std::ifstream counters(io);
            std::string key;
            while (counters >> key && key != "wchar:")
                counters.ignore(256, '\n');
            counters >> written;
            QThread::msleep(2);
        }
        ASSERT_EQ(tool.state(), QProcess::Running) << "the save ended before the signal";
        ::kill(pid_t(tool.processId()), signal);
        ASSERT_TRUE(tool.waitForFinished(20000));
        EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(tool.exitCode(), signal) << "ends with the signal's own status";
        EXPECT_EQ(contents(out), "old");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"big.txt", "out.txt"}));
    }
}

TEST(SaveFaultTest, SavesWorkWithProcHiddenAndTmpdirMissing)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("in.txt"), out = dir.filePath("out.txt");
    const QString linked = dir.filePath("linked.txt"), alias = dir.filePath("alias.txt");
    put(input, "a=1&b=2&c=hello+world");
    // Starts the tool through `prefix`, with $TMPDIR naming nothing.
    const auto run = [&](const QStringList& prefix, const QString& target, QProcess& tool) {
        tool.setProcessEnvironment(toolEnvironment(dir.filePath("none")));
        const QStringList command = prefix + QStringList{kTool, "-o", target};
        tool.start(command[0], command.mid(1));
    };
    const QStringList hidden{
        "unshare", "-m", "sh", "-c", "mount -t tmpfs none /proc && exec \"$@\"", "sh"};
    for (const QStringList& prefix : {QStringList{}, hidden}) {
        SCOPED_TRACE(prefix.join(' ').toStdString());
#ifdef __SANITIZE_ADDRESS__
        if (!prefix.isEmpty())
            GTEST_SKIP() << "the sanitizers read their options from /proc, and cannot run without";
#endif
        put(out, "old");
        put(linked, "old");
        QFile::remove(alias);
        ASSERT_EQ(::link(QFile::encodeName(linked), QFile::encodeName(alias)), 0);
        for (const QString& target : {out, linked}) {
            QProcess tool;
            run(prefix, target, tool);
            tool.write("a=1&b=2&c=hello+world");
            tool.closeWriteChannel();
            ASSERT_TRUE(tool.waitForFinished(20000));
            const std::string err = tool.readAllStandardError().toStdString();
            if (!prefix.isEmpty() && tool.exitCode() != 0 &&
                err.find("unshare") != std::string::npos)
                GTEST_SKIP() << "a mount namespace cannot be made here: " << err;
            EXPECT_EQ(tool.exitCode(), 0) << err;
            EXPECT_EQ(contents(target), kNew);
        }
        EXPECT_EQ(contents(alias), kNew);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
    }
    // Without /proc the new file is named from the start: a signal removes it.
    const auto temporaries = [&] {
        return QDir(dir.path()).entryList({".out.txt.*"}, QDir::Files | QDir::Hidden).size();
    };
    QProcess tool;
    run(hidden, out, tool);
    for (int i = 0; i < 500 && temporaries() == 0; ++i)
        QThread::msleep(10);
    ASSERT_EQ(temporaries(), 1);
    ::kill(pid_t(tool.processId()), SIGTERM);
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitCode(), SIGTERM);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
    EXPECT_EQ(contents(out), kNew);
}
