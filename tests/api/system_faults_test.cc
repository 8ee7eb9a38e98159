// Saves whose system calls fail: every step of writing a new file and
// renaming it, and of rewriting a file in place, is made to fail in turn
// through the system-call seam.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "api/save_fixture.h"
#include "api/faulty_file_system.h"
#include "trel.h"

namespace {

using seam::Call;
using testing_design::DesignTest;
using testing_design::inChild;
using testing_design::listDirectory;
using testing_design::pairsText;
using testing_design::readFile;
using testing_design::writeFile;

using SystemFaultTest = DesignTest;

// Whether a fresh process loads exactly `pairs` now.
bool loadsNow(const std::string &pairs) {
    return inChild([&] {
               trelReset();
               trelloadMapFile("work", "alu", "sch", 0);
               return pairsText("work", "alu", "sch") == pairs ? 0 : 1;
           }) == 0;
}

TEST_F(SystemFaultTest, EveryFailedStepLeavesTheFileAsItWasAndNoTemporary) {
    const std::string dir = makeUnit("work", "alu", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    const std::string link = dir + "/other.map";
    struct Case {
        Call call;
        int skip;
        bool inPlace;  // a second name makes the save rewrite the file in place
    };
    const Case cases[] = {
        {Call::truncate, 0, false}, {Call::mode, 0, false},    {Call::write, 0, false},
        {Call::sync, 0, false},     {Call::rename, 0, false},  {Call::allocate, 0, true},
        {Call::write, 0, true},     {Call::truncate, 0, true}, {Call::sync, 0, true},
    };
    const std::string old = "1 1\n";
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "call " << static_cast<int>(c.call) << ", in place " << c.inPlace);
        trelReset();
        ::unlink(link.c_str());
        writeFile(path, old);
        if (c.inPlace) {
            ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
        }
        for (int page = 2; page < 2000; ++page)
            trelSetPageMapping("work", "alu", "sch", page, -page);
        seam::arm({c.call, c.skip});
        const int status = trelSavePageMap("work", "alu", "sch");
        seam::disarm();
        if (!seam::fired()) {  // a step this save does not take
            EXPECT_EQ(status, TREL_OK);
            continue;
        }
        EXPECT_EQ(status, TREL_CANNOT_WRITE);
        // A failed rename save leaves the file as it was and no temporary; a
        // rewrite in place may leave the kept old content beside the file
        // until the next load, which sees the old pairs.
        if (!c.inPlace) {
            EXPECT_EQ(readFile(path), old);
            EXPECT_EQ(listDirectory(dir), std::vector<std::string>{"page.map"});
        }
        EXPECT_TRUE(loadsNow(old));
        // The map stays modified and the next save succeeds.
        EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
        EXPECT_EQ(readFile(path).substr(0, 4), "1 1\n");
        std::vector<std::string> expected{"page.map"};
        if (c.inPlace) expected.insert(expected.begin(), "other.map");
        EXPECT_EQ(listDirectory(dir), expected);
    }

    // The folder sync after the rename: the new file is in place, but the
    // save cannot promise it survives a power cut, so it reports failure and
    // says so.
    trelReset();
    ::unlink(link.c_str());
    writeFile(path, old);
    trelSetPageMapping("work", "alu", "sch", 5, 6);
    seam::arm({Call::sync, 1});
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    seam::disarm();
    EXPECT_NE(lastError().find("may not be durable"), std::string::npos) << lastError();
    EXPECT_EQ(readFile(path), "1 1\n5 6\n");
    EXPECT_EQ(listDirectory(dir), std::vector<std::string>{"page.map"});
}

// A map file that exists but cannot be read: a save reads it first and
// keeps its pairs, and while it still cannot be read nothing is saved over it.
TEST_F(SystemFaultTest, AFileThatCannotBeReadIsNeverSavedOver) {
    makeUnit("work", "alu", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    writeFile(path, "1 1\n");
    seam::arm({Call::open, 0, false, true});
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_CANNOT_READ);
    seam::disarm();
    EXPECT_EQ(lastError(), "Map file " + path + " cannot be read: Permission denied");
    trelSetPageMapping("work", "alu", "sch", 2, 3);
    seam::arm({Call::read, 0, false, true});
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    seam::disarm();
    EXPECT_NE(lastError().find("cannot be read now"), std::string::npos);
    EXPECT_EQ(readFile(path), "1 1\n");
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path), "1 1\n2 3\n");
}

}  // namespace
