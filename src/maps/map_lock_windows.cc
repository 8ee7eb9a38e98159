// Record locks on Windows. The system's locks are mandatory: a locked range
// cannot be read or written through another handle. So the lock bytes lie
// far past the end of any map file, where they hold up no read or write.
#include <windows.h>

#include <cerrno>

#include "maps/map_lock.h"

namespace trel {
namespace {

constexpr uint64_t kLockBase = uint64_t{1} << 62;

OVERLAPPED lockRange(MapLock which) {
    const uint64_t offset = kLockBase + static_cast<uint64_t>(which);
    OVERLAPPED range = {};
    range.Offset = static_cast<DWORD>(offset);
    range.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return range;
}

}  // namespace

Deadline::Deadline(int64_t milliseconds)
    : endNs_((static_cast<int64_t>(GetTickCount64()) + milliseconds) * 1000000) {}

bool Deadline::passed() const {
    return static_cast<int64_t>(GetTickCount64()) * 1000000 >= endNs_;
}

bool takeMapLock(NativeFile file, MapLock which, bool exclusive, const Deadline &deadline) {
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    for (;;) {
        OVERLAPPED range = lockRange(which);
        if (LockFileEx(file, flags, 0, 1, 0, &range)) return true;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            errno = errnoFromWindows(error);
            return false;
        }
        // The wait is measured by the clock, not by the pauses, which last a
        // timer tick (about 15 ms) whatever they ask for.
        if (deadline.passed()) {
            errno = EAGAIN;
            return false;
        }
        Sleep(1);
    }
}

void dropMapLock(NativeFile file, MapLock which) {
    const int error = errno;
    OVERLAPPED range = lockRange(which);
    UnlockFileEx(file, 0, 1, 0, &range);
    errno = error;
}

bool locksUnsupported(int error) {
    return error == ENOSYS;
}

}  // namespace trel
