#include "SpoolFile.h"

#include "files/FileError.h"
#include "files/FileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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
    if (bytes.size() >= kGather) {
        // Large enough to go out as it is, rather than through a copy.
        flush();
        writeAt(m_fd, bytes, m_written);
        m_written += static_cast<off_t>(bytes.size());
        return;
    }
    m_pending.append(bytes);
    filled();
}

void SpoolFile::filled()
{
    if (m_pending.size() >= kGather)
        flush();
}

void SpoolFile::flush()
{
    if (m_pending.empty())
        return;
    writeAt(m_fd, m_pending, m_written);
    m_written += static_cast<off_t>(m_pending.size());
    m_pending.clear();
    m_read.clear();
}

void SpoolFile::patch(off_t at, std::string_view bytes)
{
    // A patch of bytes still gathered, as the head of a row just written
    // is, costs no write.
    if (at >= m_written) {
        m_pending.replace(static_cast<std::size_t>(at - m_written), bytes.size(), bytes);
        return;
    }
    flush();
    m_read.clear();
    writeAt(m_fd, bytes, at);
}

void SpoolFile::truncate(off_t size)
{
    flush();
    m_read.clear();
    if (::ftruncate(m_fd, size) != 0)
        throw FileError::fromErrno("write", FileWriter::scratchFolder(), errno);
    m_written = size;
}

void SpoolFile::readAt(off_t at, char* buffer, std::size_t size)
{
    flush();
    // Small reads, which mostly follow one another, are served from a
    // window read ahead.
    if (size < kGather && at + static_cast<off_t>(size) <= m_written) {
        if (at < m_readAt ||
            at + static_cast<off_t>(size) > m_readAt + static_cast<off_t>(m_read.size())) {
            // Kept only once it is read whole.
            m_read.clear();
            std::string ahead(static_cast<std::size_t>(std::min<off_t>(kGather, m_written - at)),
                              '\0');
            readFile(at, ahead.data(), ahead.size());
            m_read = std::move(ahead);
            m_readAt = at;
        }
        std::memcpy(buffer, m_read.data() + (at - m_readAt), size);
        return;
    }
    readFile(at, buffer, size);
}

void SpoolFile::readPieces(off_t at, std::uint64_t size,
                           const std::function<void(std::string_view)>& piece)
{
    std::string bytes;
    for (std::uint64_t done = 0; done < size; done += bytes.size()) {
        bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size - done, kGather)));
        readAt(at + static_cast<off_t>(done), bytes.data(), bytes.size());
        piece(bytes);
    }
}

void SpoolFile::readFile(off_t at, char* buffer, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pread(m_fd, buffer + done, size - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw FileError::fromErrno("read", FileWriter::scratchFolder(), n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
}
