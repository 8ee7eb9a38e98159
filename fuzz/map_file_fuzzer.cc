// Fuzzes map files through the real path: the input is written as a unit's
// page.map, loaded with trelloadMapFile in mode 0, saved, changed without a
// change to its pairs, saved, reloaded and saved again. A reference reader
// written from the documented format decides what the file holds:
//   - a file that reads to its end loads with 0, gives the same pairs both
//     times; a save with nothing changed leaves it byte for byte, and one
//     after a change saves its canonical text ("%d %d\n" in unsigned page
//     order), which the save after the reload leaves as it is;
//   - a damaged one (a token that is not a 32-bit integer, a lone final
//     number) loads the pairs before the stop with TREL_CANNOT_READ and a
//     message naming the line; every mode-0 save of it is refused with
//     TREL_CANNOT_WRITE and the file stays byte for byte, until the host
//     clears the page map on purpose;
//   - the folder holds page.map alone after every call;
//   - fed to the reader in chunks of a few bytes through a small block, the
//     text gives the same pairs and the same stop.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>

#include "dree.h"
#include "fuzz_support.h"
#include "maps/map_text_blocks.h"
#include "maps/registry.h"
#include "reference_reading.h"
#include "trel.h"

namespace {

using fuzzing::canonicalText;
using fuzzing::Held;
using fuzzing::heldPairs;
using fuzzing::Reading;
using fuzzing::readReference;

const char *const kLib = "work";
const char *const kCell = "m";
const char *const kView = "sch";

struct Unit {
    std::string folder;
    std::string mapFile;
};

const Unit &unit() {
    static const Unit made = [] {
        const std::string root = fuzzing::scratchFolder("trel-map-file-fuzz");
        Unit u{root + "/work/m/sch", root + "/work/m/sch/page.map"};
        fuzzing::makeDirectories(u.folder);
        FUZZ_REQUIRE(dreeDefineLibrary(kLib, (root + "/work").c_str()) == DREE_OK);
        return u;
    }();
    return made;
}

Held loadedPairs() {
    Held held;
    const trel::PageMap *map = trel::Registry::instance().lookup({kLib, kCell, kView});
    FUZZ_REQUIRE(map != nullptr);
    map->forEachPair(
        [&](int32_t page, int32_t mapped) { held[static_cast<uint32_t>(page)] = mapped; });
    return held;
}

std::string fileBytes() {
    std::string bytes;
    FUZZ_REQUIRE(fuzzing::readFile(unit().mapFile, &bytes));
    return bytes;
}

bool lastErrorHas(const std::string &part) {
    char *text = nullptr;
    trelGetLastError(&text);
    return std::string(text).find(part) != std::string::npos;
}

// The unit's folder holds page.map and nothing else: no temporary is left.
void checkFolder() {
    DIR *dir = opendir(unit().folder.c_str());
    FUZZ_REQUIRE(dir != nullptr);
    int others = 0;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        others += name != "." && name != ".." && name != "page.map";
    }
    closedir(dir);
    FUZZ_REQUIRE(others == 0);
}

void checkLoad(int reload, const Reading &reading, const std::string &text) {
    const int status = trelloadMapFile(kLib, kCell, kView, reload);
    FUZZ_REQUIRE(status == (reading.damaged ? TREL_CANNOT_READ : TREL_OK));
    if (reading.damaged) {
        size_t line = 1;
        for (size_t at = 0; at < reading.stopOffset; ++at)
            line += text[at] == '\n';
        FUZZ_REQUIRE(lastErrorHas(unit().mapFile + " is damaged at line " + std::to_string(line)));
    }
    FUZZ_REQUIRE(loadedPairs() == heldPairs(reading));
    checkFolder();
}

// A save in mode 0, single (`all` < 0) or bulk: `expected` for a whole file,
// a refusal that leaves the file as it was for a damaged one.
void checkSave(int all, const Reading &reading, const std::string &text,
               const std::string &expected) {
    const int status = all < 0 ? trelSavePageMap(kLib, kCell, kView) : trelSavePageMaps(all);
    if (reading.damaged) {
        FUZZ_REQUIRE(status == TREL_CANNOT_WRITE);
        FUZZ_REQUIRE(lastErrorHas(unit().mapFile));
        FUZZ_REQUIRE(fileBytes() == text);
    } else {
        FUZZ_REQUIRE(status == TREL_OK);
        FUZZ_REQUIRE(fileBytes() == expected);
    }
    checkFolder();
}

// A change that leaves the pairs as they are: the removal of a page that has
// no pair.
void changeNothing(const Held &held) {
    uint32_t page = 0;
    while (held.count(page) != 0)
        ++page;
    FUZZ_REQUIRE(trelDeletePageMapping(kLib, kCell, kView, static_cast<int>(page)) == TREL_OK);
}

void checkBlockCuts(const std::string &text, const Reading &reading) {
    const size_t chunk = 1 + text.size() % 13;
    const auto cut = testing_pairs::parseInBlocks(text, chunk);
    FUZZ_REQUIRE(cut.pairs == reading.pairs);
    FUZZ_REQUIRE(cut.stopped == reading.damaged);
    if (reading.damaged) FUZZ_REQUIRE(cut.stopOffset == reading.stopOffset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const Reading reading = readReference(text);
    checkBlockCuts(text, reading);

    fuzzing::writeFile(unit().mapFile, text);
    trelReset();
    trelSetFileMode(TREL_FILE_MODE_TEXT);
    checkLoad(0, reading, text);
    const std::string canonical = canonicalText(heldPairs(reading));
    checkSave(-1, reading, text, text);  // nothing changed: nothing written
    changeNothing(heldPairs(reading));
    checkSave(-1, reading, text, canonical);
    // The saved text (or the damaged file, untouched) reads back the same.
    const Reading again = reading.damaged ? reading : readReference(fileBytes());
    checkLoad(1, again, reading.damaged ? text : fileBytes());
    FUZZ_REQUIRE(loadedPairs() == heldPairs(reading));
    checkSave(1, reading, text, canonical);

    if (reading.damaged) {
        // Clearing the page map on purpose lets the next save replace the file.
        FUZZ_REQUIRE(trelResetPageMap(kLib, kCell, kView) == TREL_OK);
        FUZZ_REQUIRE(trelSavePageMap(kLib, kCell, kView) == TREL_OK);
        FUZZ_REQUIRE(fileBytes().empty());
        checkFolder();
    }
    return 0;
}
