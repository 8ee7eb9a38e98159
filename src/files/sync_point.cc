// Whether a sync point's file times can be trusted.
#include "files/sync_point.h"

namespace trel {

bool racilyClean(const SyncPoint &sync, bool offsetKnown, int64_t clockOffsetNs) {
    const FileIdentity &file = sync.file;
    if (!file.exists) return false;
    if (!offsetKnown) return true;
    const int64_t latest = file.changedNs > file.modifiedNs ? file.changedNs : file.modifiedNs;
    // A time ahead of the moment (a clock that went back) is no proof either.
    return sync.takenNs + clockOffsetNs - latest < kFileTimeTickNs;
}

}  // namespace trel
