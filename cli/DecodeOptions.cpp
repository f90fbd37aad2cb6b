#include "DecodeOptions.h"

#include "DecodeTool.h"
#include "ImapUrl.h"
#include "Output.h"

#include "files/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <getopt.h>
#include <sys/stat.h>

namespace {

// Prints help or version text; a text that cannot be written is an error.
int printText(const char* text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        DecodeTool::report(DecodeTool::describe(
            FileError::fromErrno("write", "standard output", errno ? errno : EIO)));
        return DecodeTool::kFailed;
    }
    return DecodeTool::kDone;
}

int usageError(const std::string& message)
{
    DecodeTool::report(message);
    std::fputs("Try 'formtidy-decode --help' for more information.\n", stderr);
    return DecodeTool::kUsage;
}

const char kVersion[] = "formtidy-decode " FORMTIDY_VERSION "\n"
                        "Copyright (c) 2026 The Formtidy authors\n"
                        "License: MIT <https://opensource.org/licenses/MIT>\n"
                        "This is free software: you are free to change and redistribute it.\n"
                        "There is NO WARRANTY, to the extent permitted by law.\n";

// YYYY-MM-DD as IMAP writes a date, "1-Feb-2026"; empty where it is none.
std::string imapDate(const std::string& text)
{
    std::tm tm{};
    const char* end = ::strptime(text.c_str(), "%Y-%m-%d", &tm);
    if (!end || *end || text.size() != 10)
        return {};
    char out[32];
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(out, sizeof out, "%d-%s-%d", tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900);
    return out;
}

} // namespace

