// Open addressing with linear probing over (hash, page map) slots.
#include "maps/unit_index.h"

#include <cstring>

namespace trel {
namespace {

// FNV-1a over the bytes of one name and a separator that cannot occur in it.
uint64_t mix(uint64_t hash, const char *name) {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p != 0; ++p) {
        hash = (hash ^ *p) * 0x100000001b3ULL;
    }
    return (hash ^ 0xFFu) * 0x100000001b3ULL;
}

bool sameUnit(const PageMap &map, const UnitName &unit) {
    return std::strcmp(map.lib().c_str(), unit.lib) == 0 &&
           std::strcmp(map.cell().c_str(), unit.cell) == 0 &&
           std::strcmp(map.view().c_str(), unit.view) == 0;
}

}  // namespace

uint64_t UnitIndex::hash(const UnitName &unit) {
    return mix(mix(mix(0xcbf29ce484222325ULL, unit.lib), unit.cell), unit.view);
}

PageMap *UnitIndex::find(const UnitName &unit, uint64_t hash) const {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
        const Slot &slot = slots_[i];
        if (slot.map == nullptr) return nullptr;
        if (slot.hash != hash) continue;
        __builtin_prefetch(slot.record);
        __builtin_prefetch(slot.header);
        if (sameUnit(*slot.map, unit)) return slot.map;
    }
}

void UnitIndex::insert(PageMap *map, uint64_t hash) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    const size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    while (slots_[i].map != nullptr)
        i = (i + 1) & mask;
    slots_[i] = Slot{hash, map, map->pairsRecord(), map->pairsHeader()};
    ++count_;
}

void UnitIndex::clear() {
    slots_.clear();
    count_ = 0;
}

void UnitIndex::grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{0, nullptr, nullptr, nullptr});
    count_ = 0;
    for (const Slot &slot : old) {
        if (slot.map != nullptr) insert(slot.map, slot.hash);
    }
}

}  // namespace trel
