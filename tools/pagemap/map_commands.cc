// Each page-map command is one library call on the named unit, after the
// unit's map file is loaded; the edits add a save after. The tool links the
// library's objects, so these calls and the registry share one set of page
// maps.
#include "map_commands.h"

#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "api/tool_interface.h"
#include "commands.h"
#include "design_unit.h"
#include "diagnostics.h"
#include "trel.h"
#include "unit_load.h"
#include "usage.h"

namespace {

using Numbers = std::array<int32_t, 2>;

// The map file mode of the run (--mode): in any but 0 a lookup finds no pair,
// and its message says why.
int fileMode = TREL_FILE_MODE_TEXT;

std::string modeHint() {
    if (fileMode == TREL_FILE_MODE_TEXT) return "";
    return " (--mode " + std::to_string(fileMode) +
           " reads no pairs from the map file; --mode 0 reads them)";
}

ExitStatus printNumber(int32_t number) {
    std::printf("%d\n", number);
    return kSuccess;
}

ExitStatus showPath(const DesignUnit &unit, const Numbers & /*numbers*/) {
    const std::unique_ptr<char[]> path(
        trelMapFilePath(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str()));
    if (!path) {
        const std::string why = whyUnitIsUnknown(unit);
        printError("no map file path for " + unit.text() + (why.empty() ? "" : ": " + why));
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

// The pairs in the map file's own form, straight from the page map the load
// registered.
ExitStatus pairs(const DesignUnit &unit, const Numbers & /*numbers*/) {
    const bool registered = trel::forEachPair(unit.names(), [](int32_t page, int32_t mapped) {
        std::printf("%" PRId32 " %" PRId32 "\n", page, mapped);
    });
    return registered ? kSuccess : reportLibraryFailure(TREL_BAD_SPEC, unit);
}

ExitStatus get(const DesignUnit &unit, const Numbers &numbers) {
    int mapped = 0;
    const int status = trelGetPageMapping(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(),
                                          numbers[0], &mapped);
    if (status == TREL_NO_MAPPING) {
        printError(unit.text() + " has no pair for page " + std::to_string(numbers[0]) +
                   modeHint());
        return kNoSuchPair;
    }
    return status == TREL_OK ? printNumber(mapped) : reportLibraryFailure(status, unit);
}

ExitStatus reverse(const DesignUnit &unit, const Numbers &numbers) {
    int original = 0;
    const int status = trelGetMapPage(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(),
                                      numbers[0], &original);
    if (status == TREL_NO_ORIGINAL_PAGE) {
        printError(unit.text() + " maps no page to " + std::to_string(numbers[0]) + modeHint());
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

// The page's pair, if it has one.
std::optional<int> pairOf(const DesignUnit &unit, int32_t page) {
    int mapped = 0;
    const int status =
        trelGetPageMapping(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), page, &mapped);
    return status == TREL_OK ? std::optional<int>(mapped) : std::nullopt;
}

// Whether an edit would leave the pairs as they are; it is then not saved, so
// the map file stays byte for byte as it was, or is not made at all.
bool setChangesNothing(const DesignUnit &unit, const Numbers &numbers) {
    const std::optional<int> mapped = pairOf(unit, numbers[0]);
    return numbers[0] == numbers[1] ? !mapped : mapped == numbers[1];
}

bool deleteChangesNothing(const DesignUnit &unit, const Numbers &numbers) {
    return !pairOf(unit, numbers[0]);
}

bool clearChangesNothing(const DesignUnit &unit, const Numbers & /*numbers*/) {
    int highest = 0;
    trelGetHighestPageMapping(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), &highest);
    return highest == 0 && !pairOf(unit, 0);
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
using NoChange = bool (*)(const DesignUnit &, const Numbers &);

// What a command makes of a map file that exists but cannot be read to its end.
enum class OnUnreadFile {
    notRead,     // path: the command does not read the file
    refuse,      // answer nothing, change nothing: exit 6
    printFirst,  // dump, pairs: print the pairs that were read, then exit 6
    replace,     // clear: start the file afresh, the one edit that loses nothing by it
};

}  // namespace

struct MapAction {
    Query query;  // exactly one of query and edit
    Edit edit;
    NoChange changesNothing;  // with edit: asked before it, on a map read in full
    int numberCount;
    OnUnreadFile onUnreadFile;
};

const MapAction kPathAction{showPath, nullptr, nullptr, 0, OnUnreadFile::notRead};
const MapAction kDumpAction{dump, nullptr, nullptr, 0, OnUnreadFile::printFirst};
const MapAction kPairsAction{pairs, nullptr, nullptr, 0, OnUnreadFile::printFirst};
const MapAction kGetAction{get, nullptr, nullptr, 1, OnUnreadFile::refuse};
const MapAction kReverseAction{reverse, nullptr, nullptr, 1, OnUnreadFile::refuse};
const MapAction kHighestAction{highest, nullptr, nullptr, 0, OnUnreadFile::refuse};
const MapAction kSetAction{nullptr, setPair, setChangesNothing, 2, OnUnreadFile::refuse};
const MapAction kDeleteAction{nullptr, deletePair, deleteChangesNothing, 1, OnUnreadFile::refuse};
const MapAction kClearAction{nullptr, clearPairs, clearChangesNothing, 0, OnUnreadFile::replace};

namespace {

// `wholeMap`: the map file was read without a problem (or there is none), so
// an edit that leaves the pairs as they are has nothing to save.
ExitStatus runEdit(const MapAction &command, const DesignUnit &unit, const Numbers &numbers,
                   bool wholeMap) {
    if (wholeMap && command.changesNothing(unit, numbers)) return kSuccess;
    if (const int status = command.edit(unit, numbers); status != TREL_OK) {
        return reportLibraryFailure(status, unit);
    }
    errno = 0;
    const int saved = trelSavePageMap(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str());
    const int systemError = errno;
    return saved == TREL_OK ? kSuccess : reportLibraryFailure(saved, unit, systemError);
}

ExitStatus runCommand(const MapAction &command, const DesignUnit &unit, const Numbers &numbers,
                      bool wholeMap = true) {
    return command.query != nullptr ? command.query(unit, numbers)
                                    : runEdit(command, unit, numbers, wholeMap);
}

// Loads the unit's map file first, so that one that cannot be read to its end
// is reported, and then runs the command as its OnUnreadFile says.
ExitStatus runOnLoadedMap(const Command &named, const DesignUnit &unit, const Numbers &numbers) {
    const MapAction &command = *named.map;
    if (command.onUnreadFile == OnUnreadFile::notRead) {
        return runCommand(command, unit, numbers);
    }
    const UnitLoad loaded = loadUnit(unit);
    if (loaded.status == TREL_BAD_SPEC) return reportLibraryFailure(loaded.status, unit);
    if (loaded.problem.empty()) return runCommand(command, unit, numbers);
    switch (command.onUnreadFile) {
        case OnUnreadFile::printFirst:
            if (const ExitStatus status = runCommand(command, unit, numbers); status != kSuccess) {
                return status;
            }
            printError(problemWithRecovery(loaded));
            return kCannotRead;
        case OnUnreadFile::replace: {
            // Said once it is done: a file that cannot be replaced (a folder
            // in its place) gets the failure alone, no promise before it.
            const ExitStatus status = runCommand(command, unit, numbers, false);
            if (status == kSuccess) {
                reportWarning(loaded.problem + "; " + std::string(named.name) + " replaced it");
            }
            return status;
        }
        case OnUnreadFile::refuse:
        case OnUnreadFile::notRead:
            break;
    }
    printError(problemWithRecovery(loaded, command.edit != nullptr ? "; nothing changed" : ""));
    return kCannotRead;
}

}  // namespace

bool mapActionReadsFile(const MapAction &action) {
    return action.query != nullptr && action.onUnreadFile != OnUnreadFile::notRead;
}

bool mapActionEdits(const MapAction &action) {
    return action.edit != nullptr;
}

ExitStatus runMapCommand(const Command &named, const std::vector<std::string> &operands, int mode) {
    fileMode = mode;
    const MapAction &command = *named.map;
    const std::string name(named.name);
    if (operands.size() != static_cast<std::size_t>(command.numberCount) + 1) {
        printError("wrong number of arguments for " + name);
        printCommandUsage(name, stderr);
        return kUsage;
    }
    const auto unit = parseDesignUnit(operands[0]);
    if (!unit) {
        printError("not a design unit LIB.CELL:VIEW: \"" + operands[0] + "\"");
        return kUsage;
    }
    Numbers numbers{};
    for (int at = 0; at < command.numberCount; ++at) {
        const std::string &operand = operands[static_cast<std::size_t>(at) + 1];
        const auto number = parsePageNumber(operand);
        if (!number) {
            printError("not a page number: \"" + operand + "\"");
            return kUsage;
        }
        numbers[static_cast<std::size_t>(at)] = *number;
    }
    return runOnLoadedMap(named, *unit, numbers);
}
