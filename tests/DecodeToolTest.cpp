#include "cli/ByteScan.h"
#include "cli/GObjectPtr.h"
#include "cli/MailScanner.h"
#include "cli/Utf8Converter.h"
#include "convert/DecodeFormText.h"
#include "convert/FormFieldSplitter.h"
#include "convert/FormScanner.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <random>
#include <sstream>
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
    EXPECT_EQ(run.out, "a :: 50\r\n\r\n \r\n\r\n!x"); // a field break between inputs
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
    EXPECT_EQ(failed.err, "formtidy-decode: " + dir.filePath("missing").toStdString() +
                              ": No such file or directory\n");
    EXPECT_EQ(read("out.txt"), "a :: 1");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST_F(DecodeToolTest, FaultsNameTheFileAndExitWithOne)
{
    const ToolRun folder = decodeTool({dir.path()});
    EXPECT_EQ(folder.code, 1);
    EXPECT_EQ(folder.err, "formtidy-decode: " + dir.path().toStdString() + ": Is a directory\n");
    const ToolRun unwritable = decodeTool({"-o", "/proc/formtidy-out.txt"}, "a=1");
    EXPECT_EQ(unwritable.code, 1);
    EXPECT_EQ(unwritable.err.rfind("formtidy-decode: /proc/formtidy-out.txt: ", 0), 0u)
        << unwritable.err;
    const QString self = write("self.txt", "a=1");
    QProcess shell;
    shell.start("sh", {"-c", "\"$0\" \"$1\" >>\"$1\"", QStringLiteral(FORMTIDY_DECODE_BIN), self});
    ASSERT_TRUE(shell.waitForFinished(20000));
    EXPECT_EQ(shell.exitCode(), 1);
    EXPECT_EQ(shell.readAllStandardError().toStdString(),
              "formtidy-decode: " + self.toStdString() + ": input file is output file\n");
}

TEST_F(DecodeToolTest, WithoutProcTheFormatsAreNeverTakenFromTheCurrentFolder)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers read their options from /proc, and cannot run without";
#endif
    // The executable's folder is unknown then, and a library of the formats'
    // name in the folder the tool runs in is none of its.
    write("formtidy-decode-formats.so", "not a library");
    const QString in = write("in.mbox", "From a@b Tue Dec  8 10:00:00 2026\n\na=1\n");
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start("unshare", {"-m", "sh", "-c", "mount -t tmpfs none /proc && exec \"$@\"", "sh",
                            QStringLiteral(FORMTIDY_DECODE_BIN), "--mail", in});
    ASSERT_TRUE(shell.waitForFinished(20000));
    const std::string err = shell.readAllStandardError().toStdString();
    if (shell.exitCode() != 0 && err.find("unshare") != std::string::npos)
        GTEST_SKIP() << "a mount namespace cannot be made here: " << err;
    EXPECT_EQ(err.find(": formtidy-decode-formats.so"), std::string::npos) << err;
    EXPECT_EQ(err.find("ELF"), std::string::npos) << err;
}

