// Library definitions through the library-path stand-in, with the defaults a
// shell user expects: an environment variable for a whole session, or the
// design's own libraries.defs when working in its folder.
#include "library_definitions.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "diagnostics.h"
#include "dree.h"

const char kHowToDefineLibraries[] =
    "define libraries with -L LIB=DIR, --libs FILE, $PAGEMAP_LIBS naming a definitions file, or "
    "a libraries.defs in the current folder";

namespace {

constexpr const char kLocalDefinitions[] = "libraries.defs";

ExitStatus readFile(const std::string &path, const std::string &origin) {
    if (dreeReadDefinitions(path.c_str()) == DREE_OK) return kSuccess;
    reportError(origin + ": " + dreeLastError());
    return kBadLibraries;
}

}  // namespace

ExitStatus defineLibraries(const std::vector<LibrarySource> &sources) {
    if (sources.empty()) {
        const char *named = std::getenv("PAGEMAP_LIBS");
        if (named != nullptr && *named != '\0') return readFile(named, "$PAGEMAP_LIBS");
        struct stat local;
        if (::stat(kLocalDefinitions, &local) == 0)
            return readFile(kLocalDefinitions, kLocalDefinitions);
        return kSuccess;
    }
    for (const LibrarySource &source : sources) {
        if (source.fromFile) {
            if (readFile(source.path, "--libs") != kSuccess) return kBadLibraries;
        } else if (dreeDefineLibrary(source.library.c_str(), source.path.c_str()) != DREE_OK) {
            reportError(std::string("-L: ") + dreeLastError());
            return kBadLibraries;
        }
    }
    return kSuccess;
}
