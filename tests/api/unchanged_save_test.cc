// Saves that find the map file holding what they would write publish
// nothing: the file keeps its inode and times. A unit without a file is
// still given one.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "trel.h"

namespace {

using testing_design::DesignTest;
using testing_design::listDirectory;
using testing_design::readFile;
using testing_design::writeFile;

// What a rewrite of a file moves, by rename (the inode) or in place (the times).
struct Identity {
    ino_t inode;
    timespec modified;
    timespec changed;
};

Identity identityOf(const std::string &path) {
    struct stat info = {};
    ::stat(path.c_str(), &info);
    return {info.st_ino, info.st_mtim, info.st_ctim};
}

bool same(const Identity &a, const Identity &b) {
    return a.inode == b.inode && a.modified.tv_sec == b.modified.tv_sec &&
           a.modified.tv_nsec == b.modified.tv_nsec && a.changed.tv_sec == b.changed.tv_sec &&
           a.changed.tv_nsec == b.changed.tv_nsec;
}

class UnchangedSaveTest : public DesignTest {
  protected:
    struct Unit {
        const char *cell;
        const char *text;  // the map file's; null: no file
        std::string path;
        Identity identity;
    };

    void SetUp() override {
        DesignTest::SetUp();
        for (Unit &unit : units_) {
            makeUnit("work", unit.cell, "sch");
            unit.path = mapPath("work", unit.cell, "sch");
            if (unit.text != nullptr) writeFile(unit.path, unit.text);
            unit.identity = identityOf(unit.path);
        }
    }

    // Checks that every file is as the set-up wrote it, same identity and
    // bytes, and that no folder keeps a temporary.
    void expectUntouched(const char *when) {
        SCOPED_TRACE(when);
        for (const Unit &unit : units_) {
            if (unit.text == nullptr) continue;
            EXPECT_TRUE(same(identityOf(unit.path), unit.identity)) << unit.cell;
            EXPECT_EQ(readFile(unit.path), unit.text) << unit.cell;
            EXPECT_EQ(listDirectory(root_ + "/work/" + unit.cell + "/sch"),
                      std::vector<std::string>{"page.map"})
                << unit.cell;
        }
    }

    // Files the library would write otherwise (out of order, spaced) show a
    // rewrite in their bytes as well. The edited one is compared by its text.
    Unit units_[4] = {
        {"looked", "3 4\n1 2\n", {}, {}},   // only looked up
        {"edited", "5 6\n7 8\n", {}, {}},   // edited back to the file's pairs
        {"reloaded", "9 9  -1 0", {}, {}},  // edited, then reloaded
        {"missing", nullptr, {}, {}},       // no file yet
    };
};

TEST_F(UnchangedSaveTest, SavesPublishNothingWhenTheFileHoldsThePairsAlready) {
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping("work", "looked", "sch", 3, &mapped), TREL_OK);
    EXPECT_EQ(trelSetPageMapping("work", "edited", "sch", 5, 1), TREL_OK);
    EXPECT_EQ(trelSetPageMapping("work", "edited", "sch", 5, 6), TREL_OK);
    EXPECT_EQ(trelSetPageMapping("work", "edited", "sch", 2, 2), TREL_OK);  // no pair to remove
    EXPECT_EQ(trelSetPageMapping("work", "reloaded", "sch", 9, 1), TREL_OK);
    EXPECT_EQ(trelloadMapFile("work", "reloaded", "sch", 1), TREL_OK);  // the flag stays set
    EXPECT_EQ(trelGetPageMapping("work", "missing", "sch", 1, &mapped), TREL_NO_MAPPING);

    // The bulk save of the modified maps creates the missing file, empty, and
    // publishes nothing else.
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(units_[3].path), "");
    expectUntouched("first bulk save");
    units_[3].text = "";
    units_[3].identity = identityOf(units_[3].path);
    // Saving every map, or one at a time, changes nothing either.
    EXPECT_EQ(trelSavePageMaps(1), TREL_OK);
    for (const Unit &unit : units_)
        EXPECT_EQ(trelSavePageMap("work", unit.cell, "sch"), TREL_OK) << unit.cell;
    expectUntouched("saves of every map");

    // Units loaded afresh are unmodified: a bulk save of the modified ones
    // opens none of them, and an edit writes only its own file.
    trelReset();
    for (const Unit &unit : units_)
        EXPECT_EQ(trelloadMapFile("work", unit.cell, "sch", 0), TREL_OK) << unit.cell;
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    expectUntouched("bulk save after loading");
    EXPECT_EQ(trelSetPageMapping("work", "looked", "sch", 1, 5), TREL_OK);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(units_[0].path), "1 5\n3 4\n");
    EXPECT_FALSE(same(identityOf(units_[0].path), units_[0].identity));
    units_[0] = {"looked", "1 5\n3 4\n", units_[0].path, identityOf(units_[0].path)};
    expectUntouched("bulk save of one edit");
}

}  // namespace
