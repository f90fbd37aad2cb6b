#pragma once

#include "SignalCleanup.h"
#include "files/ScopedOverride.h"

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

// Writes a file so that a failure never loses its old content.
//
// Normally the bytes go to a new file beside the target, without a name
// (O_TMPFILE) until every byte is written and synced, so that a crash leaves
// nothing behind. It gets the old file's mode, owner and group, and then
// replaces the file: it is named with a temporary name and renamed over the
// old one. Where the file system makes no unnamed files, or /proc (through
// which an unnamed file is named) is not mounted, the temporary name is given
// from the start; SignalCleanup removes it when the process is interrupted.
//
// Where a rename would change what the file is, the file is rewritten in place
// instead: when the folder takes no new file, when the file has other hard
// links, or when the process could not give a new file the old owner and
// group. The new bytes are held aside until commit(). Then the old bytes are
// copied to a backup (NAME.formtidy-backup- and eight letters, beside the
// file, or in the scratch folder where its folder takes no new file) and
// synced; the room for the new text is reserved without changing the file;
// the file is overwritten, and the backup removed. A crash before the
// overwrite leaves the file as it was; one during it leaves the backup. Only
// where no folder takes a backup can a crash leave a mix of old and new, and
// the notice given to the constructor says so before the overwrite.
//
// The path is opened the way the kernel resolves it, so a symbolic link is
// followed only where the kernel's own rules allow it (fs.protected_symlinks),
// and a dangling or looping link is refused. Only a regular file, or a name
// that does not exist yet, is written.
class FileWriter
{
public:
    // Told a warning for the user before the file is overwritten in place
    // without a backup.
    using Notice = std::function<void(const std::string& message)>;

    // Starts writing `path` (a file name as the system takes it, in bytes);
    // throws FileError when it cannot. Nothing is changed yet.
    explicit FileWriter(std::string path, Notice notice = {});
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

    // The folder for bytes held aside: $TMPDIR where it names a folder, as
    // for the C library's own temporary files, else /tmp.
    static std::string scratchFolder();
    // A file without a name in scratchFolder(), open for reading and writing,
    // for bytes held aside; it vanishes when closed. Returns its descriptor,
    // or -1 with errno set.
    static int openScratchFile();

    // Writes `bytes` as the whole content of `path`.
    static void writeFile(const std::string& path, std::string_view bytes, Notice notice = {});

    // Writes all of `bytes` to `fd`, at offset `at`, or at the file's own
    // position (as write(2) does) where `at` is kAtPosition; a short write or
    // an interrupted one goes on with the rest. Every writer of the program's
    // output comes through here. Returns 0, or the errno of the write that
    // failed (ENOSPC for one that took nothing).
    static constexpr off_t kAtPosition = -1;
    static int writeAll(int fd, std::string_view bytes, off_t at = kAtPosition);

    // Stands in for pwrite(2), or write(2) where `at` is kAtPosition, on every
    // write of writeAll() for as long as it lives, so that tests can simulate
    // a full disk or a failing device.
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
    int reopen(int found, const struct stat& st);
    void openDirectory(const std::string& dirPath, const std::string& name);
    bool tryTemporary(mode_t createMode);
    bool keepOwnerAndMode(const struct stat& old);
    void dropTemporary();
    void writeAt(int fd, std::string_view bytes, off_t at, const char* note = nullptr);
    void rewriteInPlace(off_t length, const std::function<std::string_view(off_t)>& chunkAt);
    void makeBackup(off_t size);
    void copyToBackup(off_t size);
    void reserve(off_t length, const struct stat& old);
    int dropBackup(); // returns the error of its removal, or 0
    void commitInPlace();
    void commitRename();
    [[noreturn]] void fail(int err, const char* note = nullptr);

    std::string m_path; // as given, for messages
    Notice m_notice;
    int m_dir = -1;       // folder of the file
    std::string m_folder; // its path, for messages
    std::string m_name;   // the file's name in m_dir
    std::string m_temp;   // the temporary file's name in m_dir, once it has one
    SignalCleanup::File m_tempWatch;
    int m_out = -1;        // the temporary file, or the bytes held aside for an in-place rewrite
    std::string m_scratch; // the folder where they are held aside
    std::string m_aside;   // the note for a failure to hold them there
    off_t m_written = 0;
    int m_target = -1; // the existing file, for writing and, where allowed, reading (in place only)
    bool m_committed = false;

    // The copy of the old bytes made before an in-place rewrite.
    struct Backup
    {
        int fd = -1;
        int dir = -1;
        bool ownsDir = false;
        std::string folder;
        std::string name; // empty until it has one
        SignalCleanup::File watch;
        bool keep = false; // the file may be half rewritten: the backup stays
    };
    Backup m_backup;
};
