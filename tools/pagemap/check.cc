// Walks <library directory>/<cell>/<view> for every unit folder, in name
// order. The map files are read by the library (its registry, in mode 0),
// never by the tool; the tool only looks at what kind of file page.map is
// first, so that a FIFO is never opened and a folder or a link to nothing is
// named for what it is.
#include "check.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "design_unit.h"
#include "diagnostics.h"
#include "dree.h"
#include "library_definitions.h"
#include "trel.h"
#include "unit_load.h"

namespace {

namespace fs = std::filesystem;

struct Problem {
    enum class Kind { damaged, unreadable, notRegular, danglingLink, leftover };
    Kind kind;
    std::string detail;  // the line's start, the reason, the file type, the target or the name
    uint64_t line = 0;   // damaged: where reading stopped
};

struct UnitCheck {
    DesignUnit unit;
    std::string folder;
    bool mapFile = false;  // a regular page.map that the library read, whole or not
    std::vector<Problem> problems;
};

struct Totals {
    long units = 0;
    long mapFiles = 0;
    long damaged = 0;
    long unreadable = 0;
    long leftovers = 0;
    long danglingLinks = 0;
    long librariesListed = 0;  // libraries whose directory could be listed
    bool libraryFailed = false;
    std::vector<std::string> errors;  // what could not be checked, as said on standard error
};

// A library that could not be checked: said on standard error, and kept for
// the JSON summary, which a script reads instead.
void libraryError(Totals &totals, const std::string &message) {
    totals.libraryFailed = true;
    totals.errors.push_back(message);
    printError(message);
}

const char *typeName(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return "folder";
        case fs::file_type::fifo:
            return "FIFO";
        case fs::file_type::block:
        case fs::file_type::character:
            return "device";
        case fs::file_type::socket:
            return "socket";
        default:
            return "special file";
    }
}

// Reads the unit's page.map through the library and notes what it found.
void readMapFile(UnitCheck &check) {
    const UnitLoad loaded = loadUnit(check.unit);
    if (loaded.status == TREL_OK) {
        check.mapFile = true;
    } else if (loaded.status == TREL_CANNOT_READ && loaded.damagedLine != 0) {
        check.mapFile = true;
        check.problems.push_back({Problem::Kind::damaged, loaded.lineText, loaded.damagedLine});
    } else if (loaded.status == TREL_CANNOT_READ && !loaded.reason.empty()) {
        check.mapFile = true;
        check.problems.push_back({Problem::Kind::unreadable, loaded.reason});
    } else if (loaded.status == TREL_BAD_SPEC) {
        // A folder whose name the library-path service refuses, or whose map
        // file path is too long for the library: it cannot be a unit.
        const std::string why = whyUnitIsUnknown(check.unit);
        check.problems.push_back(
            {Problem::Kind::unreadable,
             "not a unit the library accepts" + (why.empty() ? "" : " (" + why + ")")});
    } else if (loaded.status != TREL_CANNOT_READ) {
        check.problems.push_back(
            {Problem::Kind::unreadable, "unexpected status " + std::to_string(loaded.status)});
    }
    // TREL_CANNOT_READ without a message: the file went away meanwhile.
    trelReset();  // one unit's pairs at a time, however many units there are
}

UnitCheck checkUnit(const std::string &lib, const std::string &cell, const std::string &view,
                    const fs::path &folder) {
    UnitCheck check{{lib, cell, view}, folder.string(), false, {}};
    const fs::path map = folder / trel::mapFileName();
    std::error_code error;
    const fs::file_status self = fs::symlink_status(map, error);
    if (self.type() != fs::file_type::not_found) {
        const fs::file_status target = fs::status(map, error);
        if (fs::is_symlink(self) && target.type() == fs::file_type::not_found) {
            check.problems.push_back(
                {Problem::Kind::danglingLink, fs::read_symlink(map, error).string()});
        } else if (target.type() != fs::file_type::regular &&
                   target.type() != fs::file_type::none) {
            check.problems.push_back({Problem::Kind::notRegular, typeName(target.type())});
        } else {
            readMapFile(check);  // a regular file, or one the library must say why it cannot read
        }
    }
    // A save that was killed leaves its one temporary; the next save takes it over.
    const std::string leftover = trel::temporaryFileName();
    if (fs::symlink_status(folder / leftover, error).type() != fs::file_type::not_found) {
        check.problems.push_back({Problem::Kind::leftover, leftover});
    }
    return check;
}

