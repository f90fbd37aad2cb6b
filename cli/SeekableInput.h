#pragma once

#include <string>
#include <sys/types.h>

class FileReader;

// An input that can be read at any offset, for readers that come back to
// what they read (GMime's parser, a second pass over a form). A regular file
// is read through a descriptor of its own; anything else (a pipe on standard
// input) is first copied whole to a file without a name in $TMPDIR (or
// /tmp), so that it need not be held in memory.
class SeekableInput
{
public:
    // Throws FileError when the input cannot be read or copied.
    explicit SeekableInput(FileReader& in);
    ~SeekableInput();
    SeekableInput(const SeekableInput&) = delete;
    SeekableInput& operator=(const SeekableInput&) = delete;

    int fd() const { return m_fd; }
    const std::string& name() const { return m_name; }
    // Where the input starts in the file: where the reader stood.
    off_t start() const { return m_start; }
    // Hands the descriptor over to the caller, who closes it.
    int release();

private:
    std::string m_name;
    int m_fd = -1;
    off_t m_start = 0;
};
