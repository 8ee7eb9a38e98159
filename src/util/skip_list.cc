// Skip list: the shared descent, search, insertion and deletion with level
// bookkeeping, node reuse through per-level free lists, and the random level
// counts drawn from the process-wide bit reservoir.
#include "util/skip_list.h"

#include <cstdlib>

namespace {

SkipBitReservoir reservoir = {0, 0};

// Walks from the top level in use down to level 0, on each level moving
// forward while the next key is below `key`, and records in update[i] the node
// where the walk leaves level i. Returns the level-0 successor of the last
// node visited: the node holding `key` if there is one.
//
// The node that ended the walk on one level is also the first node not taken
// on the levels below it, unless a smaller one sits in between; comparing
// against it by address saves reading its key again on every level.
SkipNode *skipdescend(SkipList *list, uint32_t key, SkipNode **update) {
    SkipNode *node = list->header;
    SkipNode *stop = nullptr;
    for (int i = list->level - 1; i >= 0; --i) {
        SkipNode *next = skiplinks(node)[i];
        // `stop` lies on this level after `node`, so `next` is null only when
        // `stop` is.
        while (next != stop && next->key < key) {
            node = next;
            next = skiplinks(node)[i];
        }
        stop = next;
        update[i] = node;
    }
    return stop;
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

int skiprandomlevel() {
    int levels = 1;
    // The whole run of 1 bits is consumed, the closing 0 included, even past
    // the cap, so that the next level count starts on a fresh run.
    while (skiprandombit() == 1) {
        if (levels < kSkipMaxLevel) ++levels;
    }
    return levels;
}

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
    SkipNode *stop = nullptr;
    for (int i = list->level - 1; i >= 0; --i) {
        SkipNode *next = skiplinks(node)[i];
        while (next != stop && next->key < key) {
            node = next;
            next = skiplinks(node)[i];
        }
        // A node found on a high level is the same node as on level 0.
        if (next != stop && next->key == key) return &next->value;
        stop = next;
    }
    return nullptr;
}

SkipValue *skipinsert(SkipList *list, uint32_t key) {
    SkipNode *update[kSkipMaxLevel];
    SkipNode *candidate = skipdescend(list, key, update);
    if (candidate != nullptr && candidate->key == key) return &candidate->value;

    const int levels = skiprandomlevel();
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

SkipNode *skipfirst(SkipList *list) {
    return skiplinks(list->header)[0];
}

void skipstep(SkipNode *node, uint32_t *key, SkipValue *value, SkipNode **next) {
    // Any output the caller does not want may be null.
    if (key != nullptr) *key = node->key;
    if (value != nullptr) *value = node->value;
    if (next != nullptr) *next = skiplinks(node)[0];
}
