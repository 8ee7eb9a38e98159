// The tool's command line: help, malformed command lines, and the library
// definitions that -L and --libs make.
#include <string>

#include "tool_run.h"

using ::testing::HasSubstr;

using CommandLine = ToolDesign;

TEST_F(CommandLine, HelpNamesEveryCommandOptionAndExitStatus) {
    const ToolResult help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char *word : {"path", "dump", "get", "reverse", "highest", "set", "delete", "clear",
                             "relabel", "relabel-last", "-L LIB=DIR", "--libs", "--mode"}) {
        EXPECT_THAT(help.out, HasSubstr("  " + std::string(word) + " "));
    }
    for (int status = 0; status <= 9; ++status) {
        EXPECT_THAT(help.out, HasSubstr("\n  " + std::to_string(status) + "  "));
    }
}

TEST_F(CommandLine, MalformedCommandLinesPrintUsageAndExitTwo) {
    std::vector<ToolCase> cases;
    for (const char *commandLine :
         {"", "frobnicate", "--frobnicate dump work.alu:sch", "-L work dump work.alu:sch",
          "--mode text dump work.alu:sch", "dump", "dump work.alu:sch extra", "set work.alu:sch 3",
          "dump workalu:sch", "dump work.:sch", "dump work.alu:", "get work.alu:sch 3x",
          "get work.alu:sch 4294967296", "get work.alu:sch -2147483649",
          "relabel a(work.top:sch) -"}) {
        cases.push_back({commandLine, 2, "", "pagemap: "});
    }
    expectCases(cases);
}

TEST_F(CommandLine, LibraryDefinitionsApplyInOrderInEitherSpelling) {
    writeFile(makeUnit("work/alu/sch"), "3 5\n");
    writeFile(makeUnit("gates/alu/sch"), "3 9\n");
    const std::string gates = (root_ / "libs" / "gates").string();
    EXPECT_EQ(run("-Lwork=libs/work get work.alu:sch 3").out, "5\n");
    // --libs takes relative directories from the file's folder.
    EXPECT_EQ(run("--libs=../../libs.defs get work.alu:sch 3", "", gates).out, "5\n");
    EXPECT_EQ(run("--libs libs.defs -L work=" + gates + " get work.alu:sch 3").out, "9\n");
    EXPECT_EQ(run("-L work=" + gates + " --libs libs.defs get work.alu:sch 3").out, "5\n");
}

TEST_F(CommandLine, RefusedDefinitionsExitFourAndNameTheBadLine) {
    writeFile("bad.defs", "work libs/work\nlonely\n");
    const ToolResult badFile = run("--libs bad.defs dump work.alu:sch");
    EXPECT_EQ(badFile.status, 4);
    EXPECT_THAT(badFile.err, HasSubstr("bad.defs:2:"));
    EXPECT_EQ(run("--libs missing.defs dump work.alu:sch").status, 4);
    EXPECT_EQ(run("-L ../up=/tmp dump work.alu:sch").status, 4);
}
