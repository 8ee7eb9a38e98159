// Saves that must not lose a map file: bulk saves that report failures, links,
// owners and permissions (as an ordinary user, for whom they bite), saves
// killed midway or racing each other, and memory running out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "api/save_fixture.h"
#include "trel.h"

namespace {

using testing_design::asOrdinaryUser;
using testing_design::DesignTest;
using testing_design::exitStatusOf;
using testing_design::inChild;
using testing_design::kOrdinaryUser;
using testing_design::listDirectory;
using testing_design::readFile;
using testing_design::startChild;
using testing_design::statOf;
using testing_design::writeFile;

void limitMemoryTo(size_t extra);

// Whether an address-space limit bites here: not for a sanitizer's or a
// memory checker's allocator, nor under an emulator that ignores the limit.
bool memoryLimitsWork() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
    return false;
#endif
#endif
    if (readFile("/proc/self/maps").find("vgpreload") != std::string::npos) return false;
    return inChild([] {
               limitMemoryTo(size_t{1} << 20);
               void *big = std::malloc(size_t{64} << 20);
               return big == nullptr ? 0 : 1;
           }) == 0;
}

// Limits the address space to what the process uses now plus `extra` bytes.
void limitMemoryTo(size_t extra) {
    unsigned long pages = 0;
    std::FILE *statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::abort();
    std::fclose(statm);
    rlimit limit = {};
    limit.rlim_cur = limit.rlim_max =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + extra;
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::abort();
}

class SaveSafetyTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        dir_ = makeUnit("work", "alu", "sch");
        path_ = mapPath("work", "alu", "sch");
    }
    // Opens the tree to the ordinary user and gives them the unit's folder.
    bool shareWithOrdinaryUser() { return testing_design::shareWithOrdinaryUser(root_, dir_); }
    void setPairs(int count, int mapped) {
        for (int page = 1; page <= count; ++page)
            trelSetPageMapping("work", "alu", "sch", page, mapped);
    }
    static std::string textOf(int count, int mapped) {
        std::string text;
        for (int page = 1; page <= count; ++page)
            text += std::to_string(page) + " " + std::to_string(mapped) + "\n";
        return text;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(SaveSafetyTest, BulkSaveGoesOnPastAFailureAndReportsIt) {
    makeUnit("work", "top", "sch");
    makeUnit("work", "zzz", "sch");
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    trelSetPageMapping("work", "top", "sch", 3, 4);
    trelSetPageMapping("work", "zzz", "sch", 5, 6);
    ASSERT_EQ(::mkdir(mapPath("work", "top", "sch").c_str(), 0755), 0);  // cannot be written
    EXPECT_EQ(trelSavePageMaps(0), TREL_CANNOT_WRITE);
    EXPECT_EQ(lastError(),
              "Failed to open map file " + mapPath("work", "top", "sch") + " for write");
    EXPECT_EQ(readFile(path_), "1 2\n");
    EXPECT_EQ(readFile(mapPath("work", "zzz", "sch")), "5 6\n");
    // Only the failed map is still modified.
    ::rmdir(mapPath("work", "top", "sch").c_str());
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(listDirectory(root_ + "/work/top/sch"), std::vector<std::string>{"page.map"});
}

TEST_F(SaveSafetyTest, LinksStayLinksAndEveryNameSeesTheNewPairs) {
    // A symbolic link to a map file kept elsewhere: the file is replaced.
    const std::string shared = makeUnit("store", "maps", "all") + "/alu.map";
    writeFile(shared, "1 1\n");
    ASSERT_EQ(::symlink(shared.c_str(), path_.c_str()), 0);
    trelSetPageMapping("work", "alu", "sch", 2, 3);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_TRUE(S_ISLNK(statOf(path_).st_mode));
    EXPECT_EQ(readFile(shared), "1 1\n2 3\n");
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
    EXPECT_EQ(listDirectory(root_ + "/store/maps/all"), std::vector<std::string>{"alu.map"});

    // Hard links: every name keeps sharing the content, also when a size
    // limit refuses a save: the file is then as it was under all of them.
    ::unlink(path_.c_str());
    const std::string other = dir_ + "/other.map";
    ASSERT_EQ(::link(shared.c_str(), path_.c_str()), 0);
    ASSERT_EQ(::link(shared.c_str(), other.c_str()), 0);
    trelSetPageMapping("work", "alu", "sch", 4, 5);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(other), "1 1\n2 3\n4 5\n");
    EXPECT_EQ(statOf(path_).st_ino, statOf(other).st_ino);

    setPairs(20000, 7);
    int status = inChild([] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit saved = {};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &limit);
        const int result = trelSavePageMap("work", "alu", "sch");
        // Whatever the child writes on its way out (coverage counters) is
        // not cut short by the limit.
        setrlimit(RLIMIT_FSIZE, &saved);
        return result;
    });
    EXPECT_EQ(status, TREL_CANNOT_WRITE);
    EXPECT_EQ(readFile(other), "1 1\n2 3\n4 5\n");
    EXPECT_EQ(listDirectory(dir_), (std::vector<std::string>{"other.map", "page.map"}));
}

