#include "CurlLibrary.h"

#include <dlfcn.h>

namespace {

std::string g_error;

template <typename Function> bool resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (!function)
        g_error = std::string("libcurl has no ") + name;
    return function != nullptr;
}

const CurlLibrary* load()
{
    // The name of the library's ABI, which Debian's libcurl4 provides.
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = ::dlerror();
        g_error = why ? why : "libcurl.so.4 cannot be opened";
        return nullptr;
    }
    static CurlLibrary curl;
    if (resolve(library, "curl_easy_init", curl.easyInit) &&
        resolve(library, "curl_easy_cleanup", curl.easyCleanup) &&
        resolve(library, "curl_easy_setopt", curl.easySetopt) &&
        resolve(library, "curl_easy_perform", curl.easyPerform) &&
        resolve(library, "curl_easy_getinfo", curl.easyGetinfo) &&
        resolve(library, "curl_easy_send", curl.easySend) &&
        resolve(library, "curl_easy_recv", curl.easyRecv) &&
        resolve(library, "curl_easy_strerror", curl.easyStrerror))
        return &curl;
    return nullptr; // the library stays open: it may be in use elsewhere
}

} // namespace

const CurlLibrary* CurlLibrary::open()
{
    static const CurlLibrary* const library = load();
    return library;
}

std::string CurlLibrary::error()
{
    return g_error;
}
