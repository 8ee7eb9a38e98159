// Each page-map command is one library call on the named unit, after the
// unit's map file is loaded; the edits add a save after.
#include "map_commands.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string_view>

#include "design_unit.h"
#include "diagnostics.h"
#include "map_file_load.h"
#include "pair_lines.h"
#include "trel.h"
#include "usage.h"

namespace {

using Numbers = std::array<int32_t, 2>;

ExitStatus printNumber(int32_t number) {
    std::printf("%d\n", number);
    return kSuccess;
}

ExitStatus showPath(const DesignUnit &unit, const Numbers & /*numbers*/) {
    const std::unique_ptr<char[]> path(
        trelMapFilePath(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str()));
    if (!path) {
        const std::string why = whyUnitIsUnknown(unit);
        reportError("no map file path for " + unit.text() + (why.empty() ? "" : ": " + why));
        return kUnknownUnit;
    }
    std::printf("%s\n", path.get());
    return kSuccess;
}

ExitStatus dump(const DesignUnit &unit, const Numbers & /*numbers*/) {
    const int status = trelDumpPageMap(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str());
    std::cout.flush();
    return status == TREL_OK ? kSuccess : reportLibraryFailure(status, unit);
}

ExitStatus pairs(const DesignUnit &unit, const Numbers & /*numbers*/) {
    PairLines lines(stdout);
    std::streambuf *const console = std::cout.rdbuf(&lines);
    const int status = trelDumpPageMap(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str());
    std::cout.flush();
    std::cout.rdbuf(console);
    if (status != TREL_OK) return reportLibraryFailure(status, unit);
    if (!lines.wellFormed()) {
        reportError("the library's dump of " + unit.text() + " has lines of an unknown form");
        return kLibraryFailure;
    }
    return kSuccess;
}

ExitStatus get(const DesignUnit &unit, const Numbers &numbers) {
    int mapped = 0;
    const int status = trelGetPageMapping(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(),
                                          numbers[0], &mapped);
    if (status == TREL_NO_MAPPING) {
        reportError(unit.text() + " has no pair for page " + std::to_string(numbers[0]));
        return kNoSuchPair;
    }
    return status == TREL_OK ? printNumber(mapped) : reportLibraryFailure(status, unit);
}

ExitStatus reverse(const DesignUnit &unit, const Numbers &numbers) {
    int original = 0;
    const int status = trelGetMapPage(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(),
                                      numbers[0], &original);
    if (status == TREL_NO_ORIGINAL_PAGE) {
        reportError(unit.text() + " maps no page to " + std::to_string(numbers[0]));
        return kNoSuchPair;
    }
    return status == TREL_OK ? printNumber(original) : reportLibraryFailure(status, unit);
}

ExitStatus highest(const DesignUnit &unit, const Numbers & /*numbers*/) {
    int page = 0;
    const int status =
        trelGetHighestPageMapping(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), &page);
    return status == TREL_OK ? printNumber(page) : reportLibraryFailure(status, unit);
}

int setPair(const DesignUnit &unit, const Numbers &numbers) {
    return trelSetPageMapping(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), numbers[0],
                              numbers[1]);
}

int deletePair(const DesignUnit &unit, const Numbers &numbers) {
    return trelDeletePageMapping(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(),
                                 numbers[0]);
}

int clearPairs(const DesignUnit &unit, const Numbers & /*numbers*/) {
    return trelResetPageMap(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str());
}

using Query = ExitStatus (*)(const DesignUnit &, const Numbers &);
using Edit = int (*)(const DesignUnit &, const Numbers &);

// What a command makes of a map file that exists but cannot be read to its end.
enum class OnUnreadFile {
    notRead,     // path: the command does not read the file
    refuse,      // answer nothing, change nothing: exit 6
    printFirst,  // dump, pairs: print the pairs that were read, then exit 6
    replace,     // clear: start the file afresh, the one edit that loses nothing by it
};

struct MapCommand {
    std::string_view name;
    Query query;  // exactly one of query and edit
    Edit edit;
    int numberCount;
    OnUnreadFile onUnreadFile;
};

