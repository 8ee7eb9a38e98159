// Opening a map file for a load.
#include "files/map_reader.h"

#include <cerrno>
#include <cstring>

#include "files/map_lock.h"
#include "files/replacement_file.h"
#include "files/rewrite_journal.h"

namespace trel {

MapReader::~MapReader() {
    closeFile(&journal_);
    closeFile(&file_);
}

FileError MapReader::refuse(int error, const std::string &message) {
    closeFile(&journal_);
    closeFile(&file_);
    FileError failed;
    failed.error = error;
    failed.message = message;
    return failed;
}

FileError MapReader::open() {
    FileSystem &files = fileSystem();
    std::string target = path_;
    const Deadline deadline(kLockWaitMilliseconds);
    OpenMode reading;
    reading.followLink = false;
    for (bool restored = false;;) {
        closeFile(&journal_);
        closeFile(&file_);
        // Most map files are no links: the links are followed only for one
        // that is, so that its journal is looked for beside the file itself.
        file_ = files.open(target, reading);
        if (file_ == kNoFile && errno == ELOOP) {
            target = files.resolveLinks(path_);
            file_ = files.open(target, OpenMode());
        }
        if (file_ == kNoFile) {
            // Another program holds it open without sharing it: waited for
            // as a save waits.
            if (errno == EBUSY && deadline.pause()) continue;
            if (errno == EBUSY) {
                return refuse(EBUSY, "Map file " + target +
                                         " is held open by another program; gave up waiting "
                                         "for it");
            }
            return refuse(errno, std::string());
        }
        // A file system without record locks has no rewrites in place either:
        // saves there refuse, so reading unlocked is safe.
        if ((!letWriterIn(file_, deadline) ||
             !takeMapLock(file_, MapLock::content, false, deadline)) &&
            !locksUnsupported(errno)) {
            const int error = errno;
            return refuse(error, error != EAGAIN ? std::string()
                                                 : "Map file " + target +
                                                       " is being rewritten by another process; "
                                                       "gave up waiting for it");
        }
        identity_ = files.identity(file_);
        // A rewrite cut short through another name of the file marked the
        // file with that name: its journal lies beside that name. A mark
        // without a name is this name's only when its journal is here.
        std::string temporary = temporaryNameFor(target);
        std::string marked;
        const bool isMarked = identity_.links > 1 && files.getMark(file_, &marked);
        if (isMarked && !marked.empty()) temporary = temporaryNameFor(marked);
        journal_ = files.open(temporary, reading);
        // A name the mark gives that leads elsewhere here (another mount
        // point, another working folder, or a name moved since) hides its
        // journal: the mark is not known to be stale.
        if (isMarked && !marked.empty() && journal_ == kNoFile && errno == ENOENT &&
            !files.identityOf(marked, true).sameFile(identity_)) {
            std::string message = "Map file " + target;
            message += " cannot be read safely: a rewrite of it through " + marked;
            message +=
                " was cut short, and that name does not lead to this file here; load or save the "
                "unit through that name, whose journal puts it back";
            return refuse(EBUSY, message);
        }
        if (isMarked && marked.empty() && journal_ == kNoFile && errno == ENOENT) {
            return refuse(EBUSY, "Map file " + target +
                                     " cannot be read safely: a rewrite of it through another "
                                     "of its names was cut short; load or save the unit through "
                                     "the name with " +
                                     fileNameOf(temporary) +
                                     " beside it, whose journal puts it back");
        }
        JournalHeader header;
        JournalState state = JournalState::none;
        if (journal_ != kNoFile) {
            state = journalState(journal_, identity_, &header);
        } else if (errno != ENOENT && errno != ELOOP && errno != EISDIR &&
                   mayBeJournal(temporary)) {
            state = JournalState::unreadable;  // there is one, and it cannot be opened
        }
        // This name's leftover under a mark without a name: the rewrite
        // ended, or never began, here; a save's lock takes the mark away, so
        // that the other names need not refuse.
        const bool staleMark = isMarked && marked.empty() && journal_ != kNoFile;
        if (state == JournalState::none && (!staleMark || restored)) {
            closeFile(&journal_);
            return {};  // no rewrite cut short: the usual case
        }
        if (state == JournalState::unreadable) {
            const int error = errno;
            // Held by another program without sharing: waited for.
            if (error == EBUSY && deadline.pause()) continue;
            std::string message = "Map file " + target;
            message += " cannot be read safely: " + temporary;
            message +=
                " beside it may hold the old content of a rewrite cut short, and it cannot "
                "be read (";
            message += std::strerror(error);
            message += ")";
            return refuse(error, message);
        }
        if (restored) {
            // This process could not put the file back: it reads what the
            // journal kept, the content before the rewrite.
            journalSize_ = header.size;
            identity_ = FileIdentity();
            return {};
        }
        // A rewrite was cut short, or left its mark: a save's lock puts the
        // file back and takes the mark away.
        closeFile(&journal_);
        closeFile(&file_);
        ReplacementFile(target).open();
        restored = true;
    }
}

bool MapReader::readAt(uint64_t at, char *into, size_t room, size_t *got) {
    if (journal_ == kNoFile) return fileSystem().readAt(file_, into, room, at, got);
    if (at >= journalSize_) {
        *got = 0;
        return true;
    }
    const uint64_t left = journalSize_ - at;
    return readJournal(journal_, at, into, left < room ? static_cast<size_t>(left) : room, got);
}

bool MapReader::read(char *into, size_t room, size_t *got) {
    if (!readAt(at_, into, room, got)) return false;
    at_ += *got;
    return true;
}

}  // namespace trel
