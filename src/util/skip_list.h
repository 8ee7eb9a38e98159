// Skip list: an ordered map from unsigned 32-bit keys to 32-bit values, with
// up to 32 levels, living in a block pool.
//
// Invariants: on every level the nodes are in strictly ascending unsigned key
// order; level 0 holds every node and a node of L levels sits on levels
// 0..L-1; a key occurs at most once; the header's links at and above the
// level count are null, and the level count (1..32) is 1 or the header's
// link on the top level in use is not null.
//
// Deleted nodes go on a free list per level count and are reused by later
// insertions; nothing goes back to the pool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/block_pool.h"

// 32 bits on every platform: a node of L levels is two words and L links.
// A user that needs to find an object keeps an index into its own table.
using SkipValue = uint32_t;

constexpr int kSkipMaxLevel = 32;

// A node of L levels is allocated with room for exactly L links.
struct SkipNode {
    uint32_t key;
    SkipValue value;
    SkipNode *forward[1];
};

struct SkipList {
    SkipNode *header;                   // 32 levels; no pair, the last node's address instead
    BlockPool *pool;                    // where the record and all nodes come from
    int32_t level;                      // levels in use, 1..32
    SkipNode *freelist[kSkipMaxLevel];  // freelist[n - 1]: removed nodes of n levels
};

// Called by skipdelete for a missing key with the text "skipdelete".
using SkipNotFound = int (*)(const char *text);

SkipList *skipnew(BlockPool *pool);
// Address of the key's value, or null when the key is missing.
SkipValue *skipsearch(SkipList *list, uint32_t key);
// Address of the key's value; a new key gets a node whose value is 0.
SkipValue *skipinsert(SkipList *list, uint32_t key);
void skipdelete(SkipList *list, uint32_t key, SkipNotFound notfound);
// The node with the smallest key, or null.
inline SkipNode *skipfirst(SkipList *list);
// Reads a node's key, value and successor on level 0 (null after the last).
// Inline, since a walk over every pair calls it once a pair.
inline void skipstep(SkipNode *node, uint32_t *key, SkipValue *value, SkipNode **next);

// Inserting keys that mostly arrive in ascending order, as when a saved map
// is read back. The cursor remembers the last node of every level, so a key
// above all others is linked without a descent; any other key goes through
// skipinsert. The list and the random bits drawn come out exactly as with
// skipinsert alone. Between skipcursorstart and the last skipinsertnext the
// list must not be changed by other calls.
struct SkipCursor {
    SkipNode *last[kSkipMaxLevel];  // the last node of each level in use
    bool ready;                     // last[] matches the list
};
void skipcursorstart(SkipCursor *cursor);
SkipValue *skipinsertnext(SkipList *list, SkipCursor *cursor, uint32_t key);

int skiprandomlevel();
int skiprandombit();
SkipNode *skipnewnode(SkipList *list, int levels);
void skipfreenode(SkipList *list, SkipNode *node, int levels);

// Bytes a node of `levels` levels takes from the pool; the declared array
// holds exactly one link, so its size is that of a link.
constexpr uint32_t skipnodesize(int levels) {
    return static_cast<uint32_t>(offsetof(SkipNode, forward) +
                                 static_cast<size_t>(levels) * sizeof(SkipNode::forward));
}

// The links of a node, forward[0] .. forward[L - 1]. The node's chunk holds
// exactly L of them while the record declares one; reaching them through an
// address computed from the node, rather than by indexing the declared
// one-element array, keeps every access well defined and sanitizer-clean.
inline SkipNode **skiplinks(SkipNode *node) {
    return reinterpret_cast<SkipNode **>(reinterpret_cast<char *>(node) +
                                         offsetof(SkipNode, forward));
}

// The process-wide random-bit reservoir shared by every list: `bits` holds the
// bits not used yet, lowest first, and `left` counts them. Exposed for tests.
struct SkipBitReservoir {
    uint32_t bits;
    int32_t left;
};
SkipBitReservoir *skipreservoir();

inline SkipNode *skipfirst(SkipList *list) {
    return skiplinks(list->header)[0];
}

inline void skipstep(SkipNode *node, uint32_t *key, SkipValue *value, SkipNode **next) {
    // Any output the caller does not want may be null.
    if (key != nullptr) *key = node->key;
    if (value != nullptr) *value = node->value;
    if (next != nullptr) *next = skiplinks(node)[0];
}

// Starts fetching the first node of every level in use, where every
// descent begins, for a caller about to search a list that is not in the
// cache. Changes nothing.
inline void skipprefetchstart(const SkipList *list) {
    SkipNode **links = skiplinks(list->header);
    for (int i = 0; i < list->level; ++i) {
        if (links[i] != nullptr) __builtin_prefetch(links[i]);
    }
}

// Calls visit(key, value) for every node in ascending key order, as a walk
// with skipfirst and skipstep would, the list unchanged meanwhile.
//
// Nodes inserted in random key order lie scattered in memory, and a walk on
// level 0 alone waits for each node in turn. Here runners on levels 1 to
// kRunners walk ahead of it, each one hop ahead of the one below, fetching
// the nodes the walks below them are about to reach: the node after each
// node they stand on, on their own level and on the level below.
template <typename Visit>
void skipforeach(SkipList *list, Visit &&visit) {
    constexpr int kRunners = 3;
    SkipNode *runner[kRunners + 1];  // runner[0] is the walk itself
    for (int k = 1; k <= kRunners; ++k) {
        runner[k] = skiplinks(list->header)[k];
    }
    for (SkipNode *node = skipfirst(list); node != nullptr; node = skiplinks(node)[0]) {
        runner[0] = node;
        for (int k = 1; k <= kRunners && runner[k - 1] != nullptr; ++k) {
            const uint32_t below = runner[k - 1]->key;
            SkipNode *ahead = runner[k];
            while (ahead != nullptr && ahead->key <= below) {
                ahead = skiplinks(ahead)[k];
                if (ahead != nullptr) {
                    SkipNode **links = skiplinks(ahead);
                    if (links[k] != nullptr) __builtin_prefetch(links[k]);
                    if (links[k - 1] != nullptr) __builtin_prefetch(links[k - 1]);
                }
            }
            runner[k] = ahead;
        }
        visit(node->key, node->value);
    }
}