TEST_F(SaveSafetyTest, ALinkToAMissingFileAndLeftoverTemporariesAreHandled) {
    // A link to a file not made yet: the save makes it, the link stays.
    const std::string store = makeUnit("store", "maps", "all");
    ASSERT_EQ(::symlink((store + "/alu.map").c_str(), path_.c_str()), 0);
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_TRUE(S_ISLNK(statOf(path_).st_mode));
    EXPECT_EQ(readFile(store + "/alu.map"), "1 2\n");
    ::unlink(path_.c_str());

    // A temporary left by a killed save is taken over and removed, whether
    // page.map exists or not; a new page.map gets the usual permissions, not
    // the leftover's.
    const std::string leftover = dir_ + "/page.ma~";
    for (bool mapExists : {false, true}) {
        trelReset();
        ::unlink(path_.c_str());
        if (mapExists) writeFile(path_, "7 7\n");
        writeFile(leftover, "half a sa");
        ::chmod(leftover.c_str(), 0600);
        trelSetPageMapping("work", "alu", "sch", 3, 4);
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
        EXPECT_EQ(readFile(path_), mapExists ? "3 4\n7 7\n" : "3 4\n");
        EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
        if (!mapExists) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            EXPECT_EQ(statOf(path_).st_mode & 0777, 0666u & ~mask);
        }
    }
}

