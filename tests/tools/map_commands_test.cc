// The page-map commands end to end: what each query prints or the status it
// exits with, what the edits leave in page.map, map files that cannot be
// read or written, and a mark no load can resolve, shown and resolved.
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/xattr.h>
#endif

#include <iterator>
#include <string>

#include "tool_run.h"

using ::testing::HasSubstr;
using ::testing::Not;

using MapCommands = ToolDesign;

TEST_F(MapCommands, QueriesPrintTheirAnswerOrExitWithTheirStatus) {
    writeFile(makeUnit("work/alu/sch"), "3 5\n7 7\n-2 4\n9 5\n");
    makeUnit("work/reg/sch");  // no map file: an empty page map, not an error
    expectCases({
        // libs.defs is read from the design folder, which its relative directories join.
        {"path work.alu:sch", 0, root_.string() + "/libs/work/alu/sch/page.map\n"},
        {"get work.alu:sch 3", 0, "5\n"},
        {"get work.alu:sch 4294967294", 0, "4\n"},  // the page -2
        {"reverse work.alu:sch 5", 0, "3\n"},       // the lowest of 3 and 9
        {"highest work.alu:sch", 0, "-2\n"},        // pages are ordered unsigned
        {"highest work.reg:sch", 0, "0\n"},
        {"dump work.alu:sch", 0,
         "    Original Page : 3 Mapped Page : 5\n    Original Page : 7 Mapped Page : 7\n"
         "    Original Page : 9 Mapped Page : 5\n    Original Page : 4294967294 Mapped Page : 4\n"},
        {"pairs work.alu:sch", 0, "3 5\n7 7\n9 5\n-2 4\n"},  // the map file's own form
        {"pairs work.reg:sch", 0, ""},
        {"get work.alu:sch 4", 1, "", "no pair for page 4"},
        {"--mode 1 get work.alu:sch 3", 1, "",
         "no pair for page 3 (--mode 1 reads no pairs from the map file; --mode 0 reads them)"},
        {"reverse work.alu:sch 3", 1, ""},
        {"dump nolib.alu:sch", 3, "", "Wrong lib.cell:view specification (nolib.alu:sch)"},
        {"get nolib.alu:sch 1", 3, "", "library nolib is not defined"},
        {"set work.gone:sch 1 2", 3, "", "no directory"},
        {"path work.gone:sch", 3, ""},
        {"dump work...:sch", 3, ""},  // a unit may not climb out of its library
    });
}

// An edit that leaves the pairs as they are saves nothing, so the file keeps
// its own spelling ("3  5\r\n" would be saved as "3 5\n"), and a unit without
// a map file gets none. nullptr: no map file.
TEST_F(MapCommands, EveryEditIsSavedToTheMapFileAndANoOpLeavesItAlone) {
    const std::string map = makeUnit("work/alu/sch");
    const std::pair<const char *, const char *> edits[] = {
        {"delete work.alu:sch 6", nullptr},
        {"set work.alu:sch 6 6", nullptr},
        {"clear work.alu:sch", nullptr},
        {"set work.alu:sch 3 5", "3 5\n"},
        {"set work.alu:sch -2 4", "3 5\n-2 4\n"},
        {"set work.alu:sch 6 1", "3 5\n6 1\n-2 4\n"},
        {"delete work.alu:sch 6", "3 5\n-2 4\n"},
        {"set work.alu:sch 3 3", "-2 4\n"},  // equal pages: the pair goes
        {"clear work.alu:sch", ""},
    };
    for (const auto &[commandLine, text] : edits) {
        expectCases({{commandLine, 0, ""}});
        EXPECT_EQ(std::filesystem::exists(map), text != nullptr) << commandLine;
        if (text != nullptr) {
            EXPECT_EQ(readFile(map), text) << commandLine;
        }
    }
    writeFile(map, "3  5\r\n0 7\n");
    for (const char *noOp :
         {"set work.alu:sch 3 5", "delete work.alu:sch 4", "set work.alu:sch 4 4"}) {
        expectCases({{noOp, 0, ""}});
    }
    EXPECT_EQ(readFile(map), "3  5\r\n0 7\n");
    expectCases({{"delete work.alu:sch 3", 0, ""}, {"delete work.alu:sch 0", 0, ""}});
    EXPECT_EQ(readFile(map), "");
}

