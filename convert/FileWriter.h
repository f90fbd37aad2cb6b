#pragma once

#include <QSaveFile>
#include <QString>

#include <functional>
#include <string_view>

// Writes a file so that a failure never loses its old content: the bytes go to
// a temporary file beside it, which replaces the file only when every byte was
// written. The file's permissions are kept, and a symbolic link is followed to
// the file it names. Where the folder cannot take the temporary file but the
// file itself is writable, the file is written directly.
class FileWriter
{
public:
    // Starts writing `path`; throws FileError when it cannot.
    explicit FileWriter(const QString& path);
    // Drops what was written unless commit() succeeded.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Throws FileError unless all of `bytes` was written.
    void write(std::string_view bytes);
    // Puts the new content in place of the old; throws FileError when it cannot.
    void commit();

    // Writes `bytes` as the whole content of `path`.
    static void writeFile(const QString& path, std::string_view bytes);

    // For tests: stands in for QIODevice::write, so that a full disk or a
    // failing device can be simulated. nullptr restores the real write.
    using WriteFunction = std::function<qint64(QIODevice&, const char*, qint64)>;
    static void setWriteFunctionForTesting(WriteFunction write);

private:
    [[noreturn]] void fail(const char* action);

    QSaveFile m_file;
    QString m_path;
    bool m_committed = false;
};
