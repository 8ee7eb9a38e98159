// File operations and identities on Windows, and the system's errors as
// errno values.
#include <errno.h>
#include <windows.h>
#include <winternl.h>

#include "maps/file_identity.h"
#include "maps/native_file.h"

namespace trel {
namespace {

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

bool fail() {
    errno = errnoFromWindows(GetLastError());
    return false;
}

}  // namespace

int errnoFromWindows(unsigned long error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_CANNOT_MAKE:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_LOCK_VIOLATION:
            return EAGAIN;
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
        default:
            return EIO;
    }
}

NativeFile openToRead(const std::string &path, bool /*followLink: links are followed*/) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    // A folder cannot be opened as a file: say what it is.
    errno = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                ? EISDIR
                : errnoFromWindows(error);
    return kNoFile;
}

bool writeAt(NativeFile file, const char *data, size_t size, uint64_t offset) {
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

bool readAt(NativeFile file, char *into, size_t room, uint64_t offset, size_t *got) {
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

bool syncFile(NativeFile file) {
    return FlushFileBuffers(file) ? true : fail();
}

bool setLength(NativeFile file, uint64_t size) {
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) ? true : fail();
}

bool reserveRoom(NativeFile file, uint64_t size, uint64_t newSize) {
    // The new length at once: a full disk refuses it before a byte changes.
    return newSize <= size || setLength(file, newSize);
}

void closeFile(NativeFile *file) {
    if (*file == kNoFile) return;
    const int error = errno;
    CloseHandle(*file);
    errno = error;
    *file = kNoFile;
}

std::string folderOf(const std::string &file) {
    const size_t slash = file.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? file.substr(0, 1) : file.substr(0, slash);
}

FolderSync syncFolderOf(const std::string &file) {
    // A folder opened for writing with backup semantics can be flushed, which
    // writes its entries; where the system refuses that, its names are as
    // durable as it makes them.
    HANDLE folder = CreateFileA(folderOf(file).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return FolderSync::notPermitted;
    const bool flushed = FlushFileBuffers(folder) || GetLastError() == ERROR_ACCESS_DENIED ||
                         GetLastError() == ERROR_INVALID_FUNCTION;
    const DWORD error = GetLastError();
    CloseHandle(folder);
    errno = errnoFromWindows(error);
    return flushed ? FolderSync::done : FolderSync::failed;
}

// The C runtime's stat calls disagree between an open file and its path (the
// device number) and keep whole seconds only, so identities come from the
// system: the file index, size, and the write and change times in its 100 ns
// ticks, all asked of the handle itself. The volume is left out (device 0):
// every identity compared is of a file reached through one folder, and asking
// for the volume's serial number (as GetFileInformationByHandle and
// FileIdInfo do) is, under Wine, a round trip to its mount manager service
// whose answer comes back as a signal, which hung test programs run under
// emulation. The index is the one those calls report.
FileIdentity identityOfFile(NativeFile handle) {
    FileIdentity identity;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return identity;
    const HANDLE file = static_cast<HANDLE>(handle);
    FILE_BASIC_INFO times;
    FILE_STANDARD_INFO standard;
    IO_STATUS_BLOCK io;
    LARGE_INTEGER index;  // FILE_INTERNAL_INFORMATION
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        NtQueryInformationFile(file, &io, &index, sizeof index, FileInternalInformation) < 0) {
        return identity;
    }
    identity.exists = true;
    identity.inode = static_cast<uint64_t>(index.QuadPart);
    identity.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    identity.modifiedNs = times.LastWriteTime.QuadPart;
    identity.changedNs = times.ChangeTime.QuadPart;
    return identity;
}

}  // namespace trel
