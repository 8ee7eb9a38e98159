// The page-map commands end to end: what the queries print, what the edits
// leave in page.map, and the edits refused to protect a file.
#include <string>

#include "tool_run.h"

using ::testing::HasSubstr;

using MapCommands = ToolDesign;

TEST_F(MapCommands, QueriesAnswerFromTheMapFile) {
    const std::string map = writeMap("work", "alu", "sch", "3 5\n7 7\n-2 4\n9 5\n");
    EXPECT_EQ(runWithLibs({"path", "work.alu:sch"}).out, map + "\n");
    EXPECT_EQ(runWithLibs({"get", "work.alu:sch", "3"}).out, "5\n");
    EXPECT_EQ(runWithLibs({"reverse", "work.alu:sch", "5"}).out, "3\n");
    // Pages are ordered unsigned, so -2 is the highest page; 4294967294 names it too.
    EXPECT_EQ(runWithLibs({"highest", "work.alu:sch"}).out, "-2\n");
    EXPECT_EQ(runWithLibs({"get", "work.alu:sch", "4294967294"}).out, "4\n");
    const std::string dump = runWithLibs({"dump", "work.alu:sch"}).out;
    const std::size_t three = dump.find("Original Page : 3 Mapped Page : 5");
    const std::size_t minusTwo = dump.find("Original Page : 4294967294 Mapped Page : 4");
    ASSERT_NE(minusTwo, std::string::npos) << dump;
    EXPECT_LT(three, minusTwo);
}

TEST_F(MapCommands, MissingPairsExitOneWithNothingOnStandardOutput) {
    writeMap("work", "alu", "sch", "3 5\n");
    const ToolResult get = runWithLibs({"get", "work.alu:sch", "4"});
    EXPECT_EQ(get.status, 1);
    EXPECT_EQ(get.out, "");
    EXPECT_THAT(get.err, HasSubstr("no pair for page 4"));
    EXPECT_EQ(runWithLibs({"reverse", "work.alu:sch", "3"}).status, 1);
    // A unit without a map file is an empty page map, not an error.
    makeUnit("work", "reg", "sch");
    EXPECT_EQ(runWithLibs({"highest", "work.reg:sch"}).out, "0\n");
}

TEST_F(MapCommands, EditsAreSavedToTheMapFile) {
    makeUnit("work", "alu", "sch");
    const std::string map = mapPath("work", "alu", "sch");
    EXPECT_EQ(runWithLibs({"set", "work.alu:sch", "3", "5"}).status, 0);
    EXPECT_EQ(runWithLibs({"set", "work.alu:sch", "-2", "4"}).status, 0);
    EXPECT_EQ(runWithLibs({"set", "work.alu:sch", "6", "1"}).status, 0);
    EXPECT_EQ(readFile(map), "3 5\n6 1\n-2 4\n");
    EXPECT_EQ(runWithLibs({"delete", "work.alu:sch", "6"}).status, 0);
    EXPECT_EQ(runWithLibs({"set", "work.alu:sch", "3", "3"}).status, 0);  // equal: removed
    EXPECT_EQ(readFile(map), "-2 4\n");
    EXPECT_EQ(runWithLibs({"clear", "work.alu:sch"}).status, 0);
    EXPECT_EQ(readFile(map), "");
}

// The library stops reading at what is not a pair; saving after an edit would
// then drop the rest of the file.
TEST_F(MapCommands, EditsRefuseAMapFileThatIsNotACompleteListOfPairs) {
    for (const char *text : {"3 5\n7 x\n9 9\n", "3 5\n7\n", "1 2\n3 99999999999\n", "0x10 1\n"}) {
        SCOPED_TRACE(text);
        const std::string map = writeMap("work", "alu", "sch", text);
        const ToolResult result = runWithLibs({"set", "work.alu:sch", "1", "8"});
        EXPECT_EQ(result.status, 6);
        EXPECT_THAT(result.err, HasSubstr("nothing changed"));
        EXPECT_EQ(readFile(map), text);
        EXPECT_EQ(runWithLibs({"delete", "work.alu:sch", "3"}).status, 6);
    }
    // clear discards every pair anyway, so it starts a damaged file afresh.
    EXPECT_EQ(runWithLibs({"clear", "work.alu:sch"}).status, 0);
    EXPECT_EQ(readFile(mapPath("work", "alu", "sch")), "");
    // White space of any kind, several pairs a line, and full-range numbers are fine.
    const std::string map = writeMap("work", "alu", "sch", " -2147483648\t2147483647 +4 5\r\n6\n7");
    EXPECT_EQ(runWithLibs({"set", "work.alu:sch", "1", "8"}).status, 0);
    EXPECT_EQ(readFile(map), "1 8\n4 5\n6 7\n-2147483648 2147483647\n");
}

TEST_F(MapCommands, FailedSavesAndLostOutputAreErrors) {
    const std::string map = writeMap("work", "alu", "sch", "3 5\n");
    EXPECT_EQ(runWithLibs({"--mode", "1", "set", "work.alu:sch", "4", "6"}).status, 0);
    EXPECT_EQ(readFile(map), "3 5\n");  // another mode writes no pairs

    std::filesystem::remove(map);
    std::filesystem::create_directory(map);  // cannot be opened for writing
    const ToolResult save = runWithLibs({"--mode", "1", "set", "work.alu:sch", "4", "6"});
    EXPECT_EQ(save.status, 5);
    EXPECT_THAT(save.err, HasSubstr("Failed to open map file"));
    std::filesystem::remove(map);

    const ToolResult full =
        run({"--libs", "libs.defs", "path", "work.alu:sch"}, "", "", "/dev/full");
    EXPECT_EQ(full.status, 8);
    EXPECT_THAT(full.err, HasSubstr("cannot write standard output"));
}
