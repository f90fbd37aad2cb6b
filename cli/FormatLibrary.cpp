#include "FormatLibrary.h"

#include "files/FileError.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace {

// The folder of the running executable, with its "/", or empty.
std::string executableFolder()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || std::size_t(n) >= sizeof path)
        return {};
    const std::string exe(path, std::size_t(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

const FormatLibrary& load()
{
    // Beside the executable first, so that a build folder's tool never takes
    // an installed library of another build; then where the library is
    // installed, found from the executable's folder, wherever the two were
    // installed together. Without /proc the executable's folder is unknown,
    // and the library is taken from where this build installs it, never from
    // a path relative to the current folder.
    const std::string folder = executableFolder();
    std::string path = folder + FORMTIDY_FORMATS_MODULE;
    if (folder.empty())
        path = FORMTIDY_FORMATS_INSTALLED;
    else if (::access(path.c_str(), F_OK) != 0)
        path = folder + FORMTIDY_FORMATS_FROM_BIN "/" FORMTIDY_FORMATS_MODULE;
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        // The loader's message names the file first; FileError names it too.
        const char* error = ::dlerror();
        std::string why = error ? error : "it cannot be opened";
        if (why.compare(0, path.size() + 2, path + ": ") == 0)
            why.erase(0, path.size() + 2);
        throw FileError("open", path, why);
    }
    using Table = const FormatLibrary* (*)();
    const auto table = reinterpret_cast<Table>(::dlsym(library, "formtidy_format_library"));
    if (!table)
        throw FileError("open", path, "it is not formtidy-decode's library of formats");
    return *table(); // the library stays open to the end of the run
}

} // namespace

const FormatLibrary& FormatLibrary::open()
{
    static const FormatLibrary& library = load();
    return library;
}
