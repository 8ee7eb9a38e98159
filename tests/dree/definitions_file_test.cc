// Library definitions read from a plain-text file.
#include <cstring>
#include <string>

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
    EXPECT_NE(std::strstr(dreeLastError(), "missing.defs"), nullptr) << dreeLastError();
    EXPECT_EQ(dreeReadDefinitions(root.c_str()), DREE_CANNOT_READ);
    EXPECT_EQ(dreeReadDefinitions(nullptr), DREE_BAD_ARGUMENT);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
}
