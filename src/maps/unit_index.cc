// The units' hash, and the index over (hash, page map) slots.
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
    const auto low = static_cast<uint32_t>(hash);
    const Slot *found = slots_.find(
        low, [&](const Slot &slot) { return slot.low == low && slot.map->isUnit(unit); });
    return found != nullptr ? found->map : nullptr;
}

void UnitIndex::insert(PageMap *map, uint64_t hash) {
    slots_.insert(Slot{map, static_cast<uint32_t>(hash)});
}

void UnitIndex::clear() {
    slots_.clear();
}

}  // namespace trel
