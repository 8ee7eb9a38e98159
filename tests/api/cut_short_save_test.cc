// A save is cut short at each file-system call it makes in turn: the file
// system dies there, closing what it held open, and what was written since
// a sync may be noise; or that call fails with an I/O error. The map file has one name (saved by
// rename, or in place on Windows), or two: the page.map of two units, one hard-linked to the other,
// rewritten in place through the first while another host then works through the second, and later
// through the first. Whatever the moment: a load through either name finds the old pairs or the new
// ones, never a mix, and the new ones after a save that returned 0; a save that returned 0 is found
// by every later load through either name; and a name that cannot put the file back refuses rather
// than reading or saving over a torn file. The file system dies in place of the process, so the
// case runs on every platform, Windows under Wine included.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "api/design_fixture.h"
#include "api/faulty_file_system.h"
#include "trel.h"

namespace {

using testing_design::DesignTest;
using testing_design::writeFile;

constexpr int kPages = 40;
constexpr int kLatePage = 999;  // saved through the second name afterwards

class CutShortSaveTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        seam::useTestClock(0);  // a wait for a lock gives up at once
        makeUnit("work", "alu", "sch");
        makeUnit("work", "lnk", "sch");
    }
    void TearDown() override {
        seam::disarm();
        seam::pretendWindows(false);
        seam::useSystemClock();
        DesignTest::TearDown();
    }

    // The pairs of pages 1..kPages and kLatePage as the unit's page map holds
    // them: "old", "new", "old+late", "new+late", or the pairs themselves.
    static std::string version(const char *cell) {
        std::string text;
        int old = 0, now = 0;
        for (int page = 1; page <= kPages; ++page) {
            int mapped = 0;
            if (trelGetPageMapping("work", cell, "sch", page, &mapped) != TREL_OK) continue;
            text += std::to_string(page) + ":" + std::to_string(mapped) + " ";
            old += mapped == -page;
            now += mapped == -page - 1000;
        }
        int late = 0;
        const bool hasLate = trelGetPageMapping("work", cell, "sch", kLatePage, &late) == TREL_OK;
        const std::string name = old == kPages ? "old" : now == kPages ? "new" : text;
        return name + (hasLate ? "+late" : "");
    }

    // The old pairs, in one file with one name or two, loaded through the first.
    void prepare(bool linked) {
        namespace fs = std::filesystem;
        trelReset();
        for (const char *cell : {"alu", "lnk"})
            for (const auto &entry : fs::directory_iterator(root_ + "/work/" + cell + "/sch"))
                fs::remove(entry.path());
        std::string text;
        for (int page = 1; page <= kPages; ++page)
            text += std::to_string(page) + " " + std::to_string(-page) + "\n";
        writeFile(mapPath("work", "alu", "sch"), text);
        if (linked)
            fs::create_hard_link(mapPath("work", "alu", "sch"), mapPath("work", "lnk", "sch"));
        ASSERT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK);
    }

    // A load through the unit's name from scratch: its version, or
    // "refused" after a refusal that names the other name's journal.
    static std::string freshLoad(const char *cell, std::string *fault) {
        trelReset();
        if (trelloadMapFile("work", cell, "sch", 0) == TREL_OK) return version(cell);
        if (lastError().find("through the name with") == std::string::npos)
            *fault = std::string("a load through ") + cell + " failed: " + lastError();
        return "refused";
    }

    // One name: the next load finds the old pairs or the new ones (the new
    // ones after a save that returned 0), and the next save is kept. Empty,
    // or what went wrong.
    static std::string afterCutThroughOneName(const std::string &at, bool saved) {
        std::string fault;
        const std::string seen = freshLoad("alu", &fault);
        if (!fault.empty() || (seen != "new" && (saved || seen != "old")))
            return at + "loaded " + seen + fault;
        trelSetPageMapping("work", "alu", "sch", kLatePage, -kLatePage);
        if (trelSavePageMap("work", "alu", "sch") != TREL_OK)
            return at + "the next save failed: " + lastError();
        const std::string after = freshLoad("alu", &fault);
        return after == seen + "+late" ? "" : at + "after the next save " + after;
    }
};

