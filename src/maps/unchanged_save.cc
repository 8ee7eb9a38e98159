// The tests a mode-0 save makes before it publishes anything.
#include "maps/unchanged_save.h"

namespace trel {

bool nothingChangedSinceSync(MapFileRecord &record, const FileIdentity &present) {
    const SyncPoint &sync = record.syncPoint();
    return present.exists && sync.known && sync.digestKnown && present == sync.file &&
           !record.allPagesChanged() && record.changedPages().empty();
}

FoundContent foundContent(const SyncPoint &sync, const FileIdentity &present, bool wasRead,
                          uint64_t readDigest) {
    FoundContent found;
    if (!present.exists) return found;
    if (wasRead) {
        found.known = true;
        found.digest = readDigest;
    } else {
        // Not read: the file is the sync point's, or was read and found equal to it.
        found.known = sync.known && sync.digestKnown;
        found.digest = sync.digest;
    }
    found.size = present.size;
    return found;
}

}  // namespace trel