TEST_F(DecodeToolTest, PipesAndDevicesAreReadByName)
{
    // A FIFO whose writer comes after the tool opened it, standard input by
    // name, a shell's <(...), and a device that ends at its first NUL.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo), 0600), 0);
    QProcess shell;
    shell.start("bash", {"-c",
                         "\"$0\" \"$1\" /dev/stdin <(printf c=3) /dev/zero <<<'b=2' & "
                         "sleep 0.2; printf a=1 >\"$1\"; wait $!",
                         QStringLiteral(FORMTIDY_DECODE_BIN), fifo});
    ASSERT_TRUE(shell.waitForFinished(20000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_EQ(shell.readAllStandardOutput().toStdString(),
              "a :: 1\r\n\r\nb :: 2\n\r\n\r\nc :: 3\r\n\r\n");
}

TEST_F(DecodeToolTest, StandardOutputGoesOnAfterAFailedInput)
{
    const ToolRun run = decodeTool(
        {write("a.txt", "a=1"), dir.filePath("missing"), dir.path(), write("b.txt", "b=2")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "a :: 1\r\n\r\nb :: 2");
    EXPECT_EQ(run.err, "formtidy-decode: " + dir.filePath("missing").toStdString() +
                           ": No such file or directory\nformtidy-decode: " +
                           dir.path().toStdString() + ": Is a directory\n");
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
    // A usage error is one line and a pointer to the help.
    const std::pair<QStringList, std::string> usageErrors[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-o"}, "option '-o' needs a value"},
        {{"-o", ""}, "the output file name is empty"},
        {{"--output="}, "the output file name is empty"},
        {{"--format", "xml"}, "unknown format 'xml' (text, csv, json or sqlite)"},
        {{"--format"}, "option '--format' needs a value"},
        {{"--decode", "raw"}, "unknown decoding 'raw' (faithful or standard)"},
        {{"-r"}, "--recursive reads folders of mail: it goes with --mail"},
        {{"--escape-formulas"}, "--escape-formulas goes with --format csv"},
        {{"--format", "sqlite", "-o", "-"},
         "--format sqlite writes a database: name it with -o FILE"},
        {{"--from", "kept.sqlite"}, "--from goes with --format csv or --format json"},
        {{"imaps://h/INBOX"}, "an IMAP mailbox (imaps://h/INBOX) is read with --mail"},
        {{"--mail", "imap://u:pw@h/"},
         "imap://u:pw@h/: the password does not go into the URL: put it in ~/.netrc or give "
         "--password-file"},
        {{"--mail", "--since", "2026-13-01", "imaps://h/"},
         "--since takes a date as YYYY-MM-DD, not '2026-13-01'"},
        {{"--mail", "--new", "imaps://h/"},
         "--new fetches what the database lacks: it goes with --format sqlite"},
        {{"--password-file", "pw", "a.txt"},
         "--new, --since, --search, --password-file and --cacert go with an IMAP mailbox "
         "(--mail imaps://USER@HOST/MAILBOX)"},
    };
    for (const auto& [args, message] : usageErrors) {
        const ToolRun run = decodeTool(args);
        EXPECT_EQ(run.code, 2) << message;
        EXPECT_EQ(run.err, "formtidy-decode: " + message +
                               "\nTry 'formtidy-decode --help' for more information.\n");
        EXPECT_EQ(run.out, "");
    }
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
    EXPECT_NE(help.out.find("--decode standard"), std::string::npos);
    const std::string version = decodeTool({"--version"}).out;
    EXPECT_EQ(version.rfind("formtidy-decode 2.0.0.1\n", 0), 0u) << version;
    EXPECT_NE(version.find("License: MIT"), std::string::npos) << version;
}

// Mail input and the output formats, on mails that the tests write themselves.
namespace {
std::string message(const std::string& id, const std::string& headers, const std::string& body)
{
    return "From: Web Form <form@example.org>\nTo: sales@example.org\nSubject: Form\n"
           "Message-ID: <" +
           id + ">\nDate: Tue, 8 Dec 2026 10:00:00 +0100\nMIME-Version: 1.0\n" + headers + "\n" +
           body + "\n";
}

std::string mbox(const std::vector<std::string>& messages)
{
    std::string out;
    for (const std::string& m : messages)
        out += "From form@example.org Tue Dec  8 10:00:00 2026\n" + m + "\n";
    return out;
}

std::vector<nlohmann::json> jsonLines(const std::string& out)
{
    std::vector<nlohmann::json> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

const std::string kForm = "name=Jane+Doe&note=Hi%21%0D%0ABye&size=2";

// The form in quoted-printable, with a soft line break, and in base64.
const std::string kQuotedMail = message("qp@example.org",
                                        "Content-Type: text/plain; charset=us-ascii\n"
                                        "Content-Transfer-Encoding: quoted-printable\n",
                                        "name=3DJane+Doe&note=3DHi%21%0D%0A=\nBye&size=3D2");
const std::string kBase64Mail = message("b64@example.org",
                                        "Content-Type: text/plain\n"
                                        "Content-Transfer-Encoding: base64\n",
                                        "bmFtZT1KYW5lK0RvZSZub3RlPUhpJTIxJTBEJTBBQnllJnNpemU9Mg==");
// An attachment after a text part, inside multipart/alternative within multipart/mixed.
const std::string kAttachmentMail =
    message("att@example.org", "Content-Type: multipart/mixed; boundary=\"outer\"\n",
            "--outer\nContent-Type: multipart/alternative; boundary=\"inner\"\n\n"
            "--inner\nContent-Type: text/plain\n\nThe form is attached.\n"
            "--inner\nContent-Type: text/html\n\n<p>The form is attached.</p>\n--inner--\n"
            "--outer\nContent-Type: application/x-www-form-urlencoded\n"
            "Content-Disposition: attachment; filename=\"POSTDATA.ATT\"\n"
            "Content-Transfer-Encoding: base64\n\n"
            "bmFtZT1KYW5lK0RvZSZub3RlPUhpJTIxJTBEJTBBQnllJnNpemU9Mg==\n--outer--\n");
// A customer's reply: prose, and no form.
const std::string kReplyMail = message("reply@example.org", "Content-Type: text/plain\n",
                                       "Thanks, a=1 is what I meant.\n\n-- \nSales");
} // namespace

TEST_F(DecodeToolTest, MailFormBodiesAreDecodedAsQuickConvertDecodesThem)
{
    const std::string expected = DecodeFormText(kForm);
    const std::string formMail =
        message("form@example.org", "Content-Type: application/x-www-form-urlencoded\n", kForm);
    for (const std::string& mail : {kQuotedMail, kBase64Mail, kAttachmentMail, formMail}) {
        const ToolRun run = decodeTool({"--mail", write("m.eml", mail)});
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, expected) << mail;
    }
    // Line ends of CR LF, a part without a transfer encoding, a NUL ending the text.
    std::string crlf = message("crlf@example.org", "Content-Type: text/plain\n", "a=1&b=2\0c=3"s);
    for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    EXPECT_EQ(decodeTool({"--mail", "-"}, crlf).out, "a :: 1\r\n\r\nb :: 2");
    // A text/plain post: a field per line, written as it came.
    const std::string lines = message("lines@example.org", "", "a=1+%21\nb=2\n\n\n");
    EXPECT_EQ(decodeTool({"--mail"}, lines).out, "a :: 1+%21\r\n\r\nb :: 2");
}

TEST_F(DecodeToolTest, MboxGivesEachFormAndNamesAMessageWithoutOne)
{
    const QString inbox = write("inbox.mbox", mbox({kBase64Mail, kReplyMail, kQuotedMail}));
    const ToolRun run = decodeTool({"--mail", inbox});
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(run.out, DecodeFormText(kForm + "&" + kForm));
    EXPECT_EQ(run.err, "formtidy-decode: " + inbox.toStdString() +
                           ": message 2 <reply@example.org>: no form\n");
    // The same through a pipe.
    EXPECT_EQ(decodeTool({"--mail"}, read("inbox.mbox")).out, run.out);
    // Mails across the edges of what is read at a time, one of them larger.
    std::vector<std::string> many;
    std::string forms;
    for (int i = 0; i < 400; ++i) {
        const std::string form =
            "n=" + std::to_string(i) + "&p=" + std::string(i == 150 ? 300000 : i % 97 * 20, 'x');
        many.push_back(message(std::to_string(i) + "@example.org", "", form));
        forms += (i ? "&" : "") + form;
    }
    EXPECT_EQ(decodeTool({"--mail", write("many.mbox", mbox(many))}).out, DecodeFormText(forms));
    // Not a mail at all, which is an error.
    const ToolRun garbage = decodeTool({"--mail", write("form.txt", "not a mail\n")});
    EXPECT_EQ(garbage.code, 1);
    EXPECT_EQ(garbage.err, "formtidy-decode: " + dir.filePath("form.txt").toStdString() +
                               ": message 1 (no Message-ID): it cannot be read as a mail "
                               "message\n");
}

// Every shape of form mail that browsers and mail programs send, with mails
// that are not forms between them: each form is one row, and nothing else is.
TEST_F(DecodeToolTest, EachShapeOfFormMailIsOneRow)
{
    const std::string post = "Content-Type: text/plain; charset=utf-8\n";
    const std::string mixed = "Content-Type: multipart/mixed; boundary=\"b\"\n";
    const auto attached = [&](const std::string& type) {
        return "--b\nContent-Type: text/plain\n\nSee the attachment.\n--b\nContent-Type: " + type +
               "\nContent-Disposition: attachment; filename=\"POSTDATA.ATT\"\n\na=1&b=2\n--b--\n";
    };
    const std::string fields = R"([["a","1"],["b","2"]])";
    const struct
    {
        std::string headers, body, fields; // no fields: not a form
    } shapes[] = {
        {"Content-Type: multipart/alternative; boundary=\"b\"\n",
         "--b\nContent-Type: text/plain; charset=utf-8\n\nname=Jane+Doe&city=Z%C3%BCrich\n"
         "--b\nContent-Type: text/html\n\n<p>name=Jane+Doe</p>\n--b--\n",
         R"([["name","Jane Doe"],["city","Zürich"]])"},
        {mixed, attached("application/octet-stream"), fields},
        {mixed, attached("text/plain"), fields},
        {mixed, attached("application/x-www-form-urlencoded"), fields},
        // enctype="text/plain", an mbox's ">From " quoting and a signature.
        {post, "name=Jane Doe\ncomment=Hello\n>From the team\n\nBye\nemail=a@b.c\n-- \nJane",
         R"([["name","Jane Doe"],["comment","Hello\nFrom the team\n\nBye"],["email","a@b.c"]])"},
        {"Content-Type: text/plain; format=flowed; delsp=yes\n",
         "name=Jane+Doe&note=a+long+ \nline&x=1", R"([["name","Jane Doe"],["note","a long line"],
         ["x","1"]])"},
        {"Content-Type: text/plain; format=flowed\n", "note=a long \r\n line\r\nx=1\r\n-- \r\nEve",
         R"([["note","a long line"],["x","1"]])"},
        {post, "a=1&email=eve%40example.com\n\nSent from my iPhone",
         R"([["a","1"],["email","eve@example.com"]])"},
        {post, "a=1&email=eve%40example.com\r\n-- \r\nEve",
         R"([["a","1"],["email","eve@example.com"]])"},
        {mixed,
         "--b\nContent-Type: text/plain\n\nForwarded.\n--b\nContent-Type: message/rfc822\n\n"
         "From: web@example.org\nSubject: Form\n\nq=forwarded\n--b--\n",
         R"([["q","forwarded"]])"},
        // Shift_JIS as browsers read it, ASCII as it is, under each of its names.
        {"Content-Type: text/plain; charset=Shift_JIS\n", "name=%8ER%93c&path=C%3A%5C%7Ejo",
         R"([["name","山田"],["path","C:\\~jo"]])"},
        {"Content-Type: text/plain; charset=windows-31j\n", "name=%82%A0", R"([["name","あ"]])"},
        {"Content-Type: text/plain; charset=euc-kr\n", "name=%B0%A1%81A", R"([["name","가갂"]])"},
        {"Content-Type: text/plain; charset=latin5\n", "name=%80%D0", R"([["name","€Ğ"]])"},
        // Base64 without the "=" that pads its end.
        {"Content-Transfer-Encoding: base64\n", "YT0xJmQ9eHk", R"([["a","1"],["d","xy"]])"},
        {"Content-Type: text/plain; charset=iso-8859-1\n", "name=Ren%E9e", R"([["name","Renée"]])"},
        {post, "name=%80&_charset_=windows-1252", R"([["name","€"],["_charset_","windows-1252"]])"},
        {post, "a=%00%C3%A9", R"([["a","\u0000é"]])"},
        {post, "Thanks, see you soon!\n\nBob", ""},
        {post, "https://example.org/?a=1", ""},
        {"Content-Type: multipart/alternative; boundary=\"b\"\n",
         "--b\nContent-Type: text/plain\n\nOur news this week.\n--b\nContent-Type: text/html\n\n"
         "<p>Our news</p>\n--b--\n",
         ""},
    };
    std::vector<std::string> mails, expected;
    std::string skipped;
    const std::string inbox = dir.filePath("inbox.mbox").toStdString();
    for (const auto& shape : shapes) {
        const std::string id = std::to_string(mails.size() + 1);
        mails.push_back(message(id, shape.headers, shape.body));
        if (shape.fields.empty())
            skipped += "formtidy-decode: " + inbox + ": message " + id + " <" + id + ">: no form\n";
        else
            expected.push_back(shape.fields);
    }
    write("inbox.mbox", mbox(mails));
    for (const char* decoding : {"standard", "faithful"}) {
        const ToolRun run = decodeTool(
            {"--mail", "--format=json", "--decode", decoding, QString::fromStdString(inbox)});
        EXPECT_EQ(run.code, 3);
        EXPECT_EQ(run.err, skipped);
        const std::vector<nlohmann::json> lines = jsonLines(run.out);
        ASSERT_EQ(lines.size(), expected.size()) << run.out;
        for (std::size_t i = 0; i < lines.size() && decoding == "standard"s; ++i)
            EXPECT_EQ(lines[i]["fields"], nlohmann::json::parse(expected[i])) << i;
    }
}

// A message of one part, and a multipart of such parts, are read where they
// lie; a part of a multipart within a multipart is parsed by GMime. All give
// the same form, or none, whatever the part's fields say and however the
// multipart frames it.
TEST_F(DecodeToolTest, APartAloneReadsAsInAMultipart)
{
    const char* types[] = {nullptr,
                           "text/plain; charset=iso-8859-1",
                           "TEXT/Plain;\n format=flowed",
                           "application/x-www-form-urlencoded; charset=\"=?utf-8?q?x?=\"",
                           "application/octet-stream; name=\"POSTDATA.ATT\"",
                           "text/html",
                           "garbage",
                           "message/rfc2822",
                           "multipart/mixed; boundary=c\nContent-Type: text/plain"};
    const char* dispositions[] = {nullptr, "attachment; filename=POSTDATA.ATT", "Attachment",
                                  "inline; filename*=us-ascii''postdata.att"};
    // One text in each transfer encoding: bytes beyond ASCII, a flowed line,
    // an mbox's quoted "From ". Of a field given twice, the last counts.
    const std::pair<const char*, std::string> encodings[] = {
        {nullptr, "a=1&b=caf%E9+x \nc=>From \nd=\xe9"},
        {"\n =?us-ascii?q?BASE64?= ", "YT0xJmI9Y2FmJUU5K3ggCmM9PkZyb20gCmQ96Q=="},
        {"7bit\nContent-Transfer-Encoding: quoted-printable",
         "a=3D1&b=3Dcaf%E9+x=20\nc=3D>From=20\nd=3D=E9"},
        {"bogus", "Thanks.\n\n-- \nBob"}};
    // Before and after the part: a preface and an epilogue, boundaries
    // followed by white space, parts before it, an empty one, no closing
    // boundary.
    const std::pair<std::string, std::string> frames[] = {
        {"--b\n", "\n\n\n--b--"},
        {"--b\n\n--b\n", "\n--b--"},
        {"Preface.\n--b \t\n", "\n--b--  \nEpilogue.\n--b\nX-Part: 3\n\na=1\n"},
        {"--b\nContent-Type: text/html\n\n<p>Hi</p>\n--b\n\n\n--b\n", "\n--b--"},
        {"--b\n", "\n\n"}};
    std::vector<std::string> alone, nested, deep;
    for (const char* type : types)
        for (const char* disposition : dispositions)
            for (const auto& [encoding, body] : encodings) {
                std::string fields;
                for (const auto& [name, value] : {std::pair{"Type", type},
                                                  {"Disposition", disposition},
                                                  {"Transfer-Encoding", encoding}})
                    if (value)
                        fields += "Content-"s + name + ": " + value + "\n";
                const std::string id = std::to_string(alone.size() + 1);
                const auto& [before, after] = frames[alone.size() % std::size(frames)];
                const std::string framed = before + fields + "\n" + body + after;
                alone.push_back(message(id, fields, body));
                nested.push_back(
                    message(id, "Content-Type: multipart/mixed; boundary=b\n", framed));
                deep.push_back(message(id, "Content-Type: multipart/mixed; boundary=o\n",
                                       "--o\nContent-Type: multipart/mixed; boundary=b\n\n" +
                                           framed + "\n--o--\n"));
            }
    // Line breaks as written, all CR LF, or CR LF after boundary lines only,
    // where GMime cuts a part's last byte with the break before the line.
    for (const int breaks : {0, 1, 2}) {
        std::vector<ToolRun> runs;
        for (const auto* mails : {&alone, &nested, &deep}) {
            const std::string text = mbox(*mails);
            std::string written;
            std::size_t start = 0;
            for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
                 start = end + 1) {
                written.append(text, start, end - start);
                if (breaks == 1 || (breaks == 2 && text.compare(start, 2, "--") == 0))
                    written += '\r';
                written += '\n';
            }
            written.append(text, start);
            runs.push_back(decodeTool({"--mail", "--format=json", "-"}, written));
        }
        // There a part alone keeps the byte.
        const std::size_t first = breaks == 2 ? 1 : 0;
        const auto forms = jsonLines(runs[first].out);
        EXPECT_GT(forms.size(), alone.size() / 2);
        for (std::size_t other = first + 1; other < runs.size(); ++other) {
            const auto otherForms = jsonLines(runs[other].out);
            ASSERT_EQ(forms.size(), otherForms.size()) << other;
            for (std::size_t i = 0; i < forms.size(); ++i)
                EXPECT_EQ(forms[i]["fields"], otherForms[i]["fields"]) << other << " " << i;
            EXPECT_EQ(runs[first].err, runs[other].err);
        }
    }
}

// GMime parses only the fields of a message's header block that are read; a
// part's fields all stay. Where a line of the block is no header, what GMime
// makes of it depends on the fields before it, and they all stay too.
TEST_F(DecodeToolTest, FieldsThatNothingReadsAreLeftOut)
{
    InitGMime(); // the scanner parses a multipart's type as GMime does
    MailScanner::Message message;
    const auto kept = [this, &message](const std::string& mail) {
        QFile file(write("fields.eml", mail));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        MailScanner scanner(file.handle(), 0, false);
        EXPECT_TRUE(scanner.next(message));
        EXPECT_EQ(message.cuts, 0u);
        std::string text;
        off_t at = 0;
        for (const auto& [from, to] : message.leftOut) {
            text += mail.substr(std::size_t(at), std::size_t(from - at));
            at = to;
        }
        return text + mail.substr(std::size_t(at));
    };
    // Date and Message-ID are taken by the scanner.
    const std::string taken = "Date: Tue, 8 Dec 2026 10:00:00 +0100\nMessage-ID: <m@example.org>\n";
    const std::string read = "Content-Type: multipart/mixed;\n boundary=b\n";
    const std::string body = "\n--b\nX-Part: 1\n\na=1\n--b--\n";
    EXPECT_EQ(kept("Received: by mx\n\tfor <a@example.org>\nX-Mailer: PHP\nTo: a@example.org\n" +
                   taken + read + "MIME-Version: 1.0\nSubject: Form\nFrom: b@example.org\n" + body),
              read + body);
    EXPECT_TRUE(message.fieldsTaken);
    EXPECT_EQ(message.date, " Tue, 8 Dec 2026 10:00:00 +0100");
    EXPECT_EQ(message.messageId, " <m@example.org>");
    const std::string odd = "X-Mailer: PHP\nno header\nSubject: Form\n" + taken + read + body;
    EXPECT_EQ(kept(odd), odd);
    EXPECT_FALSE(message.fieldsTaken);
}

TEST_F(DecodeToolTest, CsvHasARowPerFormAndEachHeaderOnce)
{
    // The output file is written although a mail has no form, and replaced whole.
    const QString out = write("forms.csv", "old");
    // Of two Message-IDs and Dates the last counts; a quoted "From " line
    // before a mail's headers is passed over.
    const std::string odd =
        message("first@example.org",
                "Message-ID: <odd@example.org>\nDate: Wed, 9 Dec 2026 10:00:00 +0100\n"
                "Content-Type: application/x-www-form-urlencoded\n",
                "name=Smith,+\"Al\"&note=x%0D%0Ay&name=Bo&solo&source=web&date=-1&name%232=%3D1"
                "&nul=%00%3D"); // a NUL is no sign of a formula
    const std::string in =
        write("in.mbox", mbox({">From form@example.org\n" + kQuotedMail, kReplyMail, odd}))
            .toStdString();
    const ToolRun run =
        decodeTool({"--mail", "--format", "csv", "--escape-formulas", "-o", out, in.c_str()});
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(read("forms.csv"),
              "source,date,message_id,name,note,size,name#2,solo,source#2,date#2,name#2#2,nul\r\n" +
                  in + "#1,2026-12-08 09:00:00,qp@example.org,Jane Doe,\"Hi!\r\nBye\",2,,,,,,\r\n" +
                  in +
                  "#3,2026-12-09 09:00:00,odd@example.org,\"Smith, \"\"Al\"\"\",\"x\r\ny\",,Bo,,"
                  "web,'-1,'=1," +
                  std::string("\0=", 2) + "\r\n");
    // The date as written is that same last one.
    EXPECT_NE(decodeTool({"--mail", "--format", "json", in.c_str()})
                  .out.find(R"("date":"Wed, 9 Dec 2026 10:00:00 +0100")"),
              std::string::npos);
}

TEST_F(DecodeToolTest, DateAndMessageIdAreReadAsGMimeReadsAField)
{
    // The last of each counts, unfolded, its encoded words and bytes beyond
    // ASCII decoded.
    const std::string in =
        write(
            "in.mbox",
            mbox({message(
                      "a@example.org",
                      "Message-ID:\n <folded@example.org>\nDate: Wed, 9 Dec 2026\n\t10:00 +0100\n",
                      "a=1"),
                  message("b@example.org", "Message-ID: =?us-ascii?q?=3Cencoded=40x=3E?=\n", "b=2"),
                  message("c@example.org", "Message-ID: <caf\xe9@x>\r\n", "c=3")}))
            .toStdString();
    const auto lines = jsonLines(decodeTool({"--mail", "--format", "json", in.c_str()}).out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["message_id"], "folded@example.org");
    EXPECT_EQ(lines[0]["date"], "Wed, 9 Dec 2026\t10:00 +0100");
    EXPECT_EQ(lines[1]["message_id"], "encoded@x");
    EXPECT_EQ(lines[2]["message_id"], "caf\u00e9@x");
}

TEST_F(DecodeToolTest, OversizedMailIsCutToFitAndStillRead)
{
    std::string parts;
    for (int i = 0; i < 1001; ++i)
        parts += "--b\nContent-Type: text/plain\n\nPart " + std::to_string(i) + "\n";
    std::string longForm = "e=3D"; // quoted-printable
    for (int i = 0; i < 4000; ++i)
        longForm += std::string(75, 'y') + "=\n";
    const std::string in =
        write("in.mbox",
              mbox({message("long@example.org", "X-Long: " + std::string(70000, 'x') + "\n", "a=1"),
                    message("parts@example.org", "Content-Type: multipart/mixed; boundary=b\n",
                            "--b\nContent-Type: text/plain\n\nb=2\n" + parts + "--b--\n"),
                    // Its form was left out with the parts after the 1,000th.
                    message("lost@example.org", "Content-Type: multipart/mixed; boundary=b\n",
                            parts + "--b\nContent-Type: text/plain\n\nc=3\n--b--\n"),
                    // A message of its own, under the subtype that RFC 5322 gave it.
                    message("inner@example.org", "Content-Type: message/rfc2822\n",
                            "X-Long: " + std::string(70000, 'x') + "\n\nd=4"),
                    // Encoded, a forwarded message is bytes like any other, of which
                    // nothing is cut.
                    message("forward@example.org", "Content-Type: multipart/mixed; boundary=b\n",
                            "--b\nContent-Type: message/rfc822\nContent-Transfer-Encoding: "
                            "quoted-printable\nContent-Disposition: attachment; "
                            "filename=POSTDATA.ATT\n\n" +
                                longForm + "\n--b--")}))
            .toStdString();
    const ToolRun run = decodeTool({"--mail", in.c_str()});
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(run.out,
              "a :: 1\r\n\r\nb :: 2\r\n\r\nd :: 4\r\n\r\ne :: " + std::string(300000, 'y'));
    EXPECT_EQ(run.err, "formtidy-decode: " + in +
                           ": message 1 <long@example.org>: too large to read whole; left out: "
                           "header lines beyond 64 KiB\nformtidy-decode: " +
                           in +
                           ": message 2 <parts@example.org>: too large to read whole; left out: "
                           "everything after its 1,000th part\nformtidy-decode: " +
                           in +
                           ": message 3 <lost@example.org>: too large to read whole; left out: "
                           "everything after its 1,000th part\nformtidy-decode: " +
                           in +
                           ": message 3 <lost@example.org>: no form in what could be read of it\n"
                           "formtidy-decode: " +
                           in +
                           ": message 4 <inner@example.org>: too large to read whole; left out: "
                           "header lines beyond 64 KiB\n");
}

TEST_F(DecodeToolTest, JsonReadsBackToTheSamePairs)
{
    const std::string latin = message("latin@example.org", "Content-Type: text/plain\n",
                                      "city=Z\xfcrich&sign=\x80&q=%22a\\b%22");
    const ToolRun run =
        decodeTool({"--mail", "--format=json", write("in.mbox", mbox({kAttachmentMail, latin}))});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::vector<nlohmann::json> lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0]["message_id"], "att@example.org");
    EXPECT_EQ(lines[0]["date"], "Tue, 8 Dec 2026 10:00:00 +0100");
    EXPECT_EQ(lines[0]["fields"], nlohmann::json::parse(R"([["name","Jane Doe"],
                                   ["note","Hi!\r\nBye"],["size","2"]])"));
    EXPECT_EQ(lines[1]["fields"], nlohmann::json::parse(R"([["city","Zürich"],["sign","€"],
                                   ["q","\"a\\b\""]])"));
    EXPECT_EQ(lines[1]["source"], dir.filePath("in.mbox").toStdString() + "#2");

    // Every ASCII byte, runs longer than a block of the scan, and letters
    // beyond ASCII are written as nlohmann::json writes them, in a value
    // longer than the pieces that the output goes out in, even before escaping.
    std::string value, encoded;
    for (int c = 0; c < 0x80 * 60; ++c) {
        value += std::string(std::size_t(c % 19), 'v') + char(c % 0x80);
        encoded += std::string(std::size_t(c % 19), 'v') + "%" + "01234567"[c % 0x80 >> 4] +
                   "0123456789ABCDEF"[c & 15];
    }
    const std::string in = write("bytes.txt", "n%C3%A9=" + encoded).toStdString();
    const auto dump = [](const std::string& text) { return nlohmann::json(text).dump(); };
    EXPECT_EQ(decodeTool({"--format=json", in.c_str()}).out,
              "{\"source\":" + dump(in) + ",\"fields\":[[" + dump("n\xc3\xa9") + "," + dump(value) +
                  "]]}\n");
}

