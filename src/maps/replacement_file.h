// Replacing a map file's content without ever losing it.
//
// The normal way is to write the new content to a temporary file beside the
// file, check every write and the sync, and rename it over the file, then sync
// the folder: a reader sees the old content or the new, never a mix, and a
// crash leaves the old file whole. Where a new file would lose something the
// old one has, the file is instead rewritten in place, every write and the
// sync checked:
//   - the file has other names (hard links), which a rename would leave with
//     the old pairs;
//   - its owner or group cannot be given to a new file;
//   - no new file can be made in the folder although the file is writable.
// A symbolic link is followed: the file it points to is replaced and the link
// stays a link. A file the process may not write is refused, as opening it
// for writing would refuse it.
//
// Each map file has one temporary name, the file's own name with its last
// character replaced by '~' ("page.ma~"), no longer than the file's name, so
// any path that fits the platform's limit has a temporary that fits too. The
// temporary is held under a lock for the whole save, so two processes saving
// one file take turns, and one left by a killed process is taken over and
// reused by the next save, which removes it: a folder holds at most one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trel {

class ReplacementFile {
  public:
    explicit ReplacementFile(std::string path) : path_(std::move(path)) {}
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;
    // Releases the lock; a temporary that was not renamed is removed first.
    ~ReplacementFile();

    // Finds the file to replace, checks that it may be written and takes the
    // file's lock, waiting a while for another process's save to end. False,
    // with errno telling why, when the file cannot be written.
    bool lock();

    // The file whose content is replaced (after following a link).
    const std::string &target() const { return target_; }

    // Reads the file's present content, under the lock. False, with errno
    // telling why, when it cannot be read; a missing file reads as empty.
    bool readTarget(std::vector<char> *bytes);

    // Makes [data, data + size) the file's content. False, with errno telling
    // why, when anything on the way failed; the file is then as it was, except
    // after a failed write in place (see above), which is reported the same.
    bool replace(const char *data, size_t size);

  private:
    bool replaceByRename(const char *data, size_t size);
    bool replaceInPlace(const char *data, size_t size);
    void release();

    std::string path_;
    std::string target_;
    std::string temporary_;
    bool exists_ = false;   // the target exists
    bool inPlace_ = false;  // decided by lock(): rename would lose something
#if defined(_WIN32)
    void *temporaryHandle_ = nullptr;
#else
    int temporaryFd_ = -1;  // the locked temporary, -1 when none could be made
    int targetFd_ = -1;     // the existing target, opened for writing
    bool targetReadable_ = false;
    bool published_ = false;
    uint64_t oldSize_ = 0;
    unsigned ownerId_ = 0;
    unsigned groupId_ = 0;
    unsigned mode_ = 0;
#endif
};

// The temporary name of a file: its last character replaced by '~', or by
// '#' when it is '~' already.
std::string temporaryNameFor(const std::string &file);

}  // namespace trel
