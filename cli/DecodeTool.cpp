#include "DecodeTool.h"

#include "convert/FileError.h"
#include "convert/FileReader.h"
#include "convert/FileWriter.h"
#include "convert/FormStreamDecoder.h"

#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr std::size_t kPiece = 64 * 1024;

// Where the decoded text goes: standard output, or a file replaced atomically.
class Output
{
public:
    explicit Output(const std::string& path)
    {
        if (!path.empty())
            m_file = std::make_unique<FileWriter>(QString::fromStdString(path));
    }

    void write(std::string_view bytes)
    {
        if (m_file) {
            m_file->write(bytes);
            return;
        }
        while (!bytes.empty()) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw FileError::fromErrno("write", "standard output", n < 0 ? errno : EIO);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    void commit()
    {
        if (m_file)
            m_file->commit();
    }

private:
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
        const std::size_t got = in.read(buffer.data(), buffer.size());
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

} // namespace

const char* DecodeTool::usage()
{
    return "Usage: formtidy-decode [-o OUT] [FILE...]\n"
           "Decodes form data sent by e-mail (name=value&name2=value2) into readable\n"
           "text, one field per paragraph written as \"name :: value\".\n"
           "\n"
           "With no FILE, or where FILE is -, reads standard input. Each FILE is\n"
           "decoded on its own, up to its first NUL byte, and the results follow\n"
           "one another.\n"
           "\n"
           "  -o, --output OUT  write to OUT instead of standard output; OUT is\n"
           "                    replaced only when everything was decoded\n"
           "  -h, --help        show this help and exit\n"
           "      --version     show the version and exit\n"
           "\n"
           "Exit status: 0 on success, 1 when a file cannot be read or written,\n"
           "2 on a usage error.\n";
}

int DecodeTool::run(const std::vector<std::string>& args)
{
    std::string output;
    std::vector<std::string> inputs;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "-h" || arg == "--help")) {
            std::fputs(usage(), stdout);
            return 0;
        } else if (options && arg == "--version") {
            std::puts("formtidy-decode " FORMTIDY_VERSION);
            return 0;
        } else if (options && (arg == "-o" || arg == "--output")) {
            if (++i == args.size()) {
                std::fprintf(stderr, "formtidy-decode: %s needs a file name\n%s", arg.c_str(),
                             usage());
                return 2;
            }
            output = args[i];
        } else if (options && arg.rfind("--output=", 0) == 0) {
            output = arg.substr(9);
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "formtidy-decode: unknown option %s\n%s", arg.c_str(), usage());
            return 2;
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.empty())
        inputs.push_back("-");
    if (output == "-")
        output.clear();

    try {
        Output out(output);
        for (const std::string& name : inputs) {
            std::unique_ptr<FileReader> in =
                name == "-" ? std::make_unique<FileReader>()
                            : std::make_unique<FileReader>(QString::fromStdString(name));
            decodeInput(*in, out);
        }
        out.commit();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "formtidy-decode: %s\n", e.what());
        return 1;
    }
    return 0;
}
