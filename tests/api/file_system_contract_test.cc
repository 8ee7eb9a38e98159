// What the protocol relies on from the platform's file system, checked on
// the system's own (POSIX here, Windows under Wine): the errno of each kind
// of refusal, reads at the end, locks between two open files, identities
// through two names, marks, and renames that must not replace.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>

#include "api/design_fixture.h"
#include "files/file_system.h"
#include "support/temp_folder.h"

namespace {

using testing_design::writeFile;
using trel::Access;
using trel::Create;
using trel::NativeFile;
using trel::OpenMode;

class FileSystemContract : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test_support::makeTempFolder("trel-seam");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { test_support::removeFolder(dir_); }

    static trel::FileSystem &files() { return trel::systemFileSystem(); }
    std::string at(const char *name) const { return dir_ + "/" + name; }
    static OpenMode mode(Access access, Create create = Create::no) {
        OpenMode opened;
        opened.access = access;
        opened.create = create;
        return opened;
    }
    // errno after a refused open, or 0 when it opened.
    static int openError(const std::string &path, const OpenMode &opened) {
        errno = 0;
        const NativeFile file = files().open(path, opened);
        if (file == trel::kNoFile) return errno;
        files().close(file);
        return 0;
    }

    std::string dir_;
};

TEST_F(FileSystemContract, RefusalsSayWhy) {
    writeFile(at("page.map"), "1 2\n");
    EXPECT_EQ(openError(at("page.map"), mode(Access::readWrite, Create::exclusive)), EEXIST);
    EXPECT_EQ(openError(at("none"), mode(Access::read)), ENOENT);
    EXPECT_EQ(openError(at("gone/page.map"), mode(Access::readWrite, Create::ifMissing)), ENOENT);
    const int folder = openError(dir_, mode(Access::readWrite));
    EXPECT_TRUE(folder == EISDIR || folder == EACCES) << folder;
    errno = 0;
    EXPECT_FALSE(files().identityOf(at("none"), true).exists);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(files().unlink(at("none")));
    EXPECT_EQ(errno, ENOENT);
    // A rename that must not replace refuses an existing name (or says it
    // cannot rename that way at all).
    writeFile(at("new"), "3 4\n");
    EXPECT_FALSE(files().renameNoReplace(at("new"), at("page.map")));
    EXPECT_TRUE(errno == EEXIST || errno == ENOSYS) << errno;
    EXPECT_TRUE(files().rename(at("new"), at("page.map")));
    EXPECT_EQ(testing_design::readFile(at("page.map")), "3 4\n");
}

TEST_F(FileSystemContract, ReadsWritesAndIdentities) {
    const NativeFile file =
        files().open(at("page.map"), mode(Access::readWrite, Create::ifMissing));
    ASSERT_NE(file, trel::kNoFile);
    ASSERT_TRUE(files().reserve(file, 0, 8));
    ASSERT_TRUE(files().writeAt(file, "12345678", 8, 0));
    ASSERT_TRUE(files().setLength(file, 6));
    ASSERT_TRUE(files().sync(file));
    char into[16];
    size_t got = 99;
    EXPECT_TRUE(files().readAt(file, into, sizeof into, 2, &got));
    EXPECT_EQ(std::string(into, got), "3456");  // fewer only at the end
    EXPECT_TRUE(files().readAt(file, into, sizeof into, 6, &got));
    EXPECT_EQ(got, 0u);
    const trel::FileIdentity held = files().identity(file);
    EXPECT_TRUE(held.exists && held.regular && !held.folder);
    EXPECT_EQ(held.size, 6u);
    EXPECT_EQ(held.links, 1u);
    // A second name is the same file, seen through both.
    ASSERT_TRUE(files().link(at("page.map"), at("other.map")));
    EXPECT_TRUE(files().identityOf(at("other.map"), true).sameFile(held));
    EXPECT_EQ(files().identity(file).links, 2u);
    EXPECT_EQ(files().syncFolderOf(at("page.map")), trel::FolderSync::done);
    files().close(file);
    EXPECT_TRUE(files().identityOf(dir_, true).folder);
}

