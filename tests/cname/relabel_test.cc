// Relabelling hierarchical names through the two entry points: which page an
// element stands on, whose page map decides, what a failed lookup leaves, how
// the answer is copied into the host's buffer, and which parent units a
// relabelling looks up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "cname/parent_units.h"
#include "dree.h"
#include "maps/registry.h"
#include "support/temp_folder.h"
#include "trel.h"

namespace {

constexpr char kTwoLevels[] = "top(work.top:sch)/U1@3(work.alu:sch)";
constexpr char kRelabelled[] = "top(work.top:sch)/page5_U1(work.alu:sch)";

// A status and the text written, up to its NUL.
using Relabelled = std::pair<int, std::string>;

Relabelled relabel(decltype(&trelGetMappedCname) entryPoint, const std::string &name) {
    char out[4096];
    const int status = entryPoint(name.c_str(), out, sizeof out);
    return {status, std::string(out, strnlen(out, sizeof out))};
}
Relabelled wholePath(const std::string &name) {
    return relabel(trelGetMappedCname, name);
}
Relabelled lastElement(const std::string &name) {
    return relabel(trelGetMapeedCnameLastPathElem, name);
}

// A fresh design tree, no library defined, and a fresh libtrel (no page maps,
// file mode 0) per test. The library-path service is the stand-in's: a unit
// lib.cell:view is known once <root>/<lib>/<cell>/<view> exists.
class RelabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = test_support::makeTempFolder("trel-cname");
        ASSERT_FALSE(root.empty());
        dreeClearLibraries();
        trelReset();
        trelSetFileMode(TREL_FILE_MODE_TEXT);
    }
    void TearDown() override {
        trelReset();
        dreeClearLibraries();
        test_support::removeFolder(root);
    }

    // Makes the unit's folder, defines its library, and returns the folder.
    std::string addUnit(const std::string &lib, const std::string &cell, const std::string &view) {
        std::filesystem::create_directories(root + "/" + lib + "/" + cell + "/" + view);
        EXPECT_EQ(dreeDefineLibrary(lib.c_str(), (root + "/" + lib).c_str()), DREE_OK);
        return root + "/" + lib + "/" + cell + "/" + view;
    }
    void mapPage(const std::string &lib, const std::string &cell, const std::string &view, int page,
                 int mapped) {
        addUnit(lib, cell, view);
        ASSERT_EQ(trelSetPageMapping(lib.c_str(), cell.c_str(), view.c_str(), page, mapped), 0);
    }

    std::string root;
};

// The parent's page map, here read from its map file, decides; the element's
// own unit does not count. A page label stands for its page and carries no
// instance name; so does a label made by an earlier relabelling.
TEST_F(RelabelTest, ElementTakesItsPageFromTheParentUnitsMap) {
    std::ofstream(addUnit("work", "top", "sch") + "/page.map") << "3 5\n12 4\n";
    mapPage("work", "alu", "sch", 3, 8);
    EXPECT_EQ(lastElement(kTwoLevels), Relabelled(TREL_OK, kRelabelled));
    EXPECT_EQ(wholePath(kTwoLevels), Relabelled(TREL_OK, kRelabelled));
    EXPECT_EQ(trelloadMapFile("work", "top", "sch", 0), TREL_ALREADY_LOADED);

    const char *labelled = "top(work.top:sch)/page12(work.alu:sch)";
    EXPECT_EQ(lastElement(labelled).second, "top(work.top:sch)/page4(work.alu:sch)");
    EXPECT_EQ(wholePath(labelled).second, "top(work.top:sch)/page4(work.alu:sch)");
    EXPECT_EQ(wholePath("top(work.top:sch)/page3_U1").second, "top(work.top:sch)/page5");
}

