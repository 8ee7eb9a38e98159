// Waiting for the map file's locks.
#include "files/map_lock.h"

#include <cerrno>

namespace trel {

Deadline::Deadline(int64_t milliseconds) : endNs_(clock().monotonicNs() + milliseconds * 1000000) {}

bool Deadline::passed() const {
    return clock().monotonicNs() >= endNs_;
}

bool Deadline::pause() const {
    const int64_t left = endNs_ - clock().monotonicNs();
    if (left <= 0) return false;
    const int error = errno;
    clock().sleepNs(pauseNs_ < left ? pauseNs_ : left);
    errno = error;
    // Short pauses first: most saves hold the lock for a few milliseconds.
    if (pauseNs_ < 8000000) pauseNs_ *= 2;
    return true;
}

uint64_t lockOffset(MapLock which) {
    // Where locks are mandatory, locked bytes cannot be read or written
    // through other handles: they lie far past the end of any map file.
    const uint64_t base =
        (fileSystem().capabilities() & kMandatoryLocks) != 0 ? uint64_t{1} << 62 : 0;
    return base + static_cast<uint64_t>(which);
}

bool takeMapLock(NativeFile file, MapLock which, bool exclusive, const Deadline &deadline) {
    FileSystem &files = fileSystem();
    for (;;) {
        if (files.tryLock(file, lockOffset(which), exclusive)) return true;
        if (errno != EAGAIN) return false;
        if (!deadline.pause()) {
            errno = EAGAIN;
            return false;
        }
    }
}

void dropMapLock(NativeFile file, MapLock which) {
    fileSystem().unlock(file, lockOffset(which));
}

bool locksUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace trel
