// Defining, listing and forgetting libraries, and the name rule shared by
// definitions and lookups.
#include <new>

#include "dree.h"
#include "last_error.h"
#include "library_table.h"

dree::LibraryTable &dree::libraries() {
    static LibraryTable table;
    return table;
}

bool dree::isAcceptableName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    // A backslash separates paths on the host's platform; refusing it
    // everywhere keeps a name meaning the same directory on both.
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool dree::isSeparator(char c) {
#if defined(_WIN32)
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

namespace {

// "C:" and the like: a drive letter and its colon.
bool hasDriveLetter(std::string_view directory) {
#if defined(_WIN32)
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    return directory.size() >= 2 && isLetter(directory[0]) && directory[1] == ':';
#else
    (void)directory;
    return false;
#endif
}

}  // namespace

bool dree::isAbsolute(std::string_view directory) {
    return (!directory.empty() && isSeparator(directory.front())) || hasDriveLetter(directory);
}

std::string_view dree::trimTrailingSeparators(std::string_view directory) {
    // The shortest text that keeps its trailing separator: "/" or "C:\".
    const std::size_t root = hasDriveLetter(directory) ? 3 : 1;
    while (directory.size() > root && isSeparator(directory.back()))
        directory.remove_suffix(1);
    return directory;
}

extern "C" int dreeDefineLibrary(const char *lib, const char *dir) {
    if (lib == nullptr || dir == nullptr) {
        return dree::fail(DREE_BAD_ARGUMENT, "dreeDefineLibrary: null library name or directory");
    }
    if (!dree::isAcceptableName(lib)) {
        return dree::fail(DREE_BAD_NAME, "bad library name \"%s\"", lib);
    }
    if (*dir == '\0') {
        return dree::fail(DREE_BAD_DEFINITION, "empty directory for library %s", lib);
    }
    try {
        dree::libraries().insert_or_assign(lib, std::string(dree::trimTrailingSeparators(dir)));
    } catch (const std::bad_alloc &) {
        return dree::fail(DREE_NO_MEMORY, "no memory to define library %s", lib);
    }
    return DREE_OK;
}

extern "C" void dreeClearLibraries(void) {
    dree::libraries().clear();
}

extern "C" int dreeForEachLibrary(dreeLibraryVisitor visit, void *data) {
    if (visit == nullptr) return dree::fail(DREE_BAD_ARGUMENT, "dreeForEachLibrary: null visitor");
    for (const auto &[name, directory] : dree::libraries())
        visit(name.c_str(), directory.c_str(), data);
    return DREE_OK;
}
