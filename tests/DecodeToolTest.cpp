#include "convert/DecodeFormText.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

using namespace std::string_literals;

namespace {
struct ToolRun
{
    int code;
    std::string out;
    std::string err;
};

ToolRun decodeTool(const QStringList& args, const std::string& input = {})
{
    QProcess process;
    process.start(QStringLiteral(FORMTIDY_DECODE_BIN), args);
    process.write(input.data(), qint64(input.size()));
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(20000));
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

class DecodeToolTest : public ::testing::Test
{
protected:
    QString write(const QString& name, const std::string& bytes)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
        return f.fileName();
    }
    std::string read(const QString& name)
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }
    QTemporaryDir dir;
};
} // namespace

TEST_F(DecodeToolTest, DecodesStandardInputAndEachFileUpToItsNul)
{
    EXPECT_EQ(decodeTool({}, "item=blue+cup&size=2").out, "item :: blue cup\r\n\r\nsize :: 2");
    const QString a = write("a.txt", "a=50%");
    const QString b = write("b.txt", "%21x\0=ignored"s);
    const ToolRun run = decodeTool({a, "-", b}, "+");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "a :: 50 !x");
}

TEST_F(DecodeToolTest, LargeInputMatchesTheWholeTextDecoder)
{
    std::string body;
    for (int i = 0; body.size() < 300000; ++i)
        body += "field" + std::to_string(i) + "=some+value%21%0D%0A%3F%E9x&";
    const ToolRun run = decodeTool({write("big.txt", body)});
    EXPECT_EQ(run.out, DecodeFormText(body));
}

TEST_F(DecodeToolTest, OutputFileIsReplacedOnlyOnSuccess)
{
    const QString out = write("out.txt", "old");
    EXPECT_EQ(decodeTool({"-o", out, write("in.txt", "a=1")}).code, 0);
    EXPECT_EQ(read("out.txt"), "a :: 1");

    const ToolRun failed =
        decodeTool({"-o", out, write("in2.txt", "b=2"), dir.filePath("missing")});
    EXPECT_EQ(failed.code, 1);
    EXPECT_NE(failed.err.find("missing\": No such file or directory"), std::string::npos)
        << failed.err;
    EXPECT_EQ(read("out.txt"), "a :: 1");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST_F(DecodeToolTest, FaultsNameTheFileAndExitWithOne)
{
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo), 0600), 0);
    for (const QString& path : {fifo, dir.path(), QStringLiteral("/dev/zero")}) {
        const ToolRun run = decodeTool({path});
        EXPECT_EQ(run.code, 1) << path.toStdString();
        EXPECT_NE(run.err.find(path.toStdString()), std::string::npos) << run.err;
    }
    const ToolRun unwritable = decodeTool({"-o", "/proc/formtidy-out.txt"}, "a=1");
    EXPECT_EQ(unwritable.code, 1);
    EXPECT_NE(unwritable.err.find("/proc/formtidy-out.txt"), std::string::npos) << unwritable.err;
}

TEST_F(DecodeToolTest, StandardOutputGoesOnAfterAFailedInput)
{
    const ToolRun run = decodeTool(
        {write("a.txt", "a=1"), dir.filePath("missing"), dir.path(), write("b.txt", "b=2")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "a :: 1b :: 2");
    EXPECT_NE(run.err.find("missing\": No such file or directory"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Is a directory"), std::string::npos) << run.err;
}

TEST_F(DecodeToolTest, OutputNamesThatAreNotAFileToReplace)
{
    const QString in = write("in.txt", "a=1");
    const QString log = write("log", "log\n");
    // Standard output under any name is written where it points, here appending.
    QProcess shell;
    shell.start("sh", {"-c", "\"$0\" -o /dev/stdout \"$1\" >>\"$2\" && \"$0\" -o - \"$1\" >>\"$2\"",
                       QStringLiteral(FORMTIDY_DECODE_BIN), in, log});
    ASSERT_TRUE(shell.waitForFinished(20000));
    EXPECT_EQ(shell.exitCode(), 0);
    EXPECT_EQ(read("log"), "log\na :: 1a :: 1");
    // A device is written as it is, with no temporary file beside it.
    EXPECT_EQ(decodeTool({"-o", "/dev/null", in}).code, 0);
    // An output that is also an input is read whole before it is replaced.
    const QString self = write("self.txt", "b=2");
    EXPECT_EQ(decodeTool({"--output", self, self}).code, 0);
    EXPECT_EQ(read("self.txt"), "b :: 2");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST_F(DecodeToolTest, NamesAreBytes)
{
    // Names that are not UTF-8 cannot pass through QProcess; the shell makes them.
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start("sh", {"-c",
                       "printf a=1 >\"$(printf 'in\\351.txt')\" && "
                       "\"$0\" -o \"$(printf 'out\\351.txt')\" \"$(printf 'in\\351.txt')\"",
                       QStringLiteral(FORMTIDY_DECODE_BIN)});
    ASSERT_TRUE(shell.waitForFinished(20000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    const std::string out = (QFile::encodeName(dir.path()) + "/out\xe9.txt").toStdString();
    std::FILE* f = std::fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, f), 6u);
    std::fclose(f);
    EXPECT_EQ(std::string(buffer), "a :: 1");
}

TEST_F(DecodeToolTest, UsageHelpAndVersion)
{
    EXPECT_EQ(decodeTool({"--bogus"}).code, 2);
    EXPECT_EQ(decodeTool({"-o"}).code, 2);
    EXPECT_EQ(decodeTool({"-o", ""}).code, 2);
    EXPECT_EQ(decodeTool({"--output="}).code, 2);
    const QString in = write("in.txt", "a=1");
    EXPECT_EQ(decodeTool({"-o" + dir.filePath("o1.txt"), in}).code, 0);
    EXPECT_EQ(decodeTool({in, "--output=" + dir.filePath("o2.txt")}).code, 0);
    EXPECT_EQ(read("o1.txt"), "a :: 1");
    EXPECT_EQ(read("o2.txt"), "a :: 1");
    for (const char* option : {"--help", "--version"}) {
        QProcess shell;
        shell.start("sh",
                    {"-c", "\"$0\" $1 >/dev/full", QStringLiteral(FORMTIDY_DECODE_BIN), option});
        ASSERT_TRUE(shell.waitForFinished(20000));
        EXPECT_EQ(shell.exitCode(), 1) << option;
    }
    const ToolRun help = decodeTool({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: formtidy-decode [-o OUT] [FILE...]"), std::string::npos);
    EXPECT_EQ(decodeTool({"--version"}).out, "formtidy-decode 2.0.0.1\n");
}