const char* DecodeOptions::usage()
{
    return "Usage: formtidy-decode [--mail [-r]] [--format FORMAT] [--decode MODE]\n"
           "                       [--escape-formulas] [-o OUT] [FILE...]\n"
           "       formtidy-decode --mail [--format sqlite -o DB [--new]] [--since DATE]\n"
           "                       [--search KEYS] [--password-file FILE] [--cacert FILE]\n"
           "                       imaps://USER@HOST/MAILBOX...\n"
           "       formtidy-decode --from DB --format csv|json [-o OUT]\n"
           "Decodes form data sent by e-mail (name=value&name2=value2) into readable\n"
           "text, one field per paragraph written as \"name :: value\", or into CSV\n"
           "or JSON for a spreadsheet or a script.\n"
           "\n"
           "By default text is decoded exactly as the Formtidy window does, which\n"
           "keeps only a few escapes: \"@\" becomes \"0\" and letters outside ASCII\n"
           "are lost; CSV and JSON are decoded as today's browsers encode\n"
           "(--decode standard).\n"
           "\n"
           "With no FILE, or where FILE is -, reads standard input; a FILE may also be\n"
           "a pipe, /dev/stdin or <(command). Each FILE is opened when its turn\n"
           "comes and decoded on its own, up to its first NUL byte, as one\n"
           "submission; in text one field break goes between two submissions. On\n"
           "standard output, an input that fails is reported and the others are\n"
           "still decoded.\n"
           "\n"
           "      --mail        read each FILE as saved mail: one message, an mbox of\n"
           "                    many, or a folder of mails (a Maildir in the order of\n"
           "                    delivery, another folder in the order of the names).\n"
           "                    Each message with a form is one submission; one\n"
           "                    without a form is named on standard error, left out\n"
           "  -r, --recursive   with --mail, read the subfolders of a folder too\n"
           "                    With --mail, a FILE written imaps://USER@HOST/MAILBOX\n"
           "                    (or imap://, which turns to TLS with STARTTLS) is an\n"
           "                    IMAP mailbox, read without changing it: examined, not\n"
           "                    selected, no message marked as seen. A message's source\n"
           "                    is imaps://HOST/MAILBOX;UIDVALIDITY=V;UID=N\n"
           "      --since DATE  with IMAP, only the messages delivered on DATE\n"
           "                    (YYYY-MM-DD) or later\n"
           "      --search KEYS with IMAP, only the messages that the IMAP search keys\n"
           "                    KEYS choose, such as 'SUBJECT \"Contact form\"'\n"
           "      --password-file FILE\n"
           "                    the password, on FILE's first line (a file that only\n"
           "                    you may read); without it, ~/.netrc gives it. The\n"
           "                    password never goes on the command line\n"
           "      --cacert FILE with IMAP, trust the certificate authority in FILE (PEM)\n"
           "                    besides the system's; certificates are always verified\n"
           "      --new         with --format sqlite and IMAP, fetch only the messages\n"
           "                    above the highest UID kept of the mailbox (all of them\n"
           "                    again when its UIDVALIDITY changed)\n"
           "      --format FORMAT\n"
           "                    text (the default): the decoded text;\n"
           "                    csv: a header row of \"source\" (for mail also \"date\"\n"
           "                    and \"message_id\") and the field names, then one row\n"
           "                    per submission, in UTF-8 (a name that is already a\n"
           "                    column of its row gets name#2, name#3...);\n"
           "                    json: one JSON object per submission and line, with\n"
           "                    \"source\", \"message_id\" and \"date\" for mail, and\n"
           "                    \"fields\" as [name, value] pairs, in UTF-8;\n"
           "                    sqlite: into the SQLite database -o DB, created where\n"
           "                    needed, each submission once (known by its Message-ID,\n"
           "                    its IMAP UID, or its form and date), all or nothing in\n"
           "                    one transaction; says how many were added and skipped\n"
           "      --from DB     write what the database DB keeps, as --format csv or\n"
           "                    json, in the order it was added\n"
           "      --lock-wait SECONDS\n"
           "                    wait so long for a database that another run is\n"
           "                    writing (default 30), then give up\n"
           "      --decode MODE faithful (the default for text): exactly as the\n"
           "                    window's Convert and Quick Convert, dropping most escapes;\n"
           "                    standard (the default for csv and json): as browsers\n"
           "                    encode, every %XX escape and \"+\" for a space, read in\n"
           "                    the form's charset, so nothing is lost\n"
           "      --escape-formulas\n"
           "                    with csv, put ' before every cell that begins with =,\n"
           "                    +, -, @, a tab or a CR, so that a spreadsheet does not\n"
           "                    run it as a formula; such cells then differ from the form\n"
           "  -o, --output OUT  write to OUT instead of standard output; a file OUT is\n"
           "                    replaced only when every input was read, and may\n"
           "                    be one of the inputs. Standard output under another\n"
           "                    name (-, /dev/stdout) and devices are written as they are\n"
           "  -h, --help        show this help and exit\n"
           "      --version     show the version and exit\n"
           "\n"
           "Examples:\n"
           "  formtidy-decode --mail saved.eml          the form of one saved mail\n"
           "  formtidy-decode --mail --format csv inbox.mbox -o forms.csv\n"
           "                                            one row per form, for a spreadsheet\n"
           "  formtidy-decode --mail --format csv ~/Maildir -o forms.csv\n"
           "                                            the same for a Maildir\n"
           "  formtidy-decode --mail --format json inbox.mbox\n"
           "  formtidy-decode --mail --format sqlite -o forms.sqlite --new \\\n"
           "      imaps://jane@mail.example.org/INBOX     keep the new forms of a mailbox\n"
           "  formtidy-decode --from forms.sqlite --format csv -o forms.csv\n"
           "                                            every kept form, for a spreadsheet\n"
           "\n"
           "Exit status: 0 when everything was decoded; 3 when messages without a form\n"
           "were left out, and nothing else went wrong; 1 when an input, a message or\n"
           "OUT could not be read or written (with --format sqlite: nothing of the run\n"
           "was kept); 2 on a usage error.\n";
}