// Fields that lie whole in a piece go out together, checked and escaped at
// once; others one by one. Random bodies over many pieces, with escapes,
// letters, bytes that are not UTF-8 and continuations that start a name or a
// value, read back as each field read alone would be.
TEST_F(DecodeToolTest, JsonOfManyFieldsIsEachFieldsOwn)
{
    static const char* const kCommon[] = {"a",   "bc",  "=",   "&",      "+",      "%22",
                                          "%5C", "%01", "%7F", "%0D%0A", "%C3%A9", "%E2%82%AC"};
    // Bytes that are not UTF-8, and names and values that start or end within
    // a character: a few in some pieces, none in others.
    static const char* const kRare[] = {"%FF", "%C3=%A9", "%E2%82&%AC", "=%A9", "%C3&"};
    std::mt19937 rng(11);
    std::uniform_int_distribution<std::size_t> common(0, std::size(kCommon) - 1),
        rare(0, 20000 * std::size(kRare));
    std::string body;
    while (body.size() < 600000) {
        const std::size_t which = rare(rng);
        body += which < std::size(kRare) ? kRare[which] : kCommon[common(rng)];
    }
    const std::string in = write("many.txt", body).toStdString();
    for (const FormDecoding decoding : {FormDecoding::Standard, FormDecoding::Faithful}) {
        const bool standard = decoding == FormDecoding::Standard;
        const ToolRun run = decodeTool(
            {"--format=json", "--decode", standard ? "standard" : "faithful", in.c_str()});
        ASSERT_EQ(run.code, 0) << run.err;
        nlohmann::json expected = nlohmann::json::array();
        FormFieldSplitter splitter(FormFieldSplitter::ViewSink([&](const FormFieldView& field) {
                                       expected.push_back(
                                           {Utf8Converter::utf8OrWindows1252(field.name),
                                            Utf8Converter::utf8OrWindows1252(field.value)});
                                   }),
                                   decoding);
        splitter.feed(body);
        splitter.finish();
        EXPECT_EQ(nlohmann::json::parse(run.out)["fields"], expected) << standard;
    }
}

