// Relabelling hierarchical names through the two entry points: which page an
// element stands on, whose page map decides, what a failed lookup leaves, and
// how the answer is copied into the host's buffer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "trel.h"

namespace {

// The folder the test program's library-path service answers from.
std::string designRoot;

std::string unitFolder(const std::string &lib, const std::string &cell, const std::string &view) {
    return designRoot + "/" + lib + "/" + cell + "/" + view;
}

}  // namespace

// The library-path service as libtrel calls it: the unit lib.cell:view lives
// in <root>/<lib>/<cell>/<view>, and is known once that folder exists.
extern "C" int dreeGetPath(int /*context*/, int /*zero1*/, const char *lib, const char *cell,
                           const char *view, int /*zero2*/, char *dir, int size) {
    if (lib == nullptr || cell == nullptr || view == nullptr || dir == nullptr) return 1;
    const std::string folder = unitFolder(lib, cell, view);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 1;
    if (size <= 0 || folder.size() >= static_cast<std::size_t>(size)) return 1;
    std::memcpy(dir, folder.c_str(), folder.size() + 1);
    return 0;
}

namespace {

constexpr char kTwoLevels[] = "top(work.top:sch)/U1@3(work.alu:sch)";
constexpr char kRelabelled[] = "top(work.top:sch)/page5_U1(work.alu:sch)";

struct Relabelled {
    int status;
    std::string text;
    bool operator==(const Relabelled &other) const {
        return status == other.status && text == other.text;
    }
};
std::ostream &operator<<(std::ostream &out, const Relabelled &r) {
    return out << r.status << " \"" << r.text << '"';
}

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

// A fresh design tree and a fresh libtrel (no page maps, file mode 0) per test.
class RelabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "trel-cname-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        designRoot = pattern;
        trelReset();
        trelSetFileMode(TREL_FILE_MODE_TEXT);
    }
    void TearDown() override {
        trelReset();
        std::filesystem::remove_all(designRoot);
    }

    static void addUnit(const std::string &lib, const std::string &cell, const std::string &view) {
        std::filesystem::create_directories(unitFolder(lib, cell, view));
    }
    static void mapPage(const std::string &lib, const std::string &cell, const std::string &view,
                        int page, int mapped) {
        addUnit(lib, cell, view);
        ASSERT_EQ(trelSetPageMapping(lib.c_str(), cell.c_str(), view.c_str(), page, mapped), 0);
    }
    static std::string lastError() {
        char *text = nullptr;
        trelGetLastError(&text);
        return text;
    }
};

TEST_F(RelabelTest, ElementTakesItsPageFromTheParentUnitsMap) {
    mapPage("work", "top", "sch", 3, 5);
    mapPage("work", "alu", "sch", 3, 8);  // the element's own unit must not count
    mapPage("work", "top", "sch", 12, 4);
    EXPECT_EQ(lastElement(kTwoLevels), (Relabelled{TREL_OK, kRelabelled}));
    EXPECT_EQ(wholePath(kTwoLevels), (Relabelled{TREL_OK, kRelabelled}));

    // A page label stands for its page and carries no instance name; so does
    // a label made by an earlier relabelling.
    const char *labelled = "top(work.top:sch)/page12(work.alu:sch)";
    EXPECT_EQ(lastElement(labelled).text, "top(work.top:sch)/page4(work.alu:sch)");
    EXPECT_EQ(wholePath(labelled).text, "top(work.top:sch)/page4(work.alu:sch)");
    EXPECT_EQ(wholePath("top(work.top:sch)/page3_U1").text, "top(work.top:sch)/page5");
}

TEST_F(RelabelTest, ParentPageMapIsLoadedFromItsMapFileAndStaysRegistered) {
    addUnit("work", "top", "sch");
    std::ofstream(unitFolder("work", "top", "sch") + "/page.map") << "3 9\n";
    EXPECT_EQ(lastElement(kTwoLevels).text, "top(work.top:sch)/page9_U1(work.alu:sch)");
    EXPECT_EQ(trelloadMapFile("work", "top", "sch", 0), TREL_ALREADY_LOADED);
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
    EXPECT_EQ(wholePath(name), (Relabelled{TREL_OK,
                                           "root(lib.a:v)/page11_X(lib.b:v)/Y@2(lib.c:v)/page33_Z/"
                                           "W@4(lib.gone:v)/V@5(lib." +
                                               unconvertible + ":v)/U@1"}));
}

TEST_F(RelabelTest, NameWithoutParentOrSyntaxComesBackAsItWas) {
    mapPage("work", "top", "sch", 3, 5);
    EXPECT_EQ(lastElement("U1@3(work.top:sch)"),
              (Relabelled{TREL_BAD_CNAME, "U1@3(work.top:sch)"}));
    EXPECT_EQ(wholePath("U1@3(work.top:sch)"), (Relabelled{TREL_OK, "U1@3(work.top:sch)"}));
    for (const char *name : {"", "a//b", "a(work.top:sch", "a(work:sch)", "a(work.top)", "a b/c"}) {
        EXPECT_EQ(wholePath(name), (Relabelled{TREL_BAD_CNAME, name}));
        EXPECT_EQ(lastElement(name), (Relabelled{TREL_BAD_CNAME, name}));
    }
}

