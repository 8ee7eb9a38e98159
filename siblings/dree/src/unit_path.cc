// dreeGetPath: the directory of one design unit, <library dir>/<cell>/<view>,
// answered only when it exists and fits the caller's buffer.
#include <sys/stat.h>

#include <cstring>
#include <new>
#include <string>

#include "dree.h"
#include "last_error.h"
#include "library_table.h"

namespace {

bool isDirectory(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

extern "C" int dreeGetPath(int /*context*/, int /*zero1*/, const char *lib, const char *cell,
                           const char *view, int /*zero2*/, char *dir, int size) {
    if (lib == nullptr || cell == nullptr || view == nullptr || dir == nullptr) {
        return dree::fail(DREE_BAD_ARGUMENT, "dreeGetPath: null name or buffer");
    }
    if (size < 1) return dree::fail(DREE_BAD_ARGUMENT, "dreeGetPath: buffer size %d", size);
    for (const char *name : {lib, cell, view}) {
        if (!dree::isAcceptableName(name)) {
            return dree::fail(DREE_BAD_NAME, "bad name \"%s\" in %s.%s:%s", name, lib, cell, view);
        }
    }
    const auto library = dree::libraries().find(std::string_view(lib));
    if (library == dree::libraries().end()) {
        return dree::fail(DREE_UNKNOWN_LIBRARY, "library %s is not defined", lib);
    }

    std::string unitDirectory;
    try {
        unitDirectory = library->second;
        // One separator between the parts, also after a root such as "C:\\".
        if (!dree::isSeparator(unitDirectory.back())) unitDirectory += '/';
        unitDirectory.append(cell).append("/").append(view);
    } catch (const std::bad_alloc &) {
        return dree::fail(DREE_NO_MEMORY, "no memory for the directory of %s.%s:%s", lib, cell,
                          view);
    }
    if (!isDirectory(unitDirectory)) {
        return dree::fail(DREE_NO_DIRECTORY, "no directory %s for %s.%s:%s", unitDirectory.c_str(),
                          lib, cell, view);
    }
    if (unitDirectory.size() >= static_cast<std::size_t>(size)) {
        return dree::fail(DREE_TOO_LONG, "directory %s does not fit %d bytes",
                          unitDirectory.c_str(), size);
    }
    std::memcpy(dir, unitDirectory.c_str(), unitDirectory.size() + 1);
    return DREE_OK;
}
