// The exported entry points end to end: statuses, out values, the last-error
// text, the active page map, the registry's lifecycle and the dump.
#include <gtest/gtest.h>

#include "api/design_fixture.h"
#include "trel.h"
#include "trel_release.h"

namespace {

using testing_design::DesignTest;
using testing_design::service;
using testing_design::writeFile;

class EntryPointTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        makeUnit("work", "alu", "sch");
    }
    int get(int page, int *mapped) {
        return trelGetPageMapping("work", "alu", "sch", page, mapped);
    }
    void set(int page, int mapped) { trelSetPageMapping("work", "alu", "sch", page, mapped); }
};

TEST_F(EntryPointTest, ConfigurationCallsAnswerWhatTheyWereGiven) {
    EXPECT_EQ(trelGetErrorMessage(), TREL_OK);
    EXPECT_EQ(trelSetFileMode(7), 7);
    EXPECT_EQ(trelSetFileMode(0), 0);
    EXPECT_EQ(trelGetLastError(nullptr), TREL_OK);
    EXPECT_EQ(trelInit(42), TREL_OK);
}

TEST_F(EntryPointTest, LookupsStoreAndRemovePairs) {
    int mapped = 0;
    EXPECT_EQ(get(7, &mapped), TREL_NO_MAPPING);  // the identity fills a miss
    EXPECT_EQ(mapped, 7);
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_ALREADY_LOADED);  // registered

    set(3, 5);
    set(3, 6);  // replaces
    EXPECT_EQ(get(3, &mapped), TREL_OK);
    EXPECT_EQ(mapped, 6);
    EXPECT_EQ(trelSetPageMapping("work", "alu", "sch", 3, 3), TREL_OK);  // equal pages remove
    EXPECT_EQ(get(3, &mapped), TREL_NO_MAPPING);
    EXPECT_EQ(trelSetPageMapping("work", "alu", "sch", 4, 4), TREL_OK);  // nothing to remove

    set(8, 1);
    EXPECT_EQ(trelDeletePageMapping("work", "alu", "sch", 8), TREL_OK);
    EXPECT_EQ(trelDeletePageMapping("work", "alu", "sch", 8), TREL_OK);
    EXPECT_EQ(get(8, &mapped), TREL_NO_MAPPING);
}

TEST_F(EntryPointTest, ReverseLookupAndHighestCompareUnsigned) {
    int out = 99;
    EXPECT_EQ(trelGetHighestPageMapping("work", "alu", "sch", &out), TREL_OK);
    EXPECT_EQ(out, 0);
    set(4, 9);
    set(2, 9);
    set(-1, 9);
    set(12, 1);
    EXPECT_EQ(trelGetMapPage("work", "alu", "sch", 9, &out), TREL_OK);
    EXPECT_EQ(out, 2);  // the lowest of 2, 4 and -1 taken unsigned
    EXPECT_EQ(trelGetMapPage("work", "alu", "sch", 7, &out), TREL_NO_ORIGINAL_PAGE);
    EXPECT_EQ(out, 7);
    EXPECT_EQ(trelGetHighestPageMapping("work", "alu", "sch", &out), TREL_OK);
    EXPECT_EQ(out, -1);

    // Null out pointers are tolerated; the status still answers.
    EXPECT_EQ(trelGetMapPage("work", "alu", "sch", 9, nullptr), TREL_OK);
    EXPECT_EQ(trelGetHighestPageMapping("work", "alu", "sch", nullptr), TREL_OK);
    EXPECT_EQ(get(12, nullptr), TREL_OK);
    EXPECT_EQ(get(5, nullptr), TREL_NO_MAPPING);
    trelloadMapFile("work", "alu", "sch", 0);
    EXPECT_EQ(trelGetActivePageMapping(12, nullptr), TREL_OK);
}

TEST_F(EntryPointTest, UnknownUnitIsReportedAndNotRegistered) {
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping("work", "nope", "sch", 3, &mapped), TREL_BAD_SPEC);
    EXPECT_EQ(lastError(), "Wrong lib.cell:view specification (work.nope:sch)");
    EXPECT_EQ(trelSavePageMap("work", "nope", "sch"), TREL_NOT_LOADED);
    EXPECT_EQ(trelDumpPageMap("work", "nope", "sch"), TREL_BAD_SPEC);

    // Nothing was registered, so the next call asks the service again.
    makeUnit("work", "nope", "sch");
    EXPECT_EQ(trelSetPageMapping("work", "nope", "sch", 3, 4), TREL_OK);
    EXPECT_EQ(trelGetPageMapping("work", "nope", "sch", 3, &mapped), TREL_OK);
    EXPECT_EQ(mapped, 4);

    // A registered unit is never looked up again.
    get(1, nullptr);
    const int calls = service().calls;
    for (int i = 0; i < 10; ++i)
        get(1, nullptr);
    EXPECT_EQ(service().calls, calls);
}

