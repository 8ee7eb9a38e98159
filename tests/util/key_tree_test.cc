// Scrambled-key map: the scrambling of keys, where entries land in the tree,
// the sizes taken from the pool, and a randomized run against std::map.
#include "util/key_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>

#include "util/pool_support.h"

namespace {

class KeyTreeTest : public ::testing::Test {
  protected:
    void TearDown() override { pooldelete(pool); }

    BlockPool *pool = poolnew();
    KeyTree *tree = keytreenew(pool);
};

TEST(KeyTreeScramble, ReproducesTheWorkedExamples) {
    EXPECT_EQ(keytreescramble(0), 0xF5E918D3U);
    EXPECT_EQ(keytreescramble(1), 0xE5E918D3U);
    EXPECT_EQ(keytreescramble(8), 0x75E918D3U);
    EXPECT_EQ(keytreescramble(0x12345678), 0x72C87D90U);
    EXPECT_EQ(keytreescramble(0x9E3D815F), 0U);
    EXPECT_EQ(keytreescramble(16), 0xF4E918D3U);
}

TEST(KeyTreeScramble, TheLowestFourKeyBitsBecomeTheHighestFourInverted) {
    for (uint32_t low = 0; low < 16; ++low) {
        EXPECT_EQ(keytreescramble(low), ((15 - low) << 28) | 0x05E918D3U);
        const uint32_t base = 0xABCD1230;
        EXPECT_EQ(keytreescramble(base | low) ^ keytreescramble(base), low << 28);
    }
}

TEST_F(KeyTreeTest, RecordAndEntriesTakeTheirFieldWidthsFromThePool) {
    if constexpr (sizeof(void *) == 4) {
        EXPECT_EQ(sizeof(KeyTree), 12U);
        EXPECT_EQ(sizeof(KeyTreeEntry), 16U);
    }
    BlockPool *fresh = poolnew();
    PoolModel model(fresh);
    model.Take(sizeof(KeyTree));
    KeyTree *other = keytreenew(fresh);
    EXPECT_TRUE(model.Matches(fresh));
    EXPECT_EQ(other->pool, fresh);
    EXPECT_EQ(other->root, nullptr);
    EXPECT_EQ(other->count, 0U);
    model.Take(sizeof(KeyTreeEntry));
    keytreeslot(other, 5);
    EXPECT_TRUE(model.Matches(fresh));
    keytreeslot(other, 5);
    EXPECT_TRUE(model.Matches(fresh)) << "a present key takes nothing";
    pooldelete(fresh);
}

TEST_F(KeyTreeTest, SlotFindsOrCreatesTheKeysValue) {
    KeyTreeValue *slot = keytreeslot(tree, 1234);
    ASSERT_NE(tree->root, nullptr);
    EXPECT_EQ(slot, &tree->root->value);
    EXPECT_EQ(tree->root->key, keytreescramble(1234));
    EXPECT_EQ(*slot, 0U);
    *slot = reinterpret_cast<KeyTreeValue>(this);
    EXPECT_EQ(keytreeslot(tree, 1234), slot);
    EXPECT_EQ(*keytreeslot(tree, 1234), reinterpret_cast<KeyTreeValue>(this));
    EXPECT_EQ(tree->count, 1U);
}

TEST_F(KeyTreeTest, AscendingSmallKeysFormALeftChain) {
    for (uint32_t key = 0; key < 16; ++key) {
        keytreeslot(tree, key);
    }
    KeyTreeEntry *entry = tree->root;
    for (uint32_t key = 0; key < 16; ++key) {
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->key, keytreescramble(key));
        EXPECT_EQ(entry->right, nullptr);
        entry = entry->left;
    }
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(tree->count, 16U);
}

TEST_F(KeyTreeTest, FindReturnsTheHoldingLinkOrTheEmptyLinkWhereTheEntryBelongs) {
    for (uint32_t key : {100U, 200U, 300U, 0x9E3D815FU}) {
        keytreeslot(tree, key);
    }
    KeyTreeEntry **link = keytreefind(&tree->root, keytreescramble(200));
    ASSERT_NE(*link, nullptr);
    EXPECT_EQ((*link)->key, keytreescramble(200));

    // Scrambled key 0 is the smallest: the end of the leftmost path.
    KeyTreeEntry **leftmost = &tree->root;
    while ((*leftmost)->left != nullptr) {
        leftmost = &(*leftmost)->left;
    }
    EXPECT_EQ(keytreefind(&tree->root, 0), leftmost);
    EXPECT_EQ((*leftmost)->key, 0U);

    KeyTreeEntry **empty = keytreefind(&tree->root, keytreescramble(400));
    EXPECT_EQ(*empty, nullptr);
    KeyTreeValue *slot = keytreeslot(tree, 400);
    ASSERT_NE(*empty, nullptr) << "the new entry goes into that link";
    EXPECT_EQ(slot, &(*empty)->value);
}

// In-order walk: scrambled keys strictly ascending means a valid search tree.
void CollectInOrder(const KeyTreeEntry *entry, std::vector<uint32_t> &keys) {
    if (entry == nullptr) return;
    CollectInOrder(entry->left, keys);
    keys.push_back(entry->key);
    CollectInOrder(entry->right, keys);
}

TEST_F(KeyTreeTest, BehavesLikeAMapUnderRandomKeys) {
    std::mt19937 random(7);
    std::map<uint32_t, KeyTreeValue> model;
    for (int n = 0; n < 20000; ++n) {
        // Narrow and wide ranges, so keys both repeat and spread.
        const auto key = static_cast<uint32_t>(n % 2 == 0 ? random() % 3000 : random());
        KeyTreeValue *slot = keytreeslot(tree, key);
        const auto found = model.find(key);
        ASSERT_EQ(*slot, found == model.end() ? 0 : found->second) << key;
        *slot = random();
        model[key] = *slot;
    }
    EXPECT_EQ(tree->count, model.size());
    std::vector<uint32_t> keys;
    CollectInOrder(tree->root, keys);
    ASSERT_EQ(keys.size(), model.size());
    for (size_t i = 1; i < keys.size(); ++i) {
        ASSERT_LT(keys[i - 1], keys[i]);
    }
    for (const auto &[key, value] : model) {
        ASSERT_EQ(*keytreeslot(tree, key), value);
    }
}

}  // namespace
