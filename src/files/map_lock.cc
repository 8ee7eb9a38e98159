// Waiting for the map file's locks.
#include "files/map_lock.h"

#include <cerrno>
#include <cstdint>

namespace trel {

namespace {

// Where locks are advisory, the bytes earlier builds lock, held as well.
bool holdsLegacyBytes(MapLock which) {
    return which != MapLock::writer && (fileSystem().capabilities() & kMandatoryLocks) == 0;
}

}  // namespace

Deadline::Deadline(int64_t milliseconds)
    : endNs_(clock().monotonicNs() + milliseconds * 1000000),
      jitter_(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)) ^
              static_cast<uint32_t>(endNs_)) {}

bool Deadline::pause() const {
    const int64_t left = endNs_ - clock().monotonicNs();
    if (left <= 0) return false;
    const int error = errno;
    // A pause of between half and the whole of the current step.
    jitter_ = jitter_ * 1664525u + 1013904223u;
    const int64_t pause = pauseNs_ / 2 + static_cast<int64_t>((jitter_ >> 8) % (pauseNs_ / 2 + 1));
    clock().sleepNs(pause < left ? pause : left);
    errno = error;
    // Short pauses first: most saves hold the lock for a few milliseconds.
    if (pauseNs_ < 8000000) pauseNs_ *= 2;
    return true;
}

uint64_t lockOffset(MapLock which) {
    return (uint64_t{1} << 62) + static_cast<uint64_t>(which);
}

bool takeMapLock(NativeFile file, MapLock which, bool exclusive, const Deadline &deadline) {
    FileSystem &files = fileSystem();
    const bool legacy = holdsLegacyBytes(which);
    const uint64_t legacyOffset = static_cast<uint64_t>(which);
    for (;;) {
        if (!legacy || files.tryLock(file, legacyOffset, exclusive)) {
            if (files.tryLock(file, lockOffset(which), exclusive)) return true;
            if (legacy) files.unlock(file, legacyOffset);
        }
        if (errno != EAGAIN) return false;
        if (!deadline.pause()) {
            errno = EAGAIN;
            return false;
        }
    }
}

void dropMapLock(NativeFile file, MapLock which) {
    FileSystem &files = fileSystem();
    files.unlock(file, lockOffset(which));
    if (holdsLegacyBytes(which)) files.unlock(file, static_cast<uint64_t>(which));
}

bool takeContentToWrite(NativeFile file, const Deadline &deadline) {
    // Only the holder of the save lock writes, so the writer byte is free
    // but for loads looking at it for a moment.
    if (!takeMapLock(file, MapLock::writer, true, deadline)) return false;
    const bool taken = takeMapLock(file, MapLock::content, true, deadline);
    dropMapLock(file, MapLock::writer);
    return taken;
}

bool letWriterIn(NativeFile file, const Deadline &deadline) {
    if (!takeMapLock(file, MapLock::writer, false, deadline)) return false;
    dropMapLock(file, MapLock::writer);
    return true;
}

bool locksUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace trel