std::optional<int> DecodeOptions::parse(const std::vector<std::string>& args,
                                        DecodeOptions& options)
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
                                         {"recursive", no_argument, nullptr, 'r'},
                                         {"format", required_argument, nullptr, 'f'},
                                         {"decode", required_argument, nullptr, 'd'},
                                         {"escape-formulas", no_argument, nullptr, 'e'},
                                         {"from", required_argument, nullptr, 'F'},
                                         {"new", no_argument, nullptr, 'n'},
                                         {"since", required_argument, nullptr, 's'},
                                         {"search", required_argument, nullptr, 'S'},
                                         {"password-file", required_argument, nullptr, 'p'},
                                         {"cacert", required_argument, nullptr, 'c'},
                                         {"lock-wait", required_argument, nullptr, 'w'},
                                         {nullptr, 0, nullptr, 0}};
    optind = 0; // start afresh, also when run twice in one process
    opterr = 0;
    std::optional<FormDecoding> decoding;
    const int argc = static_cast<int>(argv.size() - 1);
    for (int c; (c = getopt_long(argc, argv.data(), ":ho:r", longOptions, nullptr)) != -1;) {
        const std::string word = argv[optind - 1];
        const std::string value = optarg ? optarg : "";
        switch (c) {
        case 'h':
            return printText(usage());
        case 'V':
            return printText(kVersion);
        case 'o':
            if (value.empty())
                return usageError("the output file name is empty");
            options.output = value;
            break;
        case 'm':
            options.mail = true;
            break;
        case 'r':
            options.recursive = true;
            break;
        case 'e':
            options.escapeFormulas = true;
            break;
        case 'f':
            if (value == "text")
                options.format = Format::Text;
            else if (value == "csv")
                options.format = Format::Csv;
            else if (value == "json")
                options.format = Format::Json;
            else if (value == "sqlite")
                options.format = Format::Sqlite;
            else
                return usageError("unknown format '" + value + "' (text, csv, json or sqlite)");
            break;
        case 'd':
            if (value == "standard")
                decoding = FormDecoding::Standard;
            else if (value == "faithful")
                decoding = FormDecoding::Faithful;
            else
                return usageError("unknown decoding '" + value + "' (faithful or standard)");
            break;
        case 'F':
            if (value.empty())
                return usageError("the database's name is empty");
            options.from = value;
            break;
        case 'n':
            options.onlyNew = true;
            break;
        case 's':
            options.since = imapDate(value);
            if (options.since.empty())
                return usageError("--since takes a date as YYYY-MM-DD, not '" + value + "'");
            break;
        case 'S':
            if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
                return usageError("--search takes IMAP search keys on one line");
            options.search = value;
            break;
        case 'p':
            options.passwordFile = value;
            break;
        case 'c':
            options.caCert = value;
            break;
        case 'w':
            if (value.empty() || value.size() > 6 ||
                !std::all_of(value.begin(), value.end(),
                             [](char d) { return d >= '0' && d <= '9'; }))
                return usageError("--lock-wait takes a number of seconds");
            options.lockWait = std::stoi(value);
            break;
        case ':':
            return usageError("option '" + word + "' needs a value");
        default:
            return usageError("unknown option '" +
                              (optopt ? "-" + std::string(1, char(optopt)) : word) + "'");
        }
    }
    if (options.recursive && !options.mail)
        return usageError("--recursive reads folders of mail: it goes with --mail");
    if (options.escapeFormulas && options.format != Format::Csv)
        return usageError("--escape-formulas goes with --format csv");
    options.decoding = decoding.value_or(options.format == Format::Text ? FormDecoding::Faithful
                                                                        : FormDecoding::Standard);
    // getopt_long has moved the file names behind the options.
    options.inputs.assign(argv.begin() + optind, argv.end() - 1);
    if (!options.from.empty()) {
        // What is kept is decoded already.
        if (!options.inputs.empty() || options.mail)
            return usageError("--from exports a database: it takes no FILE and no --mail");
        if (options.format != Format::Csv && options.format != Format::Json)
            return usageError("--from goes with --format csv or --format json");
        if (decoding)
            return usageError("--from writes the values as they were kept: no --decode");
        struct stat from
        {
        }, out{};
        if (!options.output.empty() && ::stat(options.from.c_str(), &from) == 0 &&
            ::stat(options.output.c_str(), &out) == 0 && from.st_dev == out.st_dev &&
            from.st_ino == out.st_ino)
            return usageError("--from and -o name the same file");
        return std::nullopt;
    }
    if (options.inputs.empty())
        options.inputs.push_back("-");
    bool imap = false;
    for (const std::string& input : options.inputs) {
        if (!ImapUrl::isImap(input))
            continue;
        if (!options.mail)
            return usageError("an IMAP mailbox (" + input + ") is read with --mail");
        ImapUrl url;
        const std::string wrong = ImapUrl::parse(input, url);
        if (!wrong.empty())
            return usageError(input + ": " + wrong);
        imap = true;
    }
    if (!imap && (options.onlyNew || !options.since.empty() || !options.search.empty() ||
                  !options.passwordFile.empty() || !options.caCert.empty()))
        return usageError("--new, --since, --search, --password-file and --cacert go with an "
                          "IMAP mailbox (--mail imaps://USER@HOST/MAILBOX)");
    if (options.onlyNew && options.format != Format::Sqlite)
        return usageError("--new fetches what the database lacks: it goes with --format sqlite");
    if (options.format == Format::Sqlite && (options.output.empty() || options.output == "-" ||
                                             Output::isStandardOutput(options.output)))
        return usageError("--format sqlite writes a database: name it with -o FILE");
    return std::nullopt;
}
