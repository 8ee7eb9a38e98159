// Fuzzes sequences of entry-point calls over a few design units against a
// plain model of the documented rules. The input decodes into calls: set,
// delete, lookup, reverse lookup, highest, clear, load with and without
// reload, single and bulk saves, reset, file-mode switches, the active-map
// calls, the map file path, and page.map rewritten (as another process saves
// it), damaged or removed from outside between calls. After every call the
// status, the out value, the last-error text (changed only by failures that
// carry a message) and every unit's folder (page.map's bytes, no other file)
// are checked against the model, which keeps each page map's pairs in a
// std::map along with the rules that protect a map file:
//   - a mode-0 save replaces a file nobody saved since the page map read or
//     wrote it only when the page map holds all of its pairs (read whole in
//     mode 0, or there was no file), or the host cleared it on purpose;
//     otherwise it is refused and the file untouched;
//   - a file saved by others since is merged into: its pairs, except that
//     every page changed here takes this page map's answer; a damaged one is
//     refused;
//   - a save in another mode writes no pairs and never empties a file;
//   - a bulk save goes on past failures and reports the failure.
#include <fuzzer/FuzzedDataProvider.h>

#include <dirent.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dree.h"
#include "fuzz_support.h"
#include "reference_reading.h"
#include "trel.h"

namespace {

constexpr int kKnownUnits = 3;
constexpr int kUnits = kKnownUnits + 1;  // the last one has no folder
const char *const kLib = "work";
const char *const kCells[kUnits] = {"a", "b", "c", "none"};
const char *const kView = "sch";

struct Design {
    std::string root;
    std::string folder[kUnits];
    std::string mapFile[kUnits];
};

const Design &design() {
    static const Design made = [] {
        Design d;
        d.root = fuzzing::scratchFolder("trel-call-sequence-fuzz");
        for (int u = 0; u < kUnits; ++u) {
            d.folder[u] = d.root + "/work/" + kCells[u] + "/" + kView;
            d.mapFile[u] = d.folder[u] + "/page.map";
            if (u < kKnownUnits) fuzzing::makeDirectories(d.folder[u]);
        }
        FUZZ_REQUIRE(dreeDefineLibrary(kLib, (d.root + "/work").c_str()) == DREE_OK);
        return d;
    }();
    return made;
}

// ---- The reference reading of a map file. ----

using Pairs = fuzzing::Held;  // ordered as pages are: unsigned
using fuzzing::canonicalText;

// Adds the text's pairs to `pairs`; false when reading stops before the end.
bool readInto(const std::string &text, Pairs *pairs) {
    const fuzzing::Reading reading = fuzzing::readReference(text);
    for (auto [original, mapped] : reading.pairs)
        (*pairs)[static_cast<uint32_t>(original)] = mapped;
    return !reading.damaged;
}

// ---- The model. ----

// What a page map last knew of its file: whether it knows anything, which
// file that was (its identity: 0 when there was none), and its bytes when it
// read or wrote all of them.
struct SyncPoint {
    bool known = false;
    long identity = 0;
    bool bytesKnown = false;
    std::string bytes;
};

struct ModelMap {
    bool registered = false;
    Pairs pairs;
    bool modified = false;
    bool holdsFile = true;       // all of the file's pairs, or there was no file
    std::set<uint32_t> changed;  // pages set or removed since the sync point
    bool allChanged = false;     // cleared on purpose since the sync point
    SyncPoint sync;

    void change(uint32_t page) {
        changed.insert(page);
        modified = true;
    }
    void syncWith(const SyncPoint &point) {
        sync = point;
        changed.clear();
        allChanged = false;
    }
};

struct Model {
    ModelMap maps[kUnits];
    std::optional<std::string> file[kUnits];  // page.map's bytes, or none
    long version[kUnits] = {};                // a new number whenever page.map is a new file
    long nextVersion = 1;
    int mode = 1;
    int active = -1;

    long identity(int u) const { return file[u] ? version[u] : 0; }
    void replaceFile(int u, const std::string &bytes) {
        file[u] = bytes;
        version[u] = nextVersion++;
    }

