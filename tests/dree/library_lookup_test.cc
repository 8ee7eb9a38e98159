// Libraries defined by call, and what dreeGetPath answers for their units.
#include <cstring>
#include <string>

#include "design_folder.h"

using LibraryLookup = DesignFolder;

// The answer goes into the caller's buffer only when it fits with its NUL;
// nothing is ever written past `size`, and a refused call writes nothing.
TEST_F(LibraryLookup, AnswersTheUnitDirectoryOnlyWhenItFitsTheBuffer) {
    const std::string sch = makeDirectory("work/alu/sch");
    ASSERT_EQ(dreeDefineLibrary("work", (root + "/work///").c_str()), DREE_OK);
    const int exact = static_cast<int>(sch.size()) + 1;
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    // The context and the two zero arguments change nothing.
    ASSERT_EQ(dreeGetPath(42, 7, "work", "alu", "sch", -1, buffer, exact), DREE_OK);
    EXPECT_EQ(std::string(buffer), sch);
    EXPECT_EQ(buffer[exact], '#');

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(dreeGetPath(0, 0, "work", "alu", "sch", 0, buffer, exact - 1), DREE_TOO_LONG);
    EXPECT_EQ(dreeGetPath(0, 0, nullptr, "alu", "sch", 0, buffer, 260), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeGetPath(0, 0, "work", nullptr, "sch", 0, buffer, 260), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeGetPath(0, 0, "work", "alu", nullptr, 0, buffer, 260), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeGetPath(0, 0, "work", "alu", "sch", 0, buffer, 0), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeGetPath(0, 0, "work", "alu", "sch", 0, buffer, -5), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeGetPath(0, 0, "work", "alu", "sch", 0, nullptr, 260), DREE_BAD_ARGUMENT);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
}

// Every defined library as "name=directory;", in the order the listing gives.
std::string listedLibraries() {
    std::string listed;
    dreeForEachLibrary(
        [](const char *lib, const char *dir, void *data) {
            *static_cast<std::string *>(data) += std::string(lib) + "=" + dir + ";";
        },
        &listed);
    return listed;
}

// A lookup answers for a defined library and a directory that exists; the
// latest definition counts (in lookups and in the listing), a refused one
// changes nothing, and clearing forgets them all.
TEST_F(LibraryLookup, AnswersOnlyForDefinedLibrariesAndExistingDirectories) {
    makeDirectory("old/alu/sch");
    const std::string moved = makeDirectory("new/alu/sch");
    writeFile("new/alu/sym", "not a directory");
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
    EXPECT_STREQ(dreeLastError(), "library work is not defined");
    ASSERT_EQ(dreeDefineLibrary("work", (root + "/old").c_str()), DREE_OK);
    ASSERT_EQ(dreeDefineLibrary("work", (root + "/new").c_str()), DREE_OK);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), moved);
    EXPECT_EQ(unitDirectory("work", "alu", "gone"), "status 4");
    EXPECT_EQ(unitDirectory("work", "alu", "sym"), "status 4");
    EXPECT_NE(std::strstr(dreeLastError(), "work.alu:sym"), nullptr) << dreeLastError();

    EXPECT_EQ(dreeDefineLibrary("work", ""), DREE_BAD_DEFINITION);
    EXPECT_EQ(dreeDefineLibrary("work", nullptr), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeDefineLibrary(nullptr, "/tmp"), DREE_BAD_ARGUMENT);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), moved);
    ASSERT_EQ(dreeDefineLibrary("gates", "rel/gates/"), DREE_OK);
    EXPECT_EQ(listedLibraries(), "gates=rel/gates;work=" + root + "/new;");
    EXPECT_EQ(dreeForEachLibrary(nullptr, nullptr), DREE_BAD_ARGUMENT);
    dreeClearLibraries();
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
    EXPECT_EQ(listedLibraries(), "");
}

// Every name becomes one path component, so none may climb out of the
// library or reach into a sibling folder, even where that folder exists.
TEST_F(LibraryLookup, RefusesNamesThatAreNotOnePathComponent) {
    makeDirectory("work/alu/sch");
    makeDirectory("outside/sch");
    ASSERT_EQ(dreeDefineLibrary("work", (root + "/work").c_str()), DREE_OK);
    for (const char *bad : {"", ".", "..", "a/b", "/", "alu/..", "a\\b"}) {
        SCOPED_TRACE(std::string("name \"") + bad + "\"");
        EXPECT_EQ(unitDirectory(bad, "alu", "sch"), "status 2");
        EXPECT_EQ(unitDirectory("work", bad, "sch"), "status 2");
        EXPECT_EQ(unitDirectory("work", "alu", bad), "status 2");
        EXPECT_EQ(dreeDefineLibrary(bad, "/tmp"), DREE_BAD_NAME);
    }
    EXPECT_EQ(unitDirectory("work", "..", "outside"), "status 2");
    // Dots inside a name are ordinary characters.
    makeDirectory("work/a..b/sch.v2");
    EXPECT_EQ(unitDirectory("work", "a..b", "sch.v2"), root + "/work/a..b/sch.v2");
}