TEST_F(FileSystemContract, LocksExcludeOtherOpenFiles) {
    writeFile(at("page.map"), "1 2\n");
    const NativeFile one = files().open(at("page.map"), mode(Access::readWrite));
    const NativeFile two = files().open(at("page.map"), mode(Access::readWrite));
    ASSERT_NE(one, trel::kNoFile);
    ASSERT_NE(two, trel::kNoFile);
    const uint64_t byte = uint64_t{1} << 62;
    ASSERT_TRUE(files().tryLock(one, byte, true));
    EXPECT_FALSE(files().tryLock(two, byte, false));
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_FALSE(files().canLockShared(two, byte));
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_TRUE(files().tryLock(two, byte + 1, true));  // other bytes are free
    files().unlock(one, byte);
    EXPECT_TRUE(files().canLockShared(two, byte));
    ASSERT_TRUE(files().tryLock(one, byte, false));  // shared locks share
    EXPECT_TRUE(files().tryLock(two, byte, false));
    files().close(one);
    files().close(two);
}

TEST_F(FileSystemContract, MarksBelongToTheFile) {
    writeFile(at("page.map"), "1 2\n");
    ASSERT_TRUE(files().link(at("page.map"), at("other.map")));
    const NativeFile file = files().open(at("page.map"), mode(Access::readWrite));
    const NativeFile other = files().open(at("other.map"), mode(Access::read));
    std::string value = "left";
    errno = 0;
    EXPECT_FALSE(files().getMark(file, &value));
    if (errno == ENOTSUP) GTEST_SKIP() << "no marks on this file system";
    EXPECT_EQ(errno, ENODATA);
    EXPECT_TRUE(files().clearMark(file));  // none to clear is no failure
    ASSERT_TRUE(files().setMark(file, "through/page.map"));
    ASSERT_TRUE(files().getMark(other, &value));  // seen through the other name
    EXPECT_TRUE(value == "through/page.map" || value.empty()) << value;
    EXPECT_TRUE(files().clearMark(file));
    EXPECT_FALSE(files().getMark(other, &value));
    EXPECT_EQ(errno, ENODATA);
    files().close(file);
    files().close(other);
}

#if !defined(_WIN32)
// Links, permissions and what a new file takes over from an old one, which
// only POSIX systems have here: a link as the last part of a path is refused
// unless followed, links are followed to a file not made yet, and a new file
// takes the old one's mode, group and attributes, but not its mark.
TEST_F(FileSystemContract, LinksPermissionsAndInheritance) {
    writeFile(at("page.map"), "1 2\n");
    ASSERT_EQ(::symlink("page.map", at("link").c_str()), 0);
    ASSERT_EQ(::symlink("link", at("chain").c_str()), 0);
    ASSERT_EQ(::symlink((dir_ + "/none").c_str(), at("dangling").c_str()), 0);
    OpenMode noFollow = mode(Access::read);
    noFollow.followLink = false;
    EXPECT_EQ(openError(at("link"), noFollow), ELOOP);
    EXPECT_EQ(openError(at("link"), mode(Access::read)), 0);
    EXPECT_EQ(files().resolveLinks(at("chain")), at("page.map"));
    EXPECT_EQ(files().resolveLinks(at("dangling")), dir_ + "/none");
    EXPECT_EQ(files().resolveLinks(at("page.map")), at("page.map"));
    // Full paths: the root's files, and a folder that is not there, as they are.
    EXPECT_EQ(files().fullPath("/page.map"), "/page.map");
    EXPECT_EQ(files().fullPath("/no/such/folder/page.map"), "/no/such/folder/page.map");

    const NativeFile old = files().open(at("page.map"), mode(Access::readWrite));
    ASSERT_TRUE(files().setPermissions(old, 0640));
    const trel::FileIdentity oldIdentity = files().identity(old);
    EXPECT_EQ(oldIdentity.mode & 0777, 0640u);
    const bool attributes = ::setxattr(at("page.map").c_str(), "user.kept", "1", 1, 0) == 0;
    files().setMark(old, "elsewhere");
    const NativeFile made =
        files().open(at("page.ma~"), mode(Access::readWrite, Create::exclusive));
    ASSERT_NE(made, trel::kNoFile);
    if (::geteuid() == 0) {
        EXPECT_EQ(files().inherit(old, oldIdentity, made), trel::Inheritance::all);
        EXPECT_TRUE(files().setGroup(made, 4321));
        EXPECT_EQ(files().identity(made).group, 4321u);
    }
    std::string value;
    EXPECT_FALSE(files().getMark(made, &value));
    char kept = 0;
    if (attributes) {
        EXPECT_EQ(::fgetxattr(made, "user.kept", &kept, 1), ::geteuid() == 0 ? 1 : -1);
    }
    files().close(made);
    files().close(old);
}

