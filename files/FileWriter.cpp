#include "FileWriter.h"

#include "FileError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
FileWriter::WriteFunction g_write;

constexpr std::size_t kChunk = 1 << 20;

ssize_t writeBytes(int fd, const char* data, size_t size, off_t at)
{
    return g_write ? g_write(fd, data, size, at) : ::pwrite(fd, data, size, at);
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int FileWriter::openScratchFile()
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && *tmp ? tmp : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    std::string name = folder + "/formtidy-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.c_str());
    return fd;
}

FileWriter::WriteOverride::WriteOverride(WriteFunction write)
    : ScopedOverride<WriteFunction>(g_write, std::move(write))
{}

FileWriter::FileWriter(const QString& path) : FileWriter(QFile::encodeName(path).toStdString()) {}

FileWriter::FileWriter(std::string path) : m_path(std::move(path))
{
    try {
        open();
    } catch (...) {
        release();
        throw;
    }
}

void FileWriter::open()
{
    if (m_path.empty())
        fail(ENOENT);
    // The kernel resolves the name: a symbolic link is followed only where its
    // own rules allow, and the file found is the one written.
    const int found = ::open(m_path.c_str(), O_PATH | O_CLOEXEC);
    if (found >= 0) {
        try {
            openExisting(found);
        } catch (...) {
            ::close(found);
            throw;
        }
        ::close(found);
        return;
    }
    const int err = errno;
    struct stat link
    {
    };
    const bool isLink = ::lstat(m_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    if (isLink && err == ENOENT)
        fail(err, "it is a symbolic link to a file that does not exist");
    if (isLink && err == EACCES)
        fail(err,
             "the system does not let this user follow the symbolic link, or reach what it names");
    if (err != ENOENT)
        fail(err);
    // A new file: created under a temporary name with the usual permissions,
    // and renamed when complete.
    openDirectory(folderOf(m_path), nameOf(m_path));
    if (!tryTemporary(0666))
        fail(errno);
}

void FileWriter::openExisting(int found)
{
    struct stat st
    {
    };
    if (::fstat(found, &st) != 0)
        fail(errno);
    if (S_ISDIR(st.st_mode))
        fail(EISDIR);
    if (!S_ISREG(st.st_mode))
        throw FileError("write", m_path, "It is not a regular file");
    // Opening the file found, not the name again, keeps the two the same.
    const std::string self = "/proc/self/fd/" + std::to_string(found);
    m_target = ::open(self.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (m_target < 0)
        fail(errno);

    // Where the file is: the folder of the name given, or, for a symbolic
    // link, of the file that the kernel reached.
    std::string where = m_path;
    struct stat link
    {
    };
    if (::lstat(m_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char buffer[4096];
        const ssize_t n = ::readlink(self.c_str(), buffer, sizeof buffer);
        where = n > 0 && buffer[0] == '/' ? std::string(buffer, std::size_t(n)) : std::string();
    }
    if (where.empty())
        return;
    try {
        openDirectory(folderOf(where), nameOf(where));
    } catch (const FileError&) {
        return;
    }
    // The rename must replace this very file, and it must not split hard
    // links, hand the file to another owner, or be refused by a sticky folder.
    struct stat named
    {
    }, folder{};
    const uid_t me = ::geteuid();
    if (::fstatat(m_dir, m_name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameFile(named, st) || st.st_nlink > 1 || ::fstat(m_dir, &folder) != 0 ||
        ((folder.st_mode & S_ISVTX) && me != 0 && st.st_uid != me && folder.st_uid != me))
        return;
    if (!tryTemporary(0600))
        return;
    if (!keepOwnerAndMode(st)) {
        dropTemporary();
        return;
    }
    closeFd(m_target);
}

void FileWriter::openDirectory(const std::string& dirPath, const std::string& name)
{
    m_name = name;
    m_dir = ::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0 && errno == EACCES)
        m_dir = ::open(dirPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0)
        fail(errno);
}

bool FileWriter::tryTemporary(mode_t createMode)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "." + m_name.substr(0, 200) + ".";
        for (int i = 0; i < 8; ++i)
            name += letters[random() % (sizeof letters - 1)];
        m_out = ::openat(m_dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (m_out >= 0) {
            m_temp = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool FileWriter::keepOwnerAndMode(const struct stat& old)
{
    struct stat now
    {
    };
    if (::fstat(m_out, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(m_out, old.st_uid, old.st_gid) != 0)
        return false;
    // After the owner: a change of owner clears the set-user-ID bits.
    return ::fchmod(m_out, old.st_mode & 07777) == 0;
}

void FileWriter::dropTemporary()
{
    closeFd(m_out);
    if (!m_temp.empty())
        ::unlinkat(m_dir, m_temp.c_str(), 0);
    m_temp.clear();
}

FileWriter::~FileWriter()
{
    release();
}

void FileWriter::release()
{
    if (!m_committed)
        dropTemporary();
    closeFd(m_out);
    closeFd(m_target);
    closeFd(m_dir);
}

void FileWriter::fail(int err, const char* note)
{
    std::string reason = std::strerror(err ? err : EIO);
    if (note)
        reason += std::string(" (") + note + ")";
    throw FileError("write", m_path, reason);
}

void FileWriter::writeAt(int fd, std::string_view bytes, off_t at, const char* note)
{
    while (!bytes.empty()) {
        errno = 0;
        const ssize_t written = writeBytes(fd, bytes.data(), bytes.size(), at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail(written < 0 ? errno : ENOSPC, note);
        bytes.remove_prefix(static_cast<std::size_t>(written));
        at += written;
    }
}

void FileWriter::write(std::string_view bytes)
{
    static const char* const aside = "the new text could not be held aside in the temporary folder";
    if (m_out < 0 && rewritesInPlace()) {
        m_out = openScratchFile();
        if (m_out < 0)
            fail(errno, aside);
    }
    if (m_out < 0)
        fail(EBADF);
    writeAt(m_out, bytes, m_written, rewritesInPlace() ? aside : nullptr);
    m_written += static_cast<off_t>(bytes.size());
}

void FileWriter::commit()
{
    if (rewritesInPlace())
        commitInPlace();
    else
        commitRename();
    m_committed = true;
}

void FileWriter::commitRename()
{
    if (::fsync(m_out) != 0)
        fail(errno);
    const int out = m_out;
    m_out = -1;
    if (::close(out) != 0)
        fail(errno);
    if (::renameat(m_dir, m_temp.c_str(), m_dir, m_name.c_str()) != 0)
        fail(errno);
    m_temp.clear();
    ::fsync(m_dir); // best effort: the folder may be open for lookups only
}

void FileWriter::commitInPlace()
{
    std::string buffer;
    rewriteInPlace(m_written, [this, &buffer](off_t at) {
        buffer.resize(std::min<std::size_t>(kChunk, std::size_t(m_written - at)));
        const ssize_t got = ::pread(m_out, buffer.data(), buffer.size(), at);
        if (got <= 0)
            fail(got < 0 ? errno : EIO, "the new text held aside could not be read back");
        return std::string_view(buffer.data(), std::size_t(got));
    });
}

void FileWriter::rewriteInPlace(off_t length, const std::function<std::string_view(off_t)>& chunkAt)
{
    struct stat st
    {
    };
    if (::fstat(m_target, &st) != 0)
        fail(errno);
    // Reserve the room first: if the disk is full, nothing of the old file
    // has been touched yet.
    if (length > st.st_size) {
        const int err = ::posix_fallocate(m_target, st.st_size, length - st.st_size);
        if (err != 0) {
            // Gives back what was reserved; the old bytes are whole either way.
            const int undone = ::ftruncate(m_target, st.st_size);
            static_cast<void>(undone);
            fail(err);
        }
    }
    static const char* const partly = "the file was being rewritten in place and may now hold "
                                      "part of the new text";
    for (off_t at = 0; at < length;) {
        const std::string_view chunk = chunkAt(at);
        writeAt(m_target, chunk, at, partly);
        at += static_cast<off_t>(chunk.size());
    }
    if (::fdatasync(m_target) != 0)
        fail(errno, partly);
    if (length < st.st_size && ::ftruncate(m_target, length) != 0)
        fail(errno, partly);
    if (::fsync(m_target) != 0)
        fail(errno, partly);
}

void FileWriter::writeFile(const QString& path, std::string_view bytes)
{
    FileWriter writer(path);
    if (writer.rewritesInPlace()) {
        // The whole text is at hand: no need to hold it aside.
        writer.rewriteInPlace(static_cast<off_t>(bytes.size()),
                              [bytes](off_t at) { return bytes.substr(std::size_t(at), kChunk); });
        writer.m_committed = true;
        return;
    }
    writer.write(bytes);
    writer.commit();
}
