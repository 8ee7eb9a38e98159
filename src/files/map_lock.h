// The locks that order the saves and loads of one map file between
// processes. They are record locks on two bytes of the map file itself, so
// they follow the file, whatever name it is reached by, and never the name:
//   - the save byte, held exclusively by every save from the moment it looks
//     at the file until the new file is in place and its identity recorded;
//   - the content byte, held shared by every load while it reads, and
//     exclusively by a save that rewrites the file in place, so no load reads
//     a file while its bytes change.
// A save by rename takes only the save byte: loads go on reading the old
// file, which a rename never changes.
//
// A lock is taken on an open file and dropped when that file closes. Waits
// end at a deadline on the seam's monotonic clock.
#pragma once

#include <cstdint>

#include "files/file_system.h"

namespace trel {

enum class MapLock { save = 0, content = 1 };

// How long a save or a load waits for another process's lock.
constexpr int64_t kLockWaitMilliseconds = 10000;

// A point in time after which waits give up.
class Deadline {
  public:
    explicit Deadline(int64_t milliseconds);
    bool passed() const;
    // Pauses before the next try of something another process holds: short
    // at first, longer as the wait goes on, never past the deadline. False,
    // without pausing, once the deadline has passed.
    bool pause() const;

  private:
    int64_t endNs_;
    mutable int64_t pauseNs_ = 200000;
};

// The offset of a lock byte in every map file.
uint64_t lockOffset(MapLock which);

// Takes the lock on the open `file` (opened for writing when exclusive, for
// reading when shared), waiting for other processes' locks until `deadline`.
// False with errno: EAGAIN when the wait ran out, or the system's reason.
bool takeMapLock(NativeFile file, MapLock which, bool exclusive, const Deadline &deadline);
// Gives the lock up before the file closes.
void dropMapLock(NativeFile file, MapLock which);

// Whether errno says the file system keeps no record locks at all.
bool locksUnsupported(int error);

}  // namespace trel
