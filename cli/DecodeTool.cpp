#include "DecodeTool.h"

#include "convert/FileError.h"
#include "convert/FileReader.h"
#include "convert/FileWriter.h"
#include "convert/FormStreamDecoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <memory>
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

void report(const char* message)
{
    std::fprintf(stderr, "formtidy-decode: %s\n", message);
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
        m_file = std::make_unique<FileWriter>(path);
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

// Decodes one input whole: its text ends before its first NUL byte.
void decodeInput(FileReader& in, Output& out)
{
    FormStreamDecoder decoder;
    std::string buffer(kPiece, '\0');
    std::string decoded;
    decoded.reserve(4 * kPiece + 64);
    for (;;) {
        std::size_t got = 0;
        try {
            got = in.read(buffer.data(), buffer.size());
        } catch (const FileError& e) {
            throw InputFailed{e.what()};
        }
        if (got == 0)
            break;
        std::string_view piece(buffer.data(), got);
        const std::size_t nul = piece.find('\0');
        decoder.feed(piece.substr(0, nul), decoded);
        out.write(decoded);
        decoded.clear();
        if (nul != std::string_view::npos)
            break;
    }
    decoder.finish(decoded);
    out.write(decoded);
}

// Prints help or version text; a text that cannot be written is an error.
int printText(const char* text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const std::string message =
            FileError::fromErrno("write", "standard output", errno ? errno : EIO).what();
        report(message.c_str());
        return 1;
    }
    return 0;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "formtidy-decode: %s\n%s", message.c_str(), DecodeTool::usage());
    return 2;
}

} // namespace

const char* DecodeTool::usage()
{
    return "Usage: formtidy-decode [-o OUT] [FILE...]\n"
           "Decodes form data sent by e-mail (name=value&name2=value2) into readable\n"
           "text, one field per paragraph written as \"name :: value\".\n"
           "\n"
           "With no FILE, or where FILE is -, reads standard input. Each FILE is\n"
           "decoded on its own, up to its first NUL byte, and the results follow\n"
           "one another; an empty input gives empty output. On standard output, an\n"
           "input that fails is reported and the others are still decoded.\n"
           "\n"
           "  -o, --output OUT  write to OUT instead of standard output; a file OUT is\n"
           "                    replaced only when every input was decoded, and may\n"
           "                    be one of the inputs. Standard output under another\n"
           "                    name (-, /dev/stdout) and devices are written as they are\n"
           "  -h, --help        show this help and exit\n"
           "      --version     show the version and exit\n"
           "\n"
           "Exit status: 0 on success, 1 when a file cannot be read or written,\n"
           "2 on a usage error.\n";
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
                                         {nullptr, 0, nullptr, 0}};
    optind = 0; // start afresh, also when run twice in one process
    opterr = 0;
    std::string output;
    bool toStandardOutput = true;
    const int argc = static_cast<int>(argv.size() - 1);
    for (int c; (c = getopt_long(argc, argv.data(), ":ho:", longOptions, nullptr)) != -1;) {
        const std::string word = argv[optind - 1];
        switch (c) {
        case 'h':
            return printText(usage());
        case 'V':
            return printText("formtidy-decode " FORMTIDY_VERSION "\n");
        case 'o':
            output = optarg;
            if (output.empty())
                return usageError("the output file name is empty");
            toStandardOutput = Output::isStandardOutput(output);
            break;
        case ':':
            return usageError(word + " needs a file name");
        default:
            return usageError("unknown option " +
                              (optopt ? "-" + std::string(1, char(optopt)) : word));
        }
    }
    // getopt_long has moved the file names behind the options.
    std::vector<std::string> inputs(argv.begin() + optind, argv.end() - 1);
    if (inputs.empty())
        inputs.push_back("-");

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
            auto in =
                name == "-" ? std::make_unique<FileReader>() : std::make_unique<FileReader>(name);
            // Appending a file to itself would never reach its end.
            if (outKnown && out.st_size > 0 && in->sameFileAs(out))
                throw FileError("read", in->name(), "It is also the output");
            readers.push_back(std::move(in));
        } catch (const FileError& e) {
            report(e.what());
            failed = true;
            readers.push_back(nullptr);
        }
    }
    if (failed && !toStandardOutput)
        return 1;

    try {
        Output sink(output == "-" ? std::string() : output);
        for (const auto& in : readers) {
            if (!in)
                continue;
            try {
                decodeInput(*in, sink);
            } catch (const InputFailed& e) {
                report(e.message.c_str());
                failed = true;
                if (!sink.streams())
                    return 1;
            }
        }
        if (!failed)
            sink.commit();
    } catch (const std::exception& e) {
        report(e.what());
        return 1;
    }
    return failed ? 1 : 0;
}
