// What the platforms share: the temporary's name, reading the present file,
// and the end of a rewrite in place.
#include "maps/replacement_file.h"

#include <cerrno>
#include <cstring>

#include "maps/map_lock.h"
#include "maps/rewrite_journal.h"

namespace trel {

std::string temporaryNameFor(const std::string &file) {
    std::string name = file;
    if (!name.empty()) name.back() = name.back() == '~' ? '#' : '~';
    return name;
}

ReadChunk ReplacementFile::readPresent(char *into, size_t room) {
    if (!targetReadable_) {
        errno = EACCES;
        return {0, false, true};
    }
    size_t got = 0;
    if (!readAt(targetFile_, into, room, readAt_, &got)) return {0, false, true};
    readAt_ += got;
    return {got, got < room, false};
}

bool ReplacementFile::replace(const char *data, size_t size) {
    return inPlace_ ? replaceInPlace(data, size) : replaceByRename(data, size);
}

bool ReplacementFile::publishedByRename() {
    published_ = true;
    publishedIdentity_ = identityOfFile(temporaryFile_);
    if (syncFolderOf(target_) != FolderSync::failed) return true;
    refusal_ = "Map file " + target_ + " holds the new pairs, but they may not be durable: " +
               "its folder could not be synced (" + std::strerror(errno) + ")";
    return false;
}

bool ReplacementFile::lockPresent(const Deadline &deadline) {
    if (takeMapLock(targetFile_, MapLock::save, true, deadline)) return true;
    if (errno == EAGAIN) {
        refusal_ =
            "Map file " + target_ + " is being saved by another process; gave up waiting for it";
    }
    return false;
}

bool ReplacementFile::restoreFromLeftover(bool writable, const Deadline &deadline) {
    JournalHeader header;
    if (targetFile_ == kNoFile ||
        !isCompleteJournal(temporaryFile_, identityOfFile(targetFile_), &header)) {
        return true;  // no journal of this file: the file is whole
    }
    if (!takeMapLock(targetFile_, MapLock::content, true, deadline) ||
        !restoreFromJournal(temporaryFile_, targetFile_, header) ||
        (writable && !closeJournal(temporaryFile_))) {
        return false;
    }
    dropMapLock(targetFile_, MapLock::content);
    return true;
}

bool ReplacementFile::rewriteLocked(const char *data, size_t size) {
    // No load reads the file from here on until the rewrite is done.
    const Deadline deadline(kLockWaitMilliseconds);
    if (!takeMapLock(targetFile_, MapLock::content, true, deadline)) return false;
    switch (rewriteInPlace(targetFile_, temporaryFile_, temporary_, present_, data, size,
                           &keepJournal_)) {
        case Rewrite::done:
            published_ = true;
            publishedIdentity_ = identityOfFile(targetFile_);
            return true;
        case Rewrite::notDurable: {
            const int error = errno;
            published_ = true;
            publishedIdentity_ = identityOfFile(targetFile_);
            refusal_ = "Map file " + target_ +
                       " holds the new pairs, but they may not be durable (" +
                       std::strerror(error) + ")";
            errno = error;
            return false;
        }
        case Rewrite::failed:
            break;
    }
    return false;
}

}  // namespace trel
