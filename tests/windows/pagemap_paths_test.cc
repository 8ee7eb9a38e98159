// The tool on Windows: library definitions and files named with backslashes,
// drive-letter directories, and output and map files with line feeds only,
// the same bytes as on every other platform.
#include <string>

#include "tools/tool_run.h"

using WindowsPaths = ToolDesign;

TEST_F(WindowsPaths, BackslashPathsNameLibrariesFilesAndUnits) {
    const std::string root = root_.string();  // C:\...\pagemap-XXXXXX
    const std::string map = writeFile("designs\\lib2\\alu\\sch\\page.map", "3 7\n");
    // Relative to the file's folder, written with backslashes, a trailing one too.
    writeFile("config\\libs.defs", "lib2 ..\\designs\\lib2\\\r\n");
    const std::string defs = root + "\\config\\libs.defs";
    const std::string unitMap = root + "\\config\\..\\designs\\lib2/alu/sch/page.map";
    const std::vector<std::pair<std::string, ToolResult>> runs = {
        {"--libs " + defs + " path lib2.alu:sch", {0, unitMap + "\n", ""}},
        {"--libs " + defs + " get lib2.alu:sch 3", {0, "7\n", ""}},
        {"-L lib3=" + root + "\\designs\\lib2\\ path lib3.alu:sch",
         {0, root + "\\designs\\lib2/alu/sch/page.map\n", ""}},
        {"-L lib4=designs\\lib2 dump lib4.alu:sch",
         {0, "    Original Page : 3 Mapped Page : 7\n", ""}},
        {"--libs " + defs + " set lib2.alu:sch 1 2", {0, "", ""}},
    };
    for (const auto &[commandLine, expected] : runs) {
        SCOPED_TRACE(commandLine);
        const ToolResult result = run(commandLine);
        EXPECT_EQ(result.status, expected.status) << result.err;
        EXPECT_EQ(result.out, expected.out);
    }
    EXPECT_EQ(readFile(map), "1 2\n3 7\n");

    // Names read from standard input may end in "\r\n"; the answers end in "\n".
    const ToolResult relabelled =
        run("--libs " + defs + " relabel -", "cpu(lib2.alu:sch)/U1@3(lib2.alu:sch)\r\n");
    EXPECT_EQ(relabelled.status, 0) << relabelled.err;
    EXPECT_EQ(relabelled.out, "cpu(lib2.alu:sch)/page7_U1(lib2.alu:sch)\n");
}
