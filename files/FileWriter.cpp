#include "FileWriter.h"

#include "FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
FileWriter::WriteFunction g_write;

constexpr std::size_t kChunk = 1 << 20;

ssize_t writeBytes(int fd, const char* data, size_t size, off_t at)
{
    if (g_write)
        return g_write(fd, data, size, at);
    return at == FileWriter::kAtPosition ? ::write(fd, data, size) : ::pwrite(fd, data, size, at);
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

std::string fdPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Whether /proc/self/fd is there, through which a descriptor can be opened
// again, and an unnamed file be given a name.
bool procMounted()
{
    struct stat st
    {
    };
    return ::stat("/proc/self/fd", &st) == 0;
}

// A folder, opened for syncing where the process may read it, else for
// lookups only.
int openFolder(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES)
        return fd;
    return ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// What the names of a temporary file and of a backup begin with, before
// their eight letters; short enough for any file system.
std::string temporaryPrefix(const std::string& name)
{
    return "." + name.substr(0, 200) + ".";
}

std::string backupPrefix(const std::string& name)
{
    return name.substr(0, 200) + ".formtidy-backup-";
}

std::string randomName(const std::string& prefix)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::string name = prefix;
    for (int i = 0; i < 8; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name;
}

// A new file in the folder `dir` for bytes that get their name only once
// they are all written and synced: without a name (O_TMPFILE) where it can be
// named later, so that a crash leaves nothing behind; else created at once
// as `prefix` and eight letters, which `named` receives and `watch` watches.
// Returns -1 with errno set when the folder takes no new file.
int newFileIn(int dir, const std::string& prefix, mode_t mode, std::string& named,
              SignalCleanup::File& watch)
{
    named.clear();
    if (procMounted()) {
        const int fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR))
            return fd;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = randomName(prefix);
        // A signal waits until the name is watched.
        const SignalCleanup::Hold hold;
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            named = name;
            watch.watch(dir, name);
        }
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the file that newFileIn() made a name, `prefix` and eight letters,
// unless it has one, and watches it. Returns false with errno set when it
// cannot.
bool nameNewFile(int fd, int dir, const std::string& prefix, std::string& named,
                 SignalCleanup::File& watch)
{
    for (int attempt = 0; named.empty() && attempt < 100; ++attempt) {
        const std::string name = randomName(prefix);
        const SignalCleanup::Hold hold;
        // Directly where the process may (CAP_DAC_READ_SEARCH), else through /proc.
        if (::linkat(fd, "", dir, name.c_str(), AT_EMPTY_PATH) == 0 ||
            (errno != EEXIST &&
             ::linkat(AT_FDCWD, fdPath(fd).c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0)) {
            named = name;
            watch.watch(dir, name);
        } else if (errno != EEXIST)
            return false;
    }
    return !named.empty();
}

} // namespace

std::string FileWriter::scratchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    struct stat st
    {
    };
    if (tmp && *tmp && ::stat(tmp, &st) == 0 && S_ISDIR(st.st_mode))
        return tmp;
    return "/tmp";
}

