// Replacing a map file: open, lock, recover, choose, publish, release, once
// for every platform, over the file-system seam.
#include "files/replacement_file.h"

#include <cerrno>
#include <cstring>

#include "files/map_lock.h"
#include "files/rewrite_journal.h"
#include "files/rewrite_recovery.h"
#include "files/temporary_name.h"

namespace trel {
namespace {

// How many rounds a removal that waits for other programs' handles is
// waited for (where removals are deferred): a program that holds the file
// for longer makes the save refuse rather than wait on.
constexpr int kDeferredRounds = 50;

// Refusals of a new name in a folder, as opposed to a folder that is gone.
bool cannotMakeFile(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EISDIR || error == ELOOP;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    release();
}

FileError ReplacementFile::failure() const {
    FileError failed;
    failed.error = errno != 0 ? errno : EIO;
    failed.message = refusal_;
    return failed;
}

FileError ReplacementFile::open(int64_t waitMilliseconds) {
    FileSystem &files = fileSystem();
    const Deadline deadline(waitMilliseconds);
    for (;;) {
        release();  // what an earlier round held, when the path moved on
        // Links are followed afresh each round: one may have been made or
        // changed while this save waited.
        target_ = files.resolveLinks(path_);
        temporary_ = temporaryNameFor(target_);
        OpenMode mode;
        mode.access = Access::readWrite;
        targetFile_ = files.open(target_, mode);
        targetReadable_ = targetFile_ != kNoFile;
        if (targetFile_ == kNoFile && errno == EACCES) {
            mode.access = Access::write;
            targetFile_ = files.open(target_, mode);
        }
        if (targetFile_ == kNoFile) {
            if (errno == EBUSY) {
                // Another program holds it open without sharing it: waited
                // for as for another save.
                if (deadline.pause()) continue;
                refusal_ = "Map file " + target_ +
                           " is held open by another program; gave up waiting for it";
                errno = EBUSY;
                return failure();
            }
            if (errno != ENOENT) return failure();
            // No file yet: the temporary that is to become it is locked.
            present_ = {};
            if (!takeTemporary(deadline)) return failure();
            if (temporaryFile_ == kNoFile) {
                errno = temporaryError_;
                return failure();
            }
            if (files.identityOf(target_, false).exists) continue;  // made meanwhile, unlocked
            return {};
        }
        const FileIdentity held = files.identity(targetFile_);
        if (!held.exists) return failure();
        if (!held.regular) {
            errno = held.folder ? EISDIR : EINVAL;
            return failure();
        }
        if (!lockPresent(deadline)) return failure();
        if (!files.identityOf(target_, true).sameFile(held)) continue;
        // A leftover is dealt with first: it may be the journal of a rewrite
        // of this file cut short, which changes the file back.
        if (!takeTemporary(deadline)) return failure();
        if (startOver_) {
            startOver_ = false;
            if (deadline.pause()) continue;
            refusal_ = "Map file " + target_ + " cannot be saved: " + temporary_ +
                       ", another name of it, stays while another program holds it open";
            errno = EBUSY;
            return failure();
        }
        // No leftover here: a rewrite cut short may still have marked the
        // file, through another name.
        if (!recovered_ && !recoverRewrite(kNoFile, false, deadline)) return failure();
        present_ = files.identity(targetFile_);
        if (!present_.exists) return failure();
        if (temporaryFile_ == kNoFile) {
            refusal_ = "Map file " + target_ + " cannot be saved: no file can be made beside it (" +
                       std::strerror(temporaryError_) +
                       ") to replace it, or to keep its pairs while it is rewritten";
            errno = temporaryError_;
            return failure();
        }
        inPlaceReason_ = whyRewriteInPlace();
        return {};
    }
}

void ReplacementFile::noteClockOffset(const FileIdentity &fresh) {
    // This host's clock is read after the file was made, so the offset comes
    // out no larger than it is, and a sync point no older than it was.
    const int64_t now = clock().wallNs();
    const int64_t stamped = fresh.changedNs > fresh.modifiedNs ? fresh.changedNs : fresh.modifiedNs;
    clockOffsetKnown_ = stamped != 0;
    clockOffsetNs_ = stamped - now;
}

bool ReplacementFile::clockOffset(int64_t *offsetNs) const {
    *offsetNs = clockOffsetNs_;
    return clockOffsetKnown_;
}

bool ReplacementFile::lockPresent(const Deadline &deadline) {
    if (takeSaveLock(targetFile_, target_, deadline)) return true;
    if (errno == EAGAIN) {
        refusal_ =
            "Map file " + target_ + " is being saved by another process; gave up waiting for it";
    }
    return false;
}

bool ReplacementFile::takeTemporary(const Deadline &deadline) {
    FileSystem &files = fileSystem();
    OpenMode make;
    make.access = Access::readWrite;
    make.create = Create::exclusive;
    make.followLink = false;
    make.removable = true;
    // Where a removal waits for the file's last handle, a leftover this save
    // removed may still be there, refusing every open, while another
    // program holds it.
    const bool deferred = (files.capabilities() & kRemovalIsDeferred) != 0;
    bool removing = false;
    FileIdentity removed;
    for (int round = 0;; ++round) {
        closeFile(&temporaryFile_);
        ownsTemporary_ = false;
        // Each round after the first follows a change another process made;
        // one that never settles is waited for no longer than a lock.
        if (round > 0 && !deadline.pause()) {
            refusal_ = "Map file " + target_ + " cannot be saved: its temporary " + temporary_ +
                       " keeps changing; gave up waiting for it";
            errno = EAGAIN;
            return false;
        }
        temporaryFile_ = files.open(temporary_, make);
        const bool made = temporaryFile_ != kNoFile;
        ownsTemporary_ = made;
        bool writable = made;
        if (!made && errno == EEXIST) {
            // Another save's, or one left by a save or rewrite cut short; one
            // this process may not write is still read, for its journal.
            OpenMode existing = make;
            existing.create = Create::no;
            temporaryFile_ = files.open(temporary_, existing);
            writable = temporaryFile_ != kNoFile;
            if (!writable && errno == EACCES) {
                existing.access = Access::read;
                existing.removable = false;
                temporaryFile_ = files.open(temporary_, existing);
            }
            if (temporaryFile_ == kNoFile && errno == ENOENT) continue;  // gone meanwhile
            if (temporaryFile_ == kNoFile && errno == EACCES && removing) {
                // This save's removal, not done yet (opens are refused
                // meanwhile): another program still holds the leftover open.
                if (round < kDeferredRounds) continue;
                return leftoverHeldOpen();
            }
            if (temporaryFile_ == kNoFile && (errno == EACCES || errno == EBUSY) &&
                mayBeJournal(temporary_)) {
                // What cannot be read may be the journal of a rewrite cut
                // short: nothing removes it, and nothing is saved over the
                // file it may have to put back.
                const int error = errno;
                keepJournal_ = true;
                refusal_ = "Map file " + target_ + " cannot be saved: " + temporary_ +
                           " beside it may hold the old content of a rewrite cut short, and it "
                           "cannot be read (" +
                           std::strerror(error) + ")";
                errno = error;
                return false;
            }
            if (temporaryFile_ == kNoFile && errno != ENFILE && errno != EMFILE) {
                // A link, a folder, or too short for a journal: removed where
                // the folder allows it.
                if (files.unlink(temporary_) || errno == ENOENT) {
                    removing = deferred;
                    continue;
                }
                temporaryError_ = errno == EISDIR ? EEXIST : errno;
                return true;
            }
        }
        if (temporaryFile_ == kNoFile) {
            // A name whose removal is still pending refuses new files for a
            // moment where removals are deferred.
            if (errno == EACCES && deferred && round < kDeferredRounds) continue;
            if (!cannotMakeFile(errno)) return false;
            temporaryError_ = errno;
            return true;
        }
        const FileIdentity held = files.identity(temporaryFile_);
        if (!made && targetFile_ != kNoFile && held.sameFile(files.identity(targetFile_))) {
            // A second name of the file itself, left by a publish cut short
            // between making the new name and removing the old: it goes.
            if (files.unlink(temporary_) || errno == ENOENT) {
                if (!deferred) continue;
                // The name goes once no handle of the file is open.
                closeFile(&temporaryFile_);
                startOver_ = true;
                return true;
            }
            temporaryError_ = errno;
            closeFile(&temporaryFile_);
            return true;
        }
        if (!made && removing && held.sameFile(removed)) {
            // The leftover this save removed, still there (some systems
            // still open a file whose removal is pending).
            if (round < kDeferredRounds) continue;
            return leftoverHeldOpen();
        }
        if (!takeMapLock(temporaryFile_, MapLock::save, writable, deadline)) {
            if (errno == EAGAIN) {
                refusal_ = "Map file " + target_ +
                           " is being saved by another process; gave up waiting for it";
            }
            return false;
        }
        if (!held.sameFile(files.identityOf(temporary_, false)))
            continue;  // renamed or removed by the save that held it
        if (made) {
            noteClockOffset(held);
            return true;
        }
        // A leftover: the journal of a rewrite of this file cut short puts
        // the old content back; then it goes, whoever made it, where the
        // folder allows, unless it may still be needed.
        if (!recoverRewrite(temporaryFile_, writable, deadline)) return false;
        ownsTemporary_ = true;
        if (!files.removeOpen(temporaryFile_, temporary_)) {
            temporaryError_ = errno;
            closeFile(&temporaryFile_);
            return true;
        }
        removing = deferred;
        removed = held;
    }
}

bool ReplacementFile::leftoverHeldOpen() {
    closeFile(&temporaryFile_);
    refusal_ = "Map file " + target_ + " cannot be saved: " + temporary_ +
               " beside it is held open by another program, which keeps it from being removed";
    errno = EBUSY;
    return false;
}

bool ReplacementFile::recoverRewrite(NativeFile leftover, bool writable, const Deadline &deadline) {
    recovered_ = true;
    RewriteRecovery recovery(
        targetFile_, target_,
        targetFile_ != kNoFile ? fileSystem().identity(targetFile_) : FileIdentity(), leftover,
        writable);
    recovery.inspect();
    FileError error = recovery.recover(targetFile_ != kNoFile, deadline);
    if (!error.failed() && recovery.leftoverKeepsAnotherFile()) error = recovery.keepsAnotherFile();
    if (!error.failed()) return true;
    // Whatever a leftover holds is for the next save or load, or its owner;
    // a fresh temporary goes.
    if (leftover != kNoFile) keepJournal_ = true;
    refusal_ = error.message;
    errno = error.error;
    return false;
}

const char *ReplacementFile::whyRewriteInPlace() {
    FileSystem &files = fileSystem();
    if ((files.capabilities() & kRenameOverOpenFile) == 0)
        return "the system renames over no file that other programs hold open";
    if (present_.links > 1) return "its other names would keep the old pairs";
    switch (files.inherit(targetFile_, present_, temporaryFile_)) {
        case Inheritance::all:
            return nullptr;  // the mode is given as the content is written
        case Inheritance::notOwner:
            return "its owner or group cannot be given to a new file";
        case Inheritance::notAttributes:
            break;
    }
    return "its extended attributes or access list cannot be given to a new file";
}

bool ReplacementFile::readPresent(char *into, size_t room, size_t *got) {
    *got = 0;
    if (!targetReadable_) {
        errno = EACCES;
        return false;
    }
    if (!fileSystem().readAt(targetFile_, into, room, readAt_, got)) return false;
    readAt_ += *got;
    return true;
}

FileError ReplacementFile::replace(const char *data, size_t size) {
    refusal_.clear();
    const bool done = inPlace() ? replaceInPlace(data, size) : replaceByRename(data, size);
    return done ? FileError() : failure();
}

bool ReplacementFile::replaceByRename(const char *data, size_t size) {
    FileSystem &files = fileSystem();
    if (present_.exists && !files.setPermissions(temporaryFile_, present_.mode)) return false;
    if (!files.writeAt(temporaryFile_, data, size, 0) || !files.sync(temporaryFile_)) return false;
    // Still under the locks, so no other save can touch either file first.
    if (!renameTemporary()) return false;
    return publishedByRename();
}

bool ReplacementFile::renameTemporary() {
    FileSystem &files = fileSystem();
    if (present_.exists) return files.rename(temporary_, target_);
    // Nothing to replace: a file made meanwhile by a program that takes no
    // lock is not lost.
    if (files.renameNoReplace(temporary_, target_)) return true;
    if (errno != ENOSYS) return madeMeanwhile();
    // No such rename here: a second name, then the first goes. Should the
    // second step fail or never come, the next save removes the extra name.
    if (!files.link(temporary_, target_)) return madeMeanwhile();
    const int error = errno;
    files.unlink(temporary_);
    errno = error;
    return true;
}

bool ReplacementFile::madeMeanwhile() {
    if (errno == EEXIST) {
        refusal_ = "Map file " + target_ +
                   " was made by another program while this save wrote it; not saving over it";
    }
    return false;
}

bool ReplacementFile::publishedByRename() {
    published_ = true;
    publishedIdentity_ = fileSystem().identity(temporaryFile_);
    if (fileSystem().syncFolderOf(target_) != FolderSync::failed) return true;
    refusal_ = "Map file " + target_ + " holds the new pairs, but they may not be durable: " +
               "its folder could not be synced (" + std::strerror(errno) + ")";
    return false;
}

bool ReplacementFile::replaceInPlace(const char *data, size_t size) {
    FileSystem &files = fileSystem();
    if (!targetReadable_) {
        refusal_ = "Map file " + target_ + " cannot be rewritten in place (" + inPlaceReason_ +
                   "): it cannot be read to keep its pairs meanwhile";
        errno = EACCES;
        return false;
    }
    // The journal is readable by those who may read the file, and no others:
    // the file's group, and its permissions but for running.
    if (!files.setPermissions(temporaryFile_, present_.mode & 0666)) return false;
    if (files.identity(temporaryFile_).group != present_.group)
        files.setGroup(temporaryFile_, present_.group);
    // No load reads the file from here on until the rewrite is done.
    const Deadline deadline(kLockWaitMilliseconds);
    if (!takeContentToWrite(targetFile_, deadline)) {
        if (errno == EAGAIN) {
            refusal_ = "Map file " + target_ + " is being read by another process; gave up " +
                       "waiting to rewrite it in place (" + inPlaceReason_ + ")";
        }
        return false;
    }
    switch (
        rewriteInPlace(targetFile_, target_, temporaryFile_, present_, data, size, &keepJournal_)) {
        case Rewrite::done:
            published_ = true;
            publishedIdentity_ = files.identity(targetFile_);
            return true;
        case Rewrite::notDurable: {
            const int error = errno;
            published_ = true;
            publishedIdentity_ = files.identity(targetFile_);
            refusal_ = "Map file " + target_ +
                       " holds the new pairs, but they may not be durable (" +
                       std::strerror(error) + ")";
            errno = error;
            return false;
        }
        case Rewrite::notMarked: {
            const int error = errno;
            refusal_ = "Map file " + target_ + " cannot be rewritten in place (" + inPlaceReason_ +
                       "): " +
                       (marksUnsupported(error)
                            ? std::string("its file system keeps no marks, which lead its other "
                                          "names to the journal of a rewrite cut short")
                            : "it could not be marked as being rewritten (" +
                                  std::string(std::strerror(error)) + ")");
            errno = error;
            break;
        }
        case Rewrite::failed:
            if (errno == ETXTBSY) {
                refusal_ = "Map file " + target_ +
                           " is mapped by another program; it cannot be rewritten in place (" +
                           inPlaceReason_ + ") meanwhile";
            }
            break;
    }
    return false;
}

void ReplacementFile::release() {
    // The temporary goes while its lock still keeps other saves away from it,
    // unless it became the file, or is a journal still needed.
    if (temporaryFile_ != kNoFile && ownsTemporary_ && !(published_ && !inPlace()) &&
        !keepJournal_) {
        const int error = errno;
        fileSystem().removeOpen(temporaryFile_, temporary_);
        errno = error;
    }
    closeFile(&temporaryFile_);
    if (published_ && !inPlace()) noteWaitingSave(targetFile_, target_);
    closeFile(&targetFile_);
    readAt_ = 0;
    recovered_ = false;
    inPlaceReason_ = nullptr;
    keepJournal_ = false;
    ownsTemporary_ = false;
}

}  // namespace trel
