#pragma once

#include <stdexcept>
#include <string>

// A file that could not be opened, read or written. The text names the file
// and gives the system's reason.
class FileError : public std::runtime_error
{
public:
    // `action` is what was attempted ("open", "read", "write"); `reason` is
    // the system's own explanation.
    FileError(const std::string& action, const std::string& path, const std::string& reason);
    // The same, with the reason taken from an errno value.
    static FileError fromErrno(const std::string& action, const std::string& path, int err);

    const std::string& path() const { return m_path; }
    const std::string& reason() const { return m_reason; }

private:
    std::string m_path;
    std::string m_reason;
};
