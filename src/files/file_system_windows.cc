// The file-system primitives and the clock on Windows, and the system's
// errors as errno values.
#include <errno.h>
#include <windows.h>
#include <winternl.h>

#include "files/file_system.h"

namespace trel {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// From 1601, the system's epoch, to 1970, in its 100 ns ticks.
constexpr int64_t kTicksTo1970 = 116444736000000000LL;

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

int errnoFromWindows(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_CANNOT_MAKE:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_LOCK_VIOLATION:
            return EAGAIN;
        case ERROR_USER_MAPPED_FILE:
            return ETXTBSY;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_CALL_NOT_IMPLEMENTED:
        case ERROR_NOT_SUPPORTED:
            return ENOSYS;
        default:
            return EIO;
    }
}

bool fail() {
    errno = errnoFromWindows(GetLastError());
    return false;
}

int64_t ticksToNs(int64_t ticks) {
    return (ticks - kTicksTo1970) * 100;
}

int64_t fileTimeNs(const FILETIME &time) {
    return ticksToNs(
        static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime));
}

class WindowsFileSystem final : public FileSystem {
  public:
    unsigned capabilities() const override { return kRemovalIsDeferred | kMandatoryLocks; }

    NativeFile open(const std::string &path, const OpenMode &mode) override {
        DWORD access = mode.access == Access::read    ? GENERIC_READ
                       : mode.access == Access::write ? GENERIC_WRITE
                                                      : GENERIC_READ | GENERIC_WRITE;
        if (mode.removable) access |= DELETE;
        const DWORD disposition = mode.create == Create::exclusive   ? CREATE_NEW
                                  : mode.create == Create::ifMissing ? OPEN_ALWAYS
                                                                     : OPEN_EXISTING;
        HANDLE file = CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesA(path.c_str());
        // A folder cannot be opened as a file: say what it is.
        errno = attributes != INVALID_FILE_ATTRIBUTES &&
                        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && error != ERROR_FILE_EXISTS
                    ? EISDIR
                    : errnoFromWindows(error);
        return kNoFile;
    }

    void close(NativeFile file) override {
        const int error = errno;
        CloseHandle(file);
        errno = error;
    }

    bool readAt(NativeFile file, char *into, size_t room, uint64_t offset, size_t *got) override {
        *got = 0;
        while (*got < room) {
            const size_t left = room - *got;
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            OVERLAPPED position = at(offset + *got);
            DWORD read = 0;
            if (!ReadFile(file, into + *got, chunk, &read, &position)) {
                if (GetLastError() == ERROR_HANDLE_EOF) break;
                return fail();
            }
            if (read == 0) break;
            *got += read;
        }
        return true;
    }

    bool writeAt(NativeFile file, const char *data, size_t size, uint64_t offset) override {
        for (size_t written = 0; written < size;) {
            const size_t left = size - written;
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            OVERLAPPED position = at(offset + written);
            DWORD wrote = 0;
            if (!WriteFile(file, data + written, chunk, &wrote, &position)) return fail();
            if (wrote == 0) {
                errno = EIO;
                return false;
            }
            written += wrote;
        }
        return true;
    }

    bool sync(NativeFile file) override { return FlushFileBuffers(file) ? true : fail(); }

