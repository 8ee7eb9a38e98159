// Saves whose system calls fail: every step of writing a new file and
// renaming it, and of rewriting a file in place, is made to fail in turn. The
// program defines the calls itself, so the library (linked in statically)
// reaches these definitions, which hand on to the C library unless a failure
// is armed.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "trel.h"

namespace {

enum class Call { fsync, ftruncate, fchmod, pwrite, rename, fallocate, fopen, pread, count };

struct Armed {
    Call call = Call::count;
    int skip = 0;  // calls let through before the one that fails
} armed;

bool failNow(Call call) {
    if (armed.call != call) return false;
    if (armed.skip-- > 0) return false;
    armed.call = Call::count;
    return true;
}

template <typename Function>
Function next(const char *name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// The "64" names exist on every glibc, and are the ones 32-bit builds with
// 64-bit file offsets call.
extern "C" {
int fsync(int fd) {
    if (failNow(Call::fsync)) return errno = EIO, -1;
    return next<int (*)(int)>("fsync")(fd);
}
int ftruncate(int fd, off_t length) {
    if (failNow(Call::ftruncate)) return errno = EIO, -1;
    return next<int (*)(int, off_t)>("ftruncate64")(fd, length);
}
int fchmod(int fd, mode_t mode) {
    if (failNow(Call::fchmod)) return errno = EPERM, -1;
    return next<int (*)(int, mode_t)>("fchmod")(fd, mode);
}
ssize_t pwrite(int fd, const void *data, size_t size, off_t at) {
    if (failNow(Call::pwrite)) return errno = ENOSPC, -1;
    return next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite64")(fd, data, size, at);
}
int rename(const char *from, const char *to) noexcept {
    if (failNow(Call::rename)) return errno = EXDEV, -1;
    return next<int (*)(const char *, const char *)>("rename")(from, to);
}
FILE *fopen(const char *path, const char *mode) {
    if (failNow(Call::fopen)) return errno = EACCES, nullptr;
    return next<FILE *(*)(const char *, const char *)>("fopen64")(path, mode);
}
ssize_t pread(int fd, void *data, size_t size, off_t at) {
    if (failNow(Call::pread)) return errno = EIO, -1;
    return next<ssize_t (*)(int, void *, size_t, off_t)>("pread64")(fd, data, size, at);
}
int posix_fallocate(int fd, off_t at, off_t size) {
    if (failNow(Call::fallocate)) return ENOSPC;
    return next<int (*)(int, off_t, off_t)>("posix_fallocate64")(fd, at, size);
}
}  // extern "C"

namespace {

using testing_design::DesignTest;
using testing_design::listDirectory;
using testing_design::readFile;
using testing_design::writeFile;

using SystemFaultTest = DesignTest;

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
        {Call::ftruncate, 0, false}, {Call::fchmod, 0, false},   {Call::pwrite, 0, false},
        {Call::fsync, 0, false},     {Call::rename, 0, false},   {Call::fallocate, 0, true},
        {Call::pwrite, 0, true},     {Call::ftruncate, 0, true}, {Call::fsync, 0, true},
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
        armed = {c.call, c.skip};
        EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
        EXPECT_EQ(armed.call, Call::count) << "the armed call was never made";
        armed = {};
        // A failed last step of a rewrite in place (the length or the sync)
        // comes after the new bytes: only then may the file have changed.
        const bool lateInPlace = c.inPlace && (c.call == Call::ftruncate || c.call == Call::fsync);
        if (!lateInPlace) {
            EXPECT_EQ(readFile(path), old);
        }
        std::vector<std::string> expected{"page.map"};
        if (c.inPlace) expected.insert(expected.begin(), "other.map");
        EXPECT_EQ(listDirectory(dir), expected);
        // The map stays modified and the next save succeeds.
        EXPECT_EQ(trelSavePageMaps(0), TREL_OK);
        EXPECT_EQ(readFile(path).substr(0, 4), "1 1\n");
    }

    // The folder sync after the rename: the new file is in place, but the
    // save cannot promise it survives a power cut, so it reports failure.
    trelReset();
    ::unlink(link.c_str());
    writeFile(path, old);
    trelSetPageMapping("work", "alu", "sch", 5, 6);
    armed = {Call::fsync, 1};
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    EXPECT_EQ(readFile(path), "1 1\n5 6\n");
    EXPECT_EQ(listDirectory(dir), std::vector<std::string>{"page.map"});
}

// A map file that exists but cannot be read: a save reads it first and
// keeps its pairs, and while it still cannot be read nothing is saved over it.
TEST_F(SystemFaultTest, AFileThatCannotBeReadIsNeverSavedOver) {
    makeUnit("work", "alu", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    writeFile(path, "1 1\n");
    armed = {Call::fopen, 0};
    EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_CANNOT_READ);
    EXPECT_EQ(lastError(), "Map file " + path + " cannot be read: Permission denied");
    trelSetPageMapping("work", "alu", "sch", 2, 3);
    armed = {Call::pread, 0};
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_CANNOT_WRITE);
    EXPECT_NE(lastError().find("cannot be read now"), std::string::npos);
    EXPECT_EQ(readFile(path), "1 1\n");
    EXPECT_EQ(trelSavePageMap("work", "alu", "sch"), TREL_OK);
    EXPECT_EQ(readFile(path), "1 1\n2 3\n");
}

}  // namespace
