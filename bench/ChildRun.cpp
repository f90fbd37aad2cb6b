#include "ChildRun.h"

#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

bool RunChild(const std::vector<std::string>& command, ChildRun& run, const std::string& output)
{
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    // fork rather than posix_spawn: a child that shares its parent's memory
    // until exec reports the parent's peak as its own.
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return false;
    run.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.maxRssKb = usage.ru_maxrss;
    run.exitCode = WEXITSTATUS(status);
    return true;
}
