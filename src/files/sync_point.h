// What a page map last read in full from its map file or wrote there: the
// file's identity (device, inode, size, modification and change times) and a
// digest of its bytes. A save compares the file with it to learn whether
// another process has saved since; the identity is checked first, so an
// unchanged file is never read, and the digest confirms a change before
// pairs are merged.
//
// File times move in ticks of the file system's clock (two seconds on FAT,
// one on many shares, and FAT keeps no change time): a write in the same
// tick as the sync point, keeping the size, leaves the identity as it was.
// So a sync point taken within a tick of the file's times is "racily clean":
// its identity proves nothing, and a save compares the digest instead.
//
// File times are stamped by the file system's clock, which on a share is
// another host's, ahead of this one's or behind it. So the moment a sync
// point was taken is kept by this host's clock, and a save turns it into the
// file system's time before comparing: by the offset between the two clocks
// that it measures itself, from the times the file system stamps on the
// fresh file the save makes beside the map file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/file_system.h"

namespace trel {

struct SyncPoint {
    bool known = false;  // false: nothing was read or written in full
    FileIdentity file;
    bool digestKnown = false;  // false: the file was not read to its end
    uint64_t digest = 0;
    int64_t takenNs = 0;  // when, by this host's clock
};

// The coarsest tick of file times that the sync points allow for.
constexpr int64_t kFileTimeTickNs = int64_t{2} * 1000000000;

// Whether a sync point is racily clean: taken within a tick of its file's
// times, or after times it cannot tell apart from that. `clockOffsetNs` is
// the file system's clock less this host's; unknown: every sync point is.
bool racilyClean(const SyncPoint &sync, bool offsetKnown, int64_t clockOffsetNs);

}  // namespace trel
