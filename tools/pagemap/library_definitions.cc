// Library definitions through the library-path stand-in, with the defaults a
// shell user expects: an environment variable for a whole session, or the
// design's own libraries.defs when working in its folder.
#include "library_definitions.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "dree.h"

namespace {

constexpr const char kLocalDefinitions[] = "libraries.defs";
constexpr const char kHowToDefine[] =
    "define libraries with -L LIB=DIR, --libs FILE, $PAGEMAP_LIBS naming a definitions file, or "
    "a libraries.defs in the current folder";

// What defineLibraries read, in order ("--libs x.defs", "-L work=designs/work"),
// and the default sources it passed over.
std::vector<std::string> readSources;
std::string passedOver;

ExitStatus readFile(const std::string &path, const std::string &origin) {
    if (dreeReadDefinitions(path.c_str()) == DREE_OK) return kSuccess;
    printError(origin + ": " + dreeLastError());
    return kBadLibraries;
}

bool localDefinitionsExist() {
    struct stat local;
    return ::stat(kLocalDefinitions, &local) == 0;
}

}  // namespace

ExitStatus defineLibraries(const std::vector<LibrarySource> &sources) {
    const char *named = std::getenv("PAGEMAP_LIBS");
    const bool fromEnvironment = named != nullptr && *named != '\0';
    if (sources.empty()) {
        if (fromEnvironment) {
            readSources.push_back(std::string("$PAGEMAP_LIBS (") + named + ")");
            if (localDefinitionsExist()) passedOver = "./libraries.defs, as $PAGEMAP_LIBS is set";
            return readFile(named, "$PAGEMAP_LIBS");
        }
        if (!localDefinitionsExist()) return kSuccess;
        readSources.push_back(std::string("./") + kLocalDefinitions);
        return readFile(kLocalDefinitions, kLocalDefinitions);
    }
    for (const LibrarySource &source : sources) {
        if (source.fromFile) {
            readSources.push_back("--libs " + source.path);
            if (readFile(source.path, "--libs") != kSuccess) return kBadLibraries;
        } else {
            readSources.push_back("-L " + source.library + "=" + source.path);
            if (dreeDefineLibrary(source.library.c_str(), source.path.c_str()) != DREE_OK) {
                printError(std::string("-L: ") + dreeLastError());
                return kBadLibraries;
            }
        }
    }
    std::string unread = fromEnvironment ? "$PAGEMAP_LIBS" : "";
    if (localDefinitionsExist())
        unread += (unread.empty() ? "./" : " and ./") + std::string(kLocalDefinitions);
    if (!unread.empty()) passedOver = unread + ", as -L or --libs is given";
    return kSuccess;
}

std::string definitionsRead() {
    if (readSources.empty())
        return std::string("no library definitions were read: ") + kHowToDefine;
    std::string text = "definitions read: ";
    for (std::size_t at = 0; at < readSources.size(); ++at)
        text += (at == 0 ? "" : ", ") + readSources[at];
    if (!passedOver.empty()) text += "; not read: " + passedOver;
    return text;
}
