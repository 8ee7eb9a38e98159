// Replacing a map file on POSIX systems: fcntl locks on the temporary,
// rename and a folder sync, or a checked rewrite in place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "maps/replacement_file.h"

namespace trel {
namespace {

// How long a save waits for another process's save of the same file.
constexpr int kLockWaitMilliseconds = 10000;

bool lockWhole(int fd) {
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    for (int waited = 0;; waited += 5) {
        if (fcntl(fd, F_SETLK, &whole) == 0) return true;
        if ((errno != EACCES && errno != EAGAIN) || waited >= kLockWaitMilliseconds) return false;
        const timespec pause = {0, 5000000};  // 5 ms
        nanosleep(&pause, nullptr);
    }
}

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Writes everything at `at`; *written tells how much got there.
bool writeAll(int fd, const char *data, size_t size, off_t at, size_t *written) {
    *written = 0;
    while (*written < size) {
        ssize_t wrote =
            pwrite(fd, data + *written, size - *written, at + static_cast<off_t>(*written));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        *written += static_cast<size_t>(wrote);
    }
    return true;
}

// Gives a file back its old length after a failed rewrite that changed none
// of its bytes, keeping errno.
void restoreLength(int fd, uint64_t size) {
    const int error = errno;
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        // Only blank room beyond the old content can remain.
    }
    errno = error;
}

// Makes a rename in `file`'s folder durable. A file system that cannot sync
// folders says so with EINVAL; its renames are as durable as it makes them.
bool syncFolderOf(const std::string &file) {
    const size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0 || errno == EINVAL;
    int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Closes without changing errno.
void closeQuietly(int *fd) {
    if (*fd < 0) return;
    int error = errno;
    ::close(*fd);
    errno = error;
    *fd = -1;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    release();
}

bool ReplacementFile::lock() {
    target_ = path_;
    struct stat link;
    bool danglingLink = false;
    if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // The link stays: the file it points to gets the new content.
        if (char *resolved = ::realpath(path_.c_str(), nullptr)) {
            target_ = resolved;
            std::free(resolved);
        } else {
            danglingLink = true;  // writing through it creates the file it names
        }
    }

    struct stat existing;
    exists_ = ::stat(target_.c_str(), &existing) == 0;
    if (exists_) {
        if (!S_ISREG(existing.st_mode)) {
            errno = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        // Refused exactly when opening the file for writing is refused; the
        // open itself changes nothing. Reading it too spares a second
        // descriptor, whose close would drop a lock held on this one.
        targetFd_ = ::open(target_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
        targetReadable_ = targetFd_ >= 0;
        if (targetFd_ < 0) targetFd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (targetFd_ < 0) return false;
        oldSize_ = static_cast<uint64_t>(existing.st_size);
        ownerId_ = existing.st_uid;
        groupId_ = existing.st_gid;
        mode_ = existing.st_mode & 07777;
    } else if (danglingLink) {
        targetFd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
        if (targetFd_ < 0) return false;
        target_ = path_;
    }

    temporary_ = temporaryNameFor(target_);
    for (;;) {
        bool created = true;
        temporaryFd_ =
            ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (temporaryFd_ < 0 && errno == EEXIST) {
            // Another save's temporary, or one left by a killed process.
            created = false;
            temporaryFd_ = ::open(temporary_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            if (temporaryFd_ < 0 && errno == ENOENT) continue;
        }
        if (temporaryFd_ < 0) {
            // A write-protected folder: the file itself is still writable, and
            // its own lock keeps other saves out while it is rewritten.
            if (targetFd_ >= 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
                inPlace_ = true;
                return lockWhole(targetFd_);
            }
            return false;
        }
        if (!lockWhole(temporaryFd_)) {
            closeQuietly(&temporaryFd_);
            return false;
        }
        // The previous holder may have renamed or removed it meanwhile.
        struct stat held;
        struct stat named;
        if (fstat(temporaryFd_, &held) != 0 || ::lstat(temporary_.c_str(), &named) != 0 ||
            !sameFile(held, named)) {
            closeQuietly(&temporaryFd_);
            continue;
        }
        // A leftover carries an earlier file's permissions; a new map file
        // gets a fresh temporary with the usual ones.
        if (!created && !exists_) {
            ::unlink(temporary_.c_str());
            closeQuietly(&temporaryFd_);
            continue;
        }
        break;
    }

    if (danglingLink) {
        inPlace_ = true;
    } else if (exists_) {
        inPlace_ = existing.st_nlink > 1;
        // The new file must keep the old one's owner and group, or the file
        // is rewritten in place so that it keeps them.
        if (!inPlace_ && (ownerId_ != geteuid() || groupId_ != getegid()) &&
            fchown(temporaryFd_, ownerId_, groupId_) != 0) {
            inPlace_ = true;
        }
    }
    return true;
}

bool ReplacementFile::readTarget(std::vector<char> *bytes) {
    bytes->clear();
    struct stat now;
    if (::stat(target_.c_str(), &now) != 0) return errno == ENOENT;
    if (!S_ISREG(now.st_mode)) {
        errno = S_ISDIR(now.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    int fd = targetReadable_ ? targetFd_ : ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool read = true;
    char block[1 << 16];
    for (off_t at = 0;;) {
        ssize_t got = pread(fd, block, sizeof block, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            read = got == 0;
            break;
        }
        bytes->insert(bytes->end(), block, block + got);
        at += got;
    }
    if (fd != targetFd_) closeQuietly(&fd);
    return read;
}

bool ReplacementFile::replace(const char *data, size_t size) {
    return inPlace_ ? replaceInPlace(data, size) : replaceByRename(data, size);
}

bool ReplacementFile::replaceByRename(const char *data, size_t size) {
    if (ftruncate(temporaryFd_, 0) != 0) return false;
    if (exists_ && fchmod(temporaryFd_, mode_) != 0) return false;
    size_t written;
    if (!writeAll(temporaryFd_, data, size, 0, &written) || fsync(temporaryFd_) != 0) return false;
    // Still under the lock, so no other save can touch the temporary first.
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return false;
    published_ = true;
    return syncFolderOf(target_);
}

bool ReplacementFile::replaceInPlace(const char *data, size_t size) {
    // Room for the longer content is taken before the first byte changes, so a
    // full disk or a size limit refuses the save with the file intact.
    if (size > oldSize_) {
        int error = posix_fallocate(targetFd_, static_cast<off_t>(oldSize_),
                                    static_cast<off_t>(size - oldSize_));
        if (error != 0) {
            errno = error;
            restoreLength(targetFd_, oldSize_);
            return false;
        }
    }
    size_t written;
    if (!writeAll(targetFd_, data, size, 0, &written)) {
        if (written == 0) restoreLength(targetFd_, oldSize_);
        return false;
    }
    return ftruncate(targetFd_, static_cast<off_t>(size)) == 0 && fsync(targetFd_) == 0;
}

void ReplacementFile::release() {
    // The temporary goes while the lock still keeps other saves away from it.
    if (temporaryFd_ >= 0 && !published_) {
        int error = errno;
        ::unlink(temporary_.c_str());
        errno = error;
    }
    closeQuietly(&temporaryFd_);
    closeQuietly(&targetFd_);
}

}  // namespace trel
