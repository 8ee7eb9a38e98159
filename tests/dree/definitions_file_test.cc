// Library definitions read from a plain-text file.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "design_folder.h"

using DefinitionsFile = DesignFolder;

// One library a line, with comments and blank lines; a later line or a later
// file replaces a definition, and a file leaves the libraries it does not
// name as they were.
TEST_F(DefinitionsFile, ReadsOneLibraryALineWithCommentsAndBlankLines) {
    const std::string alu = makeDirectory("designs/work/alu/sch");
    const std::string nand = makeDirectory("shared gates#2/nand2/sym");
    const std::string file =
        writeFile("libs.defs", "# libraries of the design\n\n   \t\nwork x\n" + ("work\t" + root) +
                                   "/designs/work   # comment\n"
                                   "  gates   shared gates#2/\r\n");
    ASSERT_EQ(dreeReadDefinitions(file.c_str()), DREE_OK) << dreeLastError();
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), alu);
    // Relative to the file's folder; a '#' inside a directory is kept.
    EXPECT_EQ(unitDirectory("gates", "nand2", "sym"), nand);
    ASSERT_EQ(dreeReadDefinitions(writeFile("two.defs", "work elsewhere\n").c_str()), DREE_OK);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 4");
    EXPECT_EQ(unitDirectory("gates", "nand2", "sym"), nand);
    EXPECT_EQ(dreeReadDefinitions(writeFile("empty.defs", "").c_str()), DREE_OK);

    // A file named relative to the working directory places its libraries
    // when it is read: a later change of working directory moves none.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(root);
    writeFile("rel.defs", "rel designs/work\n");
    const int status = dreeReadDefinitions("rel.defs");
    std::filesystem::current_path(before);
    ASSERT_EQ(status, DREE_OK) << dreeLastError();
    EXPECT_EQ(unitDirectory("rel", "alu", "sch"), alu);
}

// A file is taken whole or not at all: a malformed line is named by its
// number, and a file that cannot be read is refused.
TEST_F(DefinitionsFile, AMalformedOrUnreadableFileDefinesNothing) {
    makeDirectory("a/alu/sch");
    const std::string file = writeFile("libs.defs", "# fine so far\nwork a\nlonely\ngates g\n");
    EXPECT_EQ(dreeReadDefinitions(file.c_str()), DREE_BAD_DEFINITION);
    EXPECT_EQ(std::string(dreeLastError()), file + ":3: library lonely has no directory");
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
    const std::string badName = writeFile("bad.defs", "w w\na/b dir\n");
    EXPECT_EQ(dreeReadDefinitions(badName.c_str()), DREE_BAD_DEFINITION);
    EXPECT_EQ(std::string(dreeLastError()), badName + ":2: bad library name \"a/b\"");

    EXPECT_EQ(dreeReadDefinitions((root + "/missing.defs").c_str()), DREE_CANNOT_READ);
    EXPECT_EQ(std::string(dreeLastError()),
              "cannot open " + root + "/missing.defs: No such file or directory");
    EXPECT_EQ(dreeReadDefinitions(root.c_str()), DREE_CANNOT_READ);
#if !defined(_WIN32)  // a folder opens for reading there, and its read says why it fails
    EXPECT_EQ(std::string(dreeLastError()), "cannot read " + root + ": Is a directory");
#endif
    EXPECT_EQ(dreeReadDefinitions(nullptr), DREE_BAD_ARGUMENT);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
}

// The unit directory that dreeGetPath composes for lib: its answer when the
// directory exists, else the path that its message names.
std::string composedPath(const std::string &lib) {
    const std::string answer = unitDirectory(lib.c_str(), "alu", "sch");
    if (answer != "status 4") return answer;
    const std::string message = dreeLastError();
    const std::size_t from = std::strlen("no directory ");
    return message.substr(from, message.rfind(" for ") - from);
}

// Where each definition puts a unit: relative directories join the folder of
// the file, whichever separators name it; absolute ones (on Windows also
// drive-letter and UNC directories) stay as written; trailing separators go,
// except a root's; the unit's parts join with one '/'.
TEST_F(DefinitionsFile, PlacesUnitsByThePlatformsPathRules) {
    makeDirectory("sub/dir/alu/sch");
#if defined(_WIN32)
    const std::string folder = root + "\\";  // the file named with backslashes
#else
    const std::string folder = root + "/";
#endif
    struct Case {
        std::string lib, directory, unit;
    };
    const std::vector<Case> cases = {
        {"a", "sub/dir//", folder + "sub/dir/alu/sch"},
        {"b", "/abs/x/", "/abs/x/alu/sch"},
        {"c", "/", "/alu/sch"},
#if defined(_WIN32)
        {"d", "sub\\dir\\", folder + "sub\\dir/alu/sch"},
        {"e", "C:\\abs\\x\\\\", "C:\\abs\\x/alu/sch"},
        {"f", "c:/abs/x", "c:/abs/x/alu/sch"},
        {"g", "C:\\", "C:\\alu/sch"},
        {"h", "\\\\server\\share\\lib\\", "\\\\server\\share\\lib/alu/sch"},
        {"i", "\\abs", "\\abs/alu/sch"},
#else
        // Backslashes and colons are ordinary characters of POSIX file names.
        {"d", "sub\\dir\\", folder + "sub\\dir\\/alu/sch"},
        {"e", "C:/abs", folder + "C:/abs/alu/sch"},
#endif
    };
    std::string text;
    for (const Case &each : cases)
        text += each.lib + " " + each.directory + "\n";
    writeFile("libs.defs", text);
    ASSERT_EQ(dreeReadDefinitions((folder + "libs.defs").c_str()), DREE_OK) << dreeLastError();
    for (const Case &each : cases)
        EXPECT_EQ(composedPath(each.lib), each.unit) << each.lib << " " << each.directory;

    // Defined by call, a directory loses its trailing separators too.
    ASSERT_EQ(dreeDefineLibrary("z", (folder + "sub/dir//").c_str()), DREE_OK);
    EXPECT_EQ(composedPath("z"), folder + "sub/dir/alu/sch");
}
