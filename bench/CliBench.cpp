// Runs formtidy-decode as a whole process on a 20 MB form body, its output
// going to /dev/null, and compares it with the byte-at-a-time decoder doing
// the same work in memory. Prints the throughput of both, their ratio and the
// peak resident memory of the process. Then the same for --mail --format csv
// on an mbox of form mails of about the same size, half of them with the form
// in the body and half with it in a base64 attachment. And the plain body
// once more with --decode standard.
// Usage: bench_cli [PATH_TO_FORMTIDY_DECODE] [SIZE_IN_MB]
#include "FormCorpus.h"
#include "ReferenceDecoder.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
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

struct Run
{
    double elapsed = 0; // seconds
    double cpu = 0;     // user and system seconds of the process
    long maxRssKb = 0;
};

bool runDecoder(const std::vector<std::string>& command, Run& run)
{
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    // fork rather than posix_spawn: a child that shares its parent's memory
    // until exec reports the parent's peak as its own.
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const int out = open("/dev/null", O_WRONLY);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    run.elapsed = seconds(start);
    run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.maxRssKb = usage.ru_maxrss;
    return true;
}

// An mbox of form mails of about `bytes` bytes in all.
std::string makeMbox(std::size_t bytes)
{
    std::string mbox;
    for (unsigned i = 0; mbox.size() < bytes; ++i) {
        const std::string form = MakeFormCorpus(4000, i + 1);
        mbox += "From form@example.org Tue Dec  8 10:00:00 2026\n"
                "From: Web Form <form@example.org>\nTo: orders@example.org\n"
                "Subject: Form posted\nMessage-ID: <" +
                std::to_string(i) +
                "@example.org>\nDate: Tue, 8 Dec 2026 10:00:00 +0000\nMIME-Version: 1.0\n";
        if (i % 2 == 0) {
            mbox += "Content-Type: text/plain\n\n" + form + "\n\n";
            continue;
        }
        gchar* base64 = g_base64_encode(reinterpret_cast<const guchar*>(form.data()), form.size());
        std::string lines;
        const std::string_view all(base64);
        for (std::size_t at = 0; at < all.size(); at += 76)
            lines.append(all.substr(at, 76)).append("\n");
        g_free(base64);
        mbox += "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
                "Content-Type: text/plain\n\nThe form is attached.\n--b\n"
                "Content-Type: application/x-www-form-urlencoded\n"
                "Content-Disposition: attachment; filename=\"POSTDATA.ATT\"\n"
                "Content-Transfer-Encoding: base64\n\n" +
                lines + "--b--\n\n";
    }
    return mbox;
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

} // namespace

int main(int argc, char** argv)
{
    const std::string program = argc > 1 ? argv[1] : FORMTIDY_DECODE_BIN;
    const std::size_t megabytes = argc > 2 ? std::stoul(argv[2]) : 20;
    std::string text = MakeFormCorpus(megabytes * 1000 * 1000);

    std::string path, mboxPath;
    std::string mbox = makeMbox(text.size());
    if (!writeTemporary(text, path) || !writeTemporary(mbox, mboxPath)) {
        std::perror("bench_cli: writing the input");
        return 1;
    }
    const double mboxMb = double(mbox.size()) / 1e6;

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
    std::string().swap(mbox);

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
    return 0;
}
