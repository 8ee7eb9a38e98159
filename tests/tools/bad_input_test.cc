// Bad input the tool must answer plainly: options without their values,
// malformed units and pages, a unit the service knows but whose map file path
// the library refuses, a map file that is a folder, and streamed names holding
// NUL bytes or missing their last line end.
#include <string>

#include "tool_run.h"

using ::testing::HasSubstr;

using BadInput = ToolDesign;

TEST_F(BadInput, EveryKindIsAnsweredWithItsStatusAndNothingChanges) {
    // 140 + 120 characters of folder names: the unit exists, but its map file
    // path does not fit the library's 259 characters.
    const std::string cell(140, 'c');
    const std::string view(120, 'v');
    makeUnit("work/" + cell + "/" + view);
    writeFile(makeUnit("work/top/sch"), "3 5\n");
    makeUnit("work/dir/sch/page.map");  // page.map is a folder
    expectCases({
        {"-L", 2, "", "option -L needs a value"},
        {"--libs", 2, "", "option --libs needs a value"},
        {"--mode", 2, "", "option --mode needs a value"},
        {"-x get work.top:sch 3", 2, "", "unknown option -x"},
        {"-Lwork=libs/work --mode=0 -- get work.top:sch 3", 0, "5\n"},
        {"get work:top.sch 3", 2, "", "not a design unit"},
        {"get work.top 3", 2, "", "not a design unit"},
        {"get work.top:sch 1x", 2, "", "not a page number"},
        {"get work.top:sch 4294967296", 2, "", "not a page number"},
        {"reverse nolib.a:b 1", 3, "", "library nolib is not defined"},
        {"highest nolib.a:b", 3, "", "library nolib is not defined"},
        {"path work." + cell + ":" + view, 3, "", "no map file path"},
        {"get work." + cell + ":" + view + " 1", 3, "", "Wrong lib.cell:view specification"},
        {"set work.dir:sch 1 2", 6, "", "cannot be read"},
        {"relabel-last top(work.top:sch)/U1@3", 0, "top(work.top:sch)/page5_U1\n"},
        // A name the library refuses is printed unchanged, and the message says why.
        {"relabel a//b", 7, "a//b\n", "cannot relabel \"a//b\": element 2 is empty"},
        {"relabel a/U@0", 7, "a/U@0\n", "page 0 of element 2: pages run from 1 to 2147483647"},
        {"relabel a/U@2147483648", 7, "a/U@2147483648\n", "of element 2 is beyond 2147483647"},
        {"relabel a/U@", 7, "a/U@\n", "element 2 has no page after '@'"},
        {"relabel a(work.top:sch", 7, "a(work.top:sch\n", "element 1's unit is not closed"},
        {"relabel a(work:sch)", 7, "a(work:sch)\n", "':' at character 7"},
        {"relabel a/\\U", 7, "a/\\U\n", "element 2: the extended identifier is not closed"},
        {"relabel a/\\\\", 7, "a/\\\\\n", "the extended identifier \\\\ is empty"},
    });

    // A streamed line with a NUL byte is no name; the last line needs no end.
    const ToolResult streamed =
        run("--libs libs.defs relabel -", std::string("a\0b\ntop(work.top:sch)/U1@3", 26));
    EXPECT_EQ(streamed.status, 7);
    EXPECT_EQ(streamed.out, std::string("a\0b\ntop(work.top:sch)/page5_U1\n", 31));
    EXPECT_THAT(streamed.err, HasSubstr("line 1"));
}
