// Replacing a map file on Windows: the temporary is opened with no sharing
// but deletion, which is the lock, and renamed over the file with a
// write-through move while still open.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // SetFileInformationByHandle
#endif
#include <errno.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "maps/replacement_file.h"

namespace trel {
namespace {

// How long a save waits for another process's save of the same file.
constexpr DWORD kLockWaitMilliseconds = 10000;

void setErrnoFrom(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        default:
            errno = EIO;
            break;
    }
}

bool fail() {
    setErrnoFrom(GetLastError());
    return false;
}

}  // namespace

std::string followLinks(const std::string &path) {
    return path;
}

ReplacementFile::~ReplacementFile() {
    release();
}

bool ReplacementFile::lock() {
    target_ = path_;
    const DWORD attributes = GetFileAttributesA(target_.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            errno = EISDIR;
            return false;
        }
        // Refused exactly when opening the file for writing is refused (a
        // read-only file among others); the open itself changes nothing.
        HANDLE probe = CreateFileA(target_.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return fail();
        CloseHandle(probe);
    }

    temporary_ = temporaryNameFor(target_);
    for (DWORD waited = 0;; waited += 5) {
        HANDLE handle =
            CreateFileA(temporary_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                        FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            temporaryHandle_ = handle;
            // The file as it is now, read through a handle of its own.
            HANDLE target = CreateFileA(target_.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (target != INVALID_HANDLE_VALUE) {
                targetHandle_ = target;
                present_ = identityOfFile(target);
            } else if (exists) {
                present_.exists = true;  // there, but not readable: a changed file
                present_.inode = ~uint64_t{0};
            }
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION || waited >= kLockWaitMilliseconds) {
            setErrnoFrom(error);
            return false;
        }
        Sleep(5);
    }
}

ReadChunk ReplacementFile::readPresent(char *into, size_t room) {
    if (targetHandle_ == nullptr) {
        errno = EACCES;
        return {0, false, true};
    }
    size_t got = 0;
    while (got < room) {
        const size_t left = room - got;
        DWORD read = 0;
        if (!ReadFile(static_cast<HANDLE>(targetHandle_), into + got,
                      left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left), &read,
                      nullptr)) {
            setErrnoFrom(GetLastError());
            return {0, false, true};
        }
        if (read == 0) break;
        got += read;
    }
    readAt_ += got;
    return {got, got < room, false};
}

bool ReplacementFile::replace(const char *data, size_t size) {
    return replaceByRename(data, size);
}

bool ReplacementFile::replaceByRename(const char *data, size_t size) {
    HANDLE handle = static_cast<HANDLE>(temporaryHandle_);
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
        return fail();
    }
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return fail();
        data += written;
        size -= written;
    }
    if (!FlushFileBuffers(handle)) return fail();
    if (targetHandle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(targetHandle_));
        targetHandle_ = nullptr;
    }
    // The handle allows deletion, so the move works while the lock is held;
    // write-through returns only once the new name is on disk.
    if (!MoveFileExA(temporary_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return fail();
    }
    temporary_.clear();
    published_ = true;
    publishedIdentity_ = identityOfFile(handle);
    return true;
}

bool ReplacementFile::replaceInPlace(const char *data, size_t size) {
    return replaceByRename(data, size);
}

void ReplacementFile::release() {
    if (targetHandle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(targetHandle_));
        targetHandle_ = nullptr;
    }
    if (temporaryHandle_ == nullptr) return;
    const int error = errno;
    HANDLE handle = static_cast<HANDLE>(temporaryHandle_);
    if (!temporary_.empty()) {
        // Marked for deletion while still held, so no other save opens it
        // between the close and the removal.
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
    }
    CloseHandle(handle);
    temporaryHandle_ = nullptr;
    errno = error;
}

}  // namespace trel
