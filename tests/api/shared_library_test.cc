// Two hosts on one design library: a second process loads, edits and saves
// the same unit between this one's calls, and no save throws away what the
// other saved since.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "api/design_fixture.h"
#include "trel.h"

namespace {

using testing_design::DesignTest;
using testing_design::readFile;
using testing_design::writeFile;

class SharedLibraryTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        makeUnit("work", "alu", "sch");
        path_ = mapPath("work", "alu", "sch");
    }

    // The other host: a fresh library state in a child process that runs
    // `edit` on the unit, then saves it.
    static int otherHostSaves(const std::function<void()> &edit) {
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            trelReset();
            edit();
            _exit(trelSavePageMap("work", "alu", "sch"));
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static void set(int page, int mapped) {
        trelSetPageMapping("work", "alu", "sch", page, mapped);
    }
    static int get(int page) {
        int mapped = 0;
        trelGetPageMapping("work", "alu", "sch", page, &mapped);
        return mapped;
    }

    std::string path_;
};

TEST_F(SharedLibraryTest, EachSaveKeepsThePagesTheOtherHostChanged) {
    writeFile(path_, "1 10\n2 20\n3 30\n");
    EXPECT_EQ(get(1), 10);  // this host only looks

    // A map only looked up does not revert the other's save: it is not
    // modified, so a bulk save of the modified maps leaves it alone, and a
    // save of every map takes the other's pairs.
    ASSERT_EQ(otherHostSaves([] {
                  set(2, 21);
                  trelDeletePageMapping("work", "alu", "sch", 3);
              }),
              TREL_OK);
    EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 10\n2 21\n");
    EXPECT_EQ(trelSavePageMaps(1), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 10\n2 21\n");
    EXPECT_EQ(get(2), 21);

    // Changes to different pages both survive; a page changed by both takes
    // the last saver's answer.
    set(5, 50);
    set(1, 11);
    ASSERT_EQ(otherHostSaves([] {
                  set(6, 60);
                  set(1, 12);
              }),
              TREL_OK);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 11\n2 21\n5 50\n6 60\n");

    // A clear here changes every page: it wins over the other's pairs.
    ASSERT_EQ(otherHostSaves([] { set(7, 70); }), TREL_OK);
    trelResetPageMap("work", "alu", "sch");
    set(8, 80);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "8 80\n");

    // A file removed meanwhile counts as empty: only the pages changed here.
    set(9, 90);
    ::unlink(path_.c_str());
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "9 90\n");
    EXPECT_EQ(get(8), 8);
}

TEST_F(SharedLibraryTest, AChangedFileThatCannotBeReadIsNotSavedOver) {
    writeFile(path_, "1 10\n");
    set(2, 20);
    writeFile(path_, "1 10\n3 oops\n");  // damaged from outside
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    EXPECT_NE(lastError().find(path_), std::string::npos);
    EXPECT_EQ(readFile(path_), "1 10\n3 oops\n");

    // No longer a file at all: the usual message.
    ::unlink(path_.c_str());
    ASSERT_EQ(::mkdir(path_.c_str(), 0755), 0);
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    EXPECT_EQ(lastError(), "Failed to open map file " + path_ + " for write");
    ::rmdir(path_.c_str());
}

// The file's identity is checked before its content, so a save of an
// unchanged map file costs no read; a rewrite that keeps the inode and the
// size and puts the modification time back still moves the change time,
// and the other writer's pair is kept.
TEST_F(SharedLibraryTest, ASameSizeRewriteWithItsTimePutBackIsStillSeen) {
    writeFile(path_, "1 10\n");
    set(2, 20);
    struct stat before;
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);
    {  // same inode, same size, and the time put back
        int fd = ::open(path_.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "1 77\n", 5, 0), 5);
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::futimens(fd, times), 0);
        ::close(fd);
    }
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path_), "1 77\n2 20\n");
}

}  // namespace
