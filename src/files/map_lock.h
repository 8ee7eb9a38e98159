// The locks that order the saves and loads of one map file between
// processes. They are record locks on four bytes of the map file itself,
// so they follow the file, whatever name it is reached by, and never the name:
//   - the save byte, held exclusively by every save from the moment it looks
//     at the file until the new file is in place and its identity recorded;
//   - the content byte, held shared by every load while it reads, and
//     exclusively by a save that rewrites the file in place, so no load reads
//     a file while its bytes change;
//   - the writer byte, held exclusively by a save while it waits for the
//     content byte: a load that finds it held waits before taking the content
//     byte, so a stream of loads, each overlapping the next, cannot keep a
//     rewrite out until its wait runs out;
//   - the turn byte, held exclusively by one save waiting for the save byte:
//     the first waiter to claim it. Other saves, the one that just released
//     the save byte among them, wait while it is held, so a process saving
//     back to back cannot keep another's save out, and every waiter gets its
//     turn in a few saves' time. A save by rename leaves its waiters on the
//     file it replaced, where their claim no longer counts: it notes that it
//     left one behind, and its process's next save of the file lets that
//     waiter reach the new file and go first.
// A save by rename takes only the save byte: loads go on reading the old
// file, which a rename never changes.
//
// The bytes lie at 2^62 on every platform, past the end of any map file
// (where locks are mandatory, locked bytes cannot be read or written through
// other handles), so that hosts of either platform on one share exclude each
// other. Where locks are advisory, the save and content bytes of earlier
// builds (0 and 1) are held too, so hosts of those builds still take turns.
//
// A lock is taken on an open file and dropped when that file closes. Waits
// end at a deadline (deadline.h).
#pragma once

#include <cstdint>
#include <string>

#include "files/deadline.h"
#include "files/file_system.h"

namespace trel {

enum class MapLock { save = 0, content = 1, writer = 2, turn = 3 };

// The offset of a lock byte in every map file.
uint64_t lockOffset(MapLock which);

// Takes the lock on the open `file` (opened for writing when exclusive, for
// reading when shared), waiting for other processes' locks until `deadline`.
// False with errno: EAGAIN when the wait ran out, or the system's reason.
bool takeMapLock(NativeFile file, MapLock which, bool exclusive, const Deadline &deadline);
// Gives the lock up before the file closes.
void dropMapLock(NativeFile file, MapLock which);
// The save lock of the map file at `path`, taken in turn (see the turn byte).
bool takeSaveLock(NativeFile file, const std::string &path, const Deadline &deadline);
// Before a save by rename closes the file it replaced: notes whether a save
// waits for it, for this process's next save of `path` to let that one first.
void noteWaitingSave(NativeFile replaced, const std::string &path);
// Takes the content lock exclusively for a rewrite, announcing the wait to
// new loads through the writer byte.
bool takeContentToWrite(NativeFile file, const Deadline &deadline);
// Waits, until `deadline`, while a rewrite waits for the content lock.
bool letWriterIn(NativeFile file, const Deadline &deadline);

// Whether errno says the file system keeps no record locks at all.
bool locksUnsupported(int error);

}  // namespace trel
