// Skip list: a randomized run against std::map (order, values, deletion, the
// level counts drawn and kept, node reuse and what a node takes from the
// pool), and how level counts are read from the random bits.
#include "util/skip_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "util/pool_support.h"

namespace {

using Pairs = std::vector<std::pair<uint32_t, SkipValue>>;

int not_found_calls = 0;

int CountNotFound(const char *text) {
    EXPECT_STREQ(text, "skipdelete");
    ++not_found_calls;
    return 1;
}

class SkipListTest : public ::testing::Test {
  protected:
    void TearDown() override { pooldelete(pool); }

    // The pairs in walking order, through skipfirst and skipstep.
    Pairs Walk() const {
        Pairs pairs;
        for (SkipNode *node = skipfirst(list); node != nullptr;) {
            uint32_t key = 0;
            SkipValue value = 0;
            skipstep(node, &key, &value, &node);
            pairs.emplace_back(key, value);
        }
        return pairs;
    }

    // The same through skipforeach, whose runners on the upper levels only
    // fetch ahead and must not change what is visited.
    Pairs ForEach() const {
        Pairs pairs;
        skipforeach(list,
                    [&pairs](uint32_t key, SkipValue value) { pairs.emplace_back(key, value); });
        return pairs;
    }

    // The key's node and how many levels it is linked on, found by a descent
    // from the top level; null and 0 when the key is missing.
    std::pair<SkipNode *, int> Locate(uint32_t key) const {
        SkipNode *node = list->header;
        for (int i = list->level - 1; i >= 0; --i) {
            SkipNode *next = skiplinks(node)[i];
            for (; next != nullptr && next->key < key; next = skiplinks(node)[i]) {
                node = next;
            }
            if (next != nullptr && next->key == key) return {next, i + 1};
        }
        return {nullptr, 0};
    }

    // The level count is 1..32 and reaches the tallest node; every level
    // ascends strictly and holds only nodes of the level below.
    void ExpectWellFormed() const {
        ASSERT_TRUE(list->level >= 1 && list->level <= kSkipMaxLevel) << list->level;
        std::map<const SkipNode *, int> levels_seen;
        for (int i = 0; i < kSkipMaxLevel; ++i) {
            SkipNode *first = skiplinks(list->header)[i];
            if (i > 0) {
                ASSERT_EQ(first != nullptr, i < list->level) << "level " << i;
            }
            for (SkipNode *node = first; node != nullptr; node = skiplinks(node)[i]) {
                SkipNode *next = skiplinks(node)[i];
                ASSERT_TRUE(next == nullptr || node->key < next->key) << "level " << i;
                ASSERT_EQ(levels_seen[node]++, i) << "level " << i << " skips a level";
            }
        }
    }

