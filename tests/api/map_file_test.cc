// Map files through the entry points: the text format both ways, the file
// modes, bulk and single saves, and saves that fail without losing the file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

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

TEST_F(MapFileTest, DamagedFileKeepsThePairsBeforeTheStopAndIsNeverSavedOver) {
    struct Case {
        std::string text;
        Pairs before;
        int line;  // where reading stopped
    };
    const Case cases[] = {
        {"1 2\nx 3 4\n", {{1, 2}}, 2},
        {"1 2\n3 y\n5 6\n", {{1, 2}}, 2},
        {"1 2\n3 4abc 5 6", {{1, 2}, {3, 4}}, 2},
        {"1 2 - 3", {{1, 2}}, 1},
        // Numbers outside 32 bits stop reading too.
        {"1 2\n\n2147483648 4 5 6", {{1, 2}}, 3},
        {"1 2 7 -2147483649", {{1, 2}}, 1},
        {"1 2 99999999999999999999999 1", {{1, 2}}, 1},
        // A final lone number has no partner.
        {"1 2\n3\n", {{1, 2}}, 2},
        // Where a run of blanks or zeros longer than a read block hides the stop.
        {"1 2" + std::string(3 << 20, ' ') + "\n\n0 x", {{1, 2}}, 3},
        {"1 -" + std::string(3 << 20, '0') + "2\n\n7", {{1, -2}}, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        const std::string &text = c.text;
        writeFile(path_, text);
        trelReset();
        EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_CANNOT_READ);
        EXPECT_EQ(lastError(), "Map file " + path_ + " is damaged at line " +
                                   std::to_string(c.line) + ": only the pairs before it were read");
        EXPECT_EQ(pairs(), c.before);
        // Saving would drop everything after the stop: refused, single or bulk.
        trelSetPageMapping("work", "alu", "sch", 9, 9 + 1);
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
        EXPECT_NE(lastError().find(path_ + " was read only up to its damaged line " +
                                   std::to_string(c.line)),
                  std::string::npos)
            << lastError();
        EXPECT_EQ(trelSavePageMaps(0), TREL_CANNOT_WRITE);
        EXPECT_TRUE(readFile(path_) == text);
    }

    // A reload of the repaired file lifts the refusal...
    writeFile(path_, "1 2\n3 4\n");
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 1), TREL_OK);
    trelSetPageMapping("work", "alu", "sch", 5, 6);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 2\n3 4\n5 6\n");
    // ...and so does a clear the host asked for: the empty map may replace it.
    writeFile(path_, "1 2\nbroken\n");
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 1), TREL_CANNOT_READ);
    EXPECT_EQ(trelResetPageMap("work", "alu", "sch"), TREL_OK);
    trelSetPageMapping("work", "alu", "sch", 7, 8);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "7 8\n");
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

    // Saved by someone else meanwhile: an unmodified map is not saved again...
    writeFile(top, "9 9\n");
    trelSetPageMapping("work", "alu", "sch", 5, 6);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(top), "9 9\n");
    EXPECT_EQ(readFile(path_), "1 2\n5 6\n");
    // ...and even when every map is asked for, one that changed nothing since
    // takes the newer pairs instead of writing its old ones over them.
    EXPECT_EQ(trelSavePageMaps(1), TREL_OK);
    EXPECT_EQ(readFile(top), "9 9\n");
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping("work", "top", "sch", 9, &mapped), TREL_OK);
    EXPECT_EQ(trelGetPageMapping("work", "top", "sch", 3, &mapped), TREL_NO_MAPPING);
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

    // The map holds none of its file's pairs, so after a switch to mode 0 no
    // save may replace the file, not even the bulk save of a map only looked up.
    makeUnit("work", "top", "sch");
    const std::string top = mapPath("work", "top", "sch");
    writeFile(top, "4 4\n");
    EXPECT_EQ(trelGetPageMapping("work", "top", "sch", 4, &mapped), TREL_NO_MAPPING);
    trelSetFileMode(0);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    EXPECT_EQ(lastError(), "Map file " + path_ +
                               " was not read in file mode 0; saving would lose its pairs: reload "
                               "it in mode 0, or reset the page map to replace it");
    EXPECT_EQ(trelSavePageMaps(0), TREL_CANNOT_WRITE);
    EXPECT_EQ(readFile(path_), "3 5\n");
    EXPECT_EQ(readFile(top), "4 4\n");

    // A reload in mode 0 brings the file's pairs and lifts the refusal.
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 1), TREL_OK);
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 2\n3 5\n");

    // A unit without a map file has nothing to lose: a save in mode 1 creates
    // the file without writing to it, and a later mode-0 save writes the pairs.
    makeUnit("work", "new", "sch");
    trelSetFileMode(1);
    trelSetPageMapping("work", "new", "sch", 1, 2);
    EXPECT_EQ(trelSavePageMap("work", "new", "sch"), TREL_OK);
    EXPECT_EQ(readFile(mapPath("work", "new", "sch")), "");
    trelSetFileMode(0);
    EXPECT_EQ(trelSavePageMap("work", "new", "sch"), TREL_OK);
    EXPECT_EQ(readFile(mapPath("work", "new", "sch")), "1 2\n");
}

#if !defined(_WIN32)
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
#endif

TEST_F(MapFileTest, FailedSaveLeavesThePreviousFileWholeAndNoTemporary) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no per-process file-size limit to make writes fail";
#else
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
#endif
}

TEST_F(MapFileTest, SaveThatCannotReplaceTheFileFails) {
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    ASSERT_EQ(::mkdir(path_.c_str(), 0755), 0);  // page.map is a directory
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
    ::rmdir(path_.c_str());
}

TEST_F(MapFileTest, SaveKeepsThePermissionsOfTheReplacedFile) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows files have no POSIX permission bits to keep";
#endif
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
