#include "SpoolFile.h"

#include "files/FileError.h"
#include "files/FileWriter.h"

#include <cerrno>
#include <unistd.h>

namespace {

constexpr std::size_t kGather = 256 * 1024;

void writeAt(int fd, std::string_view bytes, off_t at)
{
    if (const int err = FileWriter::writeAll(fd, bytes, at))
        throw FileError::fromErrno("write", FileWriter::scratchFolder(), err);
}

} // namespace

SpoolFile::SpoolFile() : m_fd(FileWriter::openScratchFile())
{
    if (m_fd < 0)
        throw FileError::fromErrno("write", FileWriter::scratchFolder(), errno);
}

SpoolFile::~SpoolFile()
{
    ::close(m_fd);
}

void SpoolFile::append(std::string_view bytes)
{
    m_pending.append(bytes);
    m_size += static_cast<off_t>(bytes.size());
    if (m_pending.size() >= kGather)
        flush();
}

void SpoolFile::flush()
{
    writeAt(m_fd, m_pending, m_size - static_cast<off_t>(m_pending.size()));
    m_pending.clear();
}

void SpoolFile::patch(off_t at, std::string_view bytes)
{
    flush();
    writeAt(m_fd, bytes, at);
}

void SpoolFile::truncate(off_t size)
{
    flush();
    if (::ftruncate(m_fd, size) != 0)
        throw FileError::fromErrno("write", FileWriter::scratchFolder(), errno);
    m_size = size;
}

void SpoolFile::readAt(off_t at, char* buffer, std::size_t size)
{
    flush();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pread(m_fd, buffer + done, size - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw FileError::fromErrno("read", FileWriter::scratchFolder(), n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
}
