// The file-system primitives and the clock on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <vector>

#include "files/file_system.h"

namespace trel {
namespace {

// The extended attribute that marks a file being rewritten in place.
constexpr char kMarkName[] = "user.page.map.rewrite";

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
        if (std::strcmp(name, kMarkName) == 0) continue;
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

    bool setMark(NativeFile file, const std::string &value) override {
        return fsetxattr(file, kMarkName, value.data(), value.size(), 0) == 0;
    }

    bool getMark(NativeFile file, std::string *value) override {
        std::vector<char> bytes;
        if (!attributeValue(file, kMarkName, &bytes)) return false;
        value->assign(bytes.begin(), bytes.end());
        return true;
    }

    bool clearMark(NativeFile file) override {
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