TEST_F(EntryPointTest, LastErrorSurvivesSuccesses) {
    EXPECT_EQ(trelGetActivePageMapping(1, nullptr), TREL_NO_ACTIVE_MAP);
    EXPECT_EQ(lastError(), "No active page map present");
    EXPECT_EQ(trelSetActivePageMapping(1, 2), TREL_NO_ACTIVE_MAP);
    EXPECT_EQ(get(1, nullptr), TREL_NO_MAPPING);
    EXPECT_EQ(trelSavePageMap("work", "other", "sch"), TREL_NOT_LOADED);
    EXPECT_EQ(lastError(), "No active page map present");
}

TEST_F(EntryPointTest, ActivePageMapFollowsOnlyLoadMapFile) {
    makeUnit("work", "top", "sch");
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_CANNOT_READ);
    EXPECT_EQ(trelSetActivePageMapping(1, 10), TREL_OK);
    trelSetPageMapping("work", "top", "sch", 1, 20);  // names another unit: active stays

    int mapped = 0;
    EXPECT_EQ(trelGetActivePageMapping(1, &mapped), TREL_OK);
    EXPECT_EQ(mapped, 10);
    EXPECT_EQ(trelSetActivePageMapping(1, 1), TREL_OK);  // equal pages remove
    EXPECT_EQ(trelGetActivePageMapping(1, &mapped), TREL_NO_MAPPING);

    EXPECT_EQ(trelloadMapFile("work", "top", "sch", 0), TREL_ALREADY_LOADED);
    EXPECT_EQ(trelGetActivePageMapping(1, &mapped), TREL_OK);
    EXPECT_EQ(mapped, 20);
}

TEST_F(EntryPointTest, LoadMapFileLoadsOnceAndReloadReplacesUnsavedPairs) {
    writeFile(mapPath("work", "alu", "sch"), "3 5\n");
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK);
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_ALREADY_LOADED);
    set(8, 9);
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 1), TREL_OK);
    int mapped = 0;
    EXPECT_EQ(trelGetActivePageMapping(8, &mapped), TREL_NO_MAPPING);
    EXPECT_EQ(trelGetActivePageMapping(3, &mapped), TREL_OK);
    EXPECT_EQ(mapped, 5);
}

TEST_F(EntryPointTest, ReloadInModeOneLeavesThePageMapEmpty) {
    trelSetFileMode(1);
    set(8, 9);
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 1), TREL_CANNOT_READ);  // no file yet
    writeFile(mapPath("work", "alu", "sch"), "3 5\n");
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 1), TREL_OK);
    int highest = 1;
    trelGetHighestPageMapping("work", "alu", "sch", &highest);
    EXPECT_EQ(highest, 0);
}

TEST_F(EntryPointTest, ResetForgetsEveryPageMapButNotTheErrorOrMode) {
    set(1, 2);
    trelloadMapFile("work", "alu", "sch", 0);
    trelGetPageMapping("work", "zzz", "sch", 1, nullptr);  // sets the error text
    const std::string error = lastError();

    EXPECT_EQ(trelReset(), TREL_OK);
    EXPECT_EQ(lastError(), error);
    EXPECT_EQ(trelGetActivePageMapping(1, nullptr), TREL_NO_ACTIVE_MAP);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_NOT_LOADED);

    // A unit named after the reset is loaded afresh from its file, in mode 0.
    writeFile(mapPath("work", "alu", "sch"), "1 7\n");
    int mapped = 0;
    EXPECT_EQ(get(1, &mapped), TREL_OK);
    EXPECT_EQ(mapped, 7);
}

TEST_F(EntryPointTest, ResetPageMapClearsEveryPairAndTheMapStaysUsable) {
    for (int page = 1; page <= 50; ++page)
        set(page, -page);
    EXPECT_EQ(trelResetPageMap("work", "alu", "sch"), TREL_OK);
    int out = 1;
    trelGetHighestPageMapping("work", "alu", "sch", &out);
    EXPECT_EQ(out, 0);
    set(4, 5);  // reuses the removed nodes
    EXPECT_EQ(get(4, &out), TREL_OK);
    EXPECT_EQ(out, 5);
}

TEST_F(EntryPointTest, DumpPrintsOneIndentedLinePerPairUnsigned) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(trelDumpPageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    set(-1, 2);
    set(3, -4);
    set(1, 9);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(trelDumpPageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "    Original Page : 1 Mapped Page : 9\n"
              "    Original Page : 3 Mapped Page : 4294967292\n"
              "    Original Page : 4294967295 Mapped Page : 2\n");
}

TEST_F(EntryPointTest, MapFilePathComesFromTheServiceWithTheLatestContext) {
    char *path = trelMapFilePath("work", "alu", "sch");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), mapPath("work", "alu", "sch"));
    trelReleaseMapFilePath(path);  // as a C host does; AddressSanitizer checks the pairing
    EXPECT_EQ(service().lastContext, 0);

    trelInit(1234);
    get(1, nullptr);
    EXPECT_EQ(service().lastContext, 1234);

    trelGetActivePageMapping(1, nullptr);  // sets the error text
    EXPECT_EQ(trelMapFilePath("work", "unknown", "sch"), nullptr);
    EXPECT_EQ(lastError(), "No active page map present");
    EXPECT_EQ(trelSavePageMap("work", "unknown", "sch"), TREL_NOT_LOADED);  // nothing registered
}

}  // namespace
