#include "InputSource.h"

#include "files/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

bool isFolder(const std::string& path, bool followLinks = true)
{
    struct stat st
    {
    };
    return (followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0 &&
           S_ISDIR(st.st_mode);
}

bool isMaildir(const std::string& path)
{
    return isFolder(path + "/cur") && isFolder(path + "/new");
}

// The entries of a folder, without "." and "..". Throws FileError.
std::vector<std::string> entries(const std::string& folder)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        throw FileError::fromErrno("open", folder, errno);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    if (errno != 0)
        throw FileError::fromErrno("read", folder, errno);
    return names;
}

// When a Maildir message was delivered, as its name says: "SECONDS.M<usec>..."
// or "SECONDS.anything"; names of any other form come after those.
struct Delivery
{
    bool timed = false;
    unsigned long long seconds = 0;
    unsigned long long micros = 0;
    std::string name;
    std::string path;

    bool operator<(const Delivery& other) const
    {
        if (timed != other.timed)
            return timed;
        if (seconds != other.seconds)
            return seconds < other.seconds;
        if (micros != other.micros)
            return micros < other.micros;
        return name < other.name;
    }
};

Delivery delivery(const std::string& folder, const std::string& name)
{
    Delivery d;
    d.name = name;
    d.path = folder + "/" + name;
    const std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string::npos || name.find_first_not_of("0123456789") != dot ||
        dot > 19)
        return d;
    d.timed = true;
    d.seconds = std::strtoull(name.c_str(), nullptr, 10);
    if (dot + 1 < name.size() && name[dot + 1] == 'M')
        d.micros = std::strtoull(name.c_str() + dot + 2, nullptr, 10);
    return d;
}

} // namespace

InputSource::InputSource(const std::vector<std::string>& names, bool folders, bool recursive)
    : m_folders(folders), m_recursive(recursive)
{
    for (const std::string& name : names)
        m_pending.push_back({name, false});
}

std::optional<InputSource::Input> InputSource::next()
{
    while (!m_pending.empty()) {
        const Pending item = std::move(m_pending.front());
        m_pending.pop_front();
        if (item.name == "-" && !item.inFolder)
            return Input{"standard input", true};
        // A named folder is read even through a link; one found inside only
        // when asked, and not through a link, so that no loop is followed.
        if (m_folders &&
            (item.inFolder ? m_recursive && isFolder(item.name, false) : isFolder(item.name))) {
            expand(item.name);
            continue;
        }
        if (item.inFolder && isFolder(item.name))
            continue; // a subfolder, or a link to one
        return Input{item.name, false};
    }
    return std::nullopt;
}

void InputSource::expand(const std::string& folder)
{
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::vector<Pending> found;
    const auto regularFile = [](const std::string& path) {
        struct stat st
        {
        };
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    if (isMaildir(folder)) {
        std::vector<Delivery> mails;
        for (const char* sub : {"cur", "new"})
            for (const std::string& name : entries(prefix + sub))
                if (name.front() != '.' && regularFile(prefix + sub + "/" + name))
                    mails.push_back(delivery(prefix + sub, name));
        std::sort(mails.begin(), mails.end());
        for (Delivery& mail : mails)
            found.push_back({std::move(mail.path), true});
        if (m_recursive) {
            std::vector<std::string> names = entries(folder);
            std::sort(names.begin(), names.end());
            for (const std::string& name : names)
                if (name.front() == '.' && isFolder(prefix + name, false) &&
                    isMaildir(prefix + name))
                    found.push_back({prefix + name, true});
        }
    } else {
        std::vector<std::string> names = entries(folder);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = prefix + name;
            if (name.front() != '.' && (regularFile(path) || isFolder(path)))
                found.push_back({path, true});
        }
    }
    m_pending.insert(m_pending.begin(), found.begin(), found.end());
}