TEST_F(RelabelTest, WholePathRelabelsEachLevelAndLeavesFailedLookupsAlone) {
    mapPage("lib", "a", "v", 1, 11);
    addUnit("lib", "b", "v");  // known, but no pair for page 2
    mapPage("lib", "c", "v", 3, 33);
    const std::string unconvertible = "\\" + std::string(700, ':') + "\\";  // too long escaped
    // Under each parent: mapped, no pair, mapped, parent without unit,
    // unknown parent unit, unconvertible parent cell.
    const std::string name =
        "root(lib.a:v)/X@1(lib.b:v)/Y@2(lib.c:v)/Z@3/W@4(lib.gone:v)/V@5(lib." + unconvertible +
        ":v)/U@1";
    EXPECT_EQ(wholePath(name), Relabelled(TREL_OK,
                                          "root(lib.a:v)/page11_X(lib.b:v)/Y@2(lib.c:v)/"
                                          "page33_Z/W@4(lib.gone:v)/V@5(lib." +
                                              unconvertible + ":v)/U@1"));
}

TEST_F(RelabelTest, NameWithoutParentOrSyntaxComesBackAsItWas) {
    mapPage("work", "top", "sch", 3, 5);
    EXPECT_EQ(lastElement("U1@3(work.top:sch)"), Relabelled(TREL_BAD_CNAME, "U1@3(work.top:sch)"));
    EXPECT_EQ(wholePath("U1@3(work.top:sch)"), Relabelled(TREL_OK, "U1@3(work.top:sch)"));
    for (const char *name : {"", "a//b", "a(work.top:sch", "a(work:sch)", "a(work.top)", "a b/c"}) {
        EXPECT_EQ(wholePath(name), Relabelled(TREL_BAD_CNAME, name));
        EXPECT_EQ(lastElement(name), Relabelled(TREL_BAD_CNAME, name));
    }
}

// A failed lookup under a parent that names a unit returns its status with
// the source copied, and an unknown unit leaves its message; a parent that
// names no unit, or a library the mapper cannot convert, gets nothing written.
TEST_F(RelabelTest, LastElementReportsAFailedLookup) {
    addUnit("work", "top", "sch");
    const std::string unconvertible = "\\" + std::string(700, '/') + "\\";
    const struct {
        std::string name;
        int status;
        bool sourceCopied;
    } cases[] = {
        {kTwoLevels, TREL_NO_MAPPING, true},
        {"top(work.top:" + unconvertible + ")/U1@3", TREL_BAD_CNAME, true},
        {"top/U1@3", TREL_BAD_CNAME, false},
        {"top(" + unconvertible + ".c:v)/U1@3", TREL_BAD_CNAME, false},
        {"top(work.nowhere:sch)/U1@3", TREL_BAD_SPEC, true},
    };
    for (const auto &[name, status, sourceCopied] : cases) {
        char out[1024];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(trelGetMapeedCnameLastPathElem(name.c_str(), out, sizeof out), status) << name;
        EXPECT_EQ(std::string(out, strnlen(out, sizeof out)),
                  sourceCopied ? name : std::string(sizeof out, '#'));
    }
    char *message = nullptr;
    trelGetLastError(&message);
    EXPECT_STREQ(message, "Wrong lib.cell:view specification (work.nowhere:sch)");
}

TEST_F(RelabelTest, ExtendedIdentifiersReachThePageMapOfTheirConvertedNames) {
    mapPage("my lib", "a%2Fb", "sch", 2, 7);  // \my lib\ and \a/b\ as the host names them
    const char *name = "top(\\my lib\\.\\a/b\\:sch)/\\U 1\\@2";
    const char *want = "top(\\my lib\\.\\a/b\\:sch)/page7_\\U 1\\";
    EXPECT_EQ(lastElement(name), Relabelled(TREL_OK, want));
    EXPECT_EQ(wholePath(name), Relabelled(TREL_OK, want));
}

