// The temporary file, its checks and the final rename.
#include "maps/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace trel {
namespace {

#if defined(_WIN32)
int createExclusive(const char *name) {
    return _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int currentProcess() {
    return _getpid();
}
bool syncToDisk(int fd) {
    return _commit(fd) == 0;
}
bool renameOver(const char *from, const char *to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}
#else
// Created like fopen creates files (0666 less the umask), but never opens an
// existing one.
int createExclusive(const char *name) {
    return ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int currentProcess() {
    return static_cast<int>(getpid());
}
bool syncToDisk(int fd) {
    return fsync(fd) == 0;
}
bool renameOver(const char *from, const char *to) {
    return std::rename(from, to) == 0;
}
#endif

}  // namespace

bool ReplacementFile::open() {
    // Names unique to this process; a name left by a crashed process is skipped.
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ =
            target_ + ".tmp" + std::to_string(currentProcess()) + "." + std::to_string(serial++);
        int fd = createExclusive(temporary_.c_str());
        if (fd < 0) {
            if (errno == EEXIST) continue;
            temporary_.clear();
            return false;
        }
#if !defined(_WIN32)
        // The replacement keeps the permissions of the file it replaces.
        struct stat existing;
        if (::stat(target_.c_str(), &existing) == 0) fchmod(fd, existing.st_mode & 07777);
#endif
        stream_ = fdopen(fd, "wb");
        if (stream_ == nullptr) {
            ::close(fd);
            abandon();
            return false;
        }
        return true;
    }
    temporary_.clear();
    return false;
}

void ReplacementFile::write(const char *data, size_t size) {
    if (failed_ || size == 0) return;
    if (std::fwrite(data, 1, size, stream_) != size) failed_ = true;
}

bool ReplacementFile::commit() {
    if (stream_ == nullptr) return false;
    bool written = !failed_ && std::fflush(stream_) == 0 && syncToDisk(fileno(stream_));
    bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!written || !closed || !renameOver(temporary_.c_str(), target_.c_str())) {
        abandon();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacementFile::abandon() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporary_.empty()) {
        std::remove(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace trel
