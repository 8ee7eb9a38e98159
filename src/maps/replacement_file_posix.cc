// Replacing a map file on POSIX systems: record locks on the file itself, a
// rename of the synced temporary and a folder sync, or a rewrite in place
// behind a journal.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "maps/map_lock.h"
#include "maps/native_file.h"
#include "maps/replacement_file.h"
#include "maps/rewrite_journal.h"

namespace trel {
namespace {

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Refusals of a new name in a folder, as opposed to a folder that is gone.
bool cannotMakeFile(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EISDIR || error == ELOOP;
}

// Gives `from` the name `to` unless `to` exists.
bool renameNoReplace(const char *from, const char *to) {
#if defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
#endif
    // No such rename on this file system: a second name, then the first goes.
    // Should the second step fail, the next save removes the extra name.
    if (::link(from, to) != 0) return false;
    const int error = errno;
    ::unlink(from);
    errno = error;
    return true;
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
// one). False when one cannot be read or given.
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

// Why a new file renamed over `file` (whose status is `status`) would lose
// something the old one has, so that `file` is rewritten in place instead;
// null when the fresh `temporary` could be given all of it, which it now has
// but for the mode, given as the content is written.
const char *whyRewriteInPlace(int file, const struct stat &status, int temporary) {
    if (status.st_nlink > 1) return "its other names would keep the old pairs";
    if ((status.st_uid != geteuid() || status.st_gid != getegid()) &&
        fchown(temporary, status.st_uid, status.st_gid) != 0) {
        return "its owner or group cannot be given to a new file";
    }
    if (!copyAttributes(file, temporary)) {
        return "its extended attributes or access list cannot be given to a new file";
    }
    return nullptr;
}

}  // namespace

std::string followLinks(const std::string &path) {
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

ReplacementFile::~ReplacementFile() {
    release();
}

bool ReplacementFile::open() {
    const Deadline deadline(kLockWaitMilliseconds);
    target_ = followLinks(path_);
    temporary_ = temporaryNameFor(target_);
    for (;;) {
        release();  // what an earlier round held, when the path moved on
        constexpr int kOpen = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
        targetFile_ = ::open(target_.c_str(), O_RDWR | kOpen);
        targetReadable_ = targetFile_ != kNoFile;
        if (targetFile_ == kNoFile && errno == EACCES)
            targetFile_ = ::open(target_.c_str(), O_WRONLY | kOpen);
        if (targetFile_ == kNoFile) {
            if (errno != ENOENT) return false;
            // No file yet: the temporary that is to become it is locked.
            present_ = {};
            if (!takeTemporary(deadline)) return false;
            if (temporaryFile_ == kNoFile) {
                errno = temporaryError_;
                return false;
            }
            struct stat made;
            if (::lstat(target_.c_str(), &made) == 0) continue;  // made meanwhile, unlocked
            return true;
        }
        struct stat held;
        if (fstat(targetFile_, &held) != 0) return false;
        if (!S_ISREG(held.st_mode)) {
            errno = S_ISDIR(held.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        if (!lockPresent(deadline)) return false;
        struct stat named;
        if (::stat(target_.c_str(), &named) != 0 || !sameFile(held, named)) continue;
        // A leftover is dealt with first: it may be the journal of a rewrite
        // of this file cut short, which changes the file back.
        if (!takeTemporary(deadline)) return false;
        if (fstat(targetFile_, &held) != 0) return false;
        present_ = identityOfFile(targetFile_);
        mode_ = held.st_mode & 07777;
        if (temporaryFile_ == kNoFile) {
            refusal_ = "Map file " + target_ + " cannot be saved: no file can be made beside it (" +
                       std::strerror(temporaryError_) +
                       ") to replace it, or to keep its pairs while it is rewritten";
            errno = temporaryError_;
            return false;
        }
        inPlace_ = whyRewriteInPlace(targetFile_, held, temporaryFile_) != nullptr;
        return true;
    }
}

bool ReplacementFile::takeTemporary(const Deadline &deadline) {
    constexpr int kOpen = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    for (;;) {
        closeFile(&temporaryFile_);
        temporaryFile_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | kOpen, 0666);
        const bool made = temporaryFile_ != kNoFile;
        bool writable = made;
        if (!made && errno == EEXIST) {
            // Another save's, or one left by a save or rewrite cut short; one
            // this process may not write is still read, for its journal.
            temporaryFile_ = ::open(temporary_.c_str(), O_RDWR | kOpen);
            writable = temporaryFile_ != kNoFile;
            if (!writable && errno == EACCES)
                temporaryFile_ = ::open(temporary_.c_str(), O_RDONLY | kOpen);
            if (temporaryFile_ == kNoFile && errno == ENOENT) continue;  // gone meanwhile
            if (temporaryFile_ == kNoFile && errno != ENFILE && errno != EMFILE) {
                // A link or a folder: removed where the folder allows it.
                if (::unlink(temporary_.c_str()) == 0 || errno == ENOENT) continue;
                temporaryError_ = errno == EISDIR ? EEXIST : errno;
                return true;
            }
        }
        if (temporaryFile_ == kNoFile) {
            if (!cannotMakeFile(errno)) return false;
            temporaryError_ = errno;
            return true;
        }
        if (!takeMapLock(temporaryFile_, MapLock::save, writable, deadline)) return false;
        struct stat held;
        struct stat named;
        if (fstat(temporaryFile_, &held) != 0 || ::lstat(temporary_.c_str(), &named) != 0 ||
            !sameFile(held, named)) {
            continue;  // renamed or removed by the save that held it
        }
        if (made) return true;
        // A leftover: the journal of a rewrite of this file cut short puts
        // the old content back; then it goes, whoever made it, where the
        // folder allows.
        if (!restoreFromLeftover(writable, deadline)) return false;
        if (::unlink(temporary_.c_str()) != 0) {
            temporaryError_ = errno;
            closeFile(&temporaryFile_);
            return true;
        }
    }
}

bool ReplacementFile::replaceByRename(const char *data, size_t size) {
    if (present_.exists && fchmod(temporaryFile_, mode_) != 0) return false;
    if (!writeAt(temporaryFile_, data, size, 0) || fsync(temporaryFile_) != 0) return false;
    // Still under the locks, so no other save can touch either file first.
    const bool renamed = present_.exists ? ::rename(temporary_.c_str(), target_.c_str()) == 0
                                         : renameNoReplace(temporary_.c_str(), target_.c_str());
    if (!renamed) return false;
    return publishedByRename();
}

bool ReplacementFile::replaceInPlace(const char *data, size_t size) {
    if (!targetReadable_) {
        refusal_ = "Map file " + target_ +
                   " cannot be rewritten in place: it cannot be read to keep its pairs meanwhile";
        errno = EACCES;
        return false;
    }
    // The journal is readable by those who may read the file, and no others.
    if (fchmod(temporaryFile_, mode_ & 0666) != 0) return false;
    return rewriteLocked(data, size);
}

void ReplacementFile::release() {
    // The temporary goes while its lock still keeps other saves away from it,
    // unless it became the file, or is a journal still needed.
    if (temporaryFile_ != kNoFile && !(published_ && !inPlace_) && !keepJournal_) {
        const int error = errno;
        ::unlink(temporary_.c_str());
        errno = error;
    }
    closeFile(&temporaryFile_);
    closeFile(&targetFile_);
    readAt_ = 0;
    inPlace_ = false;
    keepJournal_ = false;
}

}  // namespace trel