// The library stops reading at what is not a pair and says where; every
// command that reads the file reports it with exit 6, the edits change
// nothing (saving would drop the rest of the file), and dump and pairs print
// what was read first.
TEST_F(MapCommands, AMapFileThatIsNotACompleteListOfPairsIsReported) {
    const std::string map = makeUnit("work/alu/sch");
    const std::string recovery =
        " (mend line 2, or start the page map afresh with: pagemap clear work.alu:sch)";
    const std::pair<const char *, const char *> files[] = {
        {"3 5\n7 x\n9 9\n", "\"7 x\""},
        {"3 5\n7\n", "\"7\""},
        {"3 5\n3 99999999999\t\"\\\x01\n", "\"3 99999999999\\x09\\\"\\\\\\x01\""},
    };
    for (const auto &[text, line] : files) {
        SCOPED_TRACE(text);
        writeFile(map, text);
        const std::string damaged =
            "is damaged at line 2: only the pairs before it were read; line 2 reads " +
            std::string(line);
        expectCases({
            {"set work.alu:sch 1 8", 6, "", damaged + "; nothing changed" + recovery},
            {"delete work.alu:sch 3", 6, "", "nothing changed"},
            {"get work.alu:sch 3", 6, "", "libs/work/alu/sch/page.map " + damaged},
            {"reverse work.alu:sch 5", 6, "", damaged},
            {"highest work.alu:sch", 6, "", damaged},
            {"pairs work.alu:sch", 6, "3 5\n", damaged + recovery},
            {"dump work.alu:sch", 6, "    Original Page : 3 Mapped Page : 5\n", damaged},
            {"relabel top(work.alu:sch)/U@3", 6, "top(work.alu:sch)/page5_U\n", damaged + recovery},
            {"relabel-last top(work.alu:sch)/U@3", 6, "top(work.alu:sch)/page5_U\n",
             damaged + recovery},
        });
        EXPECT_EQ(readFile(map), text);
    }
    // A unit without a map file is no error, in a relabelling neither.
    makeUnit("work/reg/sch");
    expectCases({{"relabel top(work.reg:sch)/U@3", 0, "top(work.reg:sch)/U@3\n"}});
    // clear discards every pair anyway, so it starts a damaged file afresh.
    expectCases({{"clear work.alu:sch", 0, "", "clear replaced it"}});
    EXPECT_EQ(readFile(map), "");
    // White space of any kind, several pairs a line, and full-range numbers are fine.
    writeFile(map, " -2147483648\t2147483647 +4 5\r\n6\n7");
    expectCases({{"set work.alu:sch 1 8", 0, ""}});
    EXPECT_EQ(readFile(map), "1 8\n4 5\n6 7\n-2147483648 2147483647\n");
}

TEST_F(MapCommands, FailedSavesAndLostOutputAreErrors) {
    // Another mode keeps no pairs in the map file, so an edit there could
    // never be kept: the command line is refused before anything is read.
    const std::string map = writeFile(makeUnit("work/alu/sch"), "3 5\n");
    expectCases({
        {"--mode 1 set work.alu:sch 4 6", 2, "", "--mode 1 keeps no pairs in the map file"},
        {"--mode 2 delete work.alu:sch 3", 2, "", "edits need --mode 0"},
        {"clear work.alu:sch --mode=-1", 2, "", "clear would not be kept"},
    });
    EXPECT_EQ(readFile(map), "3 5\n");

    std::filesystem::remove(map);
    std::filesystem::create_directory(map);  // cannot be opened for writing
    // clear makes no promise it cannot keep.
    const ToolResult folder = run("--libs libs.defs clear work.alu:sch");
    EXPECT_EQ(folder.status, 5);
    EXPECT_THAT(folder.err, Not(HasSubstr("clear replace")));
#if !defined(_WIN32)
    EXPECT_THAT(folder.err, HasSubstr("for write: Is a directory"));
#endif
    std::filesystem::remove(map);
#if defined(_WIN32)
    GTEST_SKIP() << "Wine makes no symbolic links, and Windows has no /dev/full and takes no "
                    "folder as standard input";
#endif

    // A link to a file in a folder that does not exist names both.
    std::filesystem::create_symlink(root_ / "gone" / "alu.map", map);
    expectCases({{"set work.alu:sch 4 6", 5, "",
                  "No such file or directory (" + map + " is a link to " +
                      (root_ / "gone" / "alu.map").string() + ", which does not exist)"}});

    // The streams' failures carry the system's reason.
    const ToolResult full = run("--libs libs.defs path work.alu:sch", "", "", "/dev/full");
    EXPECT_EQ(full.status, 8);
    EXPECT_THAT(full.err, HasSubstr("cannot write standard output: No space left on device"));
    const ToolResult input = run("--libs libs.defs relabel -", "", "", "", root_.string());
    EXPECT_EQ(input.status, 8);
    EXPECT_THAT(input.err, HasSubstr("cannot read standard input: Is a directory"));
}

