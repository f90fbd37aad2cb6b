#include "FileError.h"

#include <cstring>

FileError::FileError(const std::string& action, const std::string& path, const std::string& reason)
    : std::runtime_error("Cannot " + action + " \"" + path + "\": " + reason + "."), m_path(path),
      m_reason(reason)
{}

FileError FileError::fromErrno(const std::string& action, const std::string& path, int err)
{
    return FileError(action, path, std::strerror(err));
}
