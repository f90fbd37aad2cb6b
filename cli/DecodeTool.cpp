#include "DecodeTool.h"

#include "CsvWriter.h"
#include "JsonLinesWriter.h"
#include "MailReader.h"
#include "TextWriter.h"
#include "files/FileError.h"
#include "files/FileReader.h"
#include "files/FileWriter.h"
#include "files/SignalCleanup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <memory>
#include <new>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kPiece = 64 * 1024;

// A read that failed part way through an input; the other inputs may go on.
struct InputFailed
{
    std::string message;
};

void report(const std::string& message)
{
    std::fprintf(stderr, "formtidy-decode: %s\n", message.c_str());
}

// "FILE: reason", as Unix tools name a file that failed.
std::string describe(const FileError& e)
{
    return e.path() + ": " + e.reason();
}

// Where the decoded text goes. Standard output, and any OUT that is the same
// file as descriptor 1, are written to descriptor 1, so that appending to it
// appends. An OUT that is not a regular file (a device, a FIFO) is written as
// it is. A regular OUT is replaced through FileWriter only when everything
// was decoded.
class Output
{
public:
    // `path` empty means standard output.
    explicit Output(const std::string& path) : m_name(path.empty() ? "standard output" : path)
    {
        if (path.empty() || isStandardOutput(path))
            return;
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            if (S_ISDIR(st.st_mode))
                throw FileError::fromErrno("write", path, EISDIR);
            m_fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            if (m_fd < 0)
                throw FileError::fromErrno("write", path, errno);
            m_ownsFd = true;
            return;
        }
        m_file = std::make_unique<FileWriter>(path, report);
    }
    ~Output()
    {
        if (m_ownsFd)
            ::close(m_fd);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // True when what was written stays written, so that a failed input
    // should not stop the others.
    bool streams() const { return !m_file; }

    static bool isStandardOutput(const std::string& path)
    {
        struct stat named
        {
        }, out{};
        return path == "-" ||
               (::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
                named.st_dev == out.st_dev && named.st_ino == out.st_ino);
    }

    void write(std::string_view bytes)
    {
        if (m_file) {
            m_file->write(bytes);
            return;
        }
        while (!bytes.empty()) {
            const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw FileError::fromErrno("write", m_name, n < 0 ? errno : EIO);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    void commit()
    {
        if (m_file)
            m_file->commit();
    }

private:
    std::string m_name;
    int m_fd = STDOUT_FILENO;
    bool m_ownsFd = false;
    std::unique_ptr<FileWriter> m_file;
};

// Gives one input whole to `writer` as one submission: its text ends before
// its first NUL byte.
void decodeInput(FileReader& in, SubmissionWriter& writer)
{
    Submission submission;
    submission.source = in.name();
    writer.begin(submission);
    std::string buffer(kPiece, '\0');
    for (;;) {
        std::size_t got = 0;
        try {
            got = in.read(buffer.data(), buffer.size());
        } catch (const FileError& e) {
            writer.end();
            throw InputFailed{describe(e)};
        }
        if (got == 0)
            break;
        std::string_view piece(buffer.data(), got);
        const std::size_t nul = piece.find('\0');
        writer.feed(piece.substr(0, nul));
        if (nul != std::string_view::npos)
            break;
    }
    writer.end();
}

// Gives every message of a mail file to `writer`. A message without a form
// body is reported and the others go on; returns false when one was.
bool decodeMail(FileReader& in, SubmissionWriter& writer)
{
    try {
        return MailReader::readAll(in, writer, report);
    } catch (const FileError& e) {
        throw InputFailed{describe(e)};
    }
}

std::unique_ptr<SubmissionWriter> makeWriter(const std::string& format, FormDecoding decoding,
                                             SubmissionWriter::Sink sink)
{
    if (format == "csv")
        return std::make_unique<CsvWriter>(std::move(sink), decoding);
    if (format == "json")
        return std::make_unique<JsonLinesWriter>(std::move(sink), decoding);
    return std::make_unique<TextWriter>(std::move(sink), decoding);
}

// Prints help or version text; a text that cannot be written is an error.
int printText(const char* text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        report(describe(FileError::fromErrno("write", "standard output", errno ? errno : EIO)));
        return 1;
    }
    return 0;
}

int usageError(const std::string& message)
{
    report(message);
    std::fputs("Try 'formtidy-decode --help' for more information.\n", stderr);
    return 2;
}

const char kVersion[] = "formtidy-decode " FORMTIDY_VERSION "\n"
                        "Copyright (c) 2026 The Formtidy authors\n"
                        "License: MIT <https://opensource.org/licenses/MIT>\n"
                        "This is free software: you are free to change and redistribute it.\n"
                        "There is NO WARRANTY, to the extent permitted by law.\n";

} // namespace

