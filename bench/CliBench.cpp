// Runs formtidy-decode as a whole process on a 20 MB form body, its output
// going to /dev/null, and compares it with the byte-at-a-time decoder doing
// the same work in memory. Prints the throughput of both, their ratio and the
// peak resident memory of the process. Then the same for --mail --format csv
// on an mbox of form mails of about the same size, half of them with the form
// in the body and half with it in a base64 attachment. And the plain body
// once more with --decode standard.
// Usage: bench_cli [PATH_TO_FORMTIDY_DECODE] [SIZE_IN_MB]
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

} // namespace

int main(int argc, char** argv)
{
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
    return 0;
}
