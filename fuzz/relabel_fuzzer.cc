// Fuzzes both relabelling entry points with any text and every output length
// from 0 to 64 (and one that holds the whole answer), over a small design whose
// page maps the target knows. For every call:
//   - the status is one the entry point documents, and the one expected;
//   - the output is the expected answer copied as strncpy copies it, or the
//     buffer is untouched where the entry point writes nothing;
//   - nothing is written at or past out + length (guard bytes).
// The expected answer comes from a reference relabelling written from the
// documented rules: parse the name, take each element's page, convert the
// parent's names, look the page up in the design's pairs, relabel.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "dree.h"
#include "fuzz_support.h"
#include "hq.h"
#include "kelt.h"
#include "trel.h"

namespace {

using Unit = std::tuple<std::string, std::string, std::string>;
using Pairs = std::map<int, int>;

// The design: library -> folder, and each unit's map file with its pairs. A
// unit without a text has a folder but no map file.
struct DesignUnit {
    Unit names;
    const char *mapText;
    Pairs pairs;
};
const std::vector<DesignUnit> &designUnits() {
    static const std::vector<DesignUnit> units = {
        {{"work", "top", "sch"},
         "3 5\n12 4\n-1 7\n2147483647 -2147483648\n1 1\n",
         {{3, 5}, {12, 4}, {-1, 7}, {2147483647, INT_MIN}, {1, 1}}},
        {{"work", "alu", "sch"}, "1 9\n5 6\n", {{1, 9}, {5, 6}}},
        {{"gates", "reg", "sch"}, "", {}},
        {{"work", "ctl", "sch"}, nullptr, {}},
        // Reached from a name only through extended identifiers: \my lib\ and \a/b\.
        {{"my lib", "a%2Fb", "sch"}, "2 3\n0 8\n", {{2, 3}, {0, 8}}},
    };
    return units;
}

void setUpDesign() {
    static bool done = false;
    if (done) return;
    done = true;
    const std::string root = fuzzing::scratchFolder("trel-relabel-fuzz");
    for (const auto &unit : designUnits()) {
        const auto &[lib, cell, view] = unit.names;
        const std::string libDir = root + "/" + lib;
        const std::string dir = libDir + "/" + cell + "/" + view;
        fuzzing::makeDirectories(dir);
        if (unit.mapText != nullptr) fuzzing::writeFile(dir + "/page.map", unit.mapText);
        FUZZ_REQUIRE(dreeDefineLibrary(lib.c_str(), libDir.c_str()) == DREE_OK);
    }
    trelSetFileMode(TREL_FILE_MODE_TEXT);
}

// trelGetPageMapping as the design answers it: a unit outside the design is
// unknown to the library-path service.
int lookUp(const char *lib, const char *cell, const char *view, int page, int *mapped) {
    for (const auto &unit : designUnits()) {
        if (unit.names != Unit(lib, cell, view)) continue;
        const auto pair = unit.pairs.find(page);
        *mapped = pair != unit.pairs.end() ? pair->second : page;
        return pair != unit.pairs.end() ? TREL_OK : TREL_NO_MAPPING;
    }
    return TREL_BAD_SPEC;
}

// The page an element stands on and its instance name: its own page, or for
// a label "page<number>..." without a page the number "%d" reads after "page"
// (0 when none in the range of int follows), with no instance name.
struct Place {
    int page;
    const char *inst;
};
Place placeOf(const hqPathElem &elem) {
    Place place{elem.page(), elem.inst()};
    if (place.page != 0 || elem.label == nullptr || std::strncmp(elem.label, "page", 4) != 0) {
        return place;
    }
    place.inst = nullptr;
    const char *at = elem.label + 4;
    while (*at == ' ' || (*at >= '\t' && *at <= '\r'))
        ++at;
    const bool negative = *at == '-';
    if (*at == '-' || *at == '+') ++at;
    long long value = 0;
    const char *digits = at;
    while (*at >= '0' && *at <= '9' && value <= INT_MAX + 1LL)
        value = value * 10 + (*at++ - '0');
    while (*at >= '0' && *at <= '9')
        ++at;
    if (negative) value = -value;
    place.page = at != digits && value >= INT_MIN && value <= INT_MAX ? static_cast<int>(value) : 0;
    return place;
}

std::string labelFor(int mapped, const char *inst) {
    char text[64];
    std::snprintf(text, sizeof text, "page%d", mapped);
    return inst != nullptr ? std::string(text) + "_" + inst : std::string(text);
}

struct Converted {
    char text[keltBufferSize];
    const char *of(const char *name) {
        return keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, name, 0, text);
    }
};

// The expected answer: a status and the text copied out, or no text at all
// when the entry point writes nothing.
struct Answer {
    int status;
    bool writes;
    std::string text;
};

