// Open addressing with linear probing, for the library's small hash indexes
// (the registry's units, relabelling's resolved units). The table is an array
// of the caller's slots, a power of two long and at most half full, so that a
// probe ends at an empty slot within a step or two. Entries are only added,
// and forgotten all at once; nothing is ever removed, so no tombstones.
//
// A Slot is a small struct with `bool empty() const` (a value-initialised
// slot is empty) and `uint64_t hash() const`, whose low bits place it.
//
// The string-save table keeps its own index (string_save.cc): it must go on
// without one when memory runs out, and its hashes need mixing before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trel {

template <typename Slot>
class ProbeTable {
  public:
    // The first slot from `hash`'s place on that `match(slot)` accepts, or
    // null at the first empty one.
    template <typename Match>
    const Slot *find(uint64_t hash, Match &&match) const {
        if (count_ == 0) return nullptr;
        const size_t mask = slots_.size() - 1;
        for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
            const Slot &slot = slots_[i];
            if (slot.empty()) return nullptr;
            if (match(slot)) return &slot;
        }
    }

    // Enters a slot that is not in the table, growing it first when it would
    // be more than half full.
    void insert(const Slot &slot) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        place(slot);
        ++count_;
    }

    // Forgets every slot and releases the memory.
    void clear() {
        std::vector<Slot>().swap(slots_);
        count_ = 0;
    }

    // Where a search for `hash` starts, for a caller that prefetches it; null
    // while the table is empty.
    const Slot *start(uint64_t hash) const {
        return slots_.empty() ? nullptr : &slots_[static_cast<size_t>(hash) & (slots_.size() - 1)];
    }

  private:
    void place(const Slot &slot) {
        const size_t mask = slots_.size() - 1;
        size_t i = static_cast<size_t>(slot.hash()) & mask;
        while (!slots_[i].empty())
            i = (i + 1) & mask;
        slots_[i] = slot;
    }

    void grow() {
        std::vector<Slot> old(slots_.empty() ? 64 : 2 * slots_.size(), Slot());
        old.swap(slots_);
        for (const Slot &slot : old) {
            if (!slot.empty()) place(slot);
        }
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

}  // namespace trel
