// File operations and identities on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "maps/file_identity.h"
#include "maps/native_file.h"

namespace trel {
namespace {

int64_t nanoseconds(const timespec &time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

NativeFile openToRead(const std::string &path, bool followLink) {
    return ::open(path.c_str(),
                  O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW));
}

bool writeAt(NativeFile file, const char *data, size_t size, uint64_t at) {
    size_t written = 0;
    while (written < size) {
        const ssize_t wrote =
            pwrite(file, data + written, size - written, static_cast<off_t>(at + written));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wrote == 0) {
            errno = EIO;
            return false;
        }
        written += static_cast<size_t>(wrote);
    }
    return true;
}

bool readAt(NativeFile file, char *into, size_t room, uint64_t at, size_t *got) {
    *got = 0;
    while (*got < room) {
        const ssize_t read = pread(file, into + *got, room - *got, static_cast<off_t>(at + *got));
        if (read < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (read == 0) break;
        *got += static_cast<size_t>(read);
    }
    return true;
}

bool syncFile(NativeFile file) {
    return fsync(file) == 0;
}

bool setLength(NativeFile file, uint64_t size) {
    return ftruncate(file, static_cast<off_t>(size)) == 0;
}

bool reserveRoom(NativeFile file, uint64_t size, uint64_t newSize) {
    if (newSize <= size) return true;
    const int error =
        posix_fallocate(file, static_cast<off_t>(size), static_cast<off_t>(newSize - size));
    if (error == 0 || error == EOPNOTSUPP || error == EINVAL) return true;
    errno = error;
    return false;
}

void closeFile(NativeFile *file) {
    if (*file < 0) return;
    const int error = errno;
    ::close(*file);
    errno = error;
    *file = -1;
}

std::string folderOf(const std::string &file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

FolderSync syncFolderOf(const std::string &file) {
    int fd = ::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? FolderSync::notPermitted : FolderSync::failed;
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    closeFile(&fd);
    return synced ? FolderSync::done : FolderSync::failed;
}

FileIdentity identityOfFile(NativeFile fd) {
    FileIdentity identity;
    struct stat status;
    if (fstat(fd, &status) != 0) return identity;
    identity.exists = true;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    identity.size = static_cast<uint64_t>(status.st_size);
    identity.modifiedNs = nanoseconds(status.st_mtim);
    identity.changedNs = nanoseconds(status.st_ctim);
    return identity;
}

}  // namespace trel
