// Map files through the entry points: the text format both ways, the file
// modes, bulk and single saves, and saves that fail without losing the file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <random>
#include <sstream>
#include <string>

#include "api/design_fixture.h"
#include "trel.h"

namespace {

using testing_design::DesignTest;
using testing_design::exists;
using testing_design::listDirectory;
using testing_design::readFile;
using testing_design::writeFile;

class MapFileTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        dir_ = makeUnit("work", "alu", "sch");
        path_ = mapPath("work", "alu", "sch");
    }

    // Loads the unit from `text` (mode 0) and returns its pairs.
    std::map<uint32_t, int> loadText(const std::string &text) {
        writeFile(path_, text);
        trelReset();
        EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK);
        return pairs();
    }

    std::map<uint32_t, int> pairs() {
        std::map<uint32_t, int> result;
        ::testing::internal::CaptureStdout();
        trelDumpPageMap("work", "alu", "sch");
        std::istringstream dump(::testing::internal::GetCapturedStdout());
        std::string line;
        unsigned page = 0;
        unsigned mapped = 0;
        while (std::getline(dump, line) &&
               std::sscanf(line.c_str(), " Original Page : %u Mapped Page : %u", &page, &mapped) ==
                   2) {
            result[page] = static_cast<int>(mapped);
        }
        return result;
    }

    std::string dir_;
    std::string path_;
};

using Pairs = std::map<uint32_t, int>;

TEST_F(MapFileTest, ReadsWhatScanningPairsOfIntegersAccepts) {
    EXPECT_EQ(loadText("3 5\n7 7\n"), (Pairs{{3, 5}, {7, 7}}));  // equal pages are kept
    EXPECT_EQ(loadText("5 1\n5 2\n"), (Pairs{{5, 2}}));          // the later pair wins
    EXPECT_EQ(loadText("1 2 3 4"), (Pairs{{1, 2}, {3, 4}}));
    EXPECT_EQ(loadText(" \t-1\r\n\n +2\v\f8 -9"), (Pairs{{0xFFFFFFFFu, 2}, {8, -9}}));
    EXPECT_EQ(loadText("1-2 3+4"), (Pairs{{1, -2}, {3, 4}}));
    EXPECT_EQ(loadText("-2147483648 2147483647"), (Pairs{{0x80000000u, 2147483647}}));
    EXPECT_EQ(loadText(""), Pairs{});
}

TEST_F(MapFileTest, StopsAtTheFirstTokenThatIsNotAnIntegerAndDropsALoneNumber) {
    EXPECT_EQ(loadText("1 2\nx 3 4\n"), (Pairs{{1, 2}}));
    EXPECT_EQ(loadText("1 2\n3 y\n5 6\n"), (Pairs{{1, 2}}));
    EXPECT_EQ(loadText("1 2\n3 4abc 5 6"), (Pairs{{1, 2}, {3, 4}}));
    EXPECT_EQ(loadText("1 2 - 3"), (Pairs{{1, 2}}));
    // Numbers outside 32 bits count as such tokens.
    EXPECT_EQ(loadText("1 2 2147483648 4 5 6"), (Pairs{{1, 2}}));
    EXPECT_EQ(loadText("1 2 7 -2147483649"), (Pairs{{1, 2}}));
    EXPECT_EQ(loadText("1 2 99999999999999999999999 1"), (Pairs{{1, 2}}));
    // A final lone number has no partner.
    EXPECT_EQ(loadText("1 2\n3\n"), (Pairs{{1, 2}}));
}

TEST_F(MapFileTest, WritesOneLinePerPairInUnsignedOrder) {
    trelSetPageMapping("work", "alu", "sch", -2, 4);
    trelSetPageMapping("work", "alu", "sch", 6, 1);
    trelSetPageMapping("work", "alu", "sch", 0, -2147483647 - 1);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "0 -2147483648\n6 1\n-2 4\n");
}