Answer wholePath(const std::string &src) {
    hqPath path(src.c_str());
    if (path.valid == 0) return {TREL_BAD_CNAME, true, src};
    const hqPathElem *parent = path.parsePathElem(1);
    for (hqPathElem *elem = path.parsePathElem(0); elem != nullptr; elem = path.parsePathElem(0)) {
        Converted lib;
        Converted cell;
        Converted view;
        const Place place = placeOf(*elem);
        const char *l = lib.of(parent->lib);
        const char *c = cell.of(parent->cell);
        const char *v = view.of(parent->view);
        int mapped = 0;
        if (l != nullptr && c != nullptr && v != nullptr &&
            lookUp(l, c, v, place.page, &mapped) == TREL_OK) {
            elem->setLabel(labelFor(mapped, place.inst).c_str());
        }
        parent = elem;
    }
    return {TREL_OK, true, static_cast<const char *>(path)};
}

Answer lastElement(const std::string &src) {
    hqPath path(src.c_str());
    if (path.valid == 0 || path.size() < 2) return {TREL_BAD_CNAME, true, src};
    hqPathElem *elem = path.breakPath();
    const hqPathElem *parent = path.lastPathElem();
    const Place place = placeOf(*elem);
    Converted lib;
    Converted cell;
    Converted view;
    const char *l = lib.of(parent->lib);
    if (l == nullptr || *l == '\0') return {TREL_BAD_CNAME, false, {}};
    const char *v = view.of(parent->view);
    const char *c = cell.of(parent->cell);
    if (c == nullptr || v == nullptr) return {TREL_BAD_CNAME, true, src};
    int mapped = 0;
    const int status = lookUp(l, c, v, place.page, &mapped);
    if (status != TREL_OK) return {status, true, src};
    elem->setLabel(labelFor(mapped, place.inst).c_str());
    path.appendPath(elem);
    return {TREL_OK, true, static_cast<const char *>(path)};
}

using EntryPoint = int (*)(const char *, char *, int);

constexpr std::size_t kGuard = 16;
constexpr char kFill = '\xa5';

// One call with `length` bytes of room (the source copied into the buffer
// first when `inPlace`), checked against the expected answer.
void checkCall(EntryPoint entry, const std::string &src, const Answer &expected, int length,
               bool inPlace) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + kGuard, kFill);
    if (inPlace) std::memcpy(buffer.data(), src.c_str(), src.size() + 1);
    const std::vector<char> before = buffer;
    const int status = entry(inPlace ? buffer.data() : src.c_str(), buffer.data(), length);
    if (length == 0) {
        FUZZ_REQUIRE(status == TREL_BAD_CNAME && buffer == before);
        return;
    }
    FUZZ_REQUIRE(status == expected.status);
    if (!expected.writes) {
        FUZZ_REQUIRE(buffer == before);
        return;
    }
    std::vector<char> wanted(static_cast<std::size_t>(length), '\0');
    std::memcpy(wanted.data(), expected.text.data(), std::min(expected.text.size(), wanted.size()));
    FUZZ_REQUIRE(std::memcmp(buffer.data(), wanted.data(), wanted.size()) == 0);
    for (std::size_t at = wanted.size(); at < buffer.size(); ++at)
        FUZZ_REQUIRE(buffer[at] == kFill);
}

void checkEntryPoint(EntryPoint entry, const std::string &src, const Answer &expected) {
    const std::set<int> documented =
        entry == &trelGetMappedCname
            ? std::set<int>{TREL_OK, TREL_BAD_CNAME}
            : std::set<int>{TREL_OK, TREL_BAD_CNAME, TREL_BAD_SPEC, TREL_NO_MAPPING};
    FUZZ_REQUIRE(documented.count(expected.status) == 1);
    for (int length = 0; length <= 64; ++length)
        checkCall(entry, src, expected, length, false);
    checkCall(entry, src, expected, static_cast<int>(expected.text.size()) + 1, false);
    checkCall(entry, src, expected, static_cast<int>(src.size()) + 1, true);

    // Missing arguments and negative lengths write nothing.
    char untouched[4] = {kFill, kFill, kFill, kFill};
    FUZZ_REQUIRE(entry(nullptr, untouched, 4) == TREL_BAD_CNAME);
    FUZZ_REQUIRE(entry(src.c_str(), nullptr, 4) == TREL_BAD_CNAME);
    FUZZ_REQUIRE(entry(src.c_str(), untouched, -1) == TREL_BAD_CNAME);
    FUZZ_REQUIRE(entry(src.c_str(), untouched, INT_MIN) == TREL_BAD_CNAME);
    for (char c : untouched)
        FUZZ_REQUIRE(c == kFill);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    setUpDesign();
    // The entry points read a C text, which ends at the first NUL.
    const std::string src(std::string(reinterpret_cast<const char *>(data), size).c_str());
    checkEntryPoint(&trelGetMappedCname, src, wholePath(src));
    checkEntryPoint(&trelGetMapeedCnameLastPathElem, src, lastElement(src));
    return 0;
}
