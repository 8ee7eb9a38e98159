// String-save table: keeps one copy of every distinct text it is given, so
// equal texts yield the same address and the address can serve as the text's
// identity. Process-wide, never shrinks; saved texts live in a pool of their
// own that is never released.
#pragma once

#include <cstdint>

#include "util/block_pool.h"

// One saved text, chained with the other texts of the same hash.
struct SavedTextCell {
    SavedTextCell *next;
    const char *text;
};

// The saved copy of `text` (read only during the call).
const char *hashsavestr(const char *text);
// Creates the table's own pool; run by the first hashsavestr.
void hashsavestrinit();
// h = 1, then h = h * 257 + byte for each byte, modulo 2^32.
uint32_t hashsavestrhash(const char *text);
// The table's pool (null before the first save). Exposed for tests.
BlockPool *hashsavestrpool();
// Forgets every saved text and releases the table's pool; the next save
// starts a new table. For tests, which need a table in a known state: every
// text saved before is gone, so nothing may hold one across the call.
void hashsavestrreset();