    BlockPool *pool = poolnew();
    SkipList *list = skipnew(pool);
};

// Many inserts, deletes, searches and walks against std::map, over keys that
// come and go repeatedly and spread over the sign bit, with keys just above
// all others mixed in, as a file read in order gives them. Such a key is known
// to be new without a descent, yet like any new key it must draw exactly one
// level count in turn. A new node reuses the newest freed node of its level
// count, or else takes exactly its size from the pool.
TEST_F(SkipListTest, BehavesLikeAnOrderedMapUnderRandomOperations) {
    std::mt19937 random(4242);
    std::map<uint32_t, SkipValue> model;
    std::map<int, std::vector<SkipNode *>> freed;  // by level count, newest last
    for (int step = 0; step < 12000; ++step) {
        const bool above_all = step % 8 == 0 && !model.empty();
        const uint32_t key = above_all ? model.rbegin()->first + 1 + random() % 3
                                       : static_cast<uint32_t>(random() % 600) * 0x00DA0001U;
        const uint32_t action = above_all ? 0 : random() % 10;
        if (action < 5) {
            const bool is_new = model.count(key) == 0;
            const SkipBitReservoir bits_before = *skipreservoir();
            PoolModel pool_before(pool);
            srand(static_cast<unsigned>(step));
            SkipValue *slot = skipinsert(list, key);
            ASSERT_EQ(*slot, is_new ? 0 : model[key]) << "step " << step;
            // Replaying the draws one bit at a time: a new key's level count
            // is one plus the run of ones read, up to 32, and uses exactly
            // those bits and the closing zero; a present key uses none.
            const SkipBitReservoir bits_after = *skipreservoir();
            *skipreservoir() = bits_before;
            srand(static_cast<unsigned>(step));
            int levels = is_new ? 1 : 0;
            while (is_new && skiprandombit() == 1) {
                ++levels;
            }
            levels = std::min(levels, kSkipMaxLevel);
            ASSERT_EQ(skipreservoir()->bits, bits_after.bits) << "step " << step;
            ASSERT_EQ(skipreservoir()->left, bits_after.left) << "step " << step;
            if (is_new) {
                const auto [node, linked] = Locate(key);
                ASSERT_EQ(&node->value, slot);
                ASSERT_EQ(linked, levels) << "step " << step;
                std::vector<SkipNode *> &reusable = freed[levels];
                if (!reusable.empty()) {
                    ASSERT_EQ(node, reusable.back()) << "step " << step;
                    ASSERT_TRUE(pool_before.Matches(pool)) << "reuse takes nothing from the pool";
                    reusable.pop_back();
                } else if (char *predicted = pool_before.Take(skipnodesize(levels))) {
                    ASSERT_EQ(reinterpret_cast<char *>(node), predicted) << "step " << step;
                    ASSERT_TRUE(pool_before.Matches(pool));
                }
            }
            *slot = random();
            model[key] = *slot;
        } else if (action < 9) {
            const auto [node, levels] = Locate(key);
            if (node != nullptr) freed[levels].push_back(node);
            not_found_calls = 0;
            skipdelete(list, key, CountNotFound);
            ASSERT_EQ(not_found_calls, model.erase(key) == 1 ? 0 : 1);
            if (model.empty()) {
                ASSERT_EQ(list->level, 1);
            }
        } else {
            SkipValue *slot = skipsearch(list, key);
            const auto found = model.find(key);
            ASSERT_EQ(slot == nullptr, found == model.end());
            if (slot != nullptr) {
                ASSERT_EQ(*slot, found->second);
            }
        }
        if (step % 500 == 0) {
            ASSERT_EQ(Walk(), Pairs(model.begin(), model.end()));
            ASSERT_EQ(ForEach(), Walk());
            ASSERT_NO_FATAL_FAILURE(ExpectWellFormed());
        }
    }
    // Deleting the key of the node just stepped over is safe: its successor
    // was read first. Deleting everything brings the level count back to 1.
    for (SkipNode *node = skipfirst(list); node != nullptr;) {
        uint32_t key = 0;
        skipstep(node, &key, nullptr, &node);
        skipdelete(list, key, CountNotFound);
        model.erase(key);
    }
    EXPECT_TRUE(model.empty());
    EXPECT_EQ(skipfirst(list), nullptr);
    EXPECT_EQ(list->level, 1);
    skipdelete(list, 1, nullptr);  // a missing key without an action: nothing happens
}

// 35 one bits and the closing zero make a single level count, capped at 32;
// all 36 bits are used up, so the next count starts after the zero.
TEST(SkipRandomLevel, ARunOfOnesIsReadToItsClosingZeroAndCappedAt32) {
    unsigned seed = 0;  // one whose first fill starts with five ones and a zero
    do {
        srand(++seed);
    } while ((static_cast<uint32_t>(rand()) & 0x3F) != 0x1F);
    srand(seed);
    const auto fill = static_cast<uint32_t>(rand());
    srand(seed);
    *skipreservoir() = {0x3FFFFFFF, 30};
    EXPECT_EQ(skiprandomlevel(), 32);
    EXPECT_EQ(skipreservoir()->left, 24) << "30 bits, then 6 of the next 30-bit fill";
    EXPECT_EQ(skipreservoir()->bits, fill >> 6);
}

}  // namespace