// The names of the folders in `folder` (links to folders included), sorted.
std::vector<std::string> subfolders(const fs::path &folder, std::error_code &error) {
    std::vector<std::string> names;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code ignored;
        if (entry->is_directory(ignored)) names.push_back(entry->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A JSON string: quotes, backslashes and control characters escaped, other
// bytes as they are; with `asciiOnly`, bytes above 0x7f become \u00XX too, so
// that the bytes of a binary file still make valid JSON.
std::string json(const std::string &text, bool asciiOnly = false) {
    constexpr const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char character : text) {
        const auto c = static_cast<unsigned char>(character);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += character;
        } else if (c < 0x20 || c == 0x7f || (asciiOnly && c > 0x7f)) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
        } else {
            out += character;
        }
    }
    return out + "\"";
}

std::string problemLine(const Problem &problem) {
    switch (problem.kind) {
        case Problem::Kind::damaged:
            return "damaged at line " + std::to_string(problem.line) +
                   (problem.detail.empty() ? "" : " (" + literal(problem.detail) + ")");
        case Problem::Kind::unreadable:
            return "unreadable: " + problem.detail;
        case Problem::Kind::notRegular:
            return "unreadable: page.map is not a regular file but a " + problem.detail;
        case Problem::Kind::danglingLink:
            return "dangling link page.map -> " + problem.detail;
        case Problem::Kind::leftover:
            break;
    }
    return "leftover temporary " + problem.detail;
}

std::string problemJson(const Problem &problem) {
    switch (problem.kind) {
        case Problem::Kind::damaged:
            return "{\"kind\":\"damaged\",\"line\":" + std::to_string(problem.line) +
                   ",\"text\":" + json(problem.detail, true) + "}";
        case Problem::Kind::unreadable:
            return "{\"kind\":\"unreadable\",\"reason\":" + json(problem.detail) + "}";
        case Problem::Kind::notRegular:
            return "{\"kind\":\"not-regular\",\"type\":" + json(problem.detail) + "}";
        case Problem::Kind::danglingLink:
            return "{\"kind\":\"dangling-link\",\"target\":" + json(problem.detail) + "}";
        case Problem::Kind::leftover:
            break;
    }
    return "{\"kind\":\"leftover\",\"name\":" + json(problem.detail) + "}";
}

void count(const UnitCheck &check, Totals &totals) {
    ++totals.units;
    totals.mapFiles += check.mapFile;
    for (const Problem &problem : check.problems) {
        switch (problem.kind) {
            case Problem::Kind::damaged:
                ++totals.damaged;
                break;
            case Problem::Kind::unreadable:
            case Problem::Kind::notRegular:
                ++totals.unreadable;
                break;
            case Problem::Kind::danglingLink:
                ++totals.danglingLinks;
                break;
            case Problem::Kind::leftover:
                ++totals.leftovers;
                break;
        }
    }
}

void print(const UnitCheck &check, bool asJson) {
    const std::string unit = check.unit.text();
    if (!asJson) {
        for (const Problem &problem : check.problems)
            std::printf("%s: %s\n", unit.c_str(), problemLine(problem).c_str());
        return;
    }
    std::string problems;
    for (const Problem &problem : check.problems)
        problems += (problems.empty() ? "" : ",") + problemJson(problem);
    std::printf("{\"unit\":%s,\"folder\":%s,\"map_file\":%s,\"problems\":[%s]}\n",
                json(unit).c_str(), json(check.folder).c_str(), check.mapFile ? "true" : "false",
                problems.c_str());
}

