// Compares formtidy-decode, as a whole process, with the limit of the machine
// and with the parsers a user might pick instead, in one run on one corpus:
//  - a form body of SIZE MB (20 unless told), made by Python's own form
//    encoder (bench/python_form_corpus.py) where python3 is installed, else by
//    MakeFormCorpus: read by cat (the floor), decoded faithfully, with
//    --decode standard, as JSON and as CSV, and by Python's parse_qsl and
//    Node's URLSearchParams where they are installed;
//  - an mbox of MESSAGES form mails (20,000 unless told; see
//    WriteRealisticMbox): read by cat, turned into CSV by --mail --format csv
//    and by a script with Python's standard library (bench/mail_forms.py).
// Each figure is the best of a few runs, and each tool's speed is given as a
// ratio to cat's on the same file. The output of every run goes to /dev/null.
// Last, 10,000 form mails from an IMAP server of its own (a Dovecot, started
// by tests/dovecot_server.py) into SQLite, in messages a second; skipped
// where Dovecot cannot start.
// Usage: bench_cli [PATH_TO_FORMTIDY_DECODE] [SIZE_IN_MB] [MESSAGES]  (an empty path: the built
// one)
//        bench_cli --imap [PATH_TO_FORMTIDY_DECODE] [MESSAGES]   (IMAP alone)
#include "ChildRun.h"
#include "FormCorpus.h"
#include "MailCorpus.h"
#include "convert/FormScanner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// So that a moment of load elsewhere counts less. The Python mail script
// takes long, and its figure varies little. A short run goes on being run
// until the runs took kLeastSeconds, up to kMostRuns: the best of five runs
// of a few milliseconds, the floor's above all, moved with the load by up to
// two thirds from one bench run to the next.
constexpr int kRuns = 5;
constexpr int kSlowRuns = 2;
constexpr int kMostRuns = 50;
constexpr double kLeastSeconds = 0.5;

const std::string kScripts = FORMTIDY_BENCH_DIR;

// The path of `name` in PATH, or empty.
std::string findProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string temporary(const char* what)
{
    std::string name = std::string("/tmp/bench_cli_") + what + "_XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        std::perror("bench_cli: making a file in /tmp");
        std::exit(1);
    }
    ::close(fd);
    return name;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

