// Saves that must not lose a map file: bulk saves that report failures, links,
// owners, permissions and attributes (as an ordinary user, for whom they
// bite), saves killed midway, racing each other or waiting for the lock,
// files changed behind a page map's back, and memory running out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
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
#include "api/faulty_file_system.h"
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

// Bulk saves go in the order the units were registered: a lookup that failed
// before a unit's folder existed registers nothing and takes no place, so the
// last failure reported is that of the unit registered last.
TEST_F(SaveSafetyTest, BulkSavesFollowTheOrderOfRegistration) {
    int mapped = 0;
    EXPECT_EQ(trelGetPageMapping("work", "zzz", "sch", 1, &mapped), TREL_BAD_SPEC);
    makeUnit("work", "top", "sch");
    trelSetPageMapping("work", "top", "sch", 3, 4);
    trelSetPageMapping("work", "alu", "sch", 1, 2);
    makeUnit("work", "zzz", "sch");
    trelSetPageMapping("work", "zzz", "sch", 5, 6);
    for (const char *cell : {"top", "alu", "zzz"}) {
        ASSERT_EQ(::mkdir(mapPath("work", cell, "sch").c_str(), 0755), 0);  // cannot be written
    }
    EXPECT_EQ(trelSavePageMaps(0), TREL_CANNOT_WRITE);
    EXPECT_EQ(lastError(),
              "Failed to open map file " + mapPath("work", "zzz", "sch") + " for write");
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

    // A write-protected folder with a writable file: there is no room beside
    // it for the old content a rewrite in place keeps, so nothing is saved.
    ASSERT_EQ(::chown(path_.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
    ::chmod(dir_.c_str(), 0555);
    trelSetPageMapping("work", "alu", "sch", 3, 4);
    EXPECT_EQ(asOrdinaryUser([] { return trelSavePageMap("work", "alu", "sch"); }),
              TREL_CANNOT_WRITE);
    EXPECT_EQ(readFile(path_), "1 2\n9 9\n");
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
    // Without a file to rewrite, nothing can be saved there.
    ::unlink(path_.c_str());
    EXPECT_EQ(asOrdinaryUser([] { return trelSavePageMap("work", "alu", "sch"); }),
              TREL_CANNOT_WRITE);
}

// Saves killed at points the faulting file system picks, one per saver and
// round (what a saver wrote since its last sync is scrambled, as a power cut
// may leave it), and two processes saving at once, always leave page.map one
// complete version and at most one leftover temporary; the next good save
// leaves page.map alone.
TEST_F(SaveSafetyTest, KilledAndRacingSavesNeverPublishAMix) {
    constexpr int kPairs = 10000;
    // A saver is killed before one of its first file-system calls: a save by
    // rename makes a dozen or so, and more while it waits for the other's
    // lock, so the kill lands in any step of its first few saves.
    constexpr int kKillWithin = 60;
    setPairs(kPairs, 0);
    ASSERT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    // Each saver saves versions of its own, two in turn, so that every save
    // publishes: negative, so that no pair is the identity (which would
    // remove it), and distinct on every line.
    auto saver = [](int version, const seam::Plan &killAt) {
        seam::arm(killAt);
        for (int turn = 0;; ++turn) {
            for (int page = 1; page <= kPairs; ++page)
                trelSetPageMapping("work", "alu", "sch", page, -(version + 20 * (turn % 2)));
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
            seam::Plan killAt;
            killAt.kill = true;
            killAt.skip = static_cast<int>(random() % kKillWithin);
            killAt.tear = round % 2 == 1;  // a write met there hands on half its bytes first
            pid_t child = fork();
            if (child == 0) _exit(saver(version, killAt));
            children.push_back(child);
        }
        bool allKilled = true;  // no saver stopped on its own after a failed save
        for (pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            allKilled = allKilled && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
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

// A valid map file of 192 MiB: the pair -12 34 among runs of blanks and zeros.
void writeHugeFile(const std::string &path) {
    std::ofstream out(path, std::ios::binary);
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

TEST_F(SaveSafetyTest, HugeRunsOfBlanksAndZerosLoadInFixedMemory) {
    if (!memoryLimitsWork()) GTEST_SKIP() << "address-space limits do not bite here";
    writeHugeFile(path_);
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

// A merge reads the file another process saved in the same fixed block.
TEST_F(SaveSafetyTest, AMergeWithAHugeFileTakesFixedMemory) {
    if (!memoryLimitsWork()) GTEST_SKIP() << "address-space limits do not bite here";
    writeFile(path_, "5 6\n");
    const std::string path = path_;
    const int status = inChild([&] {
        if (trelloadMapFile("work", "alu", "sch", 0) != TREL_OK) return 1;
        trelSetPageMapping("work", "alu", "sch", 7, 8);
        writeHugeFile(path);  // as another process's save would
        limitMemoryTo(size_t{8} << 20);
        return trelSavePageMap("work", "alu", "sch");
    });
    ASSERT_EQ(status, TREL_OK);
    ASSERT_LT(statOf(path_).st_size, 100);
    EXPECT_EQ(readFile(path_), "7 8\n-12 34\n");
}

// Another process holds the save lock past the wait: the save gives up, and
// leaves the file and the folder as they were. The holder locks the save
// byte every build and platform locks (at 2^62, as a Windows host does), or
// the one an earlier build locks (byte 0).
TEST_F(SaveSafetyTest, ASaveGivesUpWhenAnotherProcessHoldsTheLockTooLong) {
    for (const off_t saveByte : {off_t{1} << 62, off_t{0}}) {
        SCOPED_TRACE(testing::Message() << "save byte " << saveByte);
        writeFile(path_, "1 1\n");
        trelReset();
        trelSetPageMapping("work", "alu", "sch", 2, 3);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const std::string path = path_;
        const pid_t holder = startChild([&] {
            alarm(60);  // never outlives the test
            const int fd = ::open(path.c_str(), O_RDWR);
            struct flock first = {};
            first.l_type = F_WRLCK;
            first.l_whence = SEEK_SET;
            first.l_start = saveByte;
            first.l_len = 1;
            const char held = fd >= 0 && fcntl(fd, F_SETLK, &first) == 0 ? 'y' : 'n';
            if (::write(ready[1], &held, 1) != 1) return 1;
            pause();
            return 0;
        });
        ::close(ready[1]);
        char held = 'n';
        EXPECT_EQ(::read(ready[0], &held, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(held, 'y');
        seam::useTestClock(0);  // the wait runs out at once
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
        seam::useSystemClock();
        EXPECT_EQ(lastError(), "Map file " + path_ +
                                   " is being saved by another process; gave up waiting for it");
        ::kill(holder, SIGKILL);
        exitStatusOf(holder);
        EXPECT_EQ(readFile(path_), "1 1\n");
        EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
        EXPECT_EQ(readFile(path_), "1 1\n2 3\n");
    }
}

// A temporary another user left is removed where the folder allows it, and
// never makes the ordinary user's save fail: without page.map, with one of
// their own (saved by rename), and with one owned by root (rewritten in place).
TEST_F(SaveSafetyTest, AnotherUsersLeftoverTemporaryIsRemoved) {
    if (!shareWithOrdinaryUser()) GTEST_SKIP() << "needs root to switch to an ordinary user";
    const std::string leftover = dir_ + "/page.ma~";
    const uid_t noFile = 1;
    for (uid_t owner : {noFile, kOrdinaryUser, uid_t{0}}) {
        SCOPED_TRACE(testing::Message() << "page.map owner " << owner);
        ::unlink(path_.c_str());
        if (owner != noFile) {
            writeFile(path_, "7 7\n");
            ASSERT_EQ(::chown(path_.c_str(), owner, owner), 0);
            ::chmod(path_.c_str(), 0666);
        }
        writeFile(leftover, "half a sa");
        ::chmod(leftover.c_str(), 0600);
        EXPECT_EQ(asOrdinaryUser([] {
                      trelSetPageMapping("work", "alu", "sch", 3, 4);
                      return trelSavePageMap("work", "alu", "sch");
                  }),
                  TREL_OK);
        EXPECT_EQ(readFile(path_), owner == noFile ? "3 4\n" : "3 4\n7 7\n");
        EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
        if (owner != noFile) {
            EXPECT_EQ(statOf(path_).st_uid, owner);
        }
    }
}

// A folder the user may write but not list: its sync after the rename
// cannot be had, and the save, whose new file is in place, succeeds.
TEST_F(SaveSafetyTest, AFolderThatCannotBeListedTakesASave) {
    if (!shareWithOrdinaryUser()) GTEST_SKIP() << "needs root to switch to an ordinary user";
    writeFile(path_, "1 1\n");
    ASSERT_EQ(::chown(path_.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
    ::chmod(dir_.c_str(), 0333);
    EXPECT_EQ(asOrdinaryUser([] {
                  trelSetPageMapping("work", "alu", "sch", 2, 3);
                  return trelSavePageMap("work", "alu", "sch");
              }),
              TREL_OK);
    EXPECT_EQ(readFile(path_), "1 1\n2 3\n");
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
}

// A POSIX access list as the kernel stores it: the owner and `user` may read
// and write, the group and others read.
std::string accessList(uint32_t user) {
    const uint32_t anyone = 0xFFFFFFFF;
    const uint32_t entries[][3] = {{0x01, 6, anyone},
                                   {0x02, 6, user},
                                   {0x04, 4, anyone},
                                   {0x10, 6, anyone},
                                   {0x20, 4, anyone}};
    std::string list;
    auto add = [&list](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            list += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    add(2, 4);  // the format's version
    for (const auto &entry : entries) {
        add(entry[0], 2);
        add(entry[1], 2);
        add(entry[2], 4);
    }
    return list;
}

std::string attribute(const std::string &path, const char *name) {
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? "<none>" : std::string(value, static_cast<size_t>(size));
}

// A save by rename gives the new file the old one's extended attributes and
// access list, so that no one gains or loses a right to it.
TEST_F(SaveSafetyTest, ExtendedAttributesAndTheAccessListAreKept) {
    writeFile(path_, "1 1\n");
    const std::string note = "kept";
    if (::setxattr(path_.c_str(), "user.trel.note", note.data(), note.size(), 0) != 0)
        GTEST_SKIP() << "no user attributes on this file system";
    const std::string list = accessList(kOrdinaryUser);
    const char *const kAccess = "system.posix_acl_access";
    const bool listSet = ::setxattr(path_.c_str(), kAccess, list.data(), list.size(), 0) == 0 &&
                         attribute(path_, kAccess) == list;
    trelSetPageMapping("work", "alu", "sch", 2, 3);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 1\n2 3\n");
    EXPECT_EQ(attribute(path_, "user.trel.note"), note);
    if (listSet) {
        EXPECT_EQ(attribute(path_, kAccess), list);
    }
    EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
}

// Another process rewrites the file to the same size and sets its times
// back: only the inode change time tells, and the merge keeps its pair.
TEST_F(SaveSafetyTest, ARewriteThatSetsTheTimeBackIsStillSeen) {
    writeFile(path_, "1 2\n");
    ASSERT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK);
    const struct stat before = statOf(path_);
    const std::string path = path_;
    ASSERT_EQ(inChild([&] {
                  for (;;) {
                      writeFile(path, "1 3\n");
                      const timespec times[2] = {before.st_atim, before.st_mtim};
                      if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return 1;
                      const struct stat after = statOf(path);
                      if (after.st_ctim.tv_sec != before.st_ctim.tv_sec ||
                          after.st_ctim.tv_nsec != before.st_ctim.tv_nsec)
                          return 0;
                      usleep(1000);  // the clock has not moved on since the load yet
                  }
              }),
              0);
    const struct stat after = statOf(path_);
    ASSERT_TRUE(after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                after.st_mtim.tv_nsec == before.st_mtim.tv_nsec && after.st_size == 4 &&
                after.st_ino == before.st_ino);
    trelSetPageMapping("work", "alu", "sch", 5, 6);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 3\n5 6\n");
}

// A mode-0 save with nothing changed here leaves a file too: after another
// process removed the one it read, and where there never was one.
TEST_F(SaveSafetyTest, ASaveInModeZeroAlwaysLeavesTheFile) {
    const std::string path = path_;
    for (bool hadFile : {true, false}) {
        SCOPED_TRACE(hadFile ? "removed" : "never there");
        trelReset();
        if (hadFile) writeFile(path_, "1 2\n");
        trelloadMapFile("work", "alu", "sch", 0);
        if (hadFile) {
            ASSERT_EQ(inChild([&] { return ::unlink(path.c_str()); }), 0);
        }
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
        EXPECT_EQ(readFile(path_), "");
        EXPECT_EQ(listDirectory(dir_), std::vector<std::string>{"page.map"});
    }
}

}  // namespace
