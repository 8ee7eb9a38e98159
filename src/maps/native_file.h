// The map-file code's few file operations, over the platform's own open
// file (a descriptor on POSIX systems, a handle on Windows): whole writes and
// reads at an offset, syncs, lengths, closes that keep errno, and the folder
// sync that makes a new name durable. Failures set errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trel {

#if defined(_WIN32)
using NativeFile = void *;  // a HANDLE
constexpr NativeFile kNoFile = nullptr;
// The errno value that says what a system error code says.
int errnoFromWindows(unsigned long error);
#else
using NativeFile = int;
constexpr NativeFile kNoFile = -1;
#endif

// Opens a file for reading, sharing it with every other reader and writer.
// Without `followLink`, a symbolic link as the last part of the path is
// refused with ELOOP where the platform tells links apart.
NativeFile openToRead(const std::string &path, bool followLink);

// Writes all of [data, data + size) at `at`.
bool writeAt(NativeFile file, const char *data, size_t size, uint64_t at);
// Reads up to `room` bytes at `at`, fewer only at the end of the file; *got
// tells how many.
bool readAt(NativeFile file, char *into, size_t room, uint64_t at, size_t *got);
// Makes the file's content durable.
bool syncFile(NativeFile file);
// Makes the file `size` bytes long.
bool setLength(NativeFile file, uint64_t size);
// Takes room for a file growing from `size` to `newSize` bytes, so that a
// full disk is met before its content changes; a file system that cannot
// reserve room leaves it to the writes.
bool reserveRoom(NativeFile file, uint64_t size, uint64_t newSize);
// Closes *file if open and sets it to kNoFile, keeping errno.
void closeFile(NativeFile *file);

// The folder a file lies in ("." for a bare name).
std::string folderOf(const std::string &file);

enum class FolderSync { done, notPermitted, failed };
// Syncs the folder of `file`, so that a rename or a new name in it survives a
// power cut. A folder this process may not open (no read permission) cannot
// be synced: notPermitted, and the name is as durable as the system makes it.
// A file system that cannot sync folders says so: done.
FolderSync syncFolderOf(const std::string &file);

}  // namespace trel