off_t fileSize(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// The interpreter itself, where python3 is a launcher (pyenv's is a shell
// script) whose own start would count against Python.
std::string realPython()
{
    const std::string python = findProgram("python3");
    if (python.empty())
        return {};
    const std::string out = temporary("python");
    ChildRun run;
    const bool ok =
        RunChild({python, "-c", "import sys; sys.stdout.write(sys.executable)"}, run, out) &&
        run.exitCode == 0;
    const std::string real = readFile(out);
    ::unlink(out.c_str());
    return ok && !real.empty() ? real : python;
}

// The best of `runs` runs of `command`, or of more while they are short;
// false when one fails.
bool bestRun(const std::vector<std::string>& command, int runs, ChildRun& best)
{
    best.elapsed = best.cpu = 1e9;
    double spent = 0;
    for (int i = 0; i < runs || (i < kMostRuns && spent < kLeastSeconds); ++i) {
        ChildRun run;
        if (!RunChild(command, run) || run.exitCode != 0) {
            std::fprintf(stderr, "bench_cli: %s failed (exit %d)\n", command.back().c_str(),
                         run.exitCode);
            return false;
        }
        spent += run.elapsed;
        best.elapsed = std::min(best.elapsed, run.elapsed);
        best.cpu = std::min(best.cpu, run.cpu);
        best.maxRssKb = std::max(best.maxRssKb, run.maxRssKb);
    }
    return true;
}

struct Row
{
    std::string name;
    std::vector<std::string> command;
    int runs = kRuns;
};

// Runs each row and prints it: time, CPU time, peak memory, speed and its
// ratio to the first row's, and with `messages` the messages a second.
bool runTable(const std::vector<Row>& rows, double megabytes, unsigned messages)
{
    if (messages)
        std::printf("| %-44s | %8s | %8s | %7s | %9s | %11s | %7s | %8s |\n", "mbox", "time ms",
                    "CPU ms", "peak MB", "MB/s", "messages/s", "by CPU", "to floor");
    else
        std::printf("| %-44s | %8s | %8s | %7s | %9s | %8s |\n", "form body", "time ms", "CPU ms",
                    "peak MB", "MB/s", "to floor");
    std::printf(messages ? "|---|--:|--:|--:|--:|--:|--:|--:|\n" : "|---|--:|--:|--:|--:|--:|\n");
    std::vector<ChildRun> best(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        ChildRun& b = best[i];
        if (!bestRun(row.command, row.runs, b))
            return false;
        const double floor = best[0].elapsed;
        std::printf("| %-44s | %8.1f | %8.1f | %7.1f | %9.1f |", row.name.c_str(), b.elapsed * 1e3,
                    b.cpu * 1e3, double(b.maxRssKb) / 1024, megabytes / b.elapsed);
        if (messages)
            std::printf(" %11.0f | %7.0f |", messages / b.elapsed, messages / b.cpu);
        std::printf(" %8.3f |\n", floor / b.elapsed);
        std::fflush(stdout);
    }
    if (messages && rows.size() == 3)
        std::printf("\nformtidy-decode against the Python script: %.1f times as fast "
                    "(by CPU time %.1f)\n",
                    best[2].elapsed / best[1].elapsed, best[2].cpu / best[1].cpu);
    return true;
}

// Starts a Dovecot with `messages` form mails, runs formtidy-decode from it
// into a new database, and prints the rate. Returns false on a failure, and
// true, saying so, where Dovecot cannot start.
bool imapToSqlite(const std::string& program, unsigned messages)
{
    int toServer[2], fromServer[2];
    if (pipe(toServer) != 0 || pipe(fromServer) != 0)
        return false;
    const std::string count = std::to_string(messages);
    const pid_t server = fork();
    if (server < 0)
        return false;
    if (server == 0) {
        dup2(toServer[0], STDIN_FILENO);
        dup2(fromServer[1], STDOUT_FILENO);
        for (const int fd : {toServer[0], toServer[1], fromServer[0], fromServer[1]})
            close(fd);
        execlp("python3", "python3", FORMTIDY_DOVECOT_SERVER, count.c_str(), nullptr);
        _exit(127);
    }
    close(toServer[0]);
    close(fromServer[1]);
    // "PORT CACERT PASSWORD_FILE URL" once the server listens.
    std::string line;
    char c;
    while (read(fromServer[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(fromServer[0]);
    char cacert[4096], password[4096], url[4096];
    bool ok = true;
    if (std::sscanf(line.c_str(), "%*d %4095s %4095s %4095s", cacert, password, url) != 3) {
        std::printf("IMAP to SQLite                 skipped: Dovecot cannot start here\n");
    } else {
        const std::string db = "/tmp/bench_cli_imap.sqlite";
        unlink(db.c_str());
        ChildRun run;
        ok = RunChild({program, "--mail", "--format", "sqlite", "-o", db, "--password-file",
                       password, "--cacert", cacert, url},
                      run) &&
             run.exitCode == 0;
        unlink(db.c_str());
        if (ok) {
            std::printf("IMAP to SQLite, %u messages %8.1f ms %8.0f messages/s  (CPU %.1f ms)\n",
                        messages, run.elapsed * 1e3, messages / run.elapsed, run.cpu * 1e3);
            std::printf("peak resident memory           %8.1f MB\n", double(run.maxRssKb) / 1024);
        } else {
            std::fprintf(stderr, "bench_cli: IMAP to SQLite failed\n");
        }
    }
    close(toServer[1]); // the server stops
    int status = 0;
    waitpid(server, &status, 0);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string_view(argv[1]) == "--imap")
        return imapToSqlite(argc > 2 ? argv[2] : FORMTIDY_DECODE_BIN,
                            argc > 3 ? unsigned(std::stoul(argv[3])) : 10000)
                   ? 0
                   : 1;
    const std::string program = argc > 1 && *argv[1] ? argv[1] : FORMTIDY_DECODE_BIN;
    const std::size_t megabytes = argc > 2 ? std::stoul(argv[2]) : 20;
    const unsigned messages = argc > 3 ? unsigned(std::stoul(argv[3])) : 20000;
    const std::string cat = findProgram("cat");
    const std::string python = realPython();
    const std::string node = findProgram("node");

    const std::string corpus = temporary("form");
    const std::size_t bytes = megabytes * 1000 * 1000;
    ChildRun made;
    const bool fromPython =
        !python.empty() &&
        RunChild({python, kScripts + "/python_form_corpus.py", corpus, std::to_string(megabytes)},
                 made) &&
        made.exitCode == 0 && std::size_t(fileSize(corpus)) == bytes;
    if (!fromPython) {
        const std::string text = MakeFormCorpus(bytes);
        std::ofstream(corpus, std::ios::binary).write(text.data(), std::streamsize(text.size()));
    }
    const std::string mbox = temporary("mbox");
    const int fd = ::open(mbox.c_str(), O_WRONLY | O_TRUNC);
    const bool written = fd >= 0 && WriteRealisticMbox(fd, messages);
    if (fd >= 0)
        ::close(fd);
    if (cat.empty() || std::size_t(fileSize(corpus)) != bytes || !written) {
        std::fprintf(stderr, "bench_cli: cannot make the inputs in /tmp, or no cat\n");
        return 1;
    }
    const double mboxMb = double(fileSize(mbox)) / 1e6;

    std::printf("form body: %zu MB, made by %s; mbox: %u form mails, %.1f MB\n", megabytes,
                fromPython ? "Python's urllib.parse.urlencode" : "MakeFormCorpus", messages,
                mboxMb);
    std::printf("best of %d runs, or of as many as take %.1f s up to %d (of %d for the Python "
                "mail script), output to /dev/null; the decoders scan with %s\n\n",
                kRuns, kLeastSeconds, kMostRuns, kSlowRuns,
                FormScanner::name(FormScanner::current()).c_str());
    std::vector<Row> plain = {
        {"cat (the floor)", {cat, corpus}},
        {"formtidy-decode (faithful)", {program, corpus}},
        {"formtidy-decode --decode standard", {program, "--decode", "standard", corpus}},
        {"formtidy-decode --format json", {program, "--format", "json", corpus}},
        {"formtidy-decode --format csv", {program, "--format", "csv", corpus}},
    };
    if (!python.empty())
        plain.push_back(
            {"Python urllib.parse.parse_qsl", {python, kScripts + "/peer_parse_qsl.py", corpus}});
    if (!node.empty())
        plain.push_back(
            {"Node URLSearchParams", {node, kScripts + "/peer_urlsearchparams.js", corpus}});
    std::vector<Row> mail = {
        {"cat (the floor)", {cat, mbox}},
        {"formtidy-decode --mail --format csv", {program, "--mail", "--format", "csv", mbox}},
    };
    if (!python.empty())
        mail.push_back({"Python email + parse_qsl + csv (mail_forms.py)",
                        {python, kScripts + "/mail_forms.py", mbox},
                        kSlowRuns});
    const bool ok = runTable(plain, double(bytes) / 1e6, 0) &&
                    (std::printf("\n"), runTable(mail, mboxMb, messages));
    ::unlink(corpus.c_str());
    ::unlink(mbox.c_str());
    std::printf("\n");
    return ok && imapToSqlite(program, 10000) ? 0 : 1;
}
