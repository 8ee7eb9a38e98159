// Bad arguments from the host: null names, names and paths too long for the
// library's buffers, and many units whose identities must never mix.
#include <gtest/gtest.h>

#include <string>

#include "api/design_fixture.h"
#include "trel.h"

namespace {

using testing_design::DesignTest;
using testing_design::readFile;
using testing_design::service;

using LimitsTest = DesignTest;

TEST_F(LimitsTest, NullNamesAreRefusedWithTheirMessage) {
    makeUnit("work", "alu", "sch");
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping(nullptr, "alu", "sch", 1, &mapped), TREL_BAD_SPEC);
    EXPECT_EQ(lastError(), "Wrong lib.cell:view specification ((null).alu:sch)");
    EXPECT_EQ(trelSetPageMapping("work", nullptr, "sch", 1, 2), TREL_BAD_SPEC);
    EXPECT_EQ(lastError(), "Wrong lib.cell:view specification (work.(null):sch)");
    EXPECT_EQ(trelloadMapFile("work", "alu", nullptr, 0), TREL_BAD_SPEC);
    EXPECT_EQ(lastError(), "Wrong lib.cell:view specification (work.alu:(null))");
    EXPECT_EQ(trelResetPageMap(nullptr, nullptr, nullptr), TREL_BAD_SPEC);
    EXPECT_EQ(trelDeletePageMapping(nullptr, "alu", "sch", 1), TREL_BAD_SPEC);
    EXPECT_EQ(trelGetMapPage(nullptr, "alu", "sch", 1, &mapped), TREL_BAD_SPEC);
    EXPECT_EQ(trelGetHighestPageMapping(nullptr, "alu", "sch", &mapped), TREL_BAD_SPEC);
    EXPECT_EQ(trelDumpPageMap(nullptr, "alu", "sch"), TREL_BAD_SPEC);
    EXPECT_EQ(trelSavePageMap(nullptr, "alu", "sch"), TREL_NOT_LOADED);
    EXPECT_EQ(trelMapFilePath("work", nullptr, "sch"), nullptr);
    EXPECT_EQ(service().calls, 0);  // refused before the service is asked
    EXPECT_EQ(trelGetActivePageMapping(1, &mapped), TREL_NO_ACTIVE_MAP);
}

TEST_F(LimitsTest, KeyTextThatDoesNotFitIsRefusedAndTheMessageCut) {
    const std::string lib(600, 'l');
    const std::string cell(600, 'c');
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping(lib.c_str(), cell.c_str(), "sch", 1, &mapped), TREL_BAD_SPEC);
    const std::string message = lastError();
    EXPECT_EQ(message.size(), 1023u);
    EXPECT_EQ(message, ("Wrong lib.cell:view specification (" + lib + "." + cell).substr(0, 1023));
    EXPECT_EQ(service().calls, 0);

    // The longest key that fits, 1023 characters, reaches the service.
    const std::string longest(1023 - 1 - 3 - 1 - 3, 'x');
    EXPECT_EQ(trelGetPageMapping(longest.c_str(), "alu", "sch", 1, &mapped), TREL_BAD_SPEC);
    EXPECT_EQ(service().calls, 1);
    EXPECT_EQ(trelGetPageMapping((longest + "x").c_str(), "alu", "sch", 1, &mapped), TREL_BAD_SPEC);
    EXPECT_EQ(service().calls, 1);
}

TEST_F(LimitsTest, MapFilePathThatDoesNotFitIsRefusedNeverCut) {
    // A unit directory of 251 characters leaves no room for "/page.map".
    const std::string base = root_ + "/work/alu/";
    const std::string view(251 - base.size(), 'v');
    makeUnit("work", "alu", view);
    int mapped = 0;
    EXPECT_EQ(trelSetPageMapping("work", "alu", view.c_str(), 1, 2), TREL_BAD_SPEC);
    EXPECT_EQ(lastError(), "Wrong lib.cell:view specification (work.alu:" + view + ")");
    EXPECT_EQ(trelMapFilePath("work", "alu", view.c_str()), nullptr);
    EXPECT_EQ(trelGetPageMapping("work", "alu", view.c_str(), 1, &mapped), TREL_BAD_SPEC);

    // One character less fits exactly: 250 + "/page.map" + NUL = 260.
    const std::string shorter = view.substr(1);
    makeUnit("work", "alu", shorter);
    char *path = trelMapFilePath("work", "alu", shorter.c_str());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path).size(), 259u);
    delete[] path;
    EXPECT_EQ(trelSetPageMapping("work", "alu", shorter.c_str(), 1, 2), TREL_OK);
}

TEST_F(LimitsTest, ManyUnitsKeepTheirOwnPageMaps) {
    const int units = 300;
    for (int i = 0; i < units; ++i)
        makeUnit("lib" + std::to_string(i % 7), "c" + std::to_string(i), "v");
    for (int i = 0; i < units; ++i) {
        std::string lib = "lib" + std::to_string(i % 7);
        std::string cell = "c" + std::to_string(i);
        ASSERT_EQ(trelSetPageMapping(lib.c_str(), cell.c_str(), "v", 1, i + 2), TREL_OK);
    }
    for (int i = 0; i < units; ++i) {
        std::string lib = "lib" + std::to_string(i % 7);
        std::string cell = "c" + std::to_string(i);
        int mapped = 0;
        ASSERT_EQ(trelGetPageMapping(lib.c_str(), cell.c_str(), "v", 1, &mapped), TREL_OK);
        EXPECT_EQ(mapped, i + 2) << lib << "." << cell;
    }
}

TEST_F(LimitsTest, NamesThatJoinToTheSameKeyTextAreTwoUnits) {
    // "a" "b.x" and "a.b" "x" both join to a.b.x:c, yet live in two folders.
    makeUnit("a", "b.x", "c");
    makeUnit("a.b", "x", "c");
    ASSERT_EQ(trelSetPageMapping("a", "b.x", "c", 1, 2), TREL_OK);
    ASSERT_EQ(trelSetPageMapping("a.b", "x", "c", 1, 3), TREL_OK);
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping("a", "b.x", "c", 1, &mapped), TREL_OK);
    EXPECT_EQ(mapped, 2);
    EXPECT_EQ(trelloadMapFile("a.b", "x", "c", 0), TREL_ALREADY_LOADED);
    EXPECT_EQ(service().calls, 2);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(mapPath("a", "b.x", "c")), "1 2\n");
    EXPECT_EQ(readFile(mapPath("a.b", "x", "c")), "1 3\n");
}

}  // namespace
