// String-save table: the process-wide table of saved texts, its own pool and
// the text hash that indexes it.
#include "util/string_save.h"

#include <cstring>

#include "util/key_tree.h"

namespace {

bool initialised = false;
BlockPool *string_pool = nullptr;
KeyTree *table = nullptr;

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
    KeyTreeValue *slot = keytreeslot(table, hashsavestrhash(text));
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
