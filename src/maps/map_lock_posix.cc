// Record locks on POSIX systems. Open-file-description locks are used where
// the system has them: unlike classic record locks, they are not dropped when
// the process closes some other descriptor of the same file, and two
// descriptors of one process exclude each other. Both kinds exclude each
// other, so processes that can only take classic locks (an emulator, an older
// system) still take turns with the others.
#include "maps/map_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace trel {
namespace {

int64_t nowNs() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool tryLock(int fd, MapLock which, short type) {
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(which);
    range.l_len = 1;
#if defined(F_OFD_SETLK)
    static bool descriptionLocks = true;
    if (descriptionLocks) {
        if (fcntl(fd, F_OFD_SETLK, &range) == 0) return true;
        if (errno != EINVAL) return false;
        descriptionLocks = false;  // not known here: classic locks from now on
        range.l_pid = 0;
    }
#endif
    return fcntl(fd, F_SETLK, &range) == 0;
}

}  // namespace

Deadline::Deadline(int64_t milliseconds) : endNs_(nowNs() + milliseconds * 1000000) {}

bool Deadline::passed() const {
    return nowNs() >= endNs_;
}

bool takeMapLock(int fd, MapLock which, bool exclusive, const Deadline &deadline) {
    // Short pauses first: most saves hold the lock for a few milliseconds.
    long pauseNs = 200000;
    for (;;) {
        if (tryLock(fd, which, exclusive ? F_WRLCK : F_RDLCK)) return true;
        if (errno != EACCES && errno != EAGAIN) return false;
        if (deadline.passed()) {
            errno = EAGAIN;
            return false;
        }
        const timespec pause = {0, pauseNs};
        nanosleep(&pause, nullptr);
        if (pauseNs < 8000000) pauseNs *= 2;
    }
}

void dropMapLock(int fd, MapLock which) {
    const int error = errno;
    tryLock(fd, which, F_UNLCK);
    errno = error;
}

bool locksUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace trel
