// The tool's command line: help, version, malformed command lines, options
// anywhere, and the library definitions that -L, --libs and the defaults make.
#include <cstdlib>
#include <string>

#include "tool_run.h"
#include "trel.h"

using ::testing::HasSubstr;

using CommandLine = ToolDesign;

TEST_F(CommandLine, HelpNamesEveryCommandOptionAndExitStatus) {
    const ToolResult help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char *word : {"path", "dump", "pairs", "get", "reverse", "highest", "set", "delete",
                             "clear", "relabel", "relabel-last", "check", "-L LIB=DIR", "--libs",
                             "--mode", "--strict", "--json", "--version"}) {
        EXPECT_THAT(help.out, HasSubstr("  " + std::string(word) + " "));
    }
    for (int status = 0; status <= 9; ++status) {
        EXPECT_THAT(help.out, HasSubstr("\n  " + std::to_string(status) + "  "));
    }
    // A command's own help, asked for before or after it.
    for (const char *commandLine : {"get --help", "--help get", "get work.alu:sch -h"}) {
        const ToolResult command = run(commandLine);
        EXPECT_EQ(command.status, 0) << commandLine;
        EXPECT_THAT(command.out, HasSubstr("usage: pagemap [OPTION]... get UNIT PAGE\n"));
    }
    EXPECT_THAT(run("relabel --help").out, HasSubstr("--strict"));
    EXPECT_EQ(run("frobnicate --help").status, 2);

    // The manual page and the bash completion that the build installs come
    // from the same command table: every command has its section and its word.
    const std::string manual = run("--print-manual").out;
    const std::string completion = run("--print-bash-completion").out;
    for (const char *command : {"path", "pairs", "get", "set", "relabel\\-last", "check"}) {
        EXPECT_THAT(manual, HasSubstr("\n.SS " + std::string(command) + " ")) << command;
    }
    EXPECT_THAT(manual, HasSubstr(".SH EXIT STATUS\n"));
    EXPECT_THAT(completion, HasSubstr("_pagemap_commands='path dump pairs get reverse highest set "
                                      "delete clear relabel relabel-last check journal'"));
    EXPECT_THAT(completion, HasSubstr("_pagemap_options='-L --libs --mode --strict --json -h "
                                      "--help --version'"));
    EXPECT_THAT(completion, HasSubstr("    check) candidates=$(_pagemap_units"));
}

// Both carry the version that trel.h gives hosts at compile time: the tool
// runs on the library built into it, whatever libtrel is installed.
TEST_F(CommandLine, VersionNamesTheToolAndTheLibraryBuiltIntoIt) {
    const ToolResult version = run("--version");
    EXPECT_EQ(version.status, 0);
    const std::string header = std::to_string(TREL_VERSION_MAJOR) + "." +
                               std::to_string(TREL_VERSION_MINOR) + "." +
                               std::to_string(TREL_VERSION_PATCH);
    EXPECT_EQ(version.out, "pagemap " + header + "\nlibtrel " + header + " (built into pagemap)\n");
}

TEST_F(CommandLine, MalformedCommandLinesPrintUsageAndExitTwo) {
    std::vector<ToolCase> cases;
    for (const char *commandLine : {"",
                                    "frobnicate",
                                    "--frobnicate dump work.alu:sch",
                                    "dump work.alu:sch -x",
                                    "-L work dump work.alu:sch",
                                    "--mode text dump work.alu:sch",
                                    "dump",
                                    "dump work.alu:sch extra",
                                    "set work.alu:sch 3",
                                    "dump workalu:sch",
                                    "dump work.:sch",
                                    "dump work.alu:",
                                    "get work.alu:sch 3x",
                                    "get work.alu:sch 4294967296",
                                    "get work.alu:sch -2147483649",
                                    "relabel a(work.top:sch) -",
                                    "--strict dump work.alu:sch",
                                    "get work.alu:sch --mode",
                                    "--json relabel a",
                                    "check --strict",
                                    "--version extra",
                                    "dump work.alu:sch --version"}) {
        cases.push_back({commandLine, 2, "", "pagemap: "});
    }
    expectCases(cases);
}

// Options may follow the command; a negative number stays a page, and "--"
// makes the words after it operands even when they look like options.
TEST_F(CommandLine, OptionsStandAnywhereUntilDoubleDash) {
    writeFile(makeUnit("work/alu/sch"), "3 5\n-2 7\n");
    expectCases({
        {"get work.alu:sch -2", 0, "7\n"},
        {"get work.alu:sch -L work=libs/work 3", 0, "5\n"},
        {"get --mode 0 work.alu:sch -- -2", 0, "7\n"},
        {"relabel -- -x(work.alu:sch)/U1@3", 0, "-x(work.alu:sch)/page5_U1\n"},
    });
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

// Without -L or --libs: $PAGEMAP_LIBS, else ./libraries.defs, else nothing.
// A library that is not defined says which definitions were read and which
// were passed over, or how to define one when none were.
TEST_F(CommandLine, DefinitionsDefaultToTheEnvironmentThenTheCurrentFolder) {
    writeFile(makeUnit("work/alu/sch"), "3 5\n");
    writeFile(makeUnit("gates/alu/sch"), "3 9\n");
    const ToolResult undefined = run("get work.alu:sch 3");
    EXPECT_EQ(undefined.status, 3);
    EXPECT_THAT(undefined.err, HasSubstr("library work is not defined (no library definitions "
                                         "were read: define libraries with -L"));

    writeFile("libraries.defs", "work libs/work\n");
    writeFile("gates.defs", "work libs/gates\n");
    writeFile("bad.defs", "lonely\n");
    EXPECT_EQ(run("get work.alu:sch 3").out, "5\n");
    struct Environment {
        Environment() { setenv("PAGEMAP_LIBS", "gates.defs", 1); }
        ~Environment() { unsetenv("PAGEMAP_LIBS"); }
    } environment;
    EXPECT_EQ(run("get work.alu:sch 3").out, "9\n");
    EXPECT_THAT(run("get nolib.alu:sch 3").err,
                HasSubstr("(definitions read: $PAGEMAP_LIBS (gates.defs); not read: "
                          "./libraries.defs, as $PAGEMAP_LIBS is set)"));
    EXPECT_EQ(run("-L work=libs/work get work.alu:sch 3").out, "5\n");  // options win
    EXPECT_THAT(run("-L work=libs/work relabel --strict a(nolib.a:b)/U@1").err,
                HasSubstr("definitions read: -L work=libs/work; not read: $PAGEMAP_LIBS and "
                          "./libraries.defs, as -L or --libs is given"));
    setenv("PAGEMAP_LIBS", "bad.defs", 1);
    const ToolResult bad = run("get work.alu:sch 3");
    EXPECT_EQ(bad.status, 4);
    EXPECT_THAT(bad.err, HasSubstr("$PAGEMAP_LIBS: "));
}

TEST_F(CommandLine, RefusedDefinitionsExitFourAndNameTheBadLine) {
    writeFile("bad.defs", "work libs/work\nlonely\n");
    const ToolResult badFile = run("--libs bad.defs dump work.alu:sch");
    EXPECT_EQ(badFile.status, 4);
    EXPECT_THAT(badFile.err, HasSubstr("bad.defs:2:"));
    const ToolResult missing = run("--libs missing.defs dump work.alu:sch");
    EXPECT_EQ(missing.status, 4);
    EXPECT_THAT(missing.err, HasSubstr("--libs: cannot open missing.defs: No such file"));
    EXPECT_EQ(run("-L ../up=/tmp dump work.alu:sch").status, 4);
}