    bool setLength(NativeFile file, uint64_t size) override {
        FILE_END_OF_FILE_INFO end = {};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) ? true
                                                                                     : fail();
    }

    bool reserve(NativeFile file, uint64_t size, uint64_t newSize) override {
        // The new length at once: a full disk refuses it before a byte changes.
        return newSize <= size || setLength(file, newSize);
    }

    bool setPermissions(NativeFile /*file*/, unsigned /*mode*/) override { return true; }

    bool tryLock(NativeFile file, uint64_t offset, bool exclusive) override {
        const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        OVERLAPPED range = at(offset);
        if (LockFileEx(file, flags, 0, 1, 0, &range)) return true;
        const DWORD error = GetLastError();
        errno = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING
                    ? EAGAIN
                    : errnoFromWindows(error);
        return false;
    }

    void unlock(NativeFile file, uint64_t offset) override {
        const int error = errno;
        OVERLAPPED range = at(offset);
        UnlockFileEx(file, 0, 1, 0, &range);
        errno = error;
    }

    // Windows cannot ask without taking: a lock and an unlock.
    bool canLockShared(NativeFile file, uint64_t offset) override {
        if (!tryLock(file, offset, false)) return false;
        unlock(file, offset);
        return true;
    }

    // The C runtime's stat calls disagree between an open file and its path
    // (the device number) and keep whole seconds only, so identities come
    // from the system, all asked of the handle itself: the file index, size,
    // links, and the write and change times. The volume is left out (device
    // 0): every identity compared is of a file reached through one folder,
    // and asking for the volume's serial number (as GetFileInformationByHandle
    // and FileIdInfo do) is, under Wine, a round trip to its mount manager
    // whose answer comes back as a signal, which hung test programs run under
    // emulation. The index is the one those calls report.
    FileIdentity identity(NativeFile handle) override {
        FileIdentity identity;
        FILE_BASIC_INFO times;
        FILE_STANDARD_INFO standard;
        IO_STATUS_BLOCK io;
        LARGE_INTEGER index;  // FILE_INTERNAL_INFORMATION
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
            !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) ||
            !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
            fail();
            return identity;
        }
        const NTSTATUS status =
            NtQueryInformationFile(handle, &io, &index, sizeof index, FileInternalInformation);
        if (status < 0) {
            SetLastError(RtlNtStatusToDosError(status));
            fail();
            return identity;
        }
        identity.exists = true;
        identity.inode = static_cast<uint64_t>(index.QuadPart);
        identity.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
        identity.modifiedNs = ticksToNs(times.LastWriteTime.QuadPart);
        identity.folder = standard.Directory != FALSE;
        identity.regular = !identity.folder;
        identity.links = standard.NumberOfLinks;
        if (times.ChangeTime.QuadPart != 0)
            identity.changedNs = ticksToNs(times.ChangeTime.QuadPart);
        return identity;
    }

    FileIdentity identityOf(const std::string &path, bool /*followLink*/) override {
        HANDLE file = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            fail();
            return FileIdentity();
        }
        const FileIdentity found = identity(file);
        close(file);
        return found;
    }

    std::string resolveLinks(const std::string &path) override {
        return path;  // the system follows links whenever a file is opened
    }

    std::string fullPath(const std::string &path) override {
        char full[MAX_PATH];
        const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
        return length == 0 || length >= sizeof full ? path : std::string(full, length);
    }

    bool rename(const std::string &from, const std::string &to) override {
        return MoveFileExA(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? true
                   : fail();
    }

    bool renameNoReplace(const std::string &from, const std::string &to) override {
        return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? true : fail();
    }

    bool link(const std::string &from, const std::string &to) override {
        return CreateHardLinkA(to.c_str(), from.c_str(), nullptr) ? true : fail();
    }

    bool unlink(const std::string &path) override {
        return DeleteFileA(path.c_str()) ? true : fail();
    }

    bool removeOpen(NativeFile file, const std::string &path) override {
        FILE_DISPOSITION_INFO remove = {TRUE};
        if (SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove))
            return true;
        return unlink(path);
    }

    FolderSync syncFolderOf(const std::string &file) override {
        // A folder opened for writing with backup semantics can be flushed,
        // which writes its entries; where the system refuses that, its names
        // are as durable as it makes them.
        HANDLE folder = CreateFileA(folderOf(file).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (folder == INVALID_HANDLE_VALUE) return FolderSync::notPermitted;
        const bool flushed = FlushFileBuffers(folder) || GetLastError() == ERROR_ACCESS_DENIED ||
                             GetLastError() == ERROR_INVALID_FUNCTION;
        const DWORD error = GetLastError();
        CloseHandle(folder);
        errno = errnoFromWindows(error);
        return flushed ? FolderSync::done : FolderSync::failed;
    }

    Inheritance inherit(NativeFile /*from*/, const FileIdentity & /*fromIdentity*/,
                        NativeFile /*to*/) override {
        // Never asked: an existing file is always rewritten in place here.
        return Inheritance::notAttributes;
    }

    bool setGroup(NativeFile /*file*/, uint32_t /*group*/) override { return true; }

    // Files here keep no owner id the protocol compares: who may make a
    // journal is whoever the folder lets make a file.
    bool userMayWrite(NativeFile /*file*/, const FileIdentity & /*identity*/,
                      uint32_t /*user*/) override {
        return true;
    }

    // The mark is the file's system attribute, which belongs to the file and
    // is seen through each of its names (under Wine too, which keeps it in an
    // extended attribute of the inode). It holds no value: whoever finds it
    // does not learn through which name the rewrite went. A stream of the
    // file would hold one, but under Wine "page.map:stream" is a second file
    // beside one name.
    bool setMark(NativeFile file, const std::string & /*value*/) override {
        return setSystemAttribute(file, true);
    }
    bool getMark(NativeFile file, std::string *value) override {
        FILE_BASIC_INFO basic;
        if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
            fail();
            return false;
        }
        if ((basic.FileAttributes & FILE_ATTRIBUTE_SYSTEM) == 0) {
            errno = ENODATA;
            return false;
        }
        value->clear();
        return true;
    }
    bool clearMark(NativeFile file) override { return setSystemAttribute(file, false); }

  private:
    static bool setSystemAttribute(NativeFile file, bool on) {
        FILE_BASIC_INFO basic;
        if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
            fail();
            return false;
        }
        const DWORD wanted = on ? basic.FileAttributes | FILE_ATTRIBUTE_SYSTEM
                                : basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_SYSTEM};
        if (wanted == basic.FileAttributes) return true;
        FILE_BASIC_INFO change{};  // zero times: left as they are
        change.FileAttributes = wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(file, FileBasicInfo, &change, sizeof change)) {
            fail();
            return false;
        }
        return true;
    }
};

class WindowsClock final : public Clock {
  public:
    int64_t monotonicNs() override { return static_cast<int64_t>(GetTickCount64()) * 1000000; }
    int64_t wallNs() override {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return fileTimeNs(now);
    }
    // Pauses last a timer tick (about 15 ms) whatever they ask for: waits
    // are measured by the clock, not by the pauses.
    void sleepNs(int64_t ns) override { Sleep(static_cast<DWORD>((ns + 999999) / 1000000)); }
};

}  // namespace

FileSystem &systemFileSystem() {
    static WindowsFileSystem system;
    return system;
}

Clock &systemClock() {
    static WindowsClock clock;
    return clock;
}

}  // namespace trel
