// Checked file calls on POSIX systems.
#include "maps/posix_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "maps/sync_point.h"

namespace trel {

bool writeAt(int fd, const char *data, size_t size, uint64_t at) {
    size_t written = 0;
    while (written < size) {
        const ssize_t wrote =
            pwrite(fd, data + written, size - written, static_cast<off_t>(at + written));
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

bool readAt(int fd, char *into, size_t room, uint64_t at, size_t *got) {
    *got = 0;
    while (*got < room) {
        const ssize_t read = pread(fd, into + *got, room - *got, static_cast<off_t>(at + *got));
        if (read < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (read == 0) break;
        *got += static_cast<size_t>(read);
    }
    return true;
}

bool copyBytes(int from, uint64_t fromAt, int to, uint64_t toAt, uint64_t size,
               ContentDigest *digest) {
    std::vector<char> block(size_t{1} << 20);
    for (uint64_t done = 0; done < size;) {
        const uint64_t left = size - done;
        const size_t want = left < block.size() ? static_cast<size_t>(left) : block.size();
        size_t got = 0;
        if (!readAt(from, block.data(), want, fromAt + done, &got)) return false;
        if (got < want) {
            errno = EIO;  // shorter than the size it had under the lock
            return false;
        }
        if (!writeAt(to, block.data(), got, toAt + done)) return false;
        if (digest != nullptr) digest->add(block.data(), got);
        done += got;
    }
    return true;
}

void closeQuietly(int *fd) {
    if (*fd < 0) return;
    const int error = errno;
    ::close(*fd);
    errno = error;
    *fd = -1;
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
    closeQuietly(&fd);
    return synced ? FolderSync::done : FolderSync::failed;
}

}  // namespace trel
