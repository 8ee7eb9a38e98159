// Opening a map file for a load.
#include "files/map_reader.h"

#include <cerrno>
#include <cstring>

#include "files/map_lock.h"
#include "files/replacement_file.h"
#include "files/rewrite_journal.h"
#include "files/rewrite_recovery.h"

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
        {
            // Closes what it opened before a save's open() below needs the journal.
            RewriteRecovery recovery(file_, target, identity_);
            switch (recovery.inspect()) {
                case RewriteRecovery::State::whole:
                    return {};  // no rewrite cut short: the usual case
                case RewriteRecovery::State::staleMark:
                    // Whole, but a mark without a name makes the file's other
                    // names refuse until a save's lock takes it away.
                    if (restored || !recovery.namelessMark()) return {};
                    break;
                case RewriteRecovery::State::refused: {
                    const FileError &refusal = recovery.refusal();
                    // A journal held by another program without sharing: waited for.
                    if (refusal.error == EBUSY && recovery.journalHeld() && deadline.pause())
                        continue;
                    return refuse(refusal.error, refusal.message);
                }
                case RewriteRecovery::State::torn:
                    if (!restored) break;
                    // This process could not put the file back (the failure
                    // is kept): it reads what the journal kept, the content
                    // before the rewrite.
                    {
                        JournalHeader header;
                        journal_ = recovery.takeJournal(&header);
                        journalSize_ = header.size;
                    }
                    identity_ = FileIdentity();
                    return {};
            }
        }
        // A rewrite was cut short, or left its mark: a save's lock puts the
        // file back and takes the mark away. Where that fails (a reader that
        // may not write the file, a save under way, a failing disk), the file
        // is looked at once more: still torn, its journal is read instead.
        closeFile(&file_);
        recoveryFailure_ = ReplacementFile(target).open();
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