TEST_F(CutShortSaveTest, SaveCutShortAtAnyCallLosesNothingThroughAnyName) {
    trelSetFileMode(TREL_FILE_MODE_TEXT);
    int points = 0;
    // Each call in turn is cut short, torn (a write hands on half its bytes
    // first) or failed with its kind's error, the file system staying alive.
    enum Mode { cut, torn, failed };
    const char *const modeNames[] = {"cut", "torn", "failed"};
    // Elsewhere than on Windows, a second round goes as on Windows (every
    // save a rewrite in place, marks without a name).
#if defined(_WIN32)
    for (const bool asWindows : {false}) {
#else
    for (const bool asWindows : {false, true}) {
#endif
        seam::pretendWindows(asWindows);
        for (const bool linked : {false, true}) {
            for (const Mode mode : {cut, torn, failed}) {
                for (int skip = 0;; ++skip) {
                    prepare(linked);
                    for (int page = 1; page <= kPages; ++page)
                        trelSetPageMapping("work", "alu", "sch", page, -page - 1000);
                    seam::Plan plan;
                    plan.skip = skip;
                    plan.kill = mode != failed;
                    plan.tear = mode == torn;
                    plan.stayAlive = true;
                    seam::arm(plan);
                    const bool returned = trelSavePageMap("work", "alu", "sch") == TREL_OK;
                    const bool cut = seam::fired();
                    // A save cut short never returns: the process ended with it.
                    const bool saved = returned && !(cut && plan.kill);
                    seam::disarm();
                    if (!cut) break;  // the whole rewrite ran: every call was a point
                    ++points;
                    const std::string at = std::string(asWindows ? "as on Windows, " : "") +
                                           (linked ? "two names, " : "one name, ") +
                                           modeNames[mode] + " at call " + std::to_string(skip) +
                                           ": ";
                    if (!linked) {
                        ASSERT_EQ(afterCutThroughOneName(at, saved), "");
                        continue;
                    }

                    // Another host, through the second name: a load, then a save of
                    // one more page.
                    std::string fault;
                    const std::string seen = freshLoad("lnk", &fault);
                    ASSERT_EQ(fault, "") << at;
                    // A refusal names the first name, which puts the file back; a
                    // mark that could not be removed after a save that returned 0
                    // leaves one too, where the mark holds no name.
                    ASSERT_TRUE(seen == "new" || seen == "refused" || (!saved && seen == "old"))
                        << at << seen;
                    trelSetPageMapping("work", "lnk", "sch", kLatePage, -kLatePage);
                    bool lateSaved = trelSavePageMap("work", "lnk", "sch") == TREL_OK;
                    ASSERT_TRUE(lateSaved || seen == "refused") << at << lastError();

                    // Through the first name, which holds the journal.
                    const std::string first = freshLoad("alu", &fault);
                    ASSERT_EQ(fault, "") << at;
                    ASSERT_TRUE(first == (seen == "new" ? "new+late" : "old+late") ||
                                (!lateSaved && (first == "old" || first == "new")))
                        << at << "through lnk " << seen << ", then through alu " << first;
                    ASSERT_TRUE(!saved || first.compare(0, 3, "new") == 0) << at << first;
                    if (!lateSaved) {
                        // Put back through the first name: the second name saves now.
                        trelReset();
                        trelSetPageMapping("work", "lnk", "sch", kLatePage, -kLatePage);
                        ASSERT_EQ(trelSavePageMap("work", "lnk", "sch"), TREL_OK)
                            << at << lastError();
                        const std::string base = first;
                        ASSERT_EQ(freshLoad("alu", &fault), base + "+late") << at;
                    }
                    ASSERT_EQ(freshLoad("lnk", &fault), freshLoad("alu", &fault)) << at;
                }
            }
        }
    }
    seam::pretendWindows(false);
    EXPECT_GT(points, 60);  // a save makes many calls; each was a point
}

}  // namespace
