// When a mode-0 save has nothing to publish: the map file, as the save finds
// it under its lock, holds already what the save would write. Such a save
// leaves the file alone, so its identity (inode and times) stays as it was
// and backups, version control and other processes' sync points see no
// change; it only moves the sync point to the file and clears the flag.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/file_system.h"
#include "maps/map_file_record.h"

namespace trel {

// Whether the file found under the lock is the one the sync point recorded,
// read or written to its end, and no page changed here since: the save would
// write the very text the file holds, so it need not even be made. A file
// that is missing, or whose last writing was not known durable (no digest),
// is always written.
bool nothingChangedSinceSync(MapFileRecord &record, const FileIdentity &present);

// What the file found under the lock is known to hold without reading it
// again: its size and digest. `readDigest` is the digest of the save's own
// reading of it, when `wasRead` (the file changed since the sync point);
// otherwise it is the file of the sync point and holds what that recorded.
struct FoundContent {
    bool known = false;
    uint64_t size = 0;
    uint64_t digest = 0;
};
FoundContent foundContent(const SyncPoint &sync, const FileIdentity &present, bool wasRead,
                          uint64_t readDigest);

// Whether a text of `size` bytes with `digest` is what the file holds.
inline bool holdsText(const FoundContent &found, size_t size, uint64_t digest) {
    return found.known && found.size == size && found.digest == digest;
}

}  // namespace trel
