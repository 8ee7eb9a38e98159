// Key tree: the bit scrambling, the descent to a key's link and
// find-or-insert of a key's value.
#include "util/key_tree.h"

KeyTree *keytreenew(BlockPool *pool) {
    auto *tree = static_cast<KeyTree *>(poolalloc(sizeof(KeyTree), pool));
    tree->pool = pool;
    return tree;
}

uint32_t keytreescramble(uint32_t key) {
    const uint32_t x = key ^ 0x9E3D815FU;
    // Bytes x2, x1, x3, x0 from least to most significant: the key's low
    // byte, which varies most between neighbouring keys, lands on top.
    const uint32_t y = ((x >> 16) & 0xFFU) | (x & 0xFF00U) | ((x >> 8) & 0xFF0000U) | (x << 24);
    // Swap the two halves of every byte.
    return ((y & 0x0F0F0F0FU) << 4) | ((y >> 4) & 0x0F0F0F0FU);
}

KeyTreeEntry **keytreefind(KeyTreeEntry **link, uint32_t scrambled) {
    while (KeyTreeEntry *entry = *link) {
        if (scrambled > entry->key) {
            link = &entry->right;
        } else if (scrambled == entry->key) {
            return link;
        } else {
            link = &entry->left;
        }
    }
    return link;
}

KeyTreeValue *keytreeslot(KeyTree *tree, uint32_t key) {
    const uint32_t scrambled = keytreescramble(key);
    KeyTreeEntry **link = keytreefind(&tree->root, scrambled);
    if (*link == nullptr) {
        auto *entry = static_cast<KeyTreeEntry *>(poolalloc(sizeof(KeyTreeEntry), tree->pool));
        entry->key = scrambled;
        *link = entry;
        ++tree->count;
    }
    return &(*link)->value;
}