    // Loads page.map into the unit's page map: the status of the load.
    int load(int u) {
        ModelMap &map = maps[u];
        if (!file[u]) {
            map.holdsFile = true;
            map.syncWith({true, 0, false, {}});
            return TREL_CANNOT_READ;
        }
        if (mode != 0) {
            map.holdsFile = false;
            map.syncWith({true, identity(u), false, {}});
            return TREL_OK;
        }
        map.holdsFile = readInto(*file[u], &map.pairs);
        map.syncWith({true, identity(u), map.holdsFile, *file[u]});
        return map.holdsFile ? TREL_OK : TREL_CANNOT_READ;
    }

    // Find-or-create: TREL_BAD_SPEC for the unit without a folder,
    // TREL_ALREADY_LOADED for a registered one, else the load status.
    int unit(int u) {
        if (u >= kKnownUnits) return TREL_BAD_SPEC;
        if (maps[u].registered) return TREL_ALREADY_LOADED;
        maps[u] = ModelMap{};
        maps[u].registered = true;
        const int status = load(u);
        // Only a page map holding all of an existing file's pairs starts
        // unmodified: a bulk save has nothing to write for it.
        maps[u].modified = !(file[u] && maps[u].sync.bytesKnown);
        return status;
    }

    // A mode-0 save writes the pairs over a file nobody replaced since the
    // sync point, refusing when that would drop pairs of the file the page
    // map does not hold. A file another process saved since is merged into:
    // its pairs, except that every page changed here takes this map's answer.
    int save(int u) {
        ModelMap &map = maps[u];
        if (mode != 0) {
            if (!file[u]) replaceFile(u, "");  // opened for appending
            return TREL_OK;
        }
        const std::string present = file[u] ? *file[u] : "";
        bool changed = !map.sync.known || identity(u) != map.sync.identity;
        if (changed)
            changed = !(map.sync.known && map.sync.bytesKnown && present == map.sync.bytes);
        std::string text;
        if (changed) {
            Pairs onFile;
            if (!readInto(present, &onFile)) return TREL_CANNOT_WRITE;
            if (map.allChanged) onFile = map.pairs;
            for (uint32_t page : map.changed) {
                const auto mine = map.pairs.find(page);
                if (mine != map.pairs.end()) {
                    onFile[page] = mine->second;
                } else {
                    onFile.erase(page);
                }
            }
            map.pairs = onFile;
            text = canonicalText(onFile);
        } else {
            if (!map.holdsFile) return TREL_CANNOT_WRITE;
            // The very file of the sync point, and nothing changed since:
            // the file stays as it is, whatever its spacing.
            if (file[u] && identity(u) == map.sync.identity && map.sync.bytesKnown &&
                map.changed.empty() && !map.allChanged) {
                map.modified = false;
                return TREL_OK;
            }
            text = canonicalText(map.pairs);
        }
        // A successful save always leaves the file, even an empty one where
        // another process removed it; one that holds the text already is
        // left as it is.
        if (!(file[u] && (changed || map.sync.bytesKnown) && text == present)) replaceFile(u, text);
        map.syncWith({true, identity(u), true, text});
        map.holdsFile = true;
        map.modified = false;
        return TREL_OK;
    }
};

// ---- Checks. ----

std::string lastError() {
    char *text = nullptr;
    trelGetLastError(&text);
    return text;
}

void checkFiles(const Model &model) {
    for (int u = 0; u < kKnownUnits; ++u) {
        std::string bytes;
        const bool present = fuzzing::readFile(design().mapFile[u], &bytes);
        FUZZ_REQUIRE(present == model.file[u].has_value());
        if (present) FUZZ_REQUIRE(bytes == *model.file[u]);
        DIR *dir = opendir(design().folder[u].c_str());
        FUZZ_REQUIRE(dir != nullptr);
        while (const dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            FUZZ_REQUIRE(name == "." || name == ".." || name == "page.map");
        }
        closedir(dir);
    }
}

std::string badSpecMessage() {
    return std::string("Wrong lib.cell:view specification (") + kLib + "." + kCells[kUnits - 1] +
           ":" + kView + ")";
}

// ---- Decoding. ----

int32_t page(FuzzedDataProvider &input) {
    static const int32_t common[] = {0, 1, 2, 3, -1, INT32_MIN, INT32_MAX};
    const size_t pick = input.ConsumeIntegralInRange<size_t>(0, std::size(common));
    return pick < std::size(common) ? common[pick] : input.ConsumeIntegral<int32_t>();
}

std::string outsideText(FuzzedDataProvider &input) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            Pairs pairs;
            for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n)
                pairs[static_cast<uint32_t>(page(input))] = page(input);
            return canonicalText(pairs);
        }
        case 1:
            return "1 2\n3 x\n5 6\n";  // damaged at line 2
        case 2:
            return "7 8\n9";  // a lone final number
        default:
            return input.ConsumeRandomLengthString(48);
    }
}

