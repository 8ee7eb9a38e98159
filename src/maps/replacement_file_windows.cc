// Replacing a map file on Windows. The system refuses to rename a file over
// one that any process holds open, even through a handle that shares
// deletion, so loads and saves of other hosts would make renames fail. An
// existing map file is therefore always rewritten in place, behind its
// journal, under its locks: that also keeps its links, attributes and access
// control list. A new map file is written as the temporary, under the
// temporary's lock, and moved to its name.
#include <errno.h>
#include <windows.h>

#include <cstring>

#include "maps/map_lock.h"
#include "maps/replacement_file.h"
#include "maps/rewrite_journal.h"

namespace trel {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool fail() {
    errno = errnoFromWindows(GetLastError());
    return false;
}

NativeFile openExisting(const std::string &path, DWORD access) {
    HANDLE file = CreateFileA(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoFile : file;
}

// Whether `path` names the open file `held`.
bool names(const std::string &path, NativeFile held) {
    NativeFile named = openExisting(path, 0);
    if (named == kNoFile) return false;
    const FileIdentity now = identityOfFile(named);
    const FileIdentity then = identityOfFile(held);
    closeFile(&named);
    return now.exists && then.exists && now.device == then.device && now.inode == then.inode;
}

// Removes the open file `file` by its handle, which must allow deletion, or
// else by its name.
bool removeOpenFile(NativeFile file, const std::string &path) {
    FILE_DISPOSITION_INFO remove = {TRUE};
    if (SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove)) return true;
    return DeleteFileA(path.c_str()) ? true : fail();
}

}  // namespace

std::string followLinks(const std::string &path) {
    return path;  // the system follows links whenever a file is opened
}

ReplacementFile::~ReplacementFile() {
    release();
}

bool ReplacementFile::open() {
    const Deadline deadline(kLockWaitMilliseconds);
    target_ = path_;
    temporary_ = temporaryNameFor(target_);
    for (;;) {
        release();  // what an earlier round held, when the path moved on
        const DWORD attributes = GetFileAttributesA(target_.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            // Only "not found" means there is no file; any other failure (a
            // missing folder, a network error, a removal still pending) is
            // no reason to save as if the file were empty.
            if (GetLastError() != ERROR_FILE_NOT_FOUND) return fail();
            present_ = {};
            if (!takeTemporary(deadline)) return false;
            if (temporaryFile_ == kNoFile) {
                errno = temporaryError_;
                return false;
            }
            if (GetFileAttributesA(target_.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
            return true;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            errno = EISDIR;
            return false;
        }
        targetFile_ = openExisting(target_, GENERIC_READ | GENERIC_WRITE);
        targetReadable_ = true;
        if (targetFile_ == kNoFile) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) continue;  // removed meanwhile
            // Another program holds it open without sharing it: waited for
            // as for another save.
            if (error == ERROR_SHARING_VIOLATION && !deadline.passed()) {
                Sleep(1);
                continue;
            }
            if (error == ERROR_SHARING_VIOLATION) {
                refusal_ = "Map file " + target_ +
                           " is held open by another program; gave up waiting for it";
            }
            errno = errnoFromWindows(error);
            return false;
        }
        if (!lockPresent(deadline)) return false;
        if (!names(target_, targetFile_)) continue;
        // A leftover is dealt with first: it may be the journal of a rewrite
        // of this file cut short, which changes the file back.
        if (!takeTemporary(deadline)) return false;
        present_ = identityOfFile(targetFile_);
        if (temporaryFile_ == kNoFile) {
            refusal_ = "Map file " + target_ + " cannot be saved: no file can be made beside it (" +
                       std::strerror(temporaryError_) + ") to keep its pairs while it is rewritten";
            errno = temporaryError_;
            return false;
        }
        inPlace_ = true;
        return true;
    }
}

bool ReplacementFile::takeTemporary(const Deadline &deadline) {
    // A name whose removal is still pending, because another process had the
    // file open, refuses new files for a moment.
    const Deadline pending(1000);
    for (;;) {
        closeFile(&temporaryFile_);
        HANDLE made = CreateFileA(temporary_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                  kShareAll, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool isNew = made != INVALID_HANDLE_VALUE;
        temporaryFile_ = isNew ? made : kNoFile;
        DWORD error = isNew ? 0 : GetLastError();
        bool writable = isNew;
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
            // Another save's, or left by a save or rewrite cut short; one this
            // process may not write is still read, for its journal.
            temporaryFile_ = openExisting(temporary_, GENERIC_READ | GENERIC_WRITE | DELETE);
            writable = temporaryFile_ != kNoFile;
            if (!writable) temporaryFile_ = openExisting(temporary_, GENERIC_READ);
            if (temporaryFile_ == kNoFile) {
                error = GetLastError();
                if (error == ERROR_FILE_NOT_FOUND) continue;
                if (DeleteFileA(temporary_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
                    continue;
                error = GetLastError();
            }
        }
        if (temporaryFile_ == kNoFile) {
            if (error == ERROR_ACCESS_DENIED && !pending.passed()) {
                Sleep(1);
                continue;
            }
            if (error == ERROR_PATH_NOT_FOUND) return fail();
            temporaryError_ = errnoFromWindows(error);
            return true;
        }
        if (!takeMapLock(temporaryFile_, MapLock::save, writable, deadline)) return false;
        if (!names(temporary_, temporaryFile_)) continue;  // moved or removed by its holder
        if (isNew) return true;
        if (!restoreFromLeftover(writable, deadline)) return false;
        if (!removeOpenFile(temporaryFile_, temporary_)) {
            temporaryError_ = errno;
            closeFile(&temporaryFile_);
            return true;
        }
    }
}

bool ReplacementFile::replaceByRename(const char *data, size_t size) {
    // Only a new file gets here: the move replaces nothing, so a file made
    // meanwhile by a program that takes no lock is not lost.
    if (!writeAt(temporaryFile_, data, size, 0) || !syncFile(temporaryFile_)) return false;
    if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) return fail();
    return publishedByRename();
}

bool ReplacementFile::replaceInPlace(const char *data, size_t size) {
    return rewriteLocked(data, size);
}

void ReplacementFile::release() {
    // The temporary goes while its lock still keeps other saves away from it,
    // unless it became the file, or is a journal still needed.
    if (temporaryFile_ != kNoFile && !(published_ && !inPlace_) && !keepJournal_)
        removeOpenFile(temporaryFile_, temporary_);
    closeFile(&temporaryFile_);
    closeFile(&targetFile_);
    readAt_ = 0;
    inPlace_ = false;
    keepJournal_ = false;
}

}  // namespace trel