TEST_F(RelabelTest, LastElementReportsAFailedLookupWithTheSourceText) {
    addUnit("work", "top", "sch");
    EXPECT_EQ(lastElement(kTwoLevels), (Relabelled{TREL_NO_MAPPING, kTwoLevels}));

    const char *unknown = "top(work.nowhere:sch)/U1@3";
    EXPECT_EQ(lastElement(unknown), (Relabelled{TREL_BAD_SPEC, unknown}));
    EXPECT_EQ(lastError(), "Wrong lib.cell:view specification (work.nowhere:sch)");

    const std::string badView = "top(work.top:\\" + std::string(700, '/') + "\\)/U1@3";
    EXPECT_EQ(lastElement(badView), (Relabelled{TREL_BAD_CNAME, badView}));
}

TEST_F(RelabelTest, LastElementUnderAnUnconvertibleLibraryWritesNothing) {
    // No unit at all, or a library name that outgrows the mapper's buffer.
    const std::string tooLong = "top(\\" + std::string(700, '/') + "\\.c:v)/U1@3";
    for (const std::string &name : {std::string("top/U1@3"), tooLong}) {
        char out[64];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(trelGetMapeedCnameLastPathElem(name.c_str(), out, sizeof out), TREL_BAD_CNAME);
        EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#')) << name;
    }
}

TEST_F(RelabelTest, ExtendedIdentifiersReachThePageMapOfTheirConvertedNames) {
    mapPage("my lib", "a%2Fb", "sch", 2, 7);  // \my lib\ and \a/b\ as the host names them
    const char *name = "top(\\my lib\\.\\a/b\\:sch)/\\U 1\\@2";
    const char *want = "top(\\my lib\\.\\a/b\\:sch)/page7_\\U 1\\";
    EXPECT_EQ(lastElement(name), (Relabelled{TREL_OK, want}));
    EXPECT_EQ(wholePath(name), (Relabelled{TREL_OK, want}));
}

TEST_F(RelabelTest, MissingSourceOrBufferWritesNothing) {
    char out[8];
    std::memset(out, '#', sizeof out);
    for (auto entryPoint : {trelGetMappedCname, trelGetMapeedCnameLastPathElem}) {
        EXPECT_EQ(entryPoint(nullptr, out, sizeof out), TREL_BAD_CNAME);
        EXPECT_EQ(entryPoint(kTwoLevels, nullptr, 8), TREL_BAD_CNAME);
        EXPECT_EQ(entryPoint(kTwoLevels, out, 0), TREL_BAD_CNAME);
        EXPECT_EQ(entryPoint(kTwoLevels, out, -1), TREL_BAD_CNAME);
    }
    EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
}

// strncpy semantics: `length` bytes at most, NUL padding up to `length` when
// shorter, no terminator when the answer has `length` bytes or more, and
// nothing past `length`; for relabelled answers and returned sources alike.
TEST_F(RelabelTest, AnswerFillsExactlyLengthBytes) {
    mapPage("work", "top", "sch", 3, 5);
    for (auto entryPoint : {trelGetMappedCname, trelGetMapeedCnameLastPathElem}) {
        for (const auto &[name, answer] :
             {std::pair<std::string, std::string>{kTwoLevels, kRelabelled}, {"a//b", "a//b"}}) {
            const int size = static_cast<int>(answer.size());
            for (int length : {1, 4, size - 1, size, size + 1, size + 9}) {
                std::vector<char> out(answer.size() + 16, '#');
                entryPoint(name.c_str(), out.data(), length);
                const std::size_t end = static_cast<std::size_t>(length);
                std::string want = answer.substr(0, end);
                want.resize(end, '\0');
                want.resize(out.size(), '#');
                EXPECT_EQ(std::string(out.begin(), out.end()), want) << name << " " << length;
            }
        }
    }
}

TEST_F(RelabelTest, NameMayBeRelabelledInPlace) {
    mapPage("work", "top", "sch", 3, 5);
    char buffer[64];
    std::strcpy(buffer, kTwoLevels);
    EXPECT_EQ(trelGetMapeedCnameLastPathElem(buffer, buffer, sizeof buffer), TREL_OK);
    EXPECT_STREQ(buffer, kRelabelled);
    std::strcpy(buffer, "not a name");
    EXPECT_EQ(trelGetMappedCname(buffer, buffer, sizeof buffer), TREL_BAD_CNAME);
    EXPECT_STREQ(buffer, "not a name");
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
