// The recovery of a rewrite in place cut short.
#include "files/rewrite_recovery.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "files/map_lock.h"
#include "files/replacement_file.h"
#include "files/temporary_name.h"

namespace trel {
namespace {

// What every refusal says a user can do when no host can recover the file.
const char kWayOut[] = "; `pagemap journal` shows the unit's journal and mark, and resolves them";

}  // namespace

RewriteRecovery::RewriteRecovery(NativeFile file, std::string target, const FileIdentity &present)
    : file_(file),
      target_(std::move(target)),
      present_(present),
      lookedBeside_(false),
      leftover_(kNoFile),
      leftoverWritable_(false) {}

RewriteRecovery::RewriteRecovery(NativeFile file, std::string target, const FileIdentity &present,
                                 NativeFile leftover, bool leftoverWritable)
    : file_(file),
      target_(std::move(target)),
      present_(present),
      lookedBeside_(true),
      leftover_(leftover),
      leftoverWritable_(leftoverWritable) {}

RewriteRecovery::~RewriteRecovery() {
    if (journal_ != leftover_) closeFile(&journal_);
}

RewriteRecovery::State RewriteRecovery::refuse(int error, std::string message) {
    refusal_.error = error;
    refusal_.message = std::move(message) + kWayOut;
    state_ = State::refused;
    return state_;
}

RewriteRecovery::State RewriteRecovery::refuseUnreadable(const char *what,
                                                         const std::string &journal,
                                                         const char *how) {
    const int error = errno;
    return refuse(error, "Map file " + target_ + " " + what + ": " + journal +
                             " may hold the old content of a rewrite cut short, and it cannot "
                             "be " +
                             how + " (" + std::strerror(error) + ")");
}

bool RewriteRecovery::leadsHere(const std::string &name) const {
    const int error = errno;
    const bool here = fileSystem().identityOf(name, true).sameFile(present_);
    errno = error;
    return here;
}

void RewriteRecovery::findJournal() {
    FileSystem &files = fileSystem();
    // A mark that names another name of the file: its journal lies there.
    const bool elsewhere = marked_ && !mark_.name.empty() && mark_.name != target_ &&
                           mark_.name != files.fullPath(target_);
    journalPath_ = temporaryNameFor(elsewhere ? mark_.name : target_);
    if (!elsewhere && lookedBeside_) {
        journal_ = leftover_;
        journalWritable_ = leftoverWritable_;
        if (journal_ == kNoFile) errno = ENOENT;
        return;
    }
    OpenMode mode;
    mode.access = Access::readWrite;
    mode.followLink = false;
    journal_ = files.open(journalPath_, mode);
    journalWritable_ = journal_ != kNoFile;
    if (journal_ == kNoFile && errno == EACCES) {
        mode.access = Access::read;
        journal_ = files.open(journalPath_, mode);
    }
}

RewriteRecovery::State RewriteRecovery::inspect() {
    FileSystem &files = fileSystem();
    state_ = State::whole;
    if (file_ == kNoFile) {
        // No file at the name: a leftover can be nobody's journal but a
        // file's that was here, and may be needed yet.
        JournalHeader any;
        const JournalState found =
            leftover_ != kNoFile ? anyJournalState(leftover_, &any) : JournalState::none;
        if (found == JournalState::unreadable) {
            return refuseUnreadable("cannot be saved", temporaryNameFor(target_) + " beside it",
                                    "read");
        }
        leftoverKeepsAnotherFile_ = found == JournalState::complete;
        if (leftoverKeepsAnotherFile_) otherInode_ = any.inode;
        return state_;
    }
    std::string value;
    marked_ = files.getMark(file_, &value);
    if (!marked_ && errno != ENODATA && !marksUnsupported(errno)) {
        const int error = errno;
        return refuse(error, "Map file " + target_ +
                                 " cannot be loaded or saved: whether a rewrite of it was cut "
                                 "short cannot be told, as its mark cannot be read (" +
                                 std::strerror(error) + ")");
    }
    if (marked_) mark_ = parseMark(value);
    findJournal();

    JournalState found = JournalState::none;
    if (journal_ != kNoFile) {
        found = journalState(journal_, present_, &header_);
        if (found == JournalState::none && journal_ == leftover_) {
            JournalHeader any;
            leftoverKeepsAnotherFile_ = anyJournalState(journal_, &any) == JournalState::complete;
            otherInode_ = any.inode;
        }
    } else if (errno == ENOENT || errno == ELOOP || errno == EISDIR) {
        found = JournalState::none;  // no journal, a link or a folder in its place
    } else if (mayBeJournal(journalPath_)) {
        journalBusy_ = errno == EBUSY;
        return refuseUnreadable("cannot be loaded or saved", journalPath_, "opened");
    }
    if (found == JournalState::unreadable)
        return refuseUnreadable("cannot be loaded or saved", journalPath_, "read");
    // The journal of the marked rewrite, or of an unmarked one (an earlier
    // build's, or one where the file system keeps no marks). A journal whose
    // file was marked, beside a file that bears no mark, is another file's
    // that had the same number.
    const bool itsJournal =
        found == JournalState::complete &&
        (marked_ ? !mark_.knowsId || rewriteIdOf(header_) == mark_.id : !header_.fileMarked);
    if (found == JournalState::complete && !marked_ && header_.fileMarked &&
        journal_ == leftover_) {
        leftoverKeepsAnotherFile_ = true;
        otherInode_ = header_.inode;
    }
    if (itsJournal) {
        const FileIdentity journal = files.identity(journal_);
        if (!files.userMayWrite(file_, present_, journal.user)) {
            return refuse(EPERM, "Map file " + target_ + " cannot be loaded or saved: " +
                                     journalPath_ + " beside it claims to keep its old content, " +
                                     "but was made by user " + std::to_string(journal.user) +
                                     ", who may not write it; it is not applied");
        }
        state_ = State::torn;
        return state_;
    }
    if (!marked_) return state_;
    if (mark_.name.empty()) {
        // A mark without a name: the leftover beside this name took its
        // journal's place (put back or emptied by now), or the journal lies
        // beside another name.
        if (journal_ != kNoFile) {
            state_ = State::staleMark;
            return state_;
        }
        return refuse(EBUSY, "Map file " + target_ +
                                 " cannot be loaded or saved: it is marked as being rewritten "
                                 "in place through another of its names, and that rewrite was "
                                 "cut short; load or save the unit through the name with " +
                                 fileNameOf(journalPath_) +
                                 " beside it, whose journal puts it back; if no name has one, "
                                 "the mark is stale");
    }
    // The journal is gone, emptied or another's: the rewrite ended, provided
    // the name leads to this very file. One that leads elsewhere here
    // (another mount point, another working folder, a name moved since)
    // hides its journal.
    if (leadsHere(mark_.name)) {
        state_ = State::staleMark;
        return state_;
    }
    return refuse(EBUSY, "Map file " + target_ + " cannot be loaded or saved: a rewrite of it " +
                             "through " + mark_.name +
                             " was cut short, and that name does not lead to this file here; "
                             "load or save the unit through that name, whose journal puts it "
                             "back");
}

FileError RewriteRecovery::recover(bool writable, const Deadline &deadline) {
    FileSystem &files = fileSystem();
    switch (state_) {
        case State::whole:
            return {};
        case State::refused:
            return refusal_;
        case State::staleMark:
            files.clearMark(file_);
            state_ = State::whole;
            return {};
        case State::torn:
            break;
    }
    FileError failed;
    if (!writable) {
        failed.error = EACCES;
        return failed;
    }
    // Until the file is whole again, the journal stays, whatever fails.
    if (!takeContentToWrite(file_, deadline)) {
        failed.error = errno;
        if (failed.error == EAGAIN) {
            failed.message = "Map file " + target_ + " needs its rewrite cut short put back from " +
                             journalPath_ +
                             ", but it is being read by another process; gave up waiting";
        }
        return failed;
    }
    if (!recoverFromJournal(journal_, file_, header_)) {
        failed.error = errno;
        failed.message = "Map file " + target_ + " was cut short while being rewritten, and " +
                         "its old content could not be put back from " + journalPath_ + " (" +
                         std::strerror(failed.error) + "); that file is kept to do it later";
        dropMapLock(file_, MapLock::content);
        return failed;
    }
    if (journalWritable_ && !commitJournal(journal_)) {
        failed.error = errno;
        dropMapLock(file_, MapLock::content);
        return failed;
    }
    files.clearMark(file_);
    dropMapLock(file_, MapLock::content);
    // A journal beside another name is nobody's now: the save lock held
    // keeps every save through any name away.
    if (journal_ != leftover_ && journalWritable_) {
        const int error = errno;
        files.unlink(journalPath_);
        errno = error;
    }
    state_ = State::whole;
    return {};
}

FileError RewriteRecovery::keepsAnotherFile() const {
    FileError kept;
    kept.error = EEXIST;
    kept.message = "Map file " + target_ + " cannot be saved: " + temporaryNameFor(target_) +
                   " beside it keeps the old content of a rewrite cut short of another file (" +
                   "inode " + std::to_string(otherInode_) +
                   "), which is no longer at this name; it is not removed: move that file back "
                   "here and load it, which puts it back" +
                   kWayOut;
    return kept;
}

NativeFile RewriteRecovery::takeJournal(JournalHeader *header) {
    *header = header_;
    NativeFile journal = journal_;
    if (journal == leftover_) return kNoFile;
    journal_ = kNoFile;
    return journal;
}

}  // namespace trel
