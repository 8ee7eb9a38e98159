// Checked file calls shared by the POSIX map-file code: whole writes and
// reads at an offset, closes that keep errno, and the folder sync that makes
// a rename or a new file durable.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace trel {

// Writes all of [data, data + size) at `at`. False with errno.
bool writeAt(int fd, const char *data, size_t size, uint64_t at);
// Reads up to `room` bytes at `at`, fewer only at the end of the file; *got
// tells how many. False with errno.
bool readAt(int fd, char *into, size_t room, uint64_t at, size_t *got);
// Copies `size` bytes from `from` at `fromAt` to `to` at `toAt`. False with
// errno; `digest`, when given, gets the bytes copied.
class ContentDigest;
bool copyBytes(int from, uint64_t fromAt, int to, uint64_t toAt, uint64_t size,
               ContentDigest *digest);
// Closes *fd if open and sets it to -1, keeping errno.
void closeQuietly(int *fd);

// The folder a file lies in ("." for a bare name).
std::string folderOf(const std::string &file);

enum class FolderSync { done, notPermitted, failed };
// Syncs the folder of `file`, so that a rename or a new name in it survives a
// power cut. A folder this process may not open (no read permission) cannot
// be synced: notPermitted, and the name is as durable as the system makes it.
// A file system that cannot sync folders says EINVAL: done.
FolderSync syncFolderOf(const std::string &file);

}  // namespace trel
