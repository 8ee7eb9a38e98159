// The seam between the file protocol and the operating system: the few
// file-system primitives and the clock that loading and saving a map file
// need, and nothing more. The protocol (map_lock.h, rewrite_journal.h,
// replacement_file.h, map_reader.h) is written once above it and never calls
// the system itself; each platform implements the primitives only, in
// file_system_posix.cc and file_system_windows.cc. Where the platforms
// differ in what they can do, the protocol asks capabilities() rather than
// which platform it runs on.
//
// Every primitive that can fail returns false (or kNoFile, or an identity
// that does not exist) and leaves the system's reason in errno, translated to
// an errno value on Windows. Tests put a faulting file system and a clock of
// their own in place of the system's (useFileSystem, useClock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trel {

#if defined(_WIN32)
using NativeFile = void *;  // a HANDLE
constexpr NativeFile kNoFile = nullptr;
#else
using NativeFile = int;
constexpr NativeFile kNoFile = -1;
#endif

// A file's identity: which file it is (device and inode, or volume and file
// index) and what it last looked like (size, modification and change times).
// Two looks at one file that agree in all of them saw the same content, but
// for a writer on a file system with coarse times (see sync_point.h).
struct FileIdentity {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;  // since 1970, on every platform
    // The inode change time, which every write, rename and change of links or
    // permissions moves and which no writer can set back: a rewrite that
    // keeps the size and restores the modification time still shows here.
    // 0 where the file system keeps none.
    int64_t changedNs = 0;
    // What the file is, not part of its identity.
    bool regular = false;
    bool folder = false;
    uint32_t links = 0;
    uint32_t mode = 0;  // permission bits; 0 where the platform has none
    uint32_t user = 0;
    uint32_t group = 0;

    bool operator==(const FileIdentity &other) const {
        return exists == other.exists &&
               (!exists || (device == other.device && inode == other.inode && size == other.size &&
                            modifiedNs == other.modifiedNs && changedNs == other.changedNs));
    }
    bool sameFile(const FileIdentity &other) const {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};

enum class Access { read, write, readWrite };
enum class Create { no, ifMissing, exclusive };

struct OpenMode {
    Access access = Access::read;
    Create create = Create::no;
    // A symbolic link as the last part of the path is refused with ELOOP
    // unless followed (where the platform tells links apart).
    bool followLink = true;
    // The file may be removed through the open file (Windows asks for it at
    // open; POSIX systems need nothing).
    bool removable = false;
    unsigned permissions = 0666;  // of a file made, before the umask
};

enum class FolderSync { done, notPermitted, failed };

// What a new file made beside an old one could take over from it.
enum class Inheritance { all, notOwner, notAttributes };

// What a file system can do, as far as the protocol cares.
enum Capability : unsigned {
    // A file may be renamed over one that other processes hold open (POSIX
    // systems); Windows refuses while any handle is open, even one that
    // shares deletion, so there every existing map file is rewritten in place.
    kRenameOverOpenFile = 1u << 0,
    // A name whose file was removed while open stays taken for a moment
    // (Windows): a new file of that name is refused meanwhile.
    kRemovalIsDeferred = 1u << 1,
    // Locked bytes cannot be read or written through other handles
    // (Windows), so lock bytes must lie past the end of any content.
    kMandatoryLocks = 1u << 2,
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    virtual unsigned capabilities() const = 0;

    // Open files. close keeps errno.
    virtual NativeFile open(const std::string &path, const OpenMode &mode) = 0;
    virtual void close(NativeFile file) = 0;
    // Reads up to `room` bytes at `at`, fewer only at the end of the file;
    // *got tells how many.
    virtual bool readAt(NativeFile file, char *into, size_t room, uint64_t at, size_t *got) = 0;
    // Writes all of [data, data + size) at `at`.
    virtual bool writeAt(NativeFile file, const char *data, size_t size, uint64_t at) = 0;
    // Makes the file's content and length durable.
    virtual bool sync(NativeFile file) = 0;
    virtual bool setLength(NativeFile file, uint64_t size) = 0;
    // Takes room for a file growing from `size` to `newSize` bytes, so that a
    // full disk is met before its content changes; a file system that cannot
    // reserve room leaves it to the writes.
    virtual bool reserve(NativeFile file, uint64_t size, uint64_t newSize) = 0;
    // Gives the open file these permission bits (nothing where there are none).
    virtual bool setPermissions(NativeFile file, unsigned mode) = 0;

