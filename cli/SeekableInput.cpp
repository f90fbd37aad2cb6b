#include "SeekableInput.h"

#include "files/FileError.h"
#include "files/FileReader.h"
#include "files/FileWriter.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

SeekableInput::SeekableInput(FileReader& in) : m_name(in.name())
{
    struct stat st
    {
    };
    if (::fstat(in.handle(), &st) == 0 && S_ISREG(st.st_mode)) {
        m_fd = ::fcntl(in.handle(), F_DUPFD_CLOEXEC, 0);
        if (m_fd < 0)
            throw FileError::fromErrno("read", in.name(), errno);
        m_start = std::max<off_t>(::lseek(m_fd, 0, SEEK_CUR), 0);
        return;
    }
    const std::string where = FileWriter::scratchFolder();
    m_fd = FileWriter::openScratchFile();
    if (m_fd < 0)
        throw FileError::fromErrno("write", where, errno);
    std::string buffer(64 * 1024, '\0');
    while (const std::size_t got = in.read(buffer.data(), buffer.size())) {
        if (const int err = FileWriter::writeAll(m_fd, std::string_view(buffer.data(), got))) {
            ::close(m_fd);
            m_fd = -1;
            throw FileError::fromErrno("write", where, err);
        }
    }
}

SeekableInput::~SeekableInput()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int SeekableInput::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}
