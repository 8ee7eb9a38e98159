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

uint64_t lockOffset(MapLock which) {
    return (uint64_t{1} << 62) + static_cast<uint64_t>(which);
}

namespace {

// One try at the lock and, where they are held too, its earlier bytes.
bool tryMapLock(NativeFile file, MapLock which, bool exclusive) {
    FileSystem &files = fileSystem();
    const bool legacy = holdsLegacyBytes(which);
    const uint64_t legacyOffset = static_cast<uint64_t>(which);
    if (legacy && !files.tryLock(file, legacyOffset, exclusive)) return false;
    if (files.tryLock(file, lockOffset(which), exclusive)) return true;
    if (legacy) files.unlock(file, legacyOffset);
    return false;
}

// Whether another process holds the byte exclusively: the turn byte, claimed
// by a waiting save, or the save byte, by a save.
bool heldByAnother(NativeFile file, MapLock which) {
    return !fileSystem().canLockShared(file, lockOffset(which)) && errno == EAGAIN;
}

bool anotherSavesTurn(NativeFile file) {
    return heldByAnother(file, MapLock::turn);
}

}  // namespace

bool takeMapLock(NativeFile file, MapLock which, bool exclusive, const Deadline &deadline) {
    for (;;) {
        if (tryMapLock(file, which, exclusive)) return true;
        if (errno != EAGAIN) return false;
        if (!deadline.pause()) {
            errno = EAGAIN;
            return false;
        }
    }
}

namespace {

// The files whose save by rename left another save waiting, with when: a
// few, as a process saves few units at once.
struct WaitingSave {
    std::string path;
    int64_t atNs = 0;
};
WaitingSave waitingSaves[4];
size_t nextWaitingSave = 0;

// How long a save lets a waiter it left behind go first: the waiter's
// longest pause, and some.
constexpr int64_t kLetWaiterInNs = 3000000;

// Whether this process's last save of `path` left a save waiting just now;
// forgets it.
bool leftSaveWaiting(const std::string &path) {
    for (WaitingSave &waiting : waitingSaves) {
        if (waiting.path != path) continue;
        waiting.path.clear();
        return clock().monotonicNs() - waiting.atNs < kLetWaiterInNs;
    }
    return false;
}

}  // namespace

void noteWaitingSave(NativeFile replaced, const std::string &path) {
    const int error = errno;
    if (anotherSavesTurn(replaced)) {
        waitingSaves[nextWaitingSave] = {path, clock().monotonicNs()};
        nextWaitingSave = (nextWaitingSave + 1) % (sizeof waitingSaves / sizeof *waitingSaves);
    }
    errno = error;
}

// While another waiting save holds the turn byte this one waits; a save that
// finds the save byte held claims the turn byte when it is free, and gives
// it up once it has the save byte. A save that left a waiter behind on the
// file it replaced lets it in first, for a moment.
bool takeSaveLock(NativeFile file, const std::string &path, const Deadline &deadline) {
    FileSystem &files = fileSystem();
    const uint64_t turn = lockOffset(MapLock::turn);
    // Until then this save lets in the waiter its last one left behind.
    int64_t letIn = leftSaveWaiting(path) ? clock().monotonicNs() + kLetWaiterInNs : 0;
    bool claimed = false;
    bool taken = false;
    for (;;) {
        // The waiter let in first has the save byte now: this save waits in turn.
        if (letIn != 0 && heldByAnother(file, MapLock::save)) letIn = 0;
        if (claimed || !anotherSavesTurn(file)) {
            if (clock().monotonicNs() >= letIn) {
                if (tryMapLock(file, MapLock::save, true)) {
                    taken = true;
                    break;
                }
                if (errno != EAGAIN) break;
                if (!claimed) claimed = files.tryLock(file, turn, true);
            }
        }
        if (!deadline.pause(claimed)) {
            errno = EAGAIN;
            break;
        }
    }
    const int error = errno;
    if (claimed) files.unlock(file, turn);
    errno = error;
    return taken;
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
    for (;;) {
        if (fileSystem().canLockShared(file, lockOffset(MapLock::writer))) return true;
        if (errno != EAGAIN) return false;
        if (!deadline.pause()) {
            errno = EAGAIN;
            return false;
        }
    }
}

bool locksUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace trel