// The system's reason comes with the library's message, and the previous file
// stays whole: a folder the user may not write (run as an ordinary user, since
// root may write anywhere), and the file-size limit, whose signal the tool
// ignores so that the failed write is reported instead of ending the tool.
TEST_F(MapCommands, FailedSavesSayWhyAndKeepThePreviousFile) {
#if defined(_WIN32)
    GTEST_SKIP() << "a file-size limit and another user id to run as are POSIX matters";
#else
    std::string pairs;
    for (int page = 1; page <= 2000; ++page)
        pairs += std::to_string(page) + " " + std::to_string(page + 1) + "\n";
    const std::string map = writeFile(makeUnit("work/alu/sch"), pairs);
    const std::filesystem::path folder = std::filesystem::path(map).parent_path();

    shellPrefix_ = "ulimit -f 8;";  // 4 KiB, well below the new file
    expectCases({{"set work.alu:sch 1 9", 5, "", "for write: File too large"}});

    using std::filesystem::perms;
    if (geteuid() == 0) {
        std::filesystem::permissions(root_,
                                     perms::all & ~(perms::group_write | perms::others_write));
        shellPrefix_ = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    } else {
        shellPrefix_.clear();
        std::filesystem::permissions(folder, perms::owner_write,
                                     std::filesystem::perm_options::remove);
    }
    const ToolResult refused = run("--libs libs.defs set work.alu:sch 1 9");
    EXPECT_EQ(refused.status, 5);
    EXPECT_THAT(refused.err, HasSubstr("for write: Permission denied"));
    // A map file the user may not read is reported, not taken for an empty map.
    std::filesystem::permissions(map, perms::owner_read | perms::group_read | perms::others_read,
                                 std::filesystem::perm_options::remove);
    const ToolResult unreadable = run("--libs libs.defs get work.alu:sch 1");
    std::filesystem::permissions(folder, perms::owner_write, std::filesystem::perm_options::add);
    EXPECT_EQ(unreadable.status, 6);
    EXPECT_THAT(unreadable.err, HasSubstr("cannot be read: Permission denied"));
    EXPECT_THAT(run("--libs libs.defs check work").out,
                HasSubstr("work.alu:sch: unreadable: Permission denied\n"));

    EXPECT_EQ(readFile(map), pairs);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);  // no temporary file left beside it
#endif
}

// A mark that no name's journal resolves (a Windows host's, its journal
// deleted by hand): loads refuse and say how to get out; journal shows the
// mark, does nothing unless confirmed, and discards it once confirmed.
TEST_F(MapCommands, AMarkNoJournalResolvesIsShownAndDiscarded) {
    const std::string map = makeUnit("work/alu/sch");
    writeFile(map, "3 5\n");
#if defined(_WIN32)
    ASSERT_TRUE(SetFileAttributesA(map.c_str(), FILE_ATTRIBUTE_SYSTEM));
#else
    if (::setxattr(map.c_str(), "user.DOSATTRIB", "0x4", 3, 0) != 0)
        GTEST_SKIP() << "no user attributes here";
#endif
    const ToolResult refused = run("--libs libs.defs get work.alu:sch 3");
    EXPECT_EQ(refused.status, 6);
    EXPECT_THAT(refused.err, HasSubstr("`pagemap journal` shows the unit's journal and mark"));
    const ToolResult shown = run("--libs libs.defs journal work.alu:sch");
    EXPECT_EQ(shown.status, 1);
    EXPECT_THAT(shown.out, HasSubstr("mark: without a name"));
    EXPECT_THAT(shown.out, HasSubstr("page.ma~: none"));
    const ToolResult declined = run("--libs libs.defs journal work.alu:sch discard", "n\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_THAT(declined.err, HasSubstr("nothing done"));
    EXPECT_EQ(run("--libs libs.defs get work.alu:sch 3").status, 6);
    const ToolResult discarded = run("--libs libs.defs journal work.alu:sch discard", "y\n");
    EXPECT_EQ(discarded.status, 0) << discarded.err;
    expectCases({{"get work.alu:sch 3", 0, "5\n"},
                 {"journal", 2, "", "journal takes UNIT and, to resolve it, put-back or discard"},
                 {"journal work.alu:sch undo", 2, "", "put-back or discard"},
                 {"journal work.nope:sch", 3, "", "no map file path for work.nope:sch"}});
    EXPECT_EQ(run("--libs libs.defs journal work.alu:sch").status, 0);
    // A leftover that is no journal, which there is nothing to put back from.
    writeFile(map.substr(0, map.size() - 1) + "~", "junk\n");
    const ToolResult leftover = run("--libs libs.defs journal work.alu:sch put-back", "y\n");
    EXPECT_THAT(leftover.out, HasSubstr("no complete journal (a leftover)"));
    EXPECT_EQ(leftover.status, 5);
    EXPECT_THAT(leftover.err, HasSubstr("is no complete journal; nothing was put back"));
    // A unit without a map file; a mark with a name, shown as it is.
    makeUnit("work/new/sch");
    EXPECT_THAT(run("--libs libs.defs journal work.new:sch").out, HasSubstr("page.map (none)"));
#if !defined(_WIN32)
    ASSERT_EQ(::setxattr(map.c_str(), "user.page.map.rewrite", "elsewhere", 9, 0), 0);
    const ToolResult named = run("--libs libs.defs journal work.alu:sch");
    EXPECT_EQ(named.status, 1);
    EXPECT_THAT(named.out, HasSubstr("mark: elsewhere"));
    EXPECT_THAT(named.out, HasSubstr("does not lead to this file here"));
#endif
    EXPECT_EQ(readFile(map), "3 5\n");
}
