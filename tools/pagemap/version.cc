// The library exports no version call, so its version is read from the name of
// the file the dynamic loader actually mapped (libtrel.so.1 links to
// libtrel.so.1.0.0): the answer names the library in use, not the one the tool
// was built against, which is what a user chasing a stale install needs.
#include "version.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <climits>
#include <cstdlib>
#include <string>

#include "trel.h"

namespace {

// The loaded library's file, links resolved; "" when it cannot be told.
std::string loadedLibraryFile() {
#if defined(_WIN32)
    // The module that holds the entry point: trel.dll, wherever it was found.
    HMODULE module = nullptr;
    char name[MAX_PATH];
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&trelInit), &module)) return "";
    const DWORD length = GetModuleFileNameA(module, name, MAX_PATH);
    return length == 0 || length == MAX_PATH ? "" : std::string(name, length);
#else
    Dl_info info{};
    // The address of an entry point, taken through a data pointer as dladdr wants.
    const auto *entry = reinterpret_cast<const void *>(&trelInit);
    if (dladdr(entry, &info) == 0 || info.dli_fname == nullptr) return "";
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
    return resolved;
#endif
}

// "1.0.0" from ".../libtrel.so.1.0.0"; "" when the name carries no version.
std::string versionInFileName(const std::string &file) {
    const std::size_t at = file.rfind(".so.");
    return at == std::string::npos ? "" : file.substr(at + 4);
}

}  // namespace

void printVersion(std::FILE *stream) {
    std::fprintf(stream, "pagemap %s\n", PAGEMAP_VERSION);
    const std::string file = loadedLibraryFile();
    const std::string version = versionInFileName(file);
    std::fprintf(stream, "libtrel %s (%s)\n",
                 version.empty() ? "of unknown version" : version.c_str(),
                 file.empty() ? "file unknown" : file.c_str());
}