// The writers' scans find the first byte of their set wherever it lies: in
// a text shorter than a block, in a whole block, or in the last block, which
// overlaps the one before; with each kind of vector instructions. A copy on
// the way stays within the text's room, and the marks are those of each byte.
static void scansFindTheirBytes(FormScanner::Target target)
{
    const FormScanner::Scope scope(target);
    const auto found = [](const ByteScan& scan, const std::string& text) {
        std::vector<char> to(text.size());
        const std::size_t at = scan.copy(text, to.data());
        EXPECT_EQ(std::string(to.data(), at), text.substr(0, at));
        EXPECT_EQ(scan.find(text), at);
        std::vector<std::uint64_t> marks;
        scan.mark(text, marks);
        for (std::size_t i = 0; i < text.size(); ++i)
            EXPECT_EQ((marks[i / 64] >> (i % 64) & 1) != 0, scan.find(text.substr(i, 1)) == 0);
        return at;
    };
    struct Set
    {
        ByteScan scan;
        std::string members;
    };
    const Set sets[] = {{ByteScan({'"', '\\'}, 0x20), "\"\\\x1f\n"},
                        {ByteScan({'&', 0x7F}, ' ' + 1), "&\x7f \x01"},
                        {ByteScan({',', '"', '\r', '\n'}), ",\"\r\n"}};
    for (const Set& set : sets) {
        for (std::size_t size = 0; size <= 80; ++size) {
            const std::string plain(size, 'a');
            EXPECT_EQ(found(set.scan, plain), size);
            for (std::size_t at = 0; at < size; ++at) {
                std::string text = plain;
                text[at] = set.members[at % set.members.size()];
                if (at + 3 < size)
                    text[at + 3] = set.members.front(); // a later one does not count
                EXPECT_EQ(found(set.scan, text), at) << size;
            }
        }
    }
    // A word is found by its first and last bytes together, in a text full
    // of either; one that differs inside or at its end, or is cut short by
    // the end of the text, is none.
    const std::string word = "_charset_=";
    for (std::size_t size = 0; size <= 80; ++size) {
        for (const char fill : {'_', '='}) {
            std::string text(size, fill);
            EXPECT_EQ(ByteScan::findWord(text, word), size);
            if (size >= 5) {
                EXPECT_EQ(ByteScan::findWord(text.replace(size - 5, 5, "_char"), word), size);
            }
            for (std::size_t at = 0; at + word.size() <= size; ++at)
                for (const char* other : {"_charset-=", "_charset_-"}) {
                    std::string near = std::string(size, fill).replace(at, word.size(), other);
                    EXPECT_EQ(ByteScan::findWord(near, word), size);
                    EXPECT_EQ(ByteScan::findWord(near.replace(at, word.size(), word), word), at);
                }
        }
    }
}

