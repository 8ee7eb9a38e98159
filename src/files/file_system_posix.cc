// The file-system primitives and the clock on POSIX systems.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "files/file_system.h"

namespace trel {
namespace {

// The extended attribute that marks a file being rewritten in place.
constexpr char kMarkName[] = "user.page.map.rewrite";
// Where Wine and Samba keep a file's Windows attributes: "0x" and the
// attributes in hexadecimal (Samba may follow it with a NUL and a record of
// its own). Windows hosts mark a file with its system attribute.
constexpr char kWindowsAttributes[] = "user.DOSATTRIB";
constexpr unsigned kSystemAttribute = 0x4;
// The access control list, as the kernel hands it out: a version word, then
// entries of a tag, permissions and an id, little-endian.
constexpr char kAccessList[] = "system.posix_acl_access";

int64_t nanoseconds(const timespec &time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileIdentity identityFrom(const struct stat &status) {
    FileIdentity identity;
    identity.exists = true;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    identity.size = static_cast<uint64_t>(status.st_size);
    identity.modifiedNs = nanoseconds(status.st_mtim);
    identity.changedNs = nanoseconds(status.st_ctim);
    identity.regular = S_ISREG(status.st_mode);
    identity.folder = S_ISDIR(status.st_mode);
    identity.links = static_cast<uint32_t>(status.st_nlink);
    identity.mode = status.st_mode & 07777;
    identity.user = status.st_uid;
    identity.group = status.st_gid;
    return identity;
}

// The value of the extended attribute `name`. False with errno when it
// cannot be read.
bool attributeValue(int fd, const char *name, std::vector<char> *value) {
    for (int tries = 0; tries < 4; ++tries) {
        const ssize_t size = fgetxattr(fd, name, nullptr, 0);
        if (size < 0) return false;
        value->resize(static_cast<size_t>(size));
        const ssize_t got = fgetxattr(fd, name, value->data(), value->size());
        if (got >= 0) {
            value->resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;  // ERANGE: it grew meanwhile
    }
    return false;
}

// The Windows attributes kept in `value`; false when it holds none this
// build can rewrite (absent, or Samba's own record after the text).
bool windowsAttributes(const std::vector<char> &value, unsigned *attributes) {
    const std::string text(value.begin(), value.end());
    if (text.size() < 3 || text.compare(0, 2, "0x") != 0 || text.find('\0') != std::string::npos) {
        return false;
    }
    char *end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str() + 2, &end, 16);
    if (end != text.c_str() + text.size()) return false;
    *attributes = static_cast<unsigned>(parsed);
    return true;
}

// Sets or clears the system attribute among the file's Windows attributes.
// A record only Samba can rewrite is left alone.
bool setSystemAttribute(int fd, bool on) {
    std::vector<char> value;
    unsigned attributes = 0;
    if (attributeValue(fd, kWindowsAttributes, &value)) {
        if (!windowsAttributes(value, &attributes)) return true;
    } else if (errno != ENODATA) {
        return false;
    }
    const unsigned wanted = on ? attributes | kSystemAttribute : attributes & ~kSystemAttribute;
    if (wanted == attributes && !value.empty()) return true;
    if (wanted == 0) return fremovexattr(fd, kWindowsAttributes) == 0 || errno == ENODATA;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "0x%x", wanted);
    return fsetxattr(fd, kWindowsAttributes, text, static_cast<size_t>(length), 0) == 0;
}

// Whether `user` belongs to `group`, as its account says.
bool userInGroup(uint32_t user, uint32_t group) {
    std::vector<char> buffer(16384);
    struct passwd account;
    struct passwd *found = nullptr;
    if (getpwuid_r(user, &account, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return false;
    // Its primary group among them. A user of more groups than this is
    // taken for a member of none, as a journal of hers is then refused.
    int count = 1024;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(account.pw_name, account.pw_gid, groups.data(), &count) < 0) return false;
    for (int i = 0; i < count; ++i) {
        if (groups[static_cast<size_t>(i)] == group) return true;
    }
    return false;
}

uint32_t littleEndian(const unsigned char *bytes, size_t size) {
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

// Whether the access control list `list` lets `user` (not the file's owner)
// write a file of `group`: a named entry of the user, else any entry of
// its groups, else the entry of everyone; the mask limits all but the last.
// -1 when `list` is none this build reads.
int accessListLetsWrite(const std::vector<char> &list, uint32_t user, uint32_t group) {
    constexpr unsigned kUser = 0x02, kGroupObject = 0x04, kGroup = 0x08, kMask = 0x10,
                       kOther = 0x20, kWrite = 0x2;
    const auto *bytes = reinterpret_cast<const unsigned char *>(list.data());
    if (list.size() < 4 || (list.size() - 4) % 8 != 0 || littleEndian(bytes, 4) != 2) return -1;
    unsigned mask = 07, other = 0;
    int named = -1;
    bool inAGroup = false, groupWrites = false;
    for (size_t at = 4; at < list.size(); at += 8) {
        const unsigned tag = littleEndian(bytes + at, 2);
        const unsigned permissions = littleEndian(bytes + at + 2, 2);
        const uint32_t id = littleEndian(bytes + at + 4, 4);
        if (tag == kMask) mask = permissions;
        if (tag == kOther) other = permissions;
        if (tag == kUser && id == user) named = static_cast<int>(permissions);
        if ((tag == kGroupObject && userInGroup(user, group)) ||
            (tag == kGroup && userInGroup(user, id))) {
            inAGroup = true;
            groupWrites = groupWrites || (permissions & kWrite) != 0;
        }
    }
    if (named >= 0) return (static_cast<unsigned>(named) & mask & kWrite) != 0;
    if (inAGroup) return groupWrites && (mask & kWrite) != 0;
    return (other & kWrite) != 0;
}

// Gives `to` every extended attribute of `from` (the access control list is
// one) but the rewrite mark. False when one cannot be read or given.
bool copyAttributes(int from, int to) {
    ssize_t length = flistxattr(from, nullptr, 0);
    if (length < 0) return errno == ENOTSUP;  // a file system without them
    std::vector<char> names(static_cast<size_t>(length) + 1);
    length = flistxattr(from, names.data(), names.size());
    if (length < 0) return false;
    std::vector<char> value;
    std::vector<char> given;
    for (const char *name = names.data(); name < names.data() + length;
         name += std::strlen(name) + 1) {
        // The mark is the old file's; a new file starts unmarked.
        if (std::strcmp(name, kMarkName) == 0 || std::strcmp(name, kWindowsAttributes) == 0)
            continue;
        if (!attributeValue(from, name, &value)) {
            if (errno == ENODATA) continue;  // removed meanwhile
            return false;
        }
        // A new file may have some already, such as a security label.
        if (attributeValue(to, name, &given) && given == value) continue;
        if (fsetxattr(to, name, value.data(), value.size(), 0) != 0) return false;
    }
    return true;
}

class PosixFileSystem final : public FileSystem {
  public:
    unsigned capabilities() const override { return kRenameOverOpenFile; }

    NativeFile open(const std::string &path, const OpenMode &mode) override {
        int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
        flags |= mode.access == Access::read    ? O_RDONLY
                 : mode.access == Access::write ? O_WRONLY
                                                : O_RDWR;
        if (mode.create == Create::ifMissing) flags |= O_CREAT;
        if (mode.create == Create::exclusive) flags |= O_CREAT | O_EXCL;
        if (!mode.followLink) flags |= O_NOFOLLOW;
        return ::open(path.c_str(), flags, static_cast<mode_t>(mode.permissions));
    }

    void close(NativeFile file) override {
        const int error = errno;
        ::close(file);
        errno = error;
    }

    bool readAt(NativeFile file, char *into, size_t room, uint64_t at, size_t *got) override {
        *got = 0;
        while (*got < room) {
            const ssize_t read =
                pread(file, into + *got, room - *got, static_cast<off_t>(at + *got));
            if (read < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (read == 0) break;
            *got += static_cast<size_t>(read);
            // A map file or journal is a regular file, whose read returns
            // fewer bytes than asked only at its end: no second call to hear
            // that again.
            if (static_cast<size_t>(read) < room - (*got - static_cast<size_t>(read))) break;
        }
        return true;
    }

    bool writeAt(NativeFile file, const char *data, size_t size, uint64_t at) override {
        size_t written = 0;
        while (written < size) {
            const ssize_t wrote =
                pwrite(file, data + written, size - written, static_cast<off_t>(at + written));
            if (wrote < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (wrote == 0) {
                errno = EIO;
                return false;
            }
            written += static_cast<size_t>(wrote);
        }
        return true;
    }

    bool sync(NativeFile file) override { return fsync(file) == 0; }

    bool setLength(NativeFile file, uint64_t size) override {
        return ftruncate(file, static_cast<off_t>(size)) == 0;
    }

    bool reserve(NativeFile file, uint64_t size, uint64_t newSize) override {
        if (newSize <= size) return true;
        const int error =
            posix_fallocate(file, static_cast<off_t>(size), static_cast<off_t>(newSize - size));
        if (error == 0 || error == EOPNOTSUPP || error == EINVAL) return true;
        errno = error;
        return false;
    }

    bool setPermissions(NativeFile file, unsigned mode) override {
        return fchmod(file, static_cast<mode_t>(mode)) == 0;
    }

    // Open-file-description locks where the system has them: unlike classic
    // record locks, they are not dropped when the process closes some other
    // descriptor of the same file, and two descriptors of one process
    // exclude each other. Both kinds exclude each other, so processes that
    // can only take classic locks (an emulator, an older system) still take
    // turns with the others.
    bool tryLock(NativeFile file, uint64_t offset, bool exclusive) override {
        return setLock(file, offset, exclusive ? F_WRLCK : F_RDLCK);
    }

    // One call where the system can ask, rather than a lock and an unlock.
    bool canLockShared(NativeFile file, uint64_t offset) override {
#if defined(F_OFD_GETLK)
        struct flock range = {};
        range.l_type = F_RDLCK;
        range.l_whence = SEEK_SET;
        range.l_start = static_cast<off_t>(offset);
        range.l_len = 1;
        if (fcntl(file, F_OFD_GETLK, &range) == 0) {
            if (range.l_type == F_UNLCK) return true;
            errno = EAGAIN;
            return false;
        }
        if (errno != EINVAL) return false;
#endif
        if (!tryLock(file, offset, false)) return false;
        unlock(file, offset);
        return true;
    }

    void unlock(NativeFile file, uint64_t offset) override {
        const int error = errno;
        setLock(file, offset, F_UNLCK);
        errno = error;
    }

    FileIdentity identity(NativeFile file) override {
        struct stat status;
        return fstat(file, &status) == 0 ? identityFrom(status) : FileIdentity();
    }

    FileIdentity identityOf(const std::string &path, bool followLink) override {
        struct stat status;
        const int got = followLink ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
        return got == 0 ? identityFrom(status) : FileIdentity();
    }

    std::string resolveLinks(const std::string &path) override {
        std::string at = path;
        for (int hops = 0; hops < 40; ++hops) {
            struct stat link;
            if (::lstat(at.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return at;
            char text[PATH_MAX];
            const ssize_t length = ::readlink(at.c_str(), text, sizeof text);
            if (length <= 0 || static_cast<size_t>(length) >= sizeof text) return at;
            const std::string next(text, static_cast<size_t>(length));
            if (next[0] == '/') {
                at = next;
            } else {
                at = folderOf(at).append(1, '/').append(next);
            }
        }
        return at;  // a loop of links: opening it reports ELOOP
    }

    std::string fullPath(const std::string &path) override {
        std::string file = resolveLinks(path);
        char *folder = ::realpath(folderOf(file).c_str(), nullptr);
        if (folder == nullptr) return file;
        std::string full = folder;
        std::free(folder);
        if (full != "/") full += '/';
        return full + fileNameOf(file);
    }

    bool rename(const std::string &from, const std::string &to) override {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    bool renameNoReplace(const std::string &from, const std::string &to) override {
#if defined(RENAME_NOREPLACE)
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EINVAL || errno == EOPNOTSUPP) errno = ENOSYS;
        return false;
#else
        errno = ENOSYS;
        return false;
#endif
    }

    bool link(const std::string &from, const std::string &to) override {
        return ::link(from.c_str(), to.c_str()) == 0;
    }

    bool unlink(const std::string &path) override {
        return ::unlink(path.c_str()) == 0;
    }

    bool removeOpen(NativeFile /*file*/, const std::string &path) override {
        return ::unlink(path.c_str()) == 0;
    }

    FolderSync syncFolderOf(const std::string &file) override {
        const int fd = ::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno == EACCES ? FolderSync::notPermitted : FolderSync::failed;
        const bool synced = fsync(fd) == 0 || errno == EINVAL;
        close(fd);
        return synced ? FolderSync::done : FolderSync::failed;
    }

    Inheritance inherit(NativeFile from, const FileIdentity &fromIdentity, NativeFile to) override {
        const FileIdentity made = identity(to);
        if ((fromIdentity.user != made.user || fromIdentity.group != made.group) &&
            fchown(to, fromIdentity.user, fromIdentity.group) != 0) {
            return Inheritance::notOwner;
        }
        return copyAttributes(from, to) ? Inheritance::all : Inheritance::notAttributes;
    }

    bool setGroup(NativeFile file, uint32_t group) override {
        return fchown(file, static_cast<uid_t>(-1), group) == 0;
    }

    bool userMayWrite(NativeFile file, const FileIdentity &identity, uint32_t user) override {
        if (user == 0 || user == identity.user) return true;  // may give itself the right
        std::vector<char> list;
        if (attributeValue(file, kAccessList, &list)) {
            const int lets = accessListLetsWrite(list, user, identity.group);
            if (lets >= 0) return lets != 0;
        }
        if ((identity.mode & S_IWOTH) != 0) return true;
        return (identity.mode & S_IWGRP) != 0 && userInGroup(user, identity.group);
    }

    // The mark is set in both places, so that neither platform's hosts
    // miss it; Windows hosts read it without its value.
    bool setMark(NativeFile file, const std::string &value) override {
        if (fsetxattr(file, kMarkName, value.data(), value.size(), 0) != 0) return false;
        if (setSystemAttribute(file, true)) return true;
        const int error = errno;
        fremovexattr(file, kMarkName);
        errno = error;
        return false;
    }

    bool getMark(NativeFile file, std::string *value) override {
        std::vector<char> bytes;
        if (attributeValue(file, kMarkName, &bytes)) {
            value->assign(bytes.begin(), bytes.end());
            return true;
        }
        if (errno != ENODATA) return false;
        // A Windows host's mark, which holds no name.
        unsigned attributes = 0;
        if (attributeValue(file, kWindowsAttributes, &bytes) &&
            windowsAttributes(bytes, &attributes) && (attributes & kSystemAttribute) != 0) {
            value->clear();
            return true;
        }
        errno = ENODATA;
        return false;
    }

    // The Windows attribute goes first: cut short between the two, the file
    // keeps the mark with its name, which this platform's hosts find stale,
    // rather than one without a name, which would make them refuse.
    bool clearMark(NativeFile file) override {
        if (!setSystemAttribute(file, false) && errno != ENOTSUP) return false;
        return fremovexattr(file, kMarkName) == 0 || errno == ENODATA;
    }

  private:
    static bool setLock(int fd, uint64_t offset, short type) {
        struct flock range = {};
        range.l_type = type;
        range.l_whence = SEEK_SET;
        range.l_start = static_cast<off_t>(offset);
        range.l_len = 1;
#if defined(F_OFD_SETLK)
        static bool descriptionLocks = true;
        if (descriptionLocks) {
            if (fcntl(fd, F_OFD_SETLK, &range) == 0) return true;
            if (errno != EINVAL) return lockFailed();
            descriptionLocks = false;  // not known here: classic locks from now on
            range.l_pid = 0;
        }
#endif
        return fcntl(fd, F_SETLK, &range) == 0 || lockFailed();
    }

    // Held elsewhere reads EAGAIN, whichever the system says.
    static bool lockFailed() {
        if (errno == EACCES) errno = EAGAIN;
        return false;
    }
};

class PosixClock final : public Clock {
  public:
    int64_t monotonicNs() override { return read(CLOCK_MONOTONIC); }
    int64_t wallNs() override { return read(CLOCK_REALTIME); }
    void sleepNs(int64_t ns) override {
        timespec pause = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
    }

  private:
    static int64_t read(clockid_t which) {
        timespec now = {};
        clock_gettime(which, &now);
        return nanoseconds(now);
    }
};

}  // namespace

FileSystem &systemFileSystem() {
    static PosixFileSystem system;
    return system;
}

Clock &systemClock() {
    static PosixClock clock;
    return clock;
}

}  // namespace trel