// The mark as Windows hosts see it on a shared folder: the system attribute,
// kept where Wine and Samba keep Windows attributes, "0x" and hexadecimal.
// Setting and clearing the mark keeps the other attributes; a Windows
// host's mark reads as a mark without a name; a record only Samba can
// rewrite is left alone.
TEST_F(FileSystemContract, MarksAreTheSystemAttributeWindowsHostsRead) {
    writeFile(at("page.map"), "1 2\n");
    const std::string path = at("page.map");
    const char *const name = "user.DOSATTRIB";
    if (::setxattr(path.c_str(), name, "0x20", 4, 0) != 0) GTEST_SKIP() << "no user attributes";
    const auto attributes = [&] {
        char text[64] = {};
        const ssize_t got = ::getxattr(path.c_str(), name, text, sizeof text - 1);
        return got < 0 ? std::string("none") : std::string(text, static_cast<size_t>(got));
    };
    const NativeFile file = files().open(path, mode(Access::readWrite));
    ASSERT_TRUE(files().setMark(file, "rewrite through here"));
    EXPECT_EQ(attributes(), "0x24");
    ASSERT_TRUE(files().clearMark(file));
    EXPECT_EQ(attributes(), "0x20");
    ASSERT_EQ(::removexattr(path.c_str(), name), 0);
    ASSERT_TRUE(files().setMark(file, "x"));
    ASSERT_TRUE(files().clearMark(file));
    EXPECT_EQ(attributes(), "none");

    ASSERT_EQ(::setxattr(path.c_str(), name, "0x4", 3, 0), 0);  // a Windows host's rewrite
    std::string value = "left";
    ASSERT_TRUE(files().getMark(file, &value));
    EXPECT_EQ(value, "");
    ASSERT_TRUE(files().clearMark(file));
    EXPECT_EQ(attributes(), "none");

    for (const char *other : {"0x", "4", "0xZ4", "0x4 "}) {  // none this build reads
        ASSERT_EQ(::setxattr(path.c_str(), name, other, std::strlen(other), 0), 0);
        EXPECT_FALSE(files().getMark(file, &value)) << other;
    }
    const char samba[] = "0x4\0\3\0\0\0";
    ASSERT_EQ(::setxattr(path.c_str(), name, samba, sizeof samba - 1, 0), 0);
    EXPECT_FALSE(files().getMark(file, &value));
    ASSERT_TRUE(files().setMark(file, "x"));
    ASSERT_TRUE(files().clearMark(file));
    char kept[sizeof samba] = {};
    EXPECT_EQ(::getxattr(path.c_str(), name, kept, sizeof kept),
              static_cast<ssize_t>(sizeof samba - 1));
    files().close(file);
}

// Who could have written a file, as a journal's owner is checked against
// it: its owner and root always, others as its mode, group and access
// control list say.
TEST_F(FileSystemContract, WhoMayWriteAFile) {
    writeFile(at("page.map"), "1 2\n");
    const NativeFile file = files().open(at("page.map"), mode(Access::readWrite));
    trel::FileIdentity identity = files().identity(file);
    identity.user = 1000;
    // Debian's daemon account (1) is in its own group (1) and no other.
    const struct {
        unsigned mode;
        uint32_t user, group;
        bool may;
    } rows[] = {
        {0444, 1000, 4321, true},  {0644, 0, 4321, true},    {0644, 4242, 4321, false},
        {0664, 4242, 4321, false}, {0646, 4242, 4321, true}, {0664, 1, 1, true},
        {0644, 1, 1, false},       {0664, 1, 4321, false},
    };
    for (const auto &row : rows) {
        identity.mode = row.mode;
        identity.group = row.group;
        EXPECT_EQ(files().userMayWrite(file, identity, row.user), row.may)
            << std::oct << row.mode << " " << std::dec << row.user;
    }
    // An access control list: user 4242 named with writing, under a mask
    // that allows it, then one that does not.
    for (const char mask : {'\6', '\4'}) {
        // Version 2; the owner, user 4242 (0x1092), the group, the mask, others.
        std::string list(
            "\2\0\0\0"
            "\1\0\6\0\377\377\377\377"
            "\2\0\6\0\x92\x10\0\0"
            "\4\0\4\0\377\377\377\377"
            "\x10\0?\0\377\377\377\377"
            "\x20\0\4\0\377\377\377\377",
            44);
        list[30] = mask;
        if (::fsetxattr(file, "system.posix_acl_access", list.data(), list.size(), 0) != 0)
            GTEST_SKIP() << "no access control lists here";
        identity.mode = 0644;
        identity.group = 4321;  // no account is in it
        EXPECT_EQ(files().userMayWrite(file, identity, 4242), mask == '\6') << int{mask};
        EXPECT_FALSE(files().userMayWrite(file, identity, 4243));
    }
    files().close(file);
}

#endif

}  // namespace