TEST(ByteScanTest, FindsTheFirstByteOfItsSetAnywhere)
{
    for (const FormScanner::Target target : FormScanner::targets())
        scansFindTheirBytes(target);
}

// The UTF-8 check takes what GLib takes, with vector instructions and
// without: every lead byte before each kind of second and later byte, cut
// short or not, at every place in a block of sixteen or 32 and across them,
// with and without ASCII after it, also in blocks of four that are ASCII.
TEST(Utf8ConverterTest, TakesTheTextThatGLibTakes)
{
    const unsigned char next[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    for (const FormScanner::Target target : FormScanner::targets()) {
        const FormScanner::Scope scope(target);
        for (unsigned lead = 0x80; lead <= 0xFF; ++lead)
            for (const unsigned char second : next)
                for (const unsigned char rest : {0x80, 0xBF, 0x41})
                    for (const std::size_t ascii :
                         {0, 3, 9, 11, 12, 13, 14, 27, 28, 29, 59, 60, 61})
                        for (std::size_t size = 1; size <= 5; ++size)
                            for (const std::size_t after : {0, 20, 70}) {
                                // The vector check's blocks start at the "é".
                                std::string text = "\xC3\xA9" + std::string(ascii, 'a');
                                text += char(lead);
                                text += char(second);
                                text.append(3, char(rest));
                                text.resize(2 + ascii + size);
                                text.append(after, 'b');
                                // GLib stops at a NUL, which is a character here.
                                const std::size_t nul = std::min(text.find('\0'), text.size());
                                const std::string tail =
                                    text.substr(std::min(nul + 1, text.size()));
                                const bool glib =
                                    g_utf8_validate_len(text.data(), nul, nullptr) &&
                                    g_utf8_validate_len(tail.data(), tail.size(), nullptr);
                                ASSERT_EQ(Utf8Converter::isUtf8(text), glib)
                                    << FormScanner::name(target) << " " << lead << " "
                                    << int(second) << " " << ascii << " " << size << " " << after;
                            }
    }
    // A short text is taken as ASCII only when none of its bytes is beyond.
    for (std::size_t size = 1; size <= 17; ++size)
        for (std::size_t at = 0; at <= size; ++at) {
            std::string text(size, 'a');
            if (at < size)
                text[at] = '\x80';
            EXPECT_EQ(Utf8Converter::isUtf8(text), at == size) << size << " " << at;
        }
}

TEST_F(DecodeToolTest, PlainFilesAreSubmissionsInEveryFormat)
{
    const std::string a = write("a.txt", "x=1&y=2").toStdString();
    const std::string b = write("b.txt", "y=3&z").toStdString();
    const ToolRun csv = decodeTool({"--format", "csv", a.c_str(), b.c_str()});
    EXPECT_EQ(csv.out, "source,x,y,z\r\n" + a + ",1,2,\r\n" + b + ",,3,\r\n");
    // A row too large to hold, its cells spooled in another order than its
    // columns, the first of them quoted around a comma.
    const std::string big(600000, 'v');
    const std::string c = write("c.txt", "y=%2C%22&x=" + big + "&z=" + big).toStdString();
    EXPECT_TRUE(decodeTool({"--format", "csv", a.c_str(), c.c_str()}).out ==
                "source,x,y,z\r\n" + a + ",1,2,\r\n" + c + "," + big + ",\",\"\"\"," + big +
                    "\r\n");
    // A row of more cells than its index keeps in memory, in reverse order.
    std::string forward, backward, header = "source", row;
    for (int i = 0; i < 20000; ++i) {
        const std::string field = "f" + std::to_string(i) + "=" + std::to_string(i % 7);
        forward += (i ? "&" : "") + field;
        backward = field + (i ? "&" : "") + backward;
        header += ",f" + std::to_string(i);
        row += "," + std::to_string(i % 7);
    }
    const std::string e = write("e.txt", forward).toStdString();
    const std::string f = write("f.txt", backward).toStdString();
    EXPECT_TRUE(decodeTool({"--format", "csv", e.c_str(), f.c_str()}).out ==
                header + "\r\n" + e + row + "\r\n" + f + row + "\r\n");
    // A name numbered as a repeated one is that repeated name's column,
    // wherever its "#" stands among its bytes.
    const std::string d = write("d.txt", "a%232=1&a=2&a=3&a=4").toStdString();
    EXPECT_EQ(decodeTool({"--format", "csv", d.c_str()}).out,
              "source,a#2,a,a#3,a#4\r\n" + d + ",1,2,3,4\r\n");
    const std::string g = write("g.txt", "abcdefg%232=1&abcdefg=2&abcdefg=3").toStdString();
    EXPECT_EQ(decodeTool({"--format", "csv", g.c_str()}).out,
              "source,abcdefg#2,abcdefg,abcdefg#3\r\n" + g + ",1,2,3\r\n");
    // A numbered column named only later may repeat in a row itself.
    const std::string h = write("h.txt", "a=1&a=2&a%232=3&a%232=4").toStdString();
    EXPECT_EQ(decodeTool({"--format", "csv", h.c_str()}).out,
              "source,a,a#2,a#2#2,a#2#3\r\n" + h + ",1,2,3,4\r\n");
    const ToolRun json = decodeTool({"--format", "json", a.c_str()});
    const nlohmann::json line = nlohmann::json::parse(json.out);
    EXPECT_EQ(line["source"], a);
    EXPECT_EQ(line["fields"], nlohmann::json::parse(R"([["x","1"],["y","2"]])"));
    EXPECT_FALSE(line.contains("message_id"));
    // A file's "_charset_" field counts where its name is cut between two
    // pieces of the read (64 KiB) too.
    const std::string koi8 =
        write("koi8.txt", "n=%C0&a=" + std::string(65536 - 14, 'v') + "&_charset_=koi8-r")
            .toStdString();
    EXPECT_EQ(
        nlohmann::json::parse(decodeTool({"--format", "json", koi8.c_str()}).out)["fields"].front(),
        nlohmann::json::parse(R"(["n","ю"])"));
}

TEST_F(DecodeToolTest, StandardDecodingKeepsWhatTheFaithfulOneDrops)
{
    const std::string form = "email=jose%40example.com&name=Jos%C3%A9";
    const QString in = write("form.txt", form);
    EXPECT_EQ(decodeTool({in}).out, "email :: jose0example.com\r\n\r\nname :: Jos39");
    EXPECT_EQ(decodeTool({"--decode", "faithful", in}).out, DecodeFormText(form));
    EXPECT_EQ(decodeTool({"--decode", "standard", in}).out,
              "email :: jose@example.com\r\n\r\nname :: Jos\xc3\xa9");
    // CSV and JSON decode so unless told otherwise.
    const ToolRun faithful = decodeTool({"--format", "json", "--decode", "faithful", in});
    EXPECT_EQ(nlohmann::json::parse(faithful.out)["fields"],
              nlohmann::json::parse(R"([["email","jose0example.com"],["name","Jos39"]])"));
    const std::string mails = write("in.mbox", mbox({kBase64Mail, kQuotedMail})).toStdString();
    const ToolRun csv = decodeTool({"--mail", "--format", "csv", mails.c_str()});
    EXPECT_EQ(csv.out, "source,date,message_id,name,note,size\r\n" + mails +
                           "#1,2026-12-08 09:00:00,b64@example.org,Jane Doe,\"Hi!\r\nBye\",2\r\n" +
                           mails +
                           "#2,2026-12-08 09:00:00,qp@example.org,Jane Doe,\"Hi!\r\nBye\",2\r\n");
    const ToolRun json = decodeTool({"--format", "json", in});
    EXPECT_EQ(nlohmann::json::parse(json.out)["fields"],
              nlohmann::json::parse(R"([["email","jose@example.com"],["name","José"]])"));
}