int FileWriter::openScratchFile()
{
    const std::string folder = scratchFolder();
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

FileWriter::FileWriter(std::string path, Notice notice)
    : m_path(std::move(path)), m_notice(std::move(notice))
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
    // A new file, with the usual permissions: named and renamed into place
    // when complete.
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
    m_target = reopen(found, st);

    // Where the file is: the folder of the name given, or, for a symbolic
    // link, of the file that the kernel reached.
    std::string where = m_path;
    struct stat link
    {
    };
    if (::lstat(m_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char buffer[4096];
        const ssize_t n = ::readlink(fdPath(found).c_str(), buffer, sizeof buffer);
        where = n > 0 && buffer[0] == '/' ? std::string(buffer, std::size_t(n)) : std::string();
        if (n < 0 && errno == ENOENT) { // no /proc
            char* real = ::realpath(m_path.c_str(), nullptr);
            where = real ? real : "";
            std::free(real);
        }
    }
    m_name = nameOf(where.empty() ? m_path : where); // for the backup's name
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

int FileWriter::reopen(int found, const struct stat& st)
{
    // Opening the file found, not the name again, keeps the two the same.
    // Without /proc the name is opened, and must still be the file found.
    const bool viaProc = procMounted();
    const std::string self = viaProc ? fdPath(found) : m_path;
    int fd = -1;
    // For reading too, where allowed, to copy the old bytes to a backup.
    for (const int access : {O_RDWR, O_WRONLY}) {
        fd = ::open(self.c_str(), access | O_NOCTTY | O_CLOEXEC | (viaProc ? 0 : O_NONBLOCK));
        if (fd >= 0 || errno != EACCES)
            break;
    }
    if (fd < 0)
        fail(errno);
    struct stat now
    {
    };
    if (!viaProc && (::fstat(fd, &now) != 0 || !sameFile(now, st))) {
        ::close(fd);
        throw FileError("write", m_path, "It was replaced while it was being opened");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

void FileWriter::openDirectory(const std::string& dirPath, const std::string& name)
{
    m_name = name;
    m_folder = dirPath;
    m_dir = openFolder(dirPath);
    if (m_dir < 0)
        fail(errno);
}

bool FileWriter::tryTemporary(mode_t createMode)
{
    m_out = newFileIn(m_dir, temporaryPrefix(m_name), createMode, m_temp, m_tempWatch);
    return m_out >= 0;
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
    m_tempWatch.release();
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
    dropBackup();
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

int FileWriter::writeAll(int fd, std::string_view bytes, off_t at)
{
    while (!bytes.empty()) {
        errno = 0;
        const ssize_t written = writeBytes(fd, bytes.data(), bytes.size(), at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 && errno ? errno : ENOSPC;
        bytes.remove_prefix(static_cast<std::size_t>(written));
        if (at != kAtPosition)
            at += written;
    }
    return 0;
}

void FileWriter::writeAt(int fd, std::string_view bytes, off_t at, const char* note)
{
    if (const int err = writeAll(fd, bytes, at))
        fail(err, note);
}

void FileWriter::write(std::string_view bytes)
{
    if (m_out < 0 && rewritesInPlace()) {
        m_scratch = scratchFolder();
        m_aside = "the new text could not be held aside in " + m_scratch;
        m_out = openScratchFile();
        if (m_out < 0)
            fail(errno, m_aside.c_str());
    }
    if (m_out < 0)
        fail(EBADF);
    writeAt(m_out, bytes, m_written, m_aside.empty() ? nullptr : m_aside.c_str());
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
    if (m_temp.empty() && !nameNewFile(m_out, m_dir, temporaryPrefix(m_name), m_temp, m_tempWatch))
        fail(errno);
    const int out = m_out;
    m_out = -1;
    if (::close(out) != 0)
        fail(errno);
    if (::renameat(m_dir, m_temp.c_str(), m_dir, m_name.c_str()) != 0)
        fail(errno);
    m_tempWatch.release();
    m_temp.clear();
    ::fsync(m_dir); // best effort: the folder may be open for lookups only
}

void FileWriter::commitInPlace()
{
    std::string buffer;
    const std::string note = "the new text held aside in " + m_scratch + " could not be read back";
    rewriteInPlace(m_written, [this, &buffer, &note](off_t at) {
        buffer.resize(std::min<std::size_t>(kChunk, std::size_t(m_written - at)));
        const ssize_t got = ::pread(m_out, buffer.data(), buffer.size(), at);
        if (got <= 0)
            fail(got < 0 ? errno : EIO, note.c_str());
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
    makeBackup(st.st_size);
    reserve(length, st);

    // From the first byte overwritten until the last, the backup is the only
    // whole copy of the old text: it stays if the rewrite fails, and a signal
    // waits until the rewrite is done.
    const std::string backup = m_backup.folder + "/" + m_backup.name;
    int notRemoved = 0;
    {
        const SignalCleanup::Hold hold;
        m_backup.watch.release();
        m_backup.keep = true;
        try {
            for (off_t at = 0; at < length;) {
                const std::string_view chunk = chunkAt(at);
                writeAt(m_target, chunk, at);
                at += static_cast<off_t>(chunk.size());
            }
            if (::fdatasync(m_target) != 0)
                fail(errno);
            if (length < st.st_size && ::ftruncate(m_target, length) != 0)
                fail(errno);
            if (::fsync(m_target) != 0)
                fail(errno);
        } catch (const FileError& e) {
            std::string reason = e.reason() + "; the file was being rewritten in place and may "
                                              "now hold part of the new text";
            if (!m_backup.name.empty())
                reason += ", and its old text is kept in \"" + backup + "\"";
            throw FileError("write", m_path, reason);
        }
        m_backup.keep = false;
        notRemoved = dropBackup();
    }
    if (notRemoved && m_notice)
        m_notice("The backup \"" + backup +
                 "\" of the old text could not be removed: " + std::strerror(notRemoved) + ".");
}

void FileWriter::makeBackup(off_t size)
{
    const std::string scratch = scratchFolder();
    std::string why;
    if ((::fcntl(m_target, F_GETFL) & O_ACCMODE) != O_RDWR) {
        why = "this user may not read it";
    } else {
        // Beside the file, else in the scratch folder.
        for (const bool beside : {true, false}) {
            const int dir = beside ? m_dir : openFolder(scratch);
            if (dir < 0)
                continue;
            m_backup.dir = dir;
            m_backup.ownsDir = !beside;
            m_backup.folder = beside ? m_folder : scratch;
            m_backup.fd = newFileIn(dir, backupPrefix(m_name), 0600, m_backup.name, m_backup.watch);
            if (m_backup.fd >= 0) {
                copyToBackup(size);
                return;
            }
            const int err = errno;
            if (err != EACCES && err != EPERM && err != EROFS)
                fail(err,
                     ("no backup of the old text could be made in " + m_backup.folder).c_str());
            dropBackup();
        }
        why = (m_dir >= 0 ? "neither " + m_folder + " nor " : std::string()) + scratch +
              " takes a new file";
    }
    if (m_notice)
        m_notice("No backup of \"" + m_path + "\" can be made: " + why +
                 ". Should the save be cut short while the file is rewritten in place, it may "
                 "hold part of the new text and part of the old.");
}

void FileWriter::copyToBackup(off_t size)
{
    const std::string note =
        "the backup of the old text in " + m_backup.folder + " could not be written";
    std::string buffer(std::size_t(std::min<off_t>(size, kChunk)), '\0');
    for (off_t at = 0; at < size;) {
        const ssize_t got = ::pread(m_target, buffer.data(),
                                    std::min<std::size_t>(kChunk, std::size_t(size - at)), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(errno, note.c_str());
        if (got == 0)
            break; // the file shrank meanwhile
        writeAt(m_backup.fd, std::string_view(buffer.data(), std::size_t(got)), at, note.c_str());
        at += got;
    }
    // On the disk, and named, before the first old byte is overwritten.
    if (::fsync(m_backup.fd) != 0)
        fail(errno, note.c_str());
    if (m_backup.name.empty() && !nameNewFile(m_backup.fd, m_backup.dir, backupPrefix(m_name),
                                              m_backup.name, m_backup.watch))
        fail(errno, note.c_str());
    ::fsync(m_backup.dir); // best effort, as for the rename
}

void FileWriter::reserve(off_t length, const struct stat& old)
{
    // FALLOC_FL_KEEP_SIZE reserves the blocks but leaves the file's length,
    // and so its content, as it was.
    if (length == 0)
        return;
    int err = 0;
    do
        err = ::fallocate(m_target, FALLOC_FL_KEEP_SIZE, 0, length) == 0 ? 0 : errno;
    while (err == EINTR);
    if (err == 0)
        return;
    if (err != EOPNOTSUPP && err != ENOSYS) {
        // Gives back what was reserved past the end; the content stays as it is.
        const int undone = ::ftruncate(m_target, old.st_size);
        static_cast<void>(undone);
        fail(err);
    }
    // Where the file system cannot reserve, its free room is checked instead.
    struct statvfs fs
    {
    };
    const off_t held = off_t(old.st_blocks) * 512;
    if (length > held && ::fstatvfs(m_target, &fs) == 0 &&
        std::uint64_t(length - held) > std::uint64_t(fs.f_bavail) * fs.f_frsize)
        fail(ENOSPC);
}

int FileWriter::dropBackup()
{
    m_backup.watch.release();
    closeFd(m_backup.fd);
    int err = 0;
    if (!m_backup.keep && !m_backup.name.empty() && m_backup.dir >= 0) {
        if (::unlinkat(m_backup.dir, m_backup.name.c_str(), 0) != 0)
            err = errno;
        ::fsync(m_backup.dir);
    }
    m_backup.name.clear();
    if (m_backup.ownsDir)
        closeFd(m_backup.dir);
    m_backup.dir = -1;
    m_backup.ownsDir = false;
    return err;
}

void FileWriter::writeFile(const std::string& path, std::string_view bytes, Notice notice)
{
    FileWriter writer(path, std::move(notice));
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
