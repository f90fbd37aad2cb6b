#pragma once

#include <string>
#include <vector>

// formtidy-decode: decodes e-mailed form data from files or standard input,
// streaming, so that memory stays bounded whatever the input size.
class DecodeTool
{
public:
    // Runs with the arguments after the program's name. Writes the decoded
    // text to standard output (or the -o file) and messages to standard error.
    // Returns the exit code: 0 on success, 1 when a file failed or a mail had no
    // form, 2 on a usage error.
    static int run(const std::vector<std::string>& args);

    static const char* usage();
};