constexpr MapCommand kCommands[] = {
    {"path", showPath, nullptr, 0, OnUnreadFile::notRead},
    {"dump", dump, nullptr, 0, OnUnreadFile::printFirst},
    {"pairs", pairs, nullptr, 0, OnUnreadFile::printFirst},
    {"get", get, nullptr, 1, OnUnreadFile::refuse},
    {"reverse", reverse, nullptr, 1, OnUnreadFile::refuse},
    {"highest", highest, nullptr, 0, OnUnreadFile::refuse},
    {"set", nullptr, setPair, 2, OnUnreadFile::refuse},
    {"delete", nullptr, deletePair, 1, OnUnreadFile::refuse},
    {"clear", nullptr, clearPairs, 0, OnUnreadFile::replace},
};

const MapCommand *findCommand(std::string_view name) {
    for (const MapCommand &command : kCommands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

ExitStatus runEdit(const MapCommand &command, const DesignUnit &unit, const Numbers &numbers,
                   int fileMode) {
    if (fileMode != TREL_FILE_MODE_TEXT) {
        reportWarning("in --mode " + std::to_string(fileMode) +
                      " the map file keeps no pairs, so this edit is not kept (--mode 0 keeps it)");
    }
    if (const int status = command.edit(unit, numbers); status != TREL_OK) {
        return reportLibraryFailure(status, unit);
    }
    errno = 0;
    const int saved = trelSavePageMap(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str());
    const int systemError = errno;
    return saved == TREL_OK ? kSuccess : reportLibraryFailure(saved, unit, systemError);
}

ExitStatus runCommand(const MapCommand &command, const DesignUnit &unit, const Numbers &numbers,
                      int fileMode) {
    return command.query != nullptr ? command.query(unit, numbers)
                                    : runEdit(command, unit, numbers, fileMode);
}

// Loads the unit's map file first, so that one that cannot be read to its end
// is reported, and then runs the command as its OnUnreadFile says.
ExitStatus runOnLoadedMap(const MapCommand &command, const DesignUnit &unit, const Numbers &numbers,
                          int fileMode) {
    if (command.onUnreadFile == OnUnreadFile::notRead) {
        return runCommand(command, unit, numbers, fileMode);
    }
    const MapFileLoad loaded = loadMapFile(unit);
    if (loaded.status == TREL_BAD_SPEC) return reportLibraryFailure(loaded.status, unit);
    if (loaded.problem.empty()) return runCommand(command, unit, numbers, fileMode);
    switch (command.onUnreadFile) {
        case OnUnreadFile::printFirst:
            if (const ExitStatus status = runCommand(command, unit, numbers, fileMode);
                status != kSuccess) {
                return status;
            }
            reportError(loaded.problem);
            return kCannotRead;
        case OnUnreadFile::replace:
            reportWarning(loaded.problem + "; " + std::string(command.name) + " replaces it");
            return runCommand(command, unit, numbers, fileMode);
        case OnUnreadFile::refuse:
        case OnUnreadFile::notRead:
            break;
    }
    reportError(loaded.problem + (command.edit != nullptr ? "; nothing changed" : ""));
    return kCannotRead;
}

}  // namespace

bool isMapCommand(const std::string &command) {
    return findCommand(command) != nullptr;
}

ExitStatus runMapCommand(const std::string &name, const std::vector<std::string> &operands,
                         int fileMode) {
    const MapCommand &command = *findCommand(name);
    if (operands.size() != static_cast<std::size_t>(command.numberCount) + 1) {
        reportError("wrong number of arguments for " + name);
        printCommandUsage(name, stderr);
        return kUsage;
    }
    const auto unit = parseDesignUnit(operands[0]);
    if (!unit) {
        reportError("not a design unit LIB.CELL:VIEW: \"" + operands[0] + "\"");
        return kUsage;
    }
    Numbers numbers{};
    for (int at = 0; at < command.numberCount; ++at) {
        const std::string &operand = operands[static_cast<std::size_t>(at) + 1];
        const auto number = parsePageNumber(operand);
        if (!number) {
            reportError("not a page number: \"" + operand + "\"");
            return kUsage;
        }
        numbers[static_cast<std::size_t>(at)] = *number;
    }
    return runOnLoadedMap(command, *unit, numbers, fileMode);
}