enum Call {
    kSet,
    kDelete,
    kGet,
    kReverse,
    kHighest,
    kClear,
    kLoad,
    kSaveOne,
    kSaveAll,
    kReset,
    kMode,
    kActiveGet,
    kActiveSet,
    kPath,
    kRewrite,
    kRemove,
    kCalls
};

// Runs one call on the library and the model and compares them.
void step(FuzzedDataProvider &input, Model &model) {
    const int call = input.ConsumeIntegralInRange<int>(0, kCalls - 1);
    const int u = input.ConsumeIntegralInRange(0, kUnits - 1);
    const char *cell = kCells[u];
    const std::string before = lastError();
    std::string message;  // what a failure must leave in the last-error text
    int status = 0;
    int expected = 0;

    // Entry points that name a unit: find-or-create first.
    auto named = [&](auto &&operation) {
        const int found = model.unit(u);
        if (found == TREL_BAD_SPEC) {
            expected = TREL_BAD_SPEC;
            message = badSpecMessage();
            return;
        }
        expected = operation(model.maps[u]);
    };

    switch (call) {
        case kSet: {
            const int32_t p = page(input);
            const int32_t m = input.ConsumeBool() ? p : page(input);
            status = trelSetPageMapping(kLib, cell, kView, p, m);
            named([&](ModelMap &map) {
                if (p == m) {
                    map.pairs.erase(static_cast<uint32_t>(p));
                } else {
                    map.pairs[static_cast<uint32_t>(p)] = m;
                }
                map.change(static_cast<uint32_t>(p));
                return TREL_OK;
            });
            break;
        }
        case kDelete: {
            const int32_t p = page(input);
            status = trelDeletePageMapping(kLib, cell, kView, p);
            named([&](ModelMap &map) {
                map.pairs.erase(static_cast<uint32_t>(p));
                map.change(static_cast<uint32_t>(p));
                return TREL_OK;
            });
            break;
        }
        case kGet:
        case kActiveGet: {
            const int32_t p = page(input);
            int out = INT_MIN + 5;
            const bool active = call == kActiveGet;
            status = active ? trelGetActivePageMapping(p, &out)
                            : trelGetPageMapping(kLib, cell, kView, p, &out);
            auto lookup = [&](ModelMap &map) {
                const auto pair = map.pairs.find(static_cast<uint32_t>(p));
                FUZZ_REQUIRE(out == (pair != map.pairs.end() ? pair->second : p));
                return pair != map.pairs.end() ? TREL_OK : TREL_NO_MAPPING;
            };
            if (!active) {
                named(lookup);
            } else if (model.active < 0) {
                expected = TREL_NO_ACTIVE_MAP;
                message = "No active page map present";
            } else {
                expected = lookup(model.maps[model.active]);
            }
            break;
        }
        case kReverse: {
            const int32_t m = page(input);
            int out = INT_MIN + 5;
            const bool withOut = input.ConsumeBool();
            status = trelGetMapPage(kLib, cell, kView, m, withOut ? &out : nullptr);
            named([&](ModelMap &map) {
                for (auto [original, mapped] : map.pairs) {
                    if (mapped != m) continue;
                    if (withOut) FUZZ_REQUIRE(out == static_cast<int32_t>(original));
                    return TREL_OK;
                }
                if (withOut) FUZZ_REQUIRE(out == m);
                return TREL_NO_ORIGINAL_PAGE;
            });
            break;
        }
        case kHighest: {
            int out = INT_MIN + 5;
            status = trelGetHighestPageMapping(kLib, cell, kView, &out);
            named([&](ModelMap &map) {
                FUZZ_REQUIRE(
                    out ==
                    (map.pairs.empty() ? 0 : static_cast<int32_t>(map.pairs.rbegin()->first)));
                return TREL_OK;
            });
            break;
        }
        case kClear:
            status = trelResetPageMap(kLib, cell, kView);
            named([&](ModelMap &map) {
                map.pairs.clear();
                map.modified = true;
                map.holdsFile = true;  // the host asked for an empty map
                map.changed.clear();
                map.allChanged = true;
                return TREL_OK;
            });
            break;
        case kLoad: {
            const int reload = input.ConsumeBool();
            const bool damagedFile = model.mode == 0 && model.file[u] && [&] {
                Pairs ignored;
                return !readInto(*model.file[u], &ignored);
            }();
            status = trelloadMapFile(kLib, cell, kView, reload);
            const bool created = u < kKnownUnits && !model.maps[u].registered;
            expected = model.unit(u);
            if (expected == TREL_BAD_SPEC) {
                message = badSpecMessage();
                break;
            }
            if (reload) {
                model.maps[u].pairs.clear();
                expected = model.load(u);
            }
            model.active = u;
            if ((created || reload) && damagedFile)
                message = design().mapFile[u] + " is damaged at line";
            break;
        }
        case kSaveOne:
            status = trelSavePageMap(kLib, cell, kView);
            if (u >= kKnownUnits || !model.maps[u].registered) {
                expected = TREL_NOT_LOADED;
            } else {
                expected = model.save(u);
                if (expected != TREL_OK) message = design().mapFile[u];
            }
            break;
        case kSaveAll: {
            const int all = input.ConsumeBool();
            status = trelSavePageMaps(all);
            std::vector<std::string> failed;
            for (int v = 0; v < kKnownUnits; ++v) {
                const ModelMap &map = model.maps[v];
                if (!map.registered || !(all || map.modified)) continue;
                if (model.save(v) != TREL_OK) failed.push_back(design().mapFile[v]);
            }
            expected = failed.empty() ? TREL_OK : TREL_CANNOT_WRITE;
            if (!failed.empty()) {
                // The message of one of the failed saves, the last one made.
                message = failed.back();
                bool mentioned = false;
                for (const auto &path : failed)
                    mentioned = mentioned || lastError().find(path) != std::string::npos;
                FUZZ_REQUIRE(mentioned);
            }
            break;
        }
        case kReset:
            status = trelReset();
            for (auto &map : model.maps)
                map.registered = false;
            model.active = -1;
            break;
        case kMode: {
            static const int modes[] = {0, 1, 2, -1};
            model.mode = modes[input.ConsumeIntegralInRange(0, 3)];
            status = trelSetFileMode(model.mode);
            expected = model.mode;
            break;
        }
        case kActiveSet: {
            const int32_t p = page(input);
            const int32_t m = input.ConsumeBool() ? p : page(input);
            status = trelSetActivePageMapping(p, m);
            if (model.active < 0) {
                expected = TREL_NO_ACTIVE_MAP;
                message = "No active page map present";
            } else {
                ModelMap &map = model.maps[model.active];
                if (p == m) {
                    map.pairs.erase(static_cast<uint32_t>(p));
                } else {
                    map.pairs[static_cast<uint32_t>(p)] = m;
                }
                map.change(static_cast<uint32_t>(p));
            }
            break;
        }
        case kPath: {
            char *path = trelMapFilePath(kLib, cell, kView);
            FUZZ_REQUIRE((path != nullptr) == (u < kKnownUnits));
            if (path != nullptr) FUZZ_REQUIRE(path == design().mapFile[u]);
            delete[] path;
            break;
        }
        case kRewrite:
            if (u < kKnownUnits) {
                // As another process saves: a new file renamed over page.map.
                model.replaceFile(u, outsideText(input));
                const std::string fresh = design().folder[u] + "/outside.tmp";
                fuzzing::writeFile(fresh, *model.file[u]);
                FUZZ_REQUIRE(::rename(fresh.c_str(), design().mapFile[u].c_str()) == 0);
            }
            break;
        case kRemove:
            if (u < kKnownUnits) {
                model.file[u].reset();
                ::unlink(design().mapFile[u].c_str());
            }
            break;
    }

    FUZZ_REQUIRE(status == expected);
    if (message.empty()) {
        FUZZ_REQUIRE(lastError() == before);
    } else if (call != kSaveAll) {
        FUZZ_REQUIRE(lastError().find(message) != std::string::npos);
    }
    checkFiles(model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    // Every sequence starts from no page maps, no map files, mode 1.
    for (int u = 0; u < kKnownUnits; ++u)
        ::unlink(design().mapFile[u].c_str());
    trelReset();
    trelSetFileMode(1);
    Model model;
    for (int calls = 0; calls < 64 && input.remaining_bytes() > 0; ++calls)
        step(input, model);
    return 0;
}
