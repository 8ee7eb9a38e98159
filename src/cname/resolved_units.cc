// Spelled unit names and the open-addressing table of resolved units.
#include "cname/resolved_units.h"

#include <cstring>

namespace trel {
namespace {

// Whether the joined names at `joined` are the names of `unit`.
bool spellsAt(const char *joined, const UnitName &unit) {
    for (const char *name : {unit.lib, unit.cell, unit.view}) {
        if (!sameText(joined, name)) return false;
        joined += std::strlen(joined) + 1;
    }
    return true;
}

// Appends the joined names of `unit` at `at` in `buffer`, which grows when
// they do not fit; returns where they end.
size_t join(std::string &buffer, size_t at, const UnitName &unit) {
    const size_t lib = std::strlen(unit.lib) + 1;
    const size_t cell = std::strlen(unit.cell) + 1;
    const size_t view = std::strlen(unit.view) + 1;
    const size_t end = at + lib + cell + view;
    if (buffer.size() < end) buffer.resize(2 * end);
    char *p = &buffer[at];
    std::memcpy(p, unit.lib, lib);
    std::memcpy(p + lib, unit.cell, cell);
    std::memcpy(p + lib + cell, unit.view, view);
    return end;
}

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;

// Eight bytes at a time; the length goes into the last word, so that the
// names "a.b" "c" and "a" "b.c" hash apart.
uint64_t mixName(uint64_t hash, const char *name) {
    size_t left = std::strlen(name);
    const uint64_t length = left;
    for (; left >= 8; left -= 8, name += 8) {
        uint64_t word;
        std::memcpy(&word, name, sizeof word);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 32;
    }
    uint64_t word = 0;
    std::memcpy(&word, name, left);
    hash = (hash ^ word ^ (length << 56)) * kMultiplier;
    return hash ^ (hash >> 29);
}

}  // namespace

void SpelledUnit::assign(const UnitName &unit) {
    size_ = join(names_, 0, unit);
    cellAt_ = std::strlen(unit.lib) + 1;
    viewAt_ = cellAt_ + std::strlen(unit.cell) + 1;
}

uint64_t ResolvedUnits::hash(const UnitName &unit) {
    return mixName(mixName(mixName(0, unit.lib), unit.cell), unit.view);
}

PageMap *ResolvedUnits::find(const UnitName &unit) {
    forgetIfStale();
    if (count_ == 0) return nullptr;
    const uint64_t wanted = hash(unit);
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(wanted) & mask;; i = (i + 1) & mask) {
        const Slot &slot = slots_[i];
        if (slot.map == nullptr) return nullptr;
        if (slot.hash == wanted && spellsAt(names_.data() + slot.at, unit)) return slot.map;
    }
}

void ResolvedUnits::remember(const UnitName &unit, PageMap *map) {
    forgetIfStale();
    if (2 * (count_ + 1) > slots_.size()) grow();
    const size_t at = used_;
    used_ = join(names_, at, unit);
    const uint64_t wanted = hash(unit);
    const size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(wanted) & mask;
    while (slots_[i].map != nullptr)
        i = (i + 1) & mask;
    slots_[i] = Slot{wanted, map, at};
    ++count_;
}

// The page maps went: so does every unit kept, and the memory they took.
void ResolvedUnits::forgetIfStale() {
    if (generation_ == pageMapsGeneration()) return;
    generation_ = pageMapsGeneration();
    std::vector<Slot>().swap(slots_);
    std::string().swap(names_);
    count_ = 0;
    used_ = 0;
}

void ResolvedUnits::grow() {
    std::vector<Slot> old(slots_.empty() ? 64 : 2 * slots_.size(), Slot{0, nullptr, 0});
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot &slot : old) {
        if (slot.map == nullptr) continue;
        size_t i = static_cast<size_t>(slot.hash) & mask;
        while (slots_[i].map != nullptr)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

}  // namespace trel
