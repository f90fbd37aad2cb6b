// Runs formtidy-decode as a whole process on a 20 MB form body, its output
// going to /dev/null, and compares it with the byte-at-a-time decoder doing
// the same work in memory. Prints the throughput of both, their ratio and the
// peak resident memory of the process. Then the same for --mail --format csv
// on an mbox of form mails of about the same size, half of them with the form
// in the body and half with it in a base64 attachment. And the plain body
// once more with --decode standard. Last, 10,000 form mails from an IMAP
// server of its own (a Dovecot, started by tests/dovecot_server.py) into
// SQLite, in messages a second; skipped where Dovecot cannot start.
// Usage: bench_cli [PATH_TO_FORMTIDY_DECODE] [SIZE_IN_MB]
//        bench_cli --imap [PATH_TO_FORMTIDY_DECODE] [MESSAGES]   (IMAP alone)
#include "ChildRun.h"
#include "FormCorpus.h"
#include "MailCorpus.h"
#include "ReferenceDecoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Each figure is the best of a few runs, so that a moment of load elsewhere counts less.
constexpr int kRuns = 3;

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using Run = ChildRun;

bool runDecoder(const std::vector<std::string>& command, Run& run)
{
    return RunChild(command, run) && run.exitCode == 0;
}

bool writeTemporary(const std::string& text, std::string& path)
{
    char name[] = "/tmp/bench_cli_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return false;
    path = name;
    const bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

// An mbox of form mails of about `bytes` bytes at `path`; sets `size` to its size.
bool writeMbox(const std::string& path, std::size_t bytes, off_t& size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    const bool ok = fd >= 0 && WriteFormMbox(fd, bytes) && (size = lseek(fd, 0, SEEK_END)) > 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

// The best of kRuns runs of `command`.
bool bestRun(const std::vector<std::string>& command, Run& best)
{
    best.elapsed = best.cpu = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        Run run;
        if (!runDecoder(command, run)) {
            std::fprintf(stderr, "bench_cli: %s failed\n", command.front().c_str());
            return false;
        }
        best.elapsed = std::min(best.elapsed, run.elapsed);
        best.cpu = std::min(best.cpu, run.cpu);
        best.maxRssKb = std::max(best.maxRssKb, run.maxRssKb);
    }
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
        Run run;
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
    const std::string program = argc > 1 ? argv[1] : FORMTIDY_DECODE_BIN;
    const std::size_t megabytes = argc > 2 ? std::stoul(argv[2]) : 20;
    std::string text = MakeFormCorpus(megabytes * 1000 * 1000);

    std::string path, mboxPath;
    off_t mboxSize = 0;
    if (!writeTemporary(text, path) || !writeTemporary({}, mboxPath) ||
        !writeMbox(mboxPath, text.size(), mboxSize)) {
        std::perror("bench_cli: writing the input");
        return 1;
    }
    const double mboxMb = double(mboxSize) / 1e6;

    double naive = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = Clock::now();
        const std::string decoded = ReferenceDecode(text);
        naive = std::min(naive, seconds(start));
        if (decoded.empty())
            return 1;
    }
    const double mb = double(text.size()) / 1e6;
    // A child's peak resident memory counts what its parent holds when it is
    // started, so the texts go first.
    std::string().swap(text);

    Run best, mail, standard;
    const bool ok = bestRun({program, path}, best) &&
                    bestRun({program, "--mail", "--format", "csv", mboxPath}, mail) &&
                    bestRun({program, "--decode", "standard", path}, standard);
    unlink(path.c_str());
    unlink(mboxPath.c_str());
    if (!ok)
        return 1;

    std::printf("input                          %.0f MB\n", mb);
    std::printf("formtidy-decode, whole process %8.1f ms %8.1f MB/s  (CPU %.1f ms)\n",
                best.elapsed * 1e3, mb / best.elapsed, best.cpu * 1e3);
    std::printf("byte-at-a-time, in memory      %8.1f ms %8.1f MB/s\n", naive * 1e3, mb / naive);
    std::printf("speed-up                       %8.2fx  (by CPU time %.2fx)\n",
                naive / best.elapsed, naive / best.cpu);
    std::printf("peak resident memory           %8.1f MB\n", double(best.maxRssKb) / 1024);
    std::printf("mbox of form mails             %.0f MB\n", mboxMb);
    std::printf("--mail --format csv            %8.1f ms %8.1f MB/s  (CPU %.1f ms)\n",
                mail.elapsed * 1e3, mboxMb / mail.elapsed, mail.cpu * 1e3);
    std::printf("against the plain text decode  %8.2fx the time per MB\n",
                (mail.elapsed / mboxMb) / (best.elapsed / mb));
    std::printf("peak resident memory           %8.1f MB\n", double(mail.maxRssKb) / 1024);
    std::printf("--decode standard              %8.1f ms %8.1f MB/s  (CPU %.1f ms)\n",
                standard.elapsed * 1e3, mb / standard.elapsed, standard.cpu * 1e3);
    std::printf("peak resident memory           %8.1f MB\n", double(standard.maxRssKb) / 1024);
    return imapToSqlite(program, 10000) ? 0 : 1;
}
