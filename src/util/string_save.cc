// String-save table: the process-wide table of saved texts, its own pool, the
// text hash that indexes it, and an index of the table's slots by hash that
// spares a repeated save the descent of the table.
#include "util/string_save.h"

#include <cstring>
#include <new>

#include "util/key_tree.h"

namespace {

bool initialised = false;
BlockPool *string_pool = nullptr;
KeyTree *table = nullptr;

// Hashes already in the table and their value slots: open addressing with
// linear probing, at most half full. Not the library's ProbeTable: this index
// is optional, so it must go on without growing when memory runs out rather
// than throw, and the text hash needs mixing before it can place a slot. A slot
// never moves and a hash's slot never changes, so an entry never goes stale;
// the table still decides which hashes exist and what comes from the pool, and
// a hash missing here is simply looked up in the table. Saving a text seen
// before thus costs a probe or two instead of a descent whose depth grows with
// the number of hashes.
struct IndexedSlot {
    uint32_t hash;
    KeyTreeValue *slot;  // null: an empty place
};

struct SlotIndex {
    IndexedSlot *places = nullptr;
    uint32_t capacity = 0;  // a power of two, or 0 before the first entry
    uint32_t shift = 32;    // 32 - log2(capacity)
    uint32_t used = 0;
};

SlotIndex slot_index;

// The hash's low bits are little more than a sum of the text's bytes, so the
// place comes from the high bits of a multiplicative mix.
uint32_t slotplace(uint32_t hash) {
    return (hash * 0x9E3779B1U) >> slot_index.shift;
}

KeyTreeValue *slotindexfind(uint32_t hash) {
    if (slot_index.capacity == 0) return nullptr;
    const uint32_t mask = slot_index.capacity - 1;
    for (uint32_t place = slotplace(hash);; place = (place + 1) & mask) {
        const IndexedSlot &entry = slot_index.places[place];
        if (entry.slot == nullptr) return nullptr;
        if (entry.hash == hash) return entry.slot;
    }
}

void slotindexplace(uint32_t hash, KeyTreeValue *slot) {
    const uint32_t mask = slot_index.capacity - 1;
    uint32_t place = slotplace(hash);
    while (slot_index.places[place].slot != nullptr) {
        place = (place + 1) & mask;
    }
    slot_index.places[place] = {hash, slot};
    ++slot_index.used;
}

// Doubles the index. Without memory for it the index stays as it is, and the
// hashes it cannot take are found in the table instead.
bool slotindexgrow() {
    const uint32_t capacity = slot_index.capacity == 0 ? 64 : slot_index.capacity * 2;
    if (capacity == 0) return false;
    auto *places = new (std::nothrow) IndexedSlot[capacity]();
    if (places == nullptr) return false;
    IndexedSlot *old_places = slot_index.places;
    const uint32_t old_capacity = slot_index.capacity;
    slot_index = {places, capacity, slot_index.shift - (old_capacity == 0 ? 6 : 1), 0};
    for (uint32_t place = 0; place < old_capacity; ++place) {
        if (old_places[place].slot != nullptr) {
            slotindexplace(old_places[place].hash, old_places[place].slot);
        }
    }
    delete[] old_places;
    return true;
}

void slotindexadd(uint32_t hash, KeyTreeValue *slot) {
    if ((slot_index.used + 1) * 2 > slot_index.capacity && !slotindexgrow()) return;
    slotindexplace(hash, slot);
}

// The table's values are words that hold the first cell of a chain, or 0 for
// a hash with no chain yet.
SavedTextCell *chainhead(KeyTreeValue value) {
    return reinterpret_cast<SavedTextCell *>(value);  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace

BlockPool *hashsavestrpool() {
    return string_pool;
}

void hashsavestrinit() {
    initialised = true;
    string_pool = poolnew();
}

void hashsavestrreset() {
    if (string_pool != nullptr) pooldelete(string_pool);
    string_pool = nullptr;
    table = nullptr;
    initialised = false;
    delete[] slot_index.places;
    slot_index = SlotIndex();
}

uint32_t hashsavestrhash(const char *text) {
    uint32_t hash = 1;
    for (const auto *byte = reinterpret_cast<const unsigned char *>(text); *byte != 0; ++byte) {
        hash = hash * 257U + *byte;
    }
    return hash;
}

const char *hashsavestr(const char *text) {
    if (table == nullptr) {
        if (!initialised) hashsavestrinit();
        table = keytreenew(string_pool);
    }
    const uint32_t hash = hashsavestrhash(text);
    KeyTreeValue *slot = slotindexfind(hash);
    if (slot == nullptr) {
        slot = keytreeslot(table, hash);
        slotindexadd(hash, slot);
    }
    // Newest first: a chain holds every saved text of one hash.
    for (auto *cell = chainhead(*slot); cell != nullptr; cell = cell->next) {
        if (strcmp(cell->text, text) == 0) return cell->text;
    }
    auto *cell = static_cast<SavedTextCell *>(poolalloc(sizeof(SavedTextCell), string_pool));
    cell->next = chainhead(*slot);
    *slot = reinterpret_cast<KeyTreeValue>(cell);
    cell->text = poolstrdup(text, string_pool);
    return cell->text;
}
