#pragma once

#include "files/ScopedOverride.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

// Writes a file so that a failure never loses its old content.
//
// Normally the bytes go to a temporary file beside the target. It gets the old
// file's mode, owner and group and replaces the file by a rename only when
// every byte was written and synced.
//
// Where a rename would change what the file is, the file is rewritten in place
// instead: when the folder takes no new file, when the file has other hard
// links, or when the process could not give a new file the old owner and
// group. The new bytes are held aside until commit(); then the new length is
// reserved on the disk, and only after that are the old bytes overwritten. A
// full disk or any failure before that point leaves the old file whole; a
// crash while the bytes are being overwritten can leave a mix of new and old.
//
// The path is opened the way the kernel resolves it, so a symbolic link is
// followed only where the kernel's own rules allow it (fs.protected_symlinks),
// and a dangling or looping link is refused. Only a regular file, or a name
// that does not exist yet, is written.
class FileWriter
{
public:
    // Starts writing `path` (a file name as the system takes it, in bytes);
    // throws FileError when it cannot. Nothing is changed yet.
    explicit FileWriter(std::string path);
    explicit FileWriter(const QString& path);
    // Drops what was written unless commit() succeeded.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Throws FileError unless all of `bytes` was taken.
    void write(std::string_view bytes);
    // Puts the new content in place of the old; throws FileError when it cannot.
    void commit();

    // True when the file will be rewritten in place rather than replaced.
    bool rewritesInPlace() const { return m_target >= 0; }

    // A file without a name in $TMPDIR (or /tmp), open for reading and
    // writing, for bytes held aside; it vanishes when closed. Returns its
    // descriptor, or -1 with errno set.
    static int openScratchFile();

    // Writes `bytes` as the whole content of `path`.
    static void writeFile(const QString& path, std::string_view bytes);

    // Stands in for pwrite(2) on every write of file content for as long as
    // it lives, so that tests can simulate a full disk or a failing device.
    using WriteFunction = std::function<ssize_t(int fd, const char* data, size_t size, off_t at)>;
    class WriteOverride : ScopedOverride<WriteFunction>
    {
    public:
        explicit WriteOverride(WriteFunction write);
    };

private:
    void open();
    void release();
    void openExisting(int found);
    void openDirectory(const std::string& dirPath, const std::string& name);
    bool tryTemporary(mode_t createMode);
    bool keepOwnerAndMode(const struct stat& old);
    void dropTemporary();
    void writeAt(int fd, std::string_view bytes, off_t at, const char* note = nullptr);
    void rewriteInPlace(off_t length, const std::function<std::string_view(off_t)>& chunkAt);
    void commitInPlace();
    void commitRename();
    [[noreturn]] void fail(int err, const char* note = nullptr);

    std::string m_path; // as given, for messages
    int m_dir = -1;     // folder of the file (rename path)
    std::string m_name; // the file's name in m_dir
    std::string m_temp; // the temporary file's name in m_dir
    int m_out = -1;     // the temporary file, or the bytes held aside for an in-place rewrite
    off_t m_written = 0;
    int m_target = -1; // the existing file, opened for writing (in-place path only)
    bool m_committed = false;
};
