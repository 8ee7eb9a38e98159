// Open addressing with linear probing over (hash, page map) slots.
#include "maps/unit_index.h"

namespace trel {
namespace {

// FNV-1a over the bytes of one name and a separator that cannot occur in it.
uint64_t mix(uint64_t hash, const char *name) {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p != 0; ++p) {
        hash = (hash ^ *p) * 0x100000001b3ULL;
    }
    return (hash ^ 0xFFu) * 0x100000001b3ULL;
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
        if (slot.hash != static_cast<uint32_t>(hash)) continue;
        if (slot.map->isUnit(unit)) return slot.map;
    }
}

void UnitIndex::insert(PageMap *map, uint64_t hash) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    const size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    while (slots_[i].map != nullptr)
        i = (i + 1) & mask;
    slots_[i] = Slot{map, static_cast<uint32_t>(hash)};
    ++count_;
}

void UnitIndex::clear() {
    std::vector<Slot>().swap(slots_);
    count_ = 0;
}

void UnitIndex::grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{nullptr, 0});
    count_ = 0;
    for (const Slot &slot : old) {
        if (slot.map != nullptr) insert(slot.map, slot.hash);
    }
}

}  // namespace trel