TEST_F(MapFileTest, LargeMapsRoundTripAcrossReadBlocks) {
    std::mt19937 random(7);
    std::map<uint32_t, int> model;
    for (int i = 0; i < 200000; ++i) {
        int page = static_cast<int>(random());
        int mapped = static_cast<int>(random());
        if (page == mapped) continue;
        trelSetPageMapping("work", "alu", "sch", page, mapped);
        model[static_cast<uint32_t>(page)] = mapped;
    }
    ASSERT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    ASSERT_GT(readFile(path_).size(), size_t{1} << 21);  // spans several read blocks
    trelReset();
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK);
    EXPECT_EQ(pairs(), model);
}

TEST_F(MapFileTest, EmptyMapSavesAnEmptyFileAndMissingFilesAreCreated) {
    int mapped;
    trelGetPageMapping("work", "alu", "sch", 1, &mapped);  // a new page map is modified
    EXPECT_FALSE(exists(path_));
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(path_), "");
}

TEST_F(MapFileTest, BulkSaveWritesModifiedMapsOnlyAndSuccessClearsTheFlag) {
    makeUnit("work", "top", "sch");
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    trelSetPageMapping("work", "top", "sch", 3, 4);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    const std::string top = mapPath("work", "top", "sch");
    EXPECT_EQ(readFile(top), "3 4\n");

    // Changed behind the library's back: an unmodified map is not saved again...
    writeFile(top, "9 9\n");
    trelSetPageMapping("work", "alu", "sch", 5, 6);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(top), "9 9\n");
    EXPECT_EQ(readFile(path_), "1 2\n5 6\n");
    // ...unless every map is asked for.
    EXPECT_EQ(trelSavePageMaps(1), TREL_OK);
    EXPECT_EQ(readFile(top), "3 4\n");
}

TEST_F(MapFileTest, ModeOneTransfersNoPairsAndNeverEmptiesAFile) {
    writeFile(path_, "3 5\n");
    trelSetFileMode(1);
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK);
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping("work", "alu", "sch", 3, &mapped), TREL_NO_MAPPING);
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "3 5\n");

    // Saving in mode 1 writes nothing, so the map stays modified and a later
    // mode-0 bulk save still writes it.
    trelSetFileMode(0);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 2\n");

    // A save in mode 1 creates a missing file without writing to it.
    makeUnit("work", "top", "sch");
    trelSetFileMode(1);
    EXPECT_EQ(trelGetPageMapping("work", "top", "sch", 1, &mapped), TREL_NO_MAPPING);
    EXPECT_EQ(trelSavePageMap("work", "top", "sch"), TREL_OK);
    EXPECT_EQ(readFile(mapPath("work", "top", "sch")), "");
}

// Writes beyond a small file-size limit fail with EFBIG (the signal that
// would end the process is ignored), the way a full disk makes them fail.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int);
};

TEST_F(MapFileTest, FailedSaveLeavesThePreviousFileWholeAndNoTemporary) {
    writeFile(path_, "1 1\n2 2\n");
    for (int page = 0; page < 20000; ++page)
        trelSetPageMapping("work", "alu", "sch", page, -7);
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    }
    EXPECT_EQ(lastError(), "Failed to open map file " + path_ + " for write");
    EXPECT_EQ(readFile(path_), "1 1\n2 2\n");
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});

    // The map stays modified, so the next bulk save writes it.
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    std::string expected;
    for (int page = 0; page < 20000; ++page)
        expected += std::to_string(page) + " -7\n";
    EXPECT_TRUE(readFile(path_) == expected);
}

TEST_F(MapFileTest, SaveThatCannotReplaceTheFileFails) {
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    ASSERT_EQ(::mkdir(path_.c_str(), 0755), 0);  // page.map is a directory
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
    ::rmdir(path_.c_str());
}

TEST_F(MapFileTest, SaveKeepsThePermissionsOfTheReplacedFile) {
    writeFile(path_, "");
    ::chmod(path_.c_str(), 0640);
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    ASSERT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    struct stat info;
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(MapFileTest, UnreadableFileStillRegistersAnEmptyMap) {
    ASSERT_EQ(::mkdir(path_.c_str(), 0755), 0);  // opens, but cannot be read as a file
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping("work", "alu", "sch", 3, &mapped), TREL_NO_MAPPING);
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 1), TREL_CANNOT_READ);
    ::rmdir(path_.c_str());
}

}  // namespace