const char* DecodeTool::usage()
{
    return "Usage: formtidy-decode [--mail] [--format FORMAT] [--decode MODE]\n"
           "                       [-o OUT] [FILE...]\n"
           "Decodes form data sent by e-mail (name=value&name2=value2) into readable\n"
           "text, one field per paragraph written as \"name :: value\".\n"
           "\n"
           "By default it decodes exactly as the Formtidy window does, which keeps only\n"
           "a few escapes: \"@\" becomes \"0\" and letters outside ASCII are lost. Use\n"
           "--decode standard for the data as today's browsers send it.\n"
           "\n"
           "With no FILE, or where FILE is -, reads standard input; a FILE may also be\n"
           "a pipe, /dev/stdin or <(command). Each FILE is decoded on its own, up to\n"
           "its first NUL byte, as one submission; in text one field break goes\n"
           "between two submissions, and an empty input gives empty output. On\n"
           "standard output, an input that fails is reported and the others are\n"
           "still decoded.\n"
           "\n"
           "      --mail        read each FILE as a saved mail: one message, or an mbox\n"
           "                    of many. Each message is a submission: its first part of\n"
           "                    type application/x-www-form-urlencoded, or else the body\n"
           "                    of a single-part text/plain message, its transfer\n"
           "                    encoding undone. A message without one is reported,\n"
           "                    and the others are still decoded\n"
           "      --format FORMAT\n"
           "                    text (the default): the decoded text;\n"
           "                    csv: a header row of \"source\" and the field names, then\n"
           "                    one row per submission (a name repeated in one\n"
           "                    submission gets columns name#2, name#3...);\n"
           "                    json: one JSON object per submission and line, with\n"
           "                    \"source\", \"message_id\" and \"date\" for mail, and\n"
           "                    \"fields\" as [name, value] pairs\n"
           "      --decode MODE faithful (the default): exactly as the window's Convert\n"
           "                    and Quick Convert, dropping most escapes;\n"
           "                    standard: as browsers encode, every %XX escape and \"+\"\n"
           "                    for a space, so nothing is lost\n"
           "  -o, --output OUT  write to OUT instead of standard output; a file OUT is\n"
           "                    replaced only when every input was read, and may\n"
           "                    be one of the inputs. Standard output under another\n"
           "                    name (-, /dev/stdout) and devices are written as they are\n"
           "  -h, --help        show this help and exit\n"
           "      --version     show the version and exit\n"
           "\n"
           "Examples:\n"
           "  formtidy-decode --mail saved.eml          the form of one saved mail\n"
           "  formtidy-decode --mail --format json inbox.mbox\n"
           "  formtidy-decode --mail --format csv inbox.mbox -o forms.csv\n"
           "                                            one row per mail, for a spreadsheet\n"
           "\n"
           "Exit status: 0 on success, 1 when a file cannot be read or written or a\n"
           "mail has no form, 2 on a usage error.\n";
}

