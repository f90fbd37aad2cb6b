#include "FileWriter.h"

#include "FileError.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {
FileWriter::WriteFunction g_write;

qint64 writeBytes(QIODevice& device, const char* data, qint64 size)
{
    return g_write ? g_write(device, data, size) : device.write(data, size);
}
} // namespace

void FileWriter::setWriteFunctionForTesting(WriteFunction write)
{
    g_write = std::move(write);
}

FileWriter::FileWriter(const QString& path) : m_file(path), m_path(path)
{
    // Only a regular file, or a name that does not exist yet, is written: a
    // temporary file renamed over a FIFO or a device would replace it.
    const QFileInfo info(path);
    if (info.exists() && !QFileInfo(info.canonicalFilePath()).isFile()) {
        if (info.isDir())
            throw FileError::fromErrno("write", path.toStdString(), EISDIR);
        throw FileError("write", path.toStdString(), "It is not a regular file");
    }
    m_file.setDirectWriteFallback(true);
    if (!m_file.open(QIODevice::WriteOnly))
        fail("create");
}

FileWriter::~FileWriter()
{
    if (!m_committed)
        m_file.cancelWriting();
}

void FileWriter::fail(const char* action)
{
    const int err = errno;
    const std::string reason = m_file.error() != QFileDevice::NoError
                                   ? m_file.errorString().toStdString()
                                   : std::string(std::strerror(err ? err : EIO));
    m_file.cancelWriting();
    throw FileError(action, m_path.toStdString(), reason);
}

void FileWriter::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        errno = 0;
        const qint64 written = writeBytes(m_file, bytes.data(), static_cast<qint64>(bytes.size()));
        if (written <= 0)
            fail("write");
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void FileWriter::commit()
{
    // QSaveFile::commit() can report success after a buffered write failed,
    // so the buffer is flushed and checked first.
    if (m_file.error() != QFileDevice::NoError || !m_file.flush())
        fail("write");
    if (!m_file.commit())
        fail("write");
    m_committed = true;
}

void FileWriter::writeFile(const QString& path, std::string_view bytes)
{
    FileWriter writer(path);
    writer.write(bytes);
    writer.commit();
}