// strncpy semantics: `length` bytes at most, NUL padding up to `length` when
// shorter, no terminator when the answer has `length` bytes or more, and
// nothing past `length`; for relabelled answers and returned sources alike,
// and with the name relabelled in place in the same buffer. Without a source,
// a buffer or a positive length nothing is written.
TEST_F(RelabelTest, AnswerFillsExactlyLengthBytes) {
    mapPage("work", "top", "sch", 3, 5);
    for (auto entryPoint : {trelGetMappedCname, trelGetMapeedCnameLastPathElem}) {
        EXPECT_EQ(entryPoint(kTwoLevels, nullptr, 8), TREL_BAD_CNAME);
        char untouched[] = "########";
        EXPECT_EQ(entryPoint(nullptr, untouched, sizeof untouched), TREL_BAD_CNAME);
        EXPECT_STREQ(untouched, "########");
        for (const auto &[name, answer] :
             {std::pair<std::string, std::string>{kTwoLevels, kRelabelled}, {"a//b", "a//b"}}) {
            const int size = static_cast<int>(answer.size());
            for (int length : {-1, 0, 1, 4, size - 1, size, size + 1, size + 9}) {
                std::vector<char> out(answer.size() + 16, '#');
                const int status = entryPoint(name.c_str(), out.data(), length);
                const auto written = static_cast<std::size_t>(std::max(length, 0));
                std::string want = answer.substr(0, written);
                want.resize(written, '\0');
                want.resize(out.size(), '#');
                EXPECT_EQ(std::string(out.begin(), out.end()), want) << name << " " << length;
                EXPECT_TRUE(length > 0 || status == TREL_BAD_CNAME) << length;
            }
            char inPlace[64] = {};
            std::strcpy(inPlace, name.c_str());
            entryPoint(inPlace, inPlace, sizeof inPlace);
            EXPECT_STREQ(inPlace, answer.c_str()) << "in place: " << name;
        }
    }
}

// The parent units of a name, as a caller learns them before relabelling it,
// are the units the relabelling looks up: it registers exactly the known ones.
TEST_F(RelabelTest, ParentUnitsAreTheUnitsTheRelabellingLooksUp) {
    for (const char *cell : {"a", "b"})
        addUnit("lib", cell, "v");
    addUnit("my lib", "a%2Fb", "sch");
    const std::string unconvertible = "\\" + std::string(700, ':') + "\\";
    const struct {
        std::string name;
        std::vector<std::string> whole, last;  // "lib.cell:view" in the order of the elements
    } cases[] = {
        {"r(lib.a:v)/X@1(lib.b:v)/Y@2/Z@3(lib.gone:v)/V@5(lib." + unconvertible + ":v)/U@1",
         {"lib.a:v", "lib.b:v", "lib.gone:v"},
         {}},
        {"r(lib.a:v)/X@1(lib.b:v)/U@2", {"lib.a:v", "lib.b:v"}, {"lib.b:v"}},
        {"r(\\my lib\\.\\a/b\\:sch)/U@2", {"my lib.a%2Fb:sch"}, {"my lib.a%2Fb:sch"}},
        {"r(lib.gone:v)/U@1", {"lib.gone:v"}, {"lib.gone:v"}},
        {"U1@3(lib.a:v)", {}, {}},
        {"r(lib.a:v", {}, {}},
    };
    for (const auto &[name, whole, last] : cases) {
        for (const bool lastOnly : {false, true}) {
            SCOPED_TRACE(name + (lastOnly ? ", last element" : ""));
            std::vector<std::string> parents;
            trel::forEachParentUnit(name.c_str(), lastOnly, [&](const trel::UnitName &unit) {
                parents.push_back(std::string(unit.lib) + "." + unit.cell + ":" + unit.view);
            });
            EXPECT_EQ(parents, lastOnly ? last : whole);

            trelReset();
            lastOnly ? lastElement(name) : wholePath(name);
            std::vector<std::string> registered;
            trel::Registry::instance().forEach([&registered](trel::PageMap &map) {
                registered.push_back(map.lib() + "." + map.cell() + ":" + map.view());
            });
            parents.erase(std::remove(parents.begin(), parents.end(), "lib.gone:v"), parents.end());
            std::sort(parents.begin(), parents.end());
            std::sort(registered.begin(), registered.end());
            EXPECT_EQ(registered, parents);
        }
    }
}

TEST_F(RelabelTest, RepeatedRelabellingKeepsNoMemory) {
    mapPage("work", "top", "sch", 3, 5);
    char out[128];
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(trelGetMapeedCnameLastPathElem(kTwoLevels, out, sizeof out), TREL_OK);
        ASSERT_EQ(trelGetMappedCname(kTwoLevels, out, sizeof out), TREL_OK);
    }
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

}  // namespace
