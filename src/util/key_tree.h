// Key tree: an unbalanced binary search tree from unsigned 32-bit
// keys to word-sized values, ordered by keytreescramble(key), a fixed
// one-to-one mixing of the key's bits that keeps sequential keys (such as
// hashes of similar texts) from degenerating the tree into a list.
// Find-or-insert only: no removal, no walk, no rebalancing.
#pragma once

#include <cstdint>

#include "util/block_pool.h"

using KeyTreeValue = uintptr_t;

struct KeyTreeEntry {
    KeyTreeEntry *left;   // smaller scrambled keys
    KeyTreeEntry *right;  // greater scrambled keys
    uint32_t key;         // the scrambled key
    KeyTreeValue value;
};

struct KeyTree {
    BlockPool *pool;
    KeyTreeEntry *root;
    uint32_t count;  // entries in the tree
};

KeyTree *keytreenew(BlockPool *pool);
// Address of the key's value; a missing key gets a new leaf whose value is 0.
KeyTreeValue *keytreeslot(KeyTree *tree, uint32_t key);
uint32_t keytreescramble(uint32_t key);
// The link (root, left or right field) that holds the entry for `scrambled`,
// or the empty link where that entry belongs.
KeyTreeEntry **keytreefind(KeyTreeEntry **link, uint32_t scrambled);
