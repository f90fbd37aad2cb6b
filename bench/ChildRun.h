#pragma once

#include <string>
#include <vector>

// What one run of a child process took.
struct ChildRun
{
    double elapsed = 0; // seconds
    double cpu = 0;     // user and system seconds of the process
    long maxRssKb = 0;  // its peak resident memory, as /usr/bin/time -v reports it
    int exitCode = -1;
};

// Runs `command` (its program's path first) with its standard output going to
// `output` (made or emptied); returns false when it could not run or did not
// exit normally.
bool RunChild(const std::vector<std::string>& command, ChildRun& run,
              const std::string& output = "/dev/null");