TEST_F(SaveSafetyTest, PermissionsAndOwnersAreKeptForAnOrdinaryUser) {
    if (!shareWithOrdinaryUser()) GTEST_SKIP() << "needs root to switch to an ordinary user";
    trelSetPageMapping("work", "alu", "sch", 1, 2);

    // A file the user may not write is refused as opening it would be, and
    // stays as it was, mode included.
    writeFile(path_, "9 9\n");
    ASSERT_EQ(::chown(path_.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
    ::chmod(path_.c_str(), 0444);
    EXPECT_EQ(asOrdinaryUser([] { return trelSavePageMap("work", "alu", "sch"); }),
              TREL_CANNOT_WRITE);
    EXPECT_EQ(readFile(path_), "9 9\n");
    EXPECT_EQ(statOf(path_).st_mode & 07777, 0444u);

    // A file someone else owns but the user may write keeps its owner: it is
    // rewritten in place.
    ASSERT_EQ(::chown(path_.c_str(), 0, 0), 0);
    ::chmod(path_.c_str(), 0666);
    EXPECT_EQ(asOrdinaryUser([] { return trelSavePageMap("work", "alu", "sch"); }), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 2\n9 9\n");  // the pair written here meanwhile stays
    EXPECT_EQ(statOf(path_).st_uid, 0u);
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});

    // A write-protected folder with a writable file: rewritten in place.
    ASSERT_EQ(::chown(path_.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
    ::chmod(dir_.c_str(), 0555);
    trelSetPageMapping("work", "alu", "sch", 3, 4);
    EXPECT_EQ(asOrdinaryUser([] { return trelSavePageMap("work", "alu", "sch"); }), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 2\n3 4\n9 9\n");
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
    // Without a file to rewrite, nothing can be saved there.
    ::unlink(path_.c_str());
    EXPECT_EQ(asOrdinaryUser([] { return trelSavePageMap("work", "alu", "sch"); }),
              TREL_CANNOT_WRITE);
}

// Saves killed at random moments, and two processes saving at once, always
// leave page.map one complete version and at most one leftover temporary;
// the next good save leaves page.map alone.
TEST_F(SaveSafetyTest, KilledAndRacingSavesNeverPublishAMix) {
    constexpr int kPairs = 50000;
    setPairs(kPairs, 0);
    ASSERT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    // Each saver writes its own version again and again: negative, so that no
    // pair is the identity (which would remove it), and distinct on every line.
    auto saver = [](int version) {
        for (int page = 1; page <= kPairs; ++page)
            trelSetPageMapping("work", "alu", "sch", page, -version);
        for (;;) {
            if (trelSavePageMap("work", "alu", "sch") != TREL_OK) {
                char *error = nullptr;
                trelGetLastError(&error);
                std::fprintf(stderr, "save failed: %s (%s)\n", error, std::strerror(errno));
                return 1;
            }
        }
    };
    std::mt19937 random(3);
    for (int round = 0; round < 30; ++round) {
        std::fflush(nullptr);
        std::vector<pid_t> children;
        for (int version : {1 + round % 7, 8 + round % 5}) {
            if (round % 3 == 0 && version > 7) break;  // some rounds: one saver alone
            pid_t child = fork();
            if (child == 0) _exit(saver(version));
            children.push_back(child);
        }
        usleep(static_cast<useconds_t>(20000 + random() % 40000));
        bool allKilled = true;  // no saver stopped on its own after a failed save
        for (pid_t child : children) {
            ::kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            allKilled = allKilled && WIFSIGNALED(status);
        }
        ASSERT_TRUE(allKilled) << "a save failed in round " << round;
        const std::string text = readFile(path_);
        const int version = std::atoi(text.substr(text.find(' ') + 1).c_str());
        ASSERT_TRUE(text == textOf(kPairs, version) && version <= 0)
            << "round " << round << ": " << text.size() << " bytes, version " << version << " ends "
            << text.substr(text.size() > 40 ? text.size() - 40 : 0);
        EXPECT_LE(listDirectory(dir_).size(), 2u);
    }
    trelSetPageMapping("work", "alu", "sch", 1, -1);
    ASSERT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
}

TEST_F(SaveSafetyTest, EveryPathThatFitsCanBeSavedWithItsTemporary) {
    // A map file path of the longest length accepted, 259 characters.
    const std::string fixed = root_ + "/l/c/";
    const std::string view(259 - fixed.size() - std::string("/page.map").size(), 'v');
    makeUnit("l", "c", view);
    ASSERT_EQ(mapPath("l", "c", view).size(), 259u);
    trelSetPageMapping("l", "c", view.c_str(), 1, 2);
    EXPECT_EQ(trelSavePageMap("l", "c", view.c_str()), TREL_OK);
    EXPECT_EQ(readFile(mapPath("l", "c", view)), "1 2\n");
}

TEST_F(SaveSafetyTest, RunningOutOfMemoryEndsTheProcessLikeThePool) {
    if (!memoryLimitsWork()) GTEST_SKIP() << "address-space limits do not bite here";
    setPairs(300000, 5);
    // Formatting the file text takes megabytes the process is not given.
    EXPECT_EXIT(
        {
            limitMemoryTo(size_t{1} << 20);
            trelSavePageMap("work", "alu", "sch");
            std::exit(0);
        },
        ::testing::ExitedWithCode(255), "malloc: Cannot allocate memory");
}

TEST_F(SaveSafetyTest, HugeRunsOfBlanksAndZerosLoadInFixedMemory) {
    if (!memoryLimitsWork()) GTEST_SKIP() << "address-space limits do not bite here";
    {
        std::ofstream out(path_, std::ios::binary);
        const std::string blanks(1 << 20, ' ');
        const std::string zeros(1 << 20, '0');
        for (int i = 0; i < 64; ++i)
            out << blanks;
        out << '-';
        for (int i = 0; i < 64; ++i)
            out << zeros;
        out << "12\n";
        for (int i = 0; i < 64; ++i)
            out << blanks;
        out << "34";
    }
    ASSERT_EQ(statOf(path_).st_size, (192 << 20) + 6);
    int status = inChild([] {
        limitMemoryTo(size_t{8} << 20);
        int mapped = 0;
        if (trelloadMapFile("work", "alu", "sch", 0) != TREL_OK) return 1;
        return trelGetPageMapping("work", "alu", "sch", -12, &mapped) == TREL_OK && mapped == 34
                   ? 0
                   : 2;
    });
    EXPECT_EQ(status, 0);
}

}  // namespace
