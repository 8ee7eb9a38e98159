// Insertion through a cursor, as a map file is read back: whatever order the
// keys come in, the list it builds is the one plain insertion builds from the
// same random bits, node for node and level for level.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "util/skip_list.h"

namespace {

// The keys on every level in use, and the level-0 values.
struct Shape {
    std::vector<std::vector<uint32_t>> levels;
    std::vector<SkipValue> values;
    bool operator==(const Shape &other) const {
        return levels == other.levels && values == other.values;
    }
};

Shape shapeOf(SkipList *list) {
    Shape shape;
    for (int i = 0; i < list->level; ++i) {
        std::vector<uint32_t> keys;
        for (SkipNode *node = skiplinks(list->header)[i]; node != nullptr;
             node = skiplinks(node)[i]) {
            keys.push_back(node->key);
            if (i == 0) shape.values.push_back(node->value);
        }
        shape.levels.push_back(keys);
    }
    return shape;
}

// Mostly ascending keys, with some going back and some repeated, as a map
// file edited by hand may hold them.
std::vector<uint32_t> fileOrderKeys(unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> keys;
    uint32_t next = 0;
    for (int i = 0; i < 5000; ++i) {
        switch (random() % 20) {
            case 0:
                keys.push_back(static_cast<uint32_t>(random()));
                break;
            case 1:
                keys.push_back(keys.empty() ? 0 : keys[random() % keys.size()]);
                break;
            default:
                next += 1 + random() % 3;
                keys.push_back(next);
        }
    }
    return keys;
}

template <typename Insert>
Shape build(const std::vector<uint32_t> &keys, unsigned seed, Insert insert, int *nextRand) {
    srand(seed);
    *skipreservoir() = SkipBitReservoir{0, 0};
    BlockPool *pool = poolnew();
    SkipList *list = skipnew(pool);
    for (size_t i = 0; i < keys.size(); ++i)
        *insert(list, keys[i]) = i;
    Shape shape = shapeOf(list);
    pooldelete(pool);
    *nextRand = rand();
    return shape;
}

TEST(SkipCursor, BuildsWhatPlainInsertionBuildsFromTheSameBits) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
        const std::vector<uint32_t> keys = fileOrderKeys(seed);
        int plainNext = 0;
        const Shape plain = build(keys, seed, skipinsert, &plainNext);
        const SkipBitReservoir plainBits = *skipreservoir();

        SkipCursor cursor;
        skipcursorstart(&cursor);
        int cursorNext = 0;
        const Shape viaCursor = build(
            keys, seed,
            [&cursor](SkipList *list, uint32_t key) { return skipinsertnext(list, &cursor, key); },
            &cursorNext);

        EXPECT_TRUE(viaCursor == plain) << "seed " << seed;
        EXPECT_EQ(skipreservoir()->bits, plainBits.bits);
        EXPECT_EQ(skipreservoir()->left, plainBits.left);
        EXPECT_EQ(cursorNext, plainNext);
    }
}

}  // namespace
