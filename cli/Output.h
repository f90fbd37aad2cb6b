#pragma once

#include "files/FileWriter.h"

#include <memory>
#include <string>
#include <string_view>

// Where the decoded text goes. Standard output, and any OUT that is the same
// file as descriptor 1, are written to descriptor 1, so that appending to it
// appends. An OUT that is not a regular file (a device, a FIFO) is written as
// it is. A regular OUT is replaced through FileWriter, only by commit().
class Output
{
public:
    // `path` empty means standard output; `notice` is told what the user
    // should know of a save (see FileWriter). Throws FileError when OUT
    // cannot be written.
    Output(const std::string& path, FileWriter::Notice notice);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // True when what was written stays written, so that a failed input
    // should not stop the others.
    bool streams() const { return !m_file; }

    // Whether `path` names standard output: "-", or the file it goes to.
    static bool isStandardOutput(const std::string& path);

    // Throws FileError unless all of `bytes` was written.
    void write(std::string_view bytes);
    void commit();

private:
    std::string m_name;
    int m_fd;
    bool m_ownsFd = false;
    std::unique_ptr<FileWriter> m_file;
};
