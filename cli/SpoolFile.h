#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

// A file without a name in $TMPDIR (or /tmp), for bytes that are written
// now and read back later, so that they need not be held in memory. It
// vanishes when closed. Appends are gathered into large writes.
class SpoolFile
{
public:
    // Throws FileError when no such file can be made.
    SpoolFile();
    ~SpoolFile();
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;

    off_t size() const { return m_written + static_cast<off_t>(m_pending.size()); }
    void append(std::string_view bytes);
    // For bytes made in place: append them to gathered(), then call filled(),
    // so that they are not copied on the way.
    std::string& gathered() { return m_pending; }
    void filled();
    // Overwrites bytes that were appended before.
    void patch(off_t at, std::string_view bytes);
    // Drops everything from `size` on.
    void truncate(off_t size);
    // Reads exactly `size` bytes at `at`, which must lie within the file.
    // Throws FileError when the file ends sooner.
    void readAt(off_t at, char* buffer, std::size_t size);
    // Reads the `size` bytes at `at` in pieces of at most 256 KiB, giving
    // each to `piece` in order.
    void readPieces(off_t at, std::uint64_t size,
                    const std::function<void(std::string_view)>& piece);

private:
    void flush();
    void readFile(off_t at, char* buffer, std::size_t size);

    int m_fd = -1;
    std::string m_pending; // appended bytes not yet written
    off_t m_written = 0;   // bytes in the file, before those
    std::string m_read;    // bytes of the file from m_readAt on, read ahead
    off_t m_readAt = 0;
};