int DecodeTool::run(const std::vector<std::string>& args)
{
    // getopt_long wants a writable argv with the program's name first.
    std::vector<std::string> words{"formtidy-decode"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    static const option longOptions[] = {{"help", no_argument, nullptr, 'h'},
                                         {"version", no_argument, nullptr, 'V'},
                                         {"output", required_argument, nullptr, 'o'},
                                         {"mail", no_argument, nullptr, 'm'},
                                         {"format", required_argument, nullptr, 'f'},
                                         {"decode", required_argument, nullptr, 'd'},
                                         {nullptr, 0, nullptr, 0}};
    optind = 0; // start afresh, also when run twice in one process
    opterr = 0;
    std::string output;
    bool toStandardOutput = true;
    bool mail = false;
    std::string format = "text";
    FormDecoding decoding = FormDecoding::Faithful;
    const int argc = static_cast<int>(argv.size() - 1);
    for (int c; (c = getopt_long(argc, argv.data(), ":ho:", longOptions, nullptr)) != -1;) {
        const std::string word = argv[optind - 1];
        switch (c) {
        case 'h':
            return printText(usage());
        case 'V':
            return printText(kVersion);
        case 'o':
            output = optarg;
            if (output.empty())
                return usageError("the output file name is empty");
            toStandardOutput = Output::isStandardOutput(output);
            break;
        case 'm':
            mail = true;
            break;
        case 'f':
            format = optarg;
            if (format != "text" && format != "csv" && format != "json")
                return usageError("unknown format '" + format + "' (text, csv or json)");
            break;
        case 'd':
            if (std::string(optarg) == "standard")
                decoding = FormDecoding::Standard;
            else if (std::string(optarg) != "faithful")
                return usageError("unknown decoding '" + std::string(optarg) +
                                  "' (faithful or standard)");
            break;
        case ':':
            return usageError("option '" + word + "' needs a value");
        default:
            return usageError("unknown option '" +
                              (optopt ? "-" + std::string(1, char(optopt)) : word) + "'");
        }
    }
    // getopt_long has moved the file names behind the options.
    std::vector<std::string> inputs(argv.begin() + optind, argv.end() - 1);
    if (inputs.empty())
        inputs.push_back("-");
    // Ctrl+C and the like remove a half-written OUT's temporary file.
    SignalCleanup::install();

    // Every input is opened and checked before the output is touched, so
    // many inputs need as many descriptors as the system allows.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    bool failed = false;
    struct stat out
    {
    };
    const bool outKnown = toStandardOutput && ::fstat(STDOUT_FILENO, &out) == 0;
    std::vector<std::unique_ptr<FileReader>> readers;
    for (const std::string& name : inputs) {
        try {
            // A FIFO's open waits for its writer, as a Unix tool's does.
            auto in = name == "-" ? std::make_unique<FileReader>()
                                  : std::make_unique<FileReader>(name, FileReader::Accept::Streams);
            // Appending a file to itself would never reach its end.
            if (outKnown && out.st_size > 0 && in->sameFileAs(out))
                throw FileError("read", in->name(), "input file is output file");
            readers.push_back(std::move(in));
        } catch (const FileError& e) {
            report(describe(e));
            failed = true;
            readers.push_back(nullptr);
        }
    }
    if (failed && !toStandardOutput)
        return 1;

    try {
        Output sink(output == "-" ? std::string() : output);
        // The writers write in small steps (a field, a row); they are
        // gathered into larger writes, and each input's are out before the next.
        std::string pending;
        const auto flush = [&] {
            sink.write(pending);
            pending.clear();
        };
        const auto writer = makeWriter(format, decoding, [&](std::string_view bytes) {
            pending += bytes;
            if (pending.size() >= kPiece)
                flush();
        });
        // A message without a form body is reported, but the output is still
        // written: it holds every other message.
        bool messageFailed = false;
        for (const auto& in : readers) {
            if (!in)
                continue;
            try {
                if (mail)
                    messageFailed |= !decodeMail(*in, *writer);
                else
                    decodeInput(*in, *writer);
            } catch (const InputFailed& e) {
                flush();
                report(e.message);
                failed = true;
                if (!sink.streams())
                    return 1;
            }
            flush();
        }
        writer->finish();
        flush();
        if (!failed)
            sink.commit();
        failed |= messageFailed;
    } catch (const FileError& e) {
        report(describe(e));
        return 1;
    } catch (const std::bad_alloc&) {
        report("out of memory");
        return 1;
    } catch (const std::exception& e) {
        report(e.what());
        return 1;
    }
    return failed ? 1 : 0;
}
