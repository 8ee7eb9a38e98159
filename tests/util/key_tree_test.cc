// Key tree: the scrambling of keys, and a randomized run against
// std::map.
#include "util/key_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace {

TEST(KeyTreeScramble, ReproducesTheWorkedExamplesAndMovesTheLowBitsToTheTop) {
    const uint32_t examples[][2] = {{0, 0xF5E918D3},  {1, 0xE5E918D3},          {8, 0x75E918D3},
                                    {16, 0xF4E918D3}, {0x12345678, 0x72C87D90}, {0x9E3D815F, 0}};
    for (const auto &[key, scrambled] : examples) {
        EXPECT_EQ(keytreescramble(key), scrambled) << std::hex << key;
    }
    // The lowest four key bits, inverted, become the highest four.
    for (uint32_t low = 0; low < 16; ++low) {
        EXPECT_EQ(keytreescramble(0xABCD1230 | low) ^ keytreescramble(0xABCD1230), low << 28);
        EXPECT_EQ(keytreescramble(low), ((15 - low) << 28) | 0x05E918D3U);
    }
}

class KeyTreeTest : public ::testing::Test {
  protected:
    void TearDown() override { pooldelete(pool); }

    BlockPool *pool = poolnew();
    KeyTree *tree = keytreenew(pool);
};

void CollectInOrder(const KeyTreeEntry *entry, std::vector<uint32_t> &keys) {
    if (entry == nullptr) return;
    CollectInOrder(entry->left, keys);
    keys.push_back(entry->key);
    CollectInOrder(entry->right, keys);
}

// Keys from a narrow and a wide range, so that they both repeat and spread:
// one slot per key, 0 in a new one, a stored value read back, and a valid
// search tree.
TEST_F(KeyTreeTest, BehavesLikeAMapUnderRandomKeys) {
    std::mt19937 random(7);
    std::map<uint32_t, KeyTreeValue *> slots;
    for (int n = 0; n < 20000; ++n) {
        const auto key = static_cast<uint32_t>(n % 2 == 0 ? random() % 3000 : random());
        KeyTreeValue *slot = keytreeslot(tree, key);
        const auto [found, is_new] = slots.emplace(key, slot);
        ASSERT_EQ(found->second, slot) << key;
        ASSERT_EQ(*slot, is_new ? 0 : ~KeyTreeValue{key}) << key;
        *slot = ~KeyTreeValue{key};
    }
    EXPECT_EQ(tree->count, slots.size());
    std::vector<uint32_t> keys;  // ascending scrambled keys: a valid search tree
    CollectInOrder(tree->root, keys);
    ASSERT_EQ(keys.size(), slots.size());
    for (size_t i = 1; i < keys.size(); ++i) {
        ASSERT_LT(keys[i - 1], keys[i]);
    }
}

}  // namespace