    // A one-byte record lock at `offset`, taken without waiting: false with
    // EAGAIN when another open file holds it in a way that excludes this one.
    virtual bool tryLock(NativeFile file, uint64_t offset, bool exclusive) = 0;
    virtual void unlock(NativeFile file, uint64_t offset) = 0;
    // Whether a shared lock at `offset` could be taken now, without taking
    // it: false with EAGAIN when another open file holds it exclusively.
    virtual bool canLockShared(NativeFile file, uint64_t offset) = 0;

    virtual FileIdentity identity(NativeFile file) = 0;
    // The identity of the file a path names; not existing, with errno, when
    // there is none.
    virtual FileIdentity identityOf(const std::string &path, bool followLink) = 0;
    // The file a path names after following symbolic links, also when the
    // last one points to a file not made yet.
    virtual std::string resolveLinks(const std::string &path) = 0;
    // The path as every process of this host names it: absolute, its folder's
    // links resolved. The path as it is where that cannot be told.
    virtual std::string fullPath(const std::string &path) = 0;

    // Names. renameNoReplace fails with EEXIST when `to` exists, and with
    // ENOSYS where the file system cannot rename that way.
    virtual bool rename(const std::string &from, const std::string &to) = 0;
    virtual bool renameNoReplace(const std::string &from, const std::string &to) = 0;
    virtual bool link(const std::string &from, const std::string &to) = 0;
    virtual bool unlink(const std::string &path) = 0;
    // Removes the open `file`, named `path`, through the open file where the
    // platform can (it was opened removable), else by its name.
    virtual bool removeOpen(NativeFile file, const std::string &path) = 0;
    // Syncs the folder of `file`, so that a rename or a new name in it
    // survives a power cut. A folder this process may not open cannot be
    // synced: notPermitted. A file system that cannot sync folders: done.
    virtual FolderSync syncFolderOf(const std::string &file) = 0;

    // Gives the fresh file `to` the owner, group, extended attributes and
    // access control list of `from` (whose identity is `fromIdentity`);
    // says what could not be given.
    virtual Inheritance inherit(NativeFile from, const FileIdentity &fromIdentity,
                                NativeFile to) = 0;
    // Gives the open file the group `group`; false where it cannot.
    virtual bool setGroup(NativeFile file, uint32_t group) = 0;
    // Whether the user `user` could write the open `file` (whose identity is
    // `identity`): its owner, the system's administrator, or one its
    // permissions and access control list let write it. True where files
    // keep no owner (Windows: the folder's permissions decide who may make a
    // file there).
    virtual bool userMayWrite(NativeFile file, const FileIdentity &identity, uint32_t user) = 0;

    // A small named value attached to the file itself, seen through every
    // name of it (an extended attribute). getMark: false with ENODATA when
    // the file has none, ENOTSUP where the file system keeps none. Where the
    // file keeps the mark but not its value (Windows: a file attribute), a
    // mark reads as the empty value. Both platforms see each other's marks
    // on a folder they share: POSIX systems also set and read the file
    // attribute that Windows hosts keep the mark in, where the file system
    // keeps those attributes (the user.DOSATTRIB extended attribute).
    virtual bool setMark(NativeFile file, const std::string &value) = 0;
    virtual bool getMark(NativeFile file, std::string *value) = 0;
    virtual bool clearMark(NativeFile file) = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // For deadlines: never goes back.
    virtual int64_t monotonicNs() = 0;
    // Since 1970, as file times are.
    virtual int64_t wallNs() = 0;
    virtual void sleepNs(int64_t ns) = 0;
};

// The file system and the clock every load and save uses.
FileSystem &fileSystem();
Clock &clock();
// The platform's own.
FileSystem &systemFileSystem();
Clock &systemClock();
// For tests: puts another in place for the whole process; null puts the
// system's back.
void useFileSystem(FileSystem *fileSystem);
void useClock(Clock *clock);

// The folder a file lies in ("." for a bare name), and its name in it.
std::string folderOf(const std::string &file);
std::string fileNameOf(const std::string &file);

// Closes *file if open and sets it to kNoFile, keeping errno.
inline void closeFile(NativeFile *file) {
    if (*file == kNoFile) return;
    fileSystem().close(*file);
    *file = kNoFile;
}

}  // namespace trel
