// Library definitions read from a plain-text file.
#include <cstring>
#include <string>

#include "design_folder.h"

using DefinitionsFile = DesignFolder;

TEST_F(DefinitionsFile, ReadsOneLibraryALineWithCommentsAndBlankLines) {
    const std::string alu = makeDirectory("designs/work/alu/sch");
    const std::string nand = makeDirectory("shared gates#2/nand2/sym");
    const std::string file =
        writeFile("libs.defs", "# libraries of the design\n\n   \t\nwork\t" + root() +
                                   "/designs/work   # comment\n" + "  gates   shared gates#2/\r\n");
    ASSERT_EQ(dreeReadDefinitions(file.c_str()), DREE_OK) << dreeLastError();
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), alu);
    // Relative to the file's folder; a '#' inside a directory is kept.
    EXPECT_EQ(unitDirectory("gates", "nand2", "sym"), nand);
}

TEST_F(DefinitionsFile, LaterLinesAndLaterFilesReplaceEarlierDefinitions) {
    makeDirectory("a/alu/sch");
    const std::string c = makeDirectory("c/alu/sch");
    const std::string gates = makeDirectory("g/nand2/sym");
    ASSERT_EQ(dreeReadDefinitions(writeFile("one.defs", "work a\nwork b\ngates g\n").c_str()),
              DREE_OK);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 4");  // b has no alu
    ASSERT_EQ(dreeReadDefinitions(writeFile("two.defs", "work c\n").c_str()), DREE_OK);
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), c);
    EXPECT_EQ(unitDirectory("gates", "nand2", "sym"), gates);
}

TEST_F(DefinitionsFile, AMalformedLineDefinesNothingAndIsNamedByNumber) {
    makeDirectory("a/alu/sch");
    const std::string file = writeFile("libs.defs", "# fine so far\nwork a\nlonely\ngates g\n");
    EXPECT_EQ(dreeReadDefinitions(file.c_str()), DREE_BAD_DEFINITION);
    EXPECT_EQ(std::string(dreeLastError()), file + ":3: library lonely has no directory");
    EXPECT_EQ(unitDirectory("work", "alu", "sch"), "status 3");
    for (const char *line : {".. up\n", "a/b dir\n", "a\\b dir\n"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(dreeReadDefinitions(writeFile("bad.defs", std::string("w w\n") + line).c_str()),
                  DREE_BAD_DEFINITION);
        EXPECT_NE(std::strstr(dreeLastError(), "bad.defs:2: bad library name"), nullptr)
            << dreeLastError();
    }
}

TEST_F(DefinitionsFile, RefusesFilesThatCannotBeRead) {
    const std::string missing = root() + "/missing.defs";
    EXPECT_EQ(dreeReadDefinitions(missing.c_str()), DREE_CANNOT_READ);
    EXPECT_NE(std::strstr(dreeLastError(), "missing.defs"), nullptr) << dreeLastError();
    EXPECT_EQ(dreeReadDefinitions(root().c_str()), DREE_CANNOT_READ);
    EXPECT_EQ(dreeReadDefinitions(nullptr), DREE_BAD_ARGUMENT);
    EXPECT_EQ(dreeReadDefinitions(writeFile("empty.defs", "").c_str()), DREE_OK);
}
