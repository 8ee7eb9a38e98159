// Relabelling keeps, from one call to the next, the page maps the parents'
// names led to and the labels the elements came to. A model test of that
// reuse: random interleavings of relabels, in the depth-first order hosts
// send names in, with everything that can change an answer (edits, clears,
// loads, merges by a save, resets, mode changes, a unit that becomes known,
// unknown and unconvertible units) run from the same start once through the
// library and once through a relabelling that resolves every name afresh,
// written here from the library's parts: the parse, the parents' names
// converted, each page looked up by trelGetPageMapping. Every status, answer
// and message must agree.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cname/element_page.h"
#include "cname/output_copy.h"
#include "cname/parent_units.h"
#include "dree.h"
#include "hq.h"
#include "trel.h"

namespace {

namespace fs = std::filesystem;

// The units that edits, loads and saves reach; work.late:sch gets its folder
// only midway.
struct Unit {
    const char *lib, *cell, *view;
};
const Unit kEdited[] = {
    {"work", "a", "sch"}, {"work", "b", "sch"},    {"work", "a", "sym"},
    {"lib2", "a", "sch"}, {"work", "late", "sch"},
};
// How names spell units: \work\ converts to work, so it reaches the same page
// map as work; work.nowhere:sch is never known, and an element may name no unit.
const char *const kSpelled[] = {
    "(work.a:sch)", "(\\work\\.a:sch)", "(work.b:sch)",       "(work.a:sym)",
    "(lib2.a:sch)", "(work.late:sch)",  "(work.nowhere:sch)", "",
};

trel::UnitName spelledUnit(const hqPathElem &elem) {
    return {elem.lib, elem.cell, elem.view};
}

// trelGetMappedCname without anything kept from one call to the next: every
// parent converted and every page looked up as trelGetPageMapping does.
int relabelAfresh(const char *src, char *out, int length) {
    if (src == nullptr || out == nullptr || length <= 0) return TREL_BAD_CNAME;
    hqPath path(src);
    if (path.valid == 0) {
        trel::copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    std::vector<hqPathElem *> elements;
    for (hqPathElem *elem = path.parsePathElem(1); elem != nullptr; elem = path.parsePathElem(0))
        elements.push_back(elem);
    trel::ConvertedUnit unit;
    trel::UnitName names;
    std::string label;
    for (size_t i = 1; i < elements.size(); ++i) {
        if (trel::convertParentNames(spelledUnit(*elements[i - 1]), false, unit, &names) !=
            trel::ParentNames::converted)
            continue;
        const trel::ElementPage at = trel::readElementPage(*elements[i]);
        int mapped = 0;
        if (trelGetPageMapping(names.lib, names.cell, names.view, at.page, &mapped) == TREL_OK)
            elements[i]->setLabel(trel::formatPageLabel(label, mapped, at.inst));
    }
    trel::copyOut(out, length, path);
    return TREL_OK;
}

// trelGetMapeedCnameLastPathElem likewise.
int relabelLastAfresh(const char *src, char *out, int length) {
    if (src == nullptr || out == nullptr || length <= 0) return TREL_BAD_CNAME;
    hqPath path(src);
    hqPathElem *elem = path.valid != 0 ? path.breakPath() : nullptr;
    const hqPathElem *parent = path.lastPathElem();
    if (elem == nullptr || parent == nullptr) {
        trel::copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    const trel::ElementPage at = trel::readElementPage(*elem);
    trel::ConvertedUnit unit;
    trel::UnitName names;
    switch (trel::convertParentNames(spelledUnit(*parent), true, unit, &names)) {
        case trel::ParentNames::noLibrary:
            return TREL_BAD_CNAME;  // nothing written
        case trel::ParentNames::noConversion:
            trel::copyOut(out, length, src);
            return TREL_BAD_CNAME;
        case trel::ParentNames::converted:
            break;
    }
    int mapped = 0;
    const int status = trelGetPageMapping(names.lib, names.cell, names.view, at.page, &mapped);
    if (status != TREL_OK) {
        trel::copyOut(out, length, src);
        return status;
    }
    std::string label;
    elem->setLabel(trel::formatPageLabel(label, mapped, at.inst));
    path.appendPath(elem);
    trel::copyOut(out, length, path);
    return TREL_OK;
}

struct Random {
    std::mt19937 generator;
    size_t below(size_t n) { return static_cast<size_t>(generator() % n); }
};

class RelabelReuseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "trel-reuse-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        trelReset();
        dreeClearLibraries();
        fs::remove_all(root_);
    }

    // Everything a host sees over `steps` random steps from `seed`, from a
    // fresh design and library.
    std::vector<std::string> run(uint32_t seed, bool library, int steps) {
        trelReset();
        dreeClearLibraries();
        fs::remove_all(root_);
        for (const Unit &unit : kEdited) {
            if (unit.cell != std::string("late")) fs::create_directories(folder(unit));
        }
        dreeDefineLibrary("work", (root_ + "/work").c_str());
        dreeDefineLibrary("lib2", (root_ + "/lib2").c_str());
        trelSetFileMode(TREL_FILE_MODE_TEXT);

        Random random{std::mt19937(seed)};
        auto below = [&random](size_t n) { return random.below(n); };
        std::vector<std::string> seen;
        std::vector<std::string> elements;
        for (int step = 0; step < steps; ++step) {
            const Unit &unit = kEdited[below(5)];
            const int page = 1 + static_cast<int>(below(4));
            const size_t pick = below(100);
            if (pick < 70) {
                // The next name goes up a few levels and down a few.
                for (size_t up = below(3); up > 0 && !elements.empty(); --up)
                    elements.pop_back();
                for (size_t down = 1 + below(2); down > 0 && elements.size() < 6; --down)
                    elements.push_back(element(random));
                seen.push_back(relabel(elements, pick < 55, library));
                continue;
            }
            int status = 0;
            if (pick < 80) {
                status = trelSetPageMapping(unit.lib, unit.cell, unit.view, page,
                                            1 + static_cast<int>(below(5)));
            } else if (pick < 84) {
                status = trelDeletePageMapping(unit.lib, unit.cell, unit.view, page);
            } else if (pick < 86) {
                status = trelResetPageMap(unit.lib, unit.cell, unit.view);
            } else if (pick < 92) {
                // A map file written by another program; reloaded, or merged
                // into the page map by the next save.
                if (fs::exists(folder(unit))) {
                    std::ofstream(folder(unit) + "/page.map") << page << " " << below(6) << "\n"
                                                              << page + 1 << " 7\n";
                }
                if (pick < 89) status = trelloadMapFile(unit.lib, unit.cell, unit.view, 1);
            } else if (pick < 93) {
                status = trelSavePageMaps(0);
            } else if (pick < 96) {
                status = trelReset();
            } else if (pick < 98) {
                status = trelSetFileMode(below(3) == 0 ? 1 : TREL_FILE_MODE_TEXT);
            } else {
                fs::create_directories(folder(kEdited[4]));
            }
            seen.push_back("status " + std::to_string(status));
        }
        return seen;
    }

    // U<k>@<page>, a page label, or a plain label, under some unit.
    static std::string element(Random &random) {
        const size_t head = random.below(4);
        std::string text = head == 0   ? "page" + std::to_string(random.below(5))
                           : head == 1 ? "top"
                                       : "U" + std::to_string(random.below(3)) + "@" +
                                             std::to_string(1 + random.below(4));
        if (random.below(12) == 0) return text + "(work." + std::string(700, ':') + ":sch)";
        return text + kSpelled[random.below(8)];
    }

    // The status, the whole buffer as written, and the last-error text,
    // which a sentinel failure sets first so that any message shows.
    static std::string relabel(const std::vector<std::string> &elements, bool wholePath,
                               bool library) {
        std::string name;
        for (const std::string &elem : elements)
            name += (name.empty() ? "" : "/") + elem;
        trelSetPageMapping(nullptr, "sentinel", "sch", 1, 2);
        std::vector<char> out(4096, '#');
        using Relabel = int (*)(const char *, char *, int);
        const Relabel relabel =
            library ? (wholePath ? trelGetMappedCname : trelGetMapeedCnameLastPathElem)
                    : (wholePath ? relabelAfresh : relabelLastAfresh);
        const int status = relabel(name.c_str(), out.data(), static_cast<int>(out.size()));
        char *message = nullptr;
        trelGetLastError(&message);
        return name + " -> " + std::to_string(status) + " " +
               std::string(out.data(), strnlen(out.data(), out.size())) + " | " + message;
    }

    std::string folder(const Unit &unit) const {
        return root_ + "/" + unit.lib + "/" + unit.cell + "/" + unit.view;
    }

    std::string root_;
};

TEST_F(RelabelReuseTest, AnswersAreThoseOfResolvingEveryNameAfresh) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        const std::vector<std::string> fresh = run(seed, false, 1000);
        const std::vector<std::string> reused = run(seed, true, 1000);
        ASSERT_EQ(fresh.size(), reused.size());
        for (size_t i = 0; i < fresh.size(); ++i)
            ASSERT_EQ(reused[i], fresh[i]) << "seed " << seed << ", step " << i;
    }
}

}  // namespace
