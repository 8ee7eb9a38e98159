// pagemap check end to end: every kind of problem in one design, as lines and
// as JSON, the exit status the worst of them gives, and the files left as
// they were.
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <string>

#include "tool_run.h"

using ::testing::HasSubstr;

using Check = ToolDesign;

TEST_F(Check, ReportsEachProblemAndExitsWithTheWorst) {
    writeFile(makeUnit("work/alu/sch"), "1 2\n");
    writeFile("libs/work/alu/sch/page.ma~", "half a sa");  // left by a killed save
    const std::string damaged = writeFile(makeUnit("work/top/sch"), "1 2\n3 x\n");
    makeUnit("work/dma/sch/page.map");  // a folder
    makeUnit("work/reg/sch");           // no map file: nothing wrong
    writeFile("libs/work/notes.txt", "a file beside the cells is no unit");
    writeFile(makeUnit("gates/nand/sym"), "5 6\n");
    // A FIFO is never opened (reading it would wait for a writer); a link to
    // nothing reads as an empty map, which a designer should hear about.
    std::string fifo, link, more;
#if !defined(_WIN32)
    ASSERT_EQ(::mkfifo(makeUnit("work/bus/sch").c_str(), 0644), 0);
    std::filesystem::create_symlink(root_ / "nowhere.map", makeUnit("work/io/sch"));
    fifo = "work.bus:sch: unreadable: page.map is not a regular file but a FIFO\n";
    link = "work.io:sch: dangling link page.map -> " + (root_ / "nowhere.map").string() + "\n";
    more = ", 1 dangling link";
#endif
    const std::string lines = "work.alu:sch: leftover temporary page.ma~\n" + fifo +
                              "work.dma:sch: unreadable: page.map is not a regular file but a "
                              "folder\n" +
                              link + "work.top:sch: damaged at line 2 (\"3 x\")\n";
    const std::string summary =
        fifo.empty()
            ? "checked 5 units: 3 map files, 1 damaged, 1 unreadable, 1 leftover\n"
            : "checked 7 units: 3 map files, 1 damaged, 2 unreadable, 1 leftover" + more + "\n";
    expectCases({
        {"check", 6, lines + summary},
        {"check work gates", 6, lines + summary},
        {"check gates", 0, "checked 1 unit: 1 map file, 0 damaged, 0 unreadable, 0 leftovers\n"},
        {"check gates nolib", 3,
         "checked 1 unit: 1 map file, 0 damaged, 0 unreadable, 0 leftovers\n",
         "library nolib is not defined (definitions read: --libs libs.defs)"},
        // Nothing checked: the errors alone, no summary counting nothing.
        {"check nolib", 3, "", "library nolib is not defined"},
        // In JSON, the errors come with the counts, as scripts read them.
        {"check --json nolib other", 3,
         "{\"checked\":0,\"map_files\":0,\"damaged\":0,\"unreadable\":0,\"leftovers\":0,"
         "\"dangling_links\":0,\"errors\":2,\"error_messages\":[\"library nolib is not "
         "defined (definitions read: --libs libs.defs)\",\"library other is not defined "
         "(definitions read: --libs libs.defs)\"]}\n",
         "library other is not defined"},
    });
    EXPECT_EQ(readFile(damaged), "1 2\n3 x\n");

    // One JSON object a unit, then the counts.
    const ToolResult json = run("--libs libs.defs check --json work");
    EXPECT_EQ(json.status, 6);
    EXPECT_THAT(json.out, HasSubstr("{\"unit\":\"work.top:sch\",\"folder\":"));
    EXPECT_THAT(json.out, HasSubstr("\"map_file\":true,\"problems\":[{\"kind\":\"damaged\","
                                    "\"line\":2,\"text\":\"3 x\"}]}\n"));
    EXPECT_THAT(json.out, HasSubstr("\"map_file\":false,\"problems\":[{\"kind\":\"not-regular\","
                                    "\"type\":\"folder\"}]}\n"));
    EXPECT_THAT(json.out, HasSubstr("\"map_file\":true,\"problems\":[{\"kind\":\"leftover\","
                                    "\"name\":\"page.ma~\"}]}\n"));
    EXPECT_THAT(json.out, HasSubstr("{\"unit\":\"work.reg:sch\","));
    EXPECT_THAT(json.out, HasSubstr("\"map_file\":false,\"problems\":[]}\n{\"unit\""));
    EXPECT_THAT(json.out, HasSubstr("\n{\"checked\":" + std::to_string(fifo.empty() ? 4 : 6) +
                                    ",\"map_files\":2,\"damaged\":1,"));

    // Leftovers (and links to nothing) alone exit 1; a library whose folder
    // is missing exits 3; a design without definitions has nothing to check.
    std::filesystem::remove_all(root_ / "libs" / "work" / "top");
    std::filesystem::remove_all(root_ / "libs" / "work" / "dma");
    std::filesystem::remove_all(root_ / "libs" / "work" / "bus");
    expectCases({{"check work", 1,
                  "work.alu:sch: leftover temporary page.ma~\n" + link + "checked " +
                      (fifo.empty() ? "2" : "3") +
                      " units: 1 map file, 0 damaged, 0 unreadable, 1 leftover" + more + "\n"}});
    const ToolResult gone = run("-L gone=libs/gone check");
    EXPECT_EQ(gone.status, 3);
    EXPECT_EQ(gone.out, "");
    EXPECT_THAT(gone.err, HasSubstr("library gone: cannot list its directory libs/gone: "));
    const ToolResult none = run("check");
    EXPECT_EQ(none.status, 3);
    EXPECT_THAT(none.err, HasSubstr("no library to check (no library definitions were read"));
}

// Bytes of a damaged line and of names are escaped, in lines as in JSON (where
// bytes above 0x7f of a line become \u00XX too, so that any file gives valid
// JSON); a folder the library refuses as a unit's name is reported as one it
// cannot read, saying why.
TEST_F(Check, OddBytesAreEscapedAndRefusedNamesExplained) {
    writeFile(makeUnit("work/dmg/sch"), "1 2\n\x01\xff\\ x\n");
    std::string refused, refusedJson;
#if !defined(_WIN32)
    writeFile(makeUnit("work/q\"uo\\te/sch"), "1 2\n");
    refused =
        "work.q\"uo\\te:sch: unreadable: not a unit the library accepts (bad name "
        "\"q\"uo\\te\" in work.q\"uo\\te:sch)\n";
    refusedJson =
        "\"map_file\":false,\"problems\":[{\"kind\":\"unreadable\",\"reason\":\"not a "
        "unit the library accepts (bad name \\\"q\\\"uo\\\\te\\\" in "
        "work.q\\\"uo\\\\te:sch)\"}]}\n";
#endif
    const ToolResult lines = run("--libs libs.defs check work");
    EXPECT_EQ(lines.status, 6);
    EXPECT_EQ(lines.out, "work.dmg:sch: damaged at line 2 (\"\\x01\\xff\\\\ x\")\n" + refused +
                             "checked " +
                             (refused.empty() ? "1 unit: 1 map file, 1 damaged, 0"
                                              : "2 units: 1 map file, 1 damaged, 1") +
                             " unreadable, 0 leftovers\n");
    const ToolResult json = run("--libs libs.defs check --json work");
    EXPECT_EQ(json.status, 6);
    EXPECT_THAT(json.out, HasSubstr("\"problems\":[{\"kind\":\"damaged\",\"line\":2,"
                                    "\"text\":\"\\u0001\\u00ff\\\\ x\"}]}\n"));
    EXPECT_THAT(json.out, HasSubstr(refusedJson));
}
