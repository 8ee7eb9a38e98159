// Libraries defined by call, and what dreeGetPath answers for their units.
#include <cstring>
#include <string>

#include "design_folder.h"

using LibraryLookup = DesignFolder;

TEST_F(LibraryLookup, AnswersTheUnitDirectoryInsideItsLibrary) {
    const std::string sch = makeDirectory("work/alu/sch");
    ASSERT_EQ(dreeDefineLibrary("work", (root() + "/work///").c_str()), DREE_OK);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), sch);
    // The context and the two zero arguments change nothing.
    char dir[260];
    ASSERT_EQ(dreeGetPath(42, 7, "work", "alu", "sch", -1, dir, sizeof dir), DREE_OK);
    EXPECT_EQ(std::string(dir), sch);
}

TEST_F(LibraryLookup, RefusesUndefinedLibrariesAndMissingDirectoriesAndSaysWhy) {
    makeDirectory("work/alu");
    writeFile("work/alu/sym", "not a directory");
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
    EXPECT_STREQ(dreeLastError(), "library work is not defined");
    ASSERT_EQ(dreeDefineLibrary("work", (root() + "/work").c_str()), DREE_OK);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 4");
    EXPECT_EQ(unitDirectory("work", "alu", "sym"), "status 4");
    EXPECT_NE(std::strstr(dreeLastError(), "work.alu:sym"), nullptr) << dreeLastError();
}

TEST_F(LibraryLookup, DefinitionsAreReplacedByRedefinitionAndForgottenByClearing) {
    makeDirectory("old/alu/sch");
    const std::string moved = makeDirectory("new/alu/sch");
    ASSERT_EQ(dreeDefineLibrary("work", (root() + "/old").c_str()), DREE_OK);
    ASSERT_EQ(dreeDefineLibrary("work", (root() + "/new").c_str()), DREE_OK);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), moved);
    // Refused definitions keep the one in place.
    EXPECT_EQ(dreeDefineLibrary("work", ""), DREE_BAD_DEFINITION);
    EXPECT_EQ(dreeDefineLibrary("work", nullptr), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeDefineLibrary(nullptr, "/tmp"), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeDefineLibrary("..", "/tmp"), DREE_BAD_NAME);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), moved);
    dreeClearLibraries();
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
}

// Every name becomes one path component, so none may climb out of the
// library or reach into a sibling folder, even where that folder exists.
TEST_F(LibraryLookup, RefusesNamesThatAreNotOnePathComponent) {
    makeDirectory("work/alu/sch");
    makeDirectory("outside/sch");
    ASSERT_EQ(dreeDefineLibrary("work", (root() + "/work").c_str()), DREE_OK);
    for (const char *bad : {"", ".", "..", "a/b", "/", "alu/..", "a\\b"}) {
        SCOPED_TRACE(std::string("name \"") + bad + "\"");
        EXPECT_EQ(unitDirectory(bad, "alu", "sch"), "status 2");
        EXPECT_EQ(unitDirectory("work", bad, "sch"), "status 2");
        EXPECT_EQ(unitDirectory("work", "alu", bad), "status 2");
    }
    EXPECT_EQ(unitDirectory("work", "..", "outside"), "status 2");
    EXPECT_EQ(dreeDefineLibrary("a/b", "/tmp"), DREE_BAD_NAME);
    // Dots inside a name are ordinary characters.
    makeDirectory("work/a..b/sch.v2");
    EXPECT_EQ(unitDirectory("work", "a..b", "sch.v2"), root() + "/work/a..b/sch.v2");
}

TEST_F(LibraryLookup, NeverWritesPastTheBufferAndRefusesNullsAndWhatDoesNotFit) {
    const std::string sch = makeDirectory("work/alu/sch");
    ASSERT_EQ(dreeDefineLibrary("work", (root() + "/work").c_str()), DREE_OK);
    const int exact = static_cast<int>(sch.size()) + 1;
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(dreeGetPath(0, 0, "work", "alu", "sch", 0, buffer, exact), DREE_OK);
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
