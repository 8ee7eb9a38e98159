// Skip list: the shared descent, search, insertion (with a shortcut for keys
// above all others) and deletion with level bookkeeping, node reuse through
// per-level free lists, and the random level counts drawn from the
// process-wide bit reservoir.
#include "util/skip_list.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

SkipBitReservoir reservoir = {0, 0};

// Starts fetching a node. A null link, which ends every level, is not
// fetched: a prefetch of an unmapped address can cost a page walk.
inline void skipprefetch(const SkipNode *node) {
    if (node != nullptr) __builtin_prefetch(node);
}

// The last node on `level`, from `node` on, whose key is below `key`.
//
// Half the time the walk leaves a level at the node it stands on and goes on
// through that node's link one level down; fetching that link's target while
// the key ahead is still being read overlaps two cache misses of a large list.
inline SkipNode *skipwalk(SkipNode *node, int level, uint32_t key) {
    for (;;) {
        SkipNode **links = skiplinks(node);
        SkipNode *next = links[level];
        if (level > 0) skipprefetch(links[level - 1]);
        if (next == nullptr || next->key >= key) return node;
        node = next;
    }
}

// Walks from the top level in use down to level 0, on each level moving
// forward while the next key is below `key`, and records in update[i] the node
// where the walk leaves level i. Returns the level-0 successor of the last
// node visited: the node holding `key` if there is one.
SkipNode *skipdescend(SkipList *list, uint32_t key, SkipNode **update) {
    SkipNode *node = list->header;
    for (int i = list->level - 1; i > 0; --i) {
        node = skipwalk(node, i, key);
        update[i] = node;
    }
    // Level 0 is always in use.
    node = skipwalk(node, 0, key);
    update[0] = node;
    return skiplinks(node)[0];
}

// The header holds no pair. Its first bytes, the key and what follows, remember
// the last node of the list instead (null for an empty list), so that a key
// above all others, as when a saved map is read back in order, is known to be
// new without a descent, and a node of one level is appended right behind it.
// On 64-bit platforms the address takes the key and the value together.
static_assert(sizeof(uintptr_t) <= offsetof(SkipNode, forward), "no room for the tail");

SkipNode *skiptail(const SkipList *list) {
    uintptr_t address;
    std::memcpy(&address, list->header, sizeof address);
    return reinterpret_cast<SkipNode *>(address);  // NOLINT(performance-no-int-to-ptr)
}

void skipsettail(SkipList *list, SkipNode *tail) {
    const auto address = reinterpret_cast<uintptr_t>(tail);
    std::memcpy(list->header, &address, sizeof address);
}

// Whether `key` is above every key of the list, whose last node is `tail`.
bool skipabove(const SkipNode *tail, uint32_t key) {
    return tail != nullptr && key > tail->key;
}

// Links a new node of `levels` levels for `key` behind the update[] nodes.
SkipValue *skiplink(SkipList *list, uint32_t key, int levels, SkipNode **update) {
    if (levels > list->level) {
        for (int i = list->level; i < levels; ++i) {
            update[i] = list->header;
        }
        list->level = levels;
    }
    SkipNode *node = skipnewnode(list, levels);
    node->key = key;
    SkipNode **links = skiplinks(node);
    for (int i = 0; i < levels; ++i) {
        SkipNode **before = skiplinks(update[i]);
        links[i] = before[i];
        before[i] = node;
    }
    if (links[0] == nullptr) skipsettail(list, node);
    return &node->value;
}

}  // namespace

SkipBitReservoir *skipreservoir() {
    return &reservoir;
}

int skiprandombit() {
    // A count at or below zero can only come from outside interference; it is
    // treated as empty rather than read as 2^31 bits still to come.
    if (reservoir.left <= 0) {
        reservoir.bits = static_cast<uint32_t>(rand());
        reservoir.left = 30;
    }
    const int bit = static_cast<int>(reservoir.bits & 1U);
    reservoir.bits >>= 1;
    --reservoir.left;
    return bit;
}

// Reads the same bits as calling skiprandombit until it returns 0, the closing
// 0 included, but takes each run of 1 bits in the store at once. The whole run
// is consumed even past the cap, so that the next level count starts on a
// fresh run.
int skiprandomlevel() {
    int ones = 0;
    for (;;) {
        if (reservoir.left <= 0) {
            reservoir.bits = static_cast<uint32_t>(rand());
            reservoir.left = 30;
        }
        const uint32_t bits = reservoir.bits;
        const int run = ~bits == 0 ? 32 : __builtin_ctz(~bits);
        if (run < reservoir.left) {
            const int used = run + 1;  // the run and its closing 0
            reservoir.bits = used >= 32 ? 0 : bits >> used;
            reservoir.left -= used;
            ones += run;
            break;
        }
        // Every bit left is a 1: the run goes on into the next fill.
        ones += reservoir.left;
        reservoir.bits = reservoir.left >= 32 ? 0 : bits >> reservoir.left;
        reservoir.left = 0;
        if (ones > kSkipMaxLevel) ones = kSkipMaxLevel;
    }
    return ones >= kSkipMaxLevel ? kSkipMaxLevel : ones + 1;
}

