#include "Output.h"

#include "files/FileError.h"
#include "files/FileWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Output::Output(const std::string& path, FileWriter::Notice notice)
    : m_name(path.empty() ? "standard output" : path), m_fd(STDOUT_FILENO)
{
    if (path.empty() || isStandardOutput(path))
        return;
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            throw FileError::fromErrno("write", path, EISDIR);
        m_fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            throw FileError::fromErrno("write", path, errno);
        m_ownsFd = true;
        return;
    }
    m_file = std::make_unique<FileWriter>(path, std::move(notice));
}

Output::~Output()
{
    if (m_ownsFd)
        ::close(m_fd);
}

bool Output::isStandardOutput(const std::string& path)
{
    struct stat named
    {
    }, out{};
    return path == "-" || (::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
                           named.st_dev == out.st_dev && named.st_ino == out.st_ino);
}

void Output::write(std::string_view bytes)
{
    if (m_file) {
        m_file->write(bytes);
        return;
    }
    if (const int err = FileWriter::writeAll(m_fd, bytes))
        throw FileError::fromErrno("write", m_name, err);
}

void Output::commit()
{
    if (m_file)
        m_file->commit();
}
