#include "FileReader.h"

#include "FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileReader::FileReader(const std::string& path, Accept accept) : m_name(path)
{
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer, where
    // FIFOs are refused anyway.
    const bool streams = accept == Accept::Streams;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (streams ? 0 : O_NONBLOCK));
    if (fd < 0)
        throw FileError::fromErrno("open", path, errno);
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw FileError::fromErrno("open", path, err);
    }
    const bool stream = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode);
    if (!S_ISREG(st.st_mode) && !(streams && stream)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            throw FileError::fromErrno("open", path, EISDIR);
        throw FileError("open", path, "It is not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
}

FileReader::FileReader() : m_fd(STDIN_FILENO), m_owned(false), m_name("standard input") {}

FileReader::~FileReader()
{
    if (m_owned)
        ::close(m_fd);
}

bool FileReader::sameFileAs(const struct stat& other) const
{
    struct stat st
    {
    };
    return ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == other.st_dev &&
           st.st_ino == other.st_ino;
}

std::size_t FileReader::read(char* buffer, std::size_t max)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, max);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw FileError::fromErrno("read", m_name, errno);
    }
}

std::string FileReader::readText(const std::string& path)
{
    FileReader reader(path);
    // Size the text once from the file's length, then read straight into it.
    struct stat st
    {
    };
    const off_t size = ::fstat(reader.m_fd, &st) == 0 ? st.st_size : 0;
    std::string text(static_cast<std::size_t>(std::max<off_t>(size, 0)), '\0');
    std::size_t used = 0;
    while (used < text.size()) {
        const std::size_t got = reader.read(text.data() + used, text.size() - used);
        if (got == 0)
            break; // the file shrank while we read it
        used += got;
    }
    text.resize(used);
    // The file may have grown since its length was taken.
    char more[64 * 1024];
    while (const std::size_t got = reader.read(more, sizeof more))
        text.append(more, got);
    const auto nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    return text;
}