namespace {

// skiprandomlevel with its common case inline, for insertions in a row: the
// run of 1 bits and its closing 0 lie within the bits left. The same bits are
// taken and the same count returned.
inline int skipnextlevel() {
    const uint32_t bits = reservoir.bits;
    if (reservoir.left > 0 && ~bits != 0) {
        const int run = __builtin_ctz(~bits);
        if (run < reservoir.left) {
            const int used = run + 1;
            reservoir.bits = used >= 32 ? 0 : bits >> used;
            reservoir.left -= used;
            return run >= kSkipMaxLevel ? kSkipMaxLevel : run + 1;
        }
    }
    return skiprandomlevel();
}

}  // namespace

SkipNode *skipnewnode(SkipList *list, int levels) {
    SkipNode *node = list->freelist[levels - 1];
    if (node == nullptr) {
        return static_cast<SkipNode *>(poolalloc(skipnodesize(levels), list->pool));
    }
    SkipNode **links = skiplinks(node);
    list->freelist[levels - 1] = links[0];
    node->key = 0;
    node->value = 0;
    for (int i = 0; i < levels; ++i) {
        links[i] = nullptr;
    }
    return node;
}

void skipfreenode(SkipList *list, SkipNode *node, int levels) {
    skiplinks(node)[0] = list->freelist[levels - 1];
    list->freelist[levels - 1] = node;
}

SkipList *skipnew(BlockPool *pool) {
    auto *list = static_cast<SkipList *>(poolalloc(sizeof(SkipList), pool));
    list->pool = pool;
    list->header = skipnewnode(list, kSkipMaxLevel);
    list->level = 1;
    return list;
}

SkipValue *skipsearch(SkipList *list, uint32_t key) {
    SkipNode *node = list->header;
    for (int i = list->level - 1; i >= 0; --i) {
        node = skipwalk(node, i, key);
    }
    SkipNode *candidate = skiplinks(node)[0];
    return candidate != nullptr && candidate->key == key ? &candidate->value : nullptr;
}

SkipValue *skipinsert(SkipList *list, uint32_t key) {
    SkipNode *update[kSkipMaxLevel];
    SkipNode *tail = skiptail(list);
    if (skipabove(tail, key)) {
        // Certainly a new key: its level count is drawn now, exactly as after
        // a descent that found it missing.
        const int levels = skiprandomlevel();
        if (levels == 1) {
            SkipNode *node = skipnewnode(list, 1);
            node->key = key;
            skiplinks(tail)[0] = node;
            skipsettail(list, node);
            return &node->value;
        }
        skipdescend(list, key, update);
        return skiplink(list, key, levels, update);
    }
    SkipNode *candidate = skipdescend(list, key, update);
    if (candidate != nullptr && candidate->key == key) return &candidate->value;
    return skiplink(list, key, skiprandomlevel(), update);
}

void skipcursorstart(SkipCursor *cursor) {
    cursor->ready = false;
}

SkipValue *skipinsertnext(SkipList *list, SkipCursor *cursor, uint32_t key) {
    SkipNode *tail = skiptail(list);
    if (tail != nullptr && !skipabove(tail, key)) {
        // Not above every key: the last nodes may change under this insertion.
        cursor->ready = false;
        return skipinsert(list, key);
    }
    // Above every key: a descent would end at the last node of every level,
    // so the new node is linked behind those and becomes the last of its own
    // levels, as skiplink would link it.
    if (!cursor->ready) {
        skipdescend(list, key, cursor->last);
        cursor->ready = true;
    }
    const int levels = skipnextlevel();
    if (levels > list->level) {
        for (int i = list->level; i < levels; ++i) {
            cursor->last[i] = list->header;
        }
        list->level = levels;
    }
    SkipNode *node = skipnewnode(list, levels);
    node->key = key;
    SkipNode **links = skiplinks(node);
    for (int i = 0; i < levels; ++i) {
        SkipNode **before = skiplinks(cursor->last[i]);
        links[i] = before[i];
        before[i] = node;
        cursor->last[i] = node;
    }
    skipsettail(list, node);
    return &node->value;
}

void skipdelete(SkipList *list, uint32_t key, SkipNotFound notfound) {
    SkipNode *update[kSkipMaxLevel];
    SkipNode *candidate = skipdescend(list, key, update);
    if (candidate == nullptr || candidate->key != key) {
        // Without an action there is no one to tell; the list stays as it is.
        if (notfound != nullptr) notfound("skipdelete");
        return;
    }
    // The node's level count is not stored: it is the number of levels on
    // which it follows its update[] node.
    SkipNode **links = skiplinks(candidate);
    if (links[0] == nullptr) skipsettail(list, update[0] == list->header ? nullptr : update[0]);
    int levels = 0;
    while (levels < list->level && skiplinks(update[levels])[levels] == candidate) {
        skiplinks(update[levels])[levels] = links[levels];
        ++levels;
    }
    skipfreenode(list, candidate, levels);
    SkipNode **top = skiplinks(list->header);
    while (list->level > 1 && top[list->level - 1] == nullptr) {
        --list->level;
    }
}
