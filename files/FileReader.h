#pragma once

#include <string>
#include <sys/stat.h>

// Reads a file as bytes. Unless told otherwise only regular files are read: a
// folder, a FIFO or a device is refused at once instead of blocking or running
// forever.
class FileReader
{
public:
    enum class Accept
    {
        RegularFiles,
        // Also FIFOs, sockets and character devices, such as /dev/stdin or a
        // shell's <(...): the open of a FIFO waits for its writer. For a
        // program without a window to freeze.
        Streams,
    };

    // Opens `path` for reading; throws FileError when it cannot. The name is
    // taken as the system takes it, in bytes.
    explicit FileReader(const std::string& path, Accept accept = Accept::RegularFiles);
    // Reads standard input, whatever kind of file it is.
    FileReader();
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Reads up to `max` bytes into `buffer`; returns 0 at the end of the file.
    // Throws FileError when the read fails.
    std::size_t read(char* buffer, std::size_t max);

    const std::string& name() const { return m_name; }
    // The open file's descriptor, still owned by the reader.
    int handle() const { return m_fd; }

    // The file's identity, to tell when two names are the same file.
    bool sameFileAs(const struct stat& other) const;

    // The whole file as text: the bytes before its first NUL byte, or all of
    // them when it holds none.
    static std::string readText(const std::string& path);

private:
    int m_fd = -1;
    bool m_owned = true; // standard input is left open
    std::string m_name;
};
