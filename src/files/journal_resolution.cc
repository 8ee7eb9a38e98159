// Reporting and resolving a unit's journal and mark by a user's decision.
#include "files/journal_resolution.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "files/file_system.h"
#include "files/map_lock.h"
#include "files/replacement_file.h"
#include "files/rewrite_journal.h"
#include "files/rewrite_mark.h"
#include "files/rewrite_recovery.h"
#include "files/temporary_name.h"

namespace trel {
namespace {

// The journal the mark of `file` leads to, else the one beside `target`.
std::string journalOf(NativeFile file, const std::string &target, std::string *mark, bool *marked) {
    *marked = file != kNoFile && fileSystem().getMark(file, mark);
    const RewriteMark parsed = parseMark(*mark);
    if (*marked && !parsed.name.empty()) {
        std::string beside = temporaryNameFor(parsed.name);
        if (fileSystem().identityOf(beside, false).exists) return beside;
    }
    return temporaryNameFor(target);
}

NativeFile openJournal(const std::string &path, Access access) {
    OpenMode mode;
    mode.access = access;
    mode.followLink = false;
    return fileSystem().open(path, mode);
}

// The map file at `path` (links followed) and its journal, as a user's
// decision finds them: opened for writing, made where `create` says.
struct Resolved {
    std::string target;
    NativeFile file = kNoFile;
    std::string journalPath;
};
Resolved resolve(const std::string &path, Create create) {
    Resolved found;
    found.target = fileSystem().resolveLinks(path);
    OpenMode mode;
    mode.access = Access::readWrite;
    mode.create = create;
    found.file = fileSystem().open(found.target, mode);
    std::string mark;
    bool marked = false;
    found.journalPath = journalOf(found.file, found.target, &mark, &marked);
    return found;
}

FileError failed(const std::string &message) {
    FileError error;
    error.error = errno != 0 ? errno : EIO;
    error.message = message + ": " + std::strerror(error.error);
    return error;
}

}  // namespace

RewriteReport reportRewrite(const std::string &path) {
    FileSystem &files = fileSystem();
    RewriteReport report;
    report.mapFile = files.resolveLinks(path);
    const NativeFile file = files.open(report.mapFile, OpenMode());
    const FileIdentity present = file != kNoFile ? files.identity(file) : FileIdentity();
    report.fileExists = present.exists;
    report.inode = present.inode;
    report.links = present.links;
    report.journalFile = journalOf(file, report.mapFile, &report.mark, &report.marked);
    NativeFile journal = openJournal(report.journalFile, Access::read);
    report.journalExists = journal != kNoFile;
    if (journal != kNoFile) {
        JournalHeader header;
        report.journalComplete = anyJournalState(journal, &header) == JournalState::complete;
        report.journalNames = header.inode;
        report.oldSize = header.size;
        report.journalOwner = files.identity(journal).user;
        closeFile(&journal);
    }
    if (file != kNoFile) {
        RewriteRecovery recovery(file, report.mapFile, present);
        switch (recovery.inspect()) {
            case RewriteRecovery::State::whole:
            case RewriteRecovery::State::staleMark:
                break;
            case RewriteRecovery::State::torn:
                report.verdict = "a rewrite was cut short: the next load or save puts it back";
                break;
            case RewriteRecovery::State::refused:
                report.verdict = recovery.refusal().message;
                break;
        }
        if (report.verdict.empty() && recovery.leftoverKeepsAnotherFile())
            report.verdict = "saves refuse: the journal keeps another file's old content";
        files.close(file);
    } else if (report.journalComplete) {
        report.verdict = "no map file: the journal keeps the old content of a file once here";
    }
    return report;
}

FileError putJournalBack(const std::string &path) {
    FileSystem &files = fileSystem();
    auto [target, file, journalPath] = resolve(path, Create::ifMissing);
    if (file == kNoFile) return failed("Map file " + target + " cannot be opened");
    const Deadline deadline(kLockWaitMilliseconds);
    NativeFile journal = openJournal(journalPath, Access::readWrite);
    FileError error;
    JournalHeader header;
    if (journal == kNoFile) {
        error = failed(journalPath + " cannot be opened");
    } else if (anyJournalState(journal, &header) != JournalState::complete) {
        errno = EILSEQ;
        error = failed(journalPath + " is no complete journal; nothing was put back");
    } else if (!takeSaveLock(file, target, deadline) || !takeContentToWrite(file, deadline)) {
        error = failed("Map file " + target + " is in use by another process");
    } else if (!rollBack(journal, file, header)) {
        error = failed("Map file " + target + " could not be written");
    } else {
        commitJournal(journal);
        files.clearMark(file);
        files.unlink(journalPath);
        files.syncFolderOf(target);
    }
    closeFile(&journal);
    closeFile(&file);
    return error;
}

FileError discardJournal(const std::string &path) {
    FileSystem &files = fileSystem();
    auto [target, file, journalPath] = resolve(path, Create::no);
    const Deadline deadline(kLockWaitMilliseconds);
    FileError error;
    if (file != kNoFile && !takeSaveLock(file, target, deadline)) {
        error = failed("Map file " + target + " is in use by another process");
    } else if (!files.unlink(journalPath) && errno != ENOENT) {
        error = failed(journalPath + " cannot be removed");
    } else if (file != kNoFile && !files.clearMark(file)) {
        error = failed("The mark of map file " + target + " cannot be removed");
    }
    closeFile(&file);
    return error;
}

}  // namespace trel
