// Runs formtidy-decode as a whole process on a 20 MB form body, its output
// going to /dev/null, and compares it with the byte-at-a-time decoder doing
// the same work in memory. Prints the throughput of both, their ratio and the
// peak resident memory of the process.
// Usage: bench_cli [PATH_TO_FORMTIDY_DECODE] [SIZE_IN_MB]
#include "FormCorpus.h"
#include "ReferenceDecoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

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

bool runDecoder(const std::string& program, const std::string& input, Run& run)
{
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
        execl(program.c_str(), program.c_str(), input.c_str(), static_cast<char*>(nullptr));
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

} // namespace

int main(int argc, char** argv)
{
    const std::string program = argc > 1 ? argv[1] : FORMTIDY_DECODE_BIN;
    const std::size_t megabytes = argc > 2 ? std::stoul(argv[2]) : 20;
    std::string text = MakeFormCorpus(megabytes * 1000 * 1000);

    char path[] = "/tmp/bench_cli_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size())) {
        std::perror("bench_cli: writing the input");
        return 1;
    }
    close(fd);

    // The best of a few runs, so that a moment of load elsewhere counts less.
    constexpr int kRuns = 3;
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
    // started, so the text goes first.
    std::string().swap(text);

    Run best;
    best.elapsed = best.cpu = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        Run run;
        if (!runDecoder(program, path, run)) {
            std::fprintf(stderr, "bench_cli: %s failed on %s\n", program.c_str(), path);
            unlink(path);
            return 1;
        }
        best.elapsed = std::min(best.elapsed, run.elapsed);
        best.cpu = std::min(best.cpu, run.cpu);
        best.maxRssKb = std::max(best.maxRssKb, run.maxRssKb);
    }
    unlink(path);

    std::printf("input                          %.0f MB\n", mb);
    std::printf("formtidy-decode, whole process %8.1f ms %8.1f MB/s  (CPU %.1f ms)\n",
                best.elapsed * 1e3, mb / best.elapsed, best.cpu * 1e3);
    std::printf("byte-at-a-time, in memory      %8.1f ms %8.1f MB/s\n", naive * 1e3, mb / naive);
    std::printf("speed-up                       %8.2fx  (by CPU time %.2fx)\n",
                naive / best.elapsed, naive / best.cpu);
    std::printf("peak resident memory           %8.1f MB\n", double(best.maxRssKb) / 1024);
    return 0;
}
