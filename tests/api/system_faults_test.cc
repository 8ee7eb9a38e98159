// Loads and saves whose file-system calls fail, through the faulting file
// system: every step of writing a new file and renaming it, and of rewriting
// a file in place; journals that cannot be put back or read; and file times
// too coarse to tell two saves apart.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "api/faulty_file_system.h"
#include "api/save_fixture.h"
#include "api/torn_rewrite.h"
#include "files/file_system.h"
#include "files/map_lock.h"
#include "files/rewrite_journal.h"
#include "trel.h"

namespace {

using seam::Call;
using testing_design::DesignTest;
using testing_design::exists;
using testing_design::inChild;
using testing_design::leaveTornRewrite;
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

// A journal that cannot be put back, or cannot be read, is kept, and nothing
// reads or saves over the torn file beside it as if it were whole: loads
// read the old pairs or refuse, naming the journal; saves refuse. Once the
// fault is gone, the next use puts the old pairs back.
TEST_F(SystemFaultTest, AJournalIsNeverLostAndNeverTakenForNone) {
    const std::string dir = makeUnit("work", "alu", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    const std::string journal = dir + "/page.ma~";
    const std::string old = "1 1\n2 2\n3 3\n";
    const std::string torn = "1 9\n2 9\n";
    const seam::Plan none = {Call::any, 1000};
    struct Case {
        const char *name;
        seam::Plan load, save;  // the faults a load and a save meet
        bool loadRefuses;       // else it reads the old pairs from the journal
        bool contentHeld;       // another host reads the file meanwhile
    };
    const Case cases[] = {
        // The restore's writes or its sync fail, or another host keeps
        // reading the file (through a second name, say).
        {"restore cannot write",
         {Call::write, 0, false, true},
         {Call::write, 0, false, true},
         false,
         false},
        {"restore cannot sync",
         {Call::sync, 0, false, true},
         {Call::sync, 0, false, true},
         false,
         false},
        {"content lock held", none, none, false, true},
        // The journal cannot be opened (another user's, of another group) or
        // read.
        {"journal not opened",
         {Call::open, 1, false, true},
         {Call::open, 2, false, true},
         true,
         false},
        {"journal not read",
         {Call::read, 0, false, true},
         {Call::read, 0, false, true},
         true,
         false},
    };
    seam::useTestClock(0);  // waits give up at once
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        trelReset();
        leaveTornRewrite(path, old, torn);
        trel::FileSystem &files = trel::systemFileSystem();
        trel::NativeFile reader = files.open(path, trel::OpenMode());
        if (c.contentHeld) {
            ASSERT_TRUE(files.tryLock(reader, trel::lockOffset(trel::MapLock::content), false));
        }
        seam::arm(c.load);
        const int loaded = trelloadMapFile("work", "alu", "sch", 0);
        seam::disarm();
        if (c.loadRefuses) {
            EXPECT_EQ(loaded, TREL_CANNOT_READ);
            EXPECT_NE(lastError().find(journal), std::string::npos) << lastError();
        } else {
            EXPECT_EQ(loaded, TREL_OK) << lastError();
            EXPECT_EQ(pairsText("work", "alu", "sch"), old);
        }
        EXPECT_TRUE(exists(journal));
        trelSetPageMapping("work", "alu", "sch", 4, 4);
        seam::arm(c.save);
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
        seam::disarm();
        EXPECT_TRUE(exists(journal)) << lastError();
        files.close(reader);
        EXPECT_TRUE(loadsNow(old));
        EXPECT_EQ(listDirectory(dir), std::vector<std::string>{"page.map"});
    }
    seam::useSystemClock();
}

// On a file system whose times move in coarse ticks (and keep no change
// time), another process's save of the same size within the tick of this
// page map's sync point leaves the file's identity as it was: the save still
// sees it, by its digest, and keeps its pairs, whether this host's clock
// agrees with the file system's or runs ahead of it or behind (a share's).
struct ClockSkew {
    const char *name;
    int64_t tickNs;        // of the file times
    int64_t hostOffsetNs;  // this host's clock less the file system's
    bool intoTheTick;      // the host's clock stands one second into a tick
};

void PrintTo(const ClockSkew &row, std::ostream *out) {
    *out << row.name;
}

class SameSizeSaveTest : public DesignTest, public testing::WithParamInterface<ClockSkew> {};

TEST_P(SameSizeSaveTest, IsNotOverwrittenWithinOneTick) {
    const ClockSkew &skew = GetParam();
    const std::string dir = makeUnit("work", "alu", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    const std::string other = dir + "/other.map";
    const int64_t now = trel::systemClock().wallNs();
    seam::coarsenTimes(skew.tickNs, true);
    const int64_t host = skew.intoTheTick ? now - now % skew.tickNs + 1000000000 : now;
    seam::useTestClock(host + skew.hostOffsetNs);
    for (const bool linked : {false, true}) {  // by rename; in place
        SCOPED_TRACE(linked ? "in place" : "by rename");
        trelReset();
        ::unlink(other.c_str());
        writeFile(path, "1 1\n2 2\n");
        if (linked) {
            ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
        }
        for (int round = 0; round < 2; ++round) {
            // The first round from a load, the second from this save.
            if (round == 0) {
                ASSERT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK);
            }
            // Another process's save, in place, of the same size.
            const std::string before = readFile(path);
            std::string changed = before;
            changed[changed.find("2 ") + 2] = round == 0 ? '7' : '8';
            const int fd = ::open(path.c_str(), O_WRONLY);
            ASSERT_EQ(::pwrite(fd, changed.data(), changed.size(), 0),
                      static_cast<ssize_t>(changed.size()));
            ::close(fd);
            trelSetPageMapping("work", "alu", "sch", 5 + round, 50);
            ASSERT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK) << lastError();
            EXPECT_EQ(readFile(path), round == 0 ? "1 1\n2 7\n5 50\n" : "1 1\n2 8\n5 50\n6 50\n");
        }
    }
    seam::useSystemClock();
    seam::coarsenTimes(0, false);
}

constexpr int64_t kSecond = 1000000000;
INSTANTIATE_TEST_SUITE_P(
    Clocks, SameSizeSaveTest,
    testing::Values(ClockSkew{"HourTicks", 3600 * kSecond, 0, true},
                    ClockSkew{"HostAheadOfTheFileSystem", kSecond, 5 * kSecond, false},
                    ClockSkew{"HostBehindTheFileSystem", kSecond, -5 * kSecond, false}),
    [](const testing::TestParamInfo<ClockSkew> &row) { return std::string(row.param.name); });

// A load that registers the unit reads its file once, reload or not: with a
// lock held elsewhere, a second read would double the wait.
TEST_F(SystemFaultTest, ALoadThatRegistersTheUnitReadsTheFileOnce) {
    makeUnit("work", "alu", "sch");
    writeFile(mapPath("work", "alu", "sch"), "1 1\n");
    int opens[2] = {};
    for (const int reload : {0, 1}) {
        trelReset();
        int trace[2];
        ASSERT_EQ(::pipe(trace), 0);
        seam::arm({Call::open, 1000}, trace[1]);
        EXPECT_EQ(trelloadMapFile("work", "alu", "sch", reload), TREL_OK);
        seam::disarm();
        ::close(trace[1]);
        char block[4096];
        for (ssize_t got; (got = ::read(trace[0], block, sizeof block)) > 0;)
            opens[reload] += static_cast<int>(std::count(block, block + got, '\n'));
        ::close(trace[0]);
    }
    EXPECT_EQ(opens[1], opens[0]);
}

}  // namespace