void checkLibrary(const std::string &lib, const std::string &directory, bool asJson,
                  Totals &totals) {
    std::error_code error;
    const fs::path root(directory);
    const std::vector<std::string> cells = subfolders(root, error);
    if (error) {
        libraryError(totals, "library " + lib + ": cannot list its directory " + directory + ": " +
                                 error.message());
        return;
    }
    ++totals.librariesListed;
    for (const std::string &cell : cells) {
        const std::vector<std::string> views = subfolders(root / cell, error);
        if (error) {
            libraryError(totals, "library " + lib + ": cannot list " + (root / cell).string() +
                                     ": " + error.message());
            error.clear();
            continue;
        }
        for (const std::string &view : views) {
            const UnitCheck check = checkUnit(lib, cell, view, root / cell / view);
            count(check, totals);
            print(check, asJson);
        }
    }
}

using Libraries = std::vector<std::pair<std::string, std::string>>;

// "1 unit", "2 units".
std::string counted(long count, const char *singular, const char *plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

void collectLibrary(const char *lib, const char *dir, void *libraries) {
    static_cast<Libraries *>(libraries)->emplace_back(lib, dir);
}

}  // namespace

ExitStatus runCheckCommand(const std::vector<std::string> &names, bool json) {
    Libraries defined;
    dreeForEachLibrary(collectLibrary, &defined);
    Libraries chosen;
    Totals totals;
    for (const std::string &name : names) {
        const auto found = std::find_if(defined.begin(), defined.end(),
                                        [&](const auto &library) { return library.first == name; });
        if (found != defined.end()) {
            chosen.push_back(*found);
        } else {
            libraryError(totals, "library " + name + " is not defined (" + definitionsRead() + ")");
        }
    }
    if (names.empty()) chosen = defined;
    if (names.empty() && defined.empty()) {
        libraryError(totals, "no library to check (" + definitionsRead() + ")");
    } else {
        trelSetFileMode(TREL_FILE_MODE_TEXT);  // the pairs are what is checked
        for (const auto &[lib, directory] : chosen)
            checkLibrary(lib, directory, json, totals);
    }
    if (json) {
        // Every error as well as the counts, whatever was checked: a script
        // reads this line, not standard error.
        std::string errors;
        for (const std::string &message : totals.errors)
            errors += (errors.empty() ? "" : ",") + ::json(message);
        std::printf(
            "{\"checked\":%ld,\"map_files\":%ld,\"damaged\":%ld,\"unreadable\":%ld,"
            "\"leftovers\":%ld,\"dangling_links\":%ld,\"errors\":%zu,\"error_messages\":[%s]}\n",
            totals.units, totals.mapFiles, totals.damaged, totals.unreadable, totals.leftovers,
            totals.danglingLinks, totals.errors.size(), errors.c_str());
    }
    // Nothing was checked, so a summary line would only count nothing beside
    // the errors that say why.
    if (totals.librariesListed == 0) return kUnknownUnit;

    const long mapProblems = totals.damaged + totals.unreadable;
    if (!json) {
        std::string summary = "checked " + counted(totals.units, "unit", "units") + ": " +
                              counted(totals.mapFiles, "map file", "map files") + ", " +
                              std::to_string(totals.damaged) + " damaged, " +
                              std::to_string(totals.unreadable) + " unreadable, " +
                              counted(totals.leftovers, "leftover", "leftovers");
        if (totals.danglingLinks != 0)
            summary += ", " + counted(totals.danglingLinks, "dangling link", "dangling links");
        std::printf("%s\n", summary.c_str());
    }
    if (mapProblems != 0) return kCannotRead;
    if (totals.libraryFailed) return kUnknownUnit;
    if (totals.leftovers + totals.danglingLinks != 0) return kOnlyLeftovers;
    return kSuccess;
}
