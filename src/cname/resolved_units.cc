// Spelled unit names and the table of resolved units.
#include "cname/resolved_units.h"

#include <cstring>

namespace trel {
namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;

// Eight bytes at a time, the last word overlapping the one before; the
// length goes in too, so that the names "a.b" "c" and "a" "b.c" hash apart.
uint64_t mixName(uint64_t hash, const char *name, size_t length) {
    uint64_t word = length;
    if (length >= sizeof word) {
        for (size_t at = 0; at + sizeof word < length; at += sizeof word) {
            uint64_t next;
            std::memcpy(&next, name + at, sizeof next);
            hash = (hash ^ next) * kMultiplier;
            hash ^= hash >> 32;
        }
        std::memcpy(&word, name + length - sizeof word, sizeof word);
        word ^= static_cast<uint64_t>(length) << 56;
    } else {
        for (size_t at = 0; at < length; ++at)
            word = word << 8 | static_cast<unsigned char>(name[at]);
    }
    hash = (hash ^ word) * kMultiplier;
    return hash ^ (hash >> 29);
}

}  // namespace

UnitSpelling::UnitSpelling(const UnitName &names)
    : unit(names),
      lib(std::strlen(names.lib)),
      cell(std::strlen(names.cell)),
      view(std::strlen(names.view)),
      hash(mixName(mixName(mixName(0, names.lib, lib), names.cell, cell), names.view, view)) {}

void UnitSpelling::join(char *out) const {
    std::memcpy(out, unit.lib, lib + 1);
    std::memcpy(out + lib + 1, unit.cell, cell + 1);
    std::memcpy(out + lib + cell + 2, unit.view, view + 1);
}

// `joined` holds the joined names of a unit whose library and cell names
// have the lengths of these.
bool UnitSpelling::isJoinedAt(const char *joined) const {
    return sameText(joined, unit.lib) && sameText(joined + lib + 1, unit.cell) &&
           sameText(joined + lib + cell + 2, unit.view);
}

ResolvedUnit ResolvedUnits::find(const UnitSpelling &spelling) {
    forgetIfStale();
    const size_t cellAt = spelling.lib + 1;
    const size_t viewAt = cellAt + spelling.cell + 1;
    const Slot *found = slots_.find(spelling.hash, [&](const Slot &slot) {
        return slot.spellingHash == spelling.hash && slot.unit.cellAt == cellAt &&
               slot.unit.viewAt == viewAt && spelling.isJoinedAt(names_.data() + slot.unit.at);
    });
    return found != nullptr ? found->unit : ResolvedUnit();
}

ResolvedUnit ResolvedUnits::remember(const UnitSpelling &spelling, PageMap *map,
                                     bool libConvertsToEmpty) {
    forgetIfStale();
    const size_t size = spelling.joinedSize();
    if (names_.size() < used_ + size) names_.resize(2 * (used_ + size));
    spelling.join(&names_[used_]);
    const ResolvedUnit unit{map, used_, spelling.lib + 1, spelling.lib + spelling.cell + 2,
                            libConvertsToEmpty};
    slots_.insert(Slot{spelling.hash, unit});
    used_ += size;
    return unit;
}

// The page maps went: so does every unit kept, and the memory they took.
void ResolvedUnits::forgetIfStale() {
    if (generation_ == pageMapsGeneration()) return;
    generation_ = pageMapsGeneration();
    slots_.clear();
    std::string().swap(names_);
    used_ = 0;
}

}  // namespace trel
