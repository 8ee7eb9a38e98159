// What a page map knows of its map file: how much of the file its pairs hold,
// the sync point (what the file held when the page map last read it in full
// or wrote it), and the pages changed here since. A mode-0 save reads it to
// decide whether it may replace the file, and what to merge when another
// process saved the file meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "files/sync_point.h"

namespace trel {

class MapFileRecord {
  public:
    // What the pairs hold of the map file, which decides whether a mode-0
    // save may replace the file without losing pairs.
    enum class State : uint8_t {
        held,        // all of the file's pairs, or there was no file
        damaged,     // only the pairs before the line where reading stopped
        unread,      // none: loaded in a mode that reads no pairs
        unreadable,  // none: the file exists but could not be read
    };

    State state() const { return state_; }
    // The line where reading stopped, for a damaged file.
    uint64_t damagedLine() const { return damagedLine_; }
    void setState(State state, uint64_t damagedLine = 0) {
        state_ = state;
        damagedLine_ = damagedLine;
    }

    const SyncPoint &syncPoint() const { return sync_; }
    // Moves the sync point; the changes made so far are then in the file.
    void setSyncPoint(const SyncPoint &sync);

    // A page set or removed here.
    void noteChange(uint32_t page);
    // Every page changed here: the host emptied the map on purpose, so
    // whatever the file holds may be replaced.
    void noteCleared();
    // Every page changed since the sync point (by a clear).
    bool allPagesChanged() const { return allChanged_; }
    // The changed pages, ascending unsigned, each once.
    const std::vector<uint32_t> &changedPages();

  private:
    // Every page map has one of these, most of them never changed: the
    // fields go from the widest down, and the changed pages are made only
    // when a page changes.
    SyncPoint sync_;
    // Pages changed since the sync point, in the order of change and possibly
    // repeated; sorted and made unique when read or when they pile up. Null
    // while none changed.
    std::unique_ptr<std::vector<uint32_t>> changed_;
    uint64_t damagedLine_ = 0;
    uint32_t changedUnique_ = 0;  // a prefix known to be sorted and unique
    State state_ = State::held;
    bool allChanged_ = false;
};

}  // namespace trel
