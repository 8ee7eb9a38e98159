// Skip list: sizes taken from the pool, find-or-insert, unsigned order,
// deletion with its not-found action, level bookkeeping, node reuse through
// the free lists, the random level counts, and a randomized run against
// std::map.
#include "util/skip_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "util/pool_support.h"

namespace {

using Pairs = std::vector<std::pair<uint32_t, SkipValue>>;

// Makes the next level count drawn be exactly `levels` (1 to 30).
void NextLevelCountIs(int levels) {
    *skipreservoir() = {(1U << (levels - 1)) - 1, levels};
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

    // How many levels the node is linked on.
    int LevelsOf(const SkipNode *target) const {
        int levels = 0;
        for (int i = 0; i < list->level; ++i) {
            SkipNode *node = skiplinks(list->header)[i];
            while (node != nullptr && node->key < target->key) {
                node = skiplinks(node)[i];
            }
            if (node == target) levels = i + 1;
        }
        return levels;
    }

    SkipNode *NodeOf(uint32_t key) const {
        SkipNode *node = skipfirst(list);
        while (node != nullptr && node->key != key) {
            node = skiplinks(node)[0];
        }
        return node;
    }

    void ExpectWellFormed() const {
        ASSERT_GE(list->level, 1);
        ASSERT_LE(list->level, kSkipMaxLevel);
        SkipNode **top = skiplinks(list->header);
        for (int i = list->level; i < kSkipMaxLevel; ++i) {
            ASSERT_EQ(top[i], nullptr);
        }
        if (list->level > 1) {
            ASSERT_NE(top[list->level - 1], nullptr);
        }
        // Each level ascends strictly and holds only nodes of the level below.
        std::vector<SkipNode *> below;
        for (int i = 0; i < list->level; ++i) {
            std::vector<SkipNode *> level;
            for (SkipNode *node = top[i]; node != nullptr; node = skiplinks(node)[i]) {
                if (!level.empty()) {
                    ASSERT_LT(level.back()->key, node->key) << "level " << i;
                }
                level.push_back(node);
            }
            if (i > 0) {
                size_t j = 0;
                for (SkipNode *node : level) {
                    while (j < below.size() && below[j] != node) {
                        ++j;
                    }
                    ASSERT_LT(j, below.size()) << "level " << i << " skips a level";
                }
            }
            below = std::move(level);
        }
    }

    BlockPool *pool = poolnew();
    SkipList *list = skipnew(pool);
};

int not_found_calls = 0;
std::string not_found_text;

int CountNotFound(const char *text) {
    ++not_found_calls;
    not_found_text = text;
    return 1;
}

TEST_F(SkipListTest, ANewListIsEmptyWithOneLevel) {
    EXPECT_EQ(list->level, 1);
    EXPECT_EQ(skipfirst(list), nullptr);
    for (uint32_t key : {0U, 1U, 0x80000000U, UINT32_MAX}) {
        EXPECT_EQ(skipsearch(list, key), nullptr);
    }
    for (SkipNode *head : list->freelist) {
        EXPECT_EQ(head, nullptr);
    }
}

TEST(SkipListSizes, RecordAndNodesTakeTheirFieldWidthsFromThePool) {
    if constexpr (sizeof(void *) == 4) {
        EXPECT_EQ(sizeof(SkipList), 140U);
        EXPECT_EQ(skipnodesize(1), 12U);
        EXPECT_EQ(skipnodesize(32), 136U);
    }
    EXPECT_EQ(skipnodesize(1), sizeof(SkipNode));
    EXPECT_EQ(skipnodesize(5) - skipnodesize(4), sizeof(SkipNode *));

    BlockPool *pool = poolnew();
    PoolModel model(pool);
    model.Take(sizeof(SkipList));
    model.Take(skipnodesize(kSkipMaxLevel));
    SkipList *list = skipnew(pool);
    EXPECT_TRUE(model.Matches(pool)) << "the record, then a 32-level header node";
    for (int levels : {1, 2, 7, 30}) {
        model.Take(skipnodesize(levels));
        NextLevelCountIs(levels);
        skipinsert(list, static_cast<uint32_t>(levels));
        EXPECT_TRUE(model.Matches(pool)) << levels << " levels";
    }
    pooldelete(pool);
}

TEST_F(SkipListTest, InsertFindsOrCreatesAndLeavesStoringToTheCaller) {
    SkipValue *slot = skipinsert(list, 42);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, 0U);
    *slot = 7;
    const SkipBitReservoir before = *skipreservoir();
    EXPECT_EQ(skipinsert(list, 42), slot);
    EXPECT_EQ(*slot, 7U);
    EXPECT_EQ(skipreservoir()->bits, before.bits) << "a present key draws no bits";
    EXPECT_EQ(skipreservoir()->left, before.left);
    EXPECT_EQ(skipsearch(list, 42), slot);
    EXPECT_EQ(skipsearch(list, 41), nullptr);
    EXPECT_EQ(skipsearch(list, 43), nullptr);
}

TEST_F(SkipListTest, KeysAreOrderedAsUnsigned) {
    for (uint32_t key : {0xFFFFFFFFU, 1U, 0x80000000U, 0x7FFFFFFFU}) {
        *skipinsert(list, key) = key / 2;
    }
    const Pairs expected = {
        {1, 0}, {0x7FFFFFFF, 0x3FFFFFFF}, {0x80000000, 0x40000000}, {0xFFFFFFFF, 0x7FFFFFFF}};
    EXPECT_EQ(Walk(), expected);
}

TEST_F(SkipListTest, DeletingAMissingKeyOnlyCallsTheAction) {
    *skipinsert(list, 5) = 50;
    not_found_calls = 0;
    skipdelete(list, 6, CountNotFound);
    EXPECT_EQ(not_found_calls, 1);
    EXPECT_EQ(not_found_text, "skipdelete");
    EXPECT_EQ(Walk(), (Pairs{{5, 50}}));

    skipdelete(list, 5, CountNotFound);
    EXPECT_EQ(not_found_calls, 1) << "a present key is deleted silently";
    EXPECT_EQ(skipfirst(list), nullptr);

    skipdelete(list, 5, nullptr);  // no action to call: nothing happens
    EXPECT_EQ(skipfirst(list), nullptr);
}

TEST_F(SkipListTest, LevelCountFollowsTheTallestNode) {
    NextLevelCountIs(1);
    skipinsert(list, 10);
    NextLevelCountIs(6);
    skipinsert(list, 20);
    NextLevelCountIs(3);
    skipinsert(list, 30);
    EXPECT_EQ(list->level, 6);
    skipdelete(list, 20, CountNotFound);
    EXPECT_EQ(list->level, 3);
    skipdelete(list, 30, CountNotFound);
    EXPECT_EQ(list->level, 1);
    skipdelete(list, 10, CountNotFound);
    EXPECT_EQ(list->level, 1);
    ExpectWellFormed();
}

TEST_F(SkipListTest, DeletedNodesAreReusedByLevelCountWithEverythingCleared) {
    NextLevelCountIs(3);
    skipinsert(list, 1);
    NextLevelCountIs(2);
    *skipinsert(list, 2) = 99;
    SkipNode *two_levels = NodeOf(2);
    skipdelete(list, 2, CountNotFound);
    EXPECT_EQ(list->freelist[1], two_levels);

    PoolModel unchanged(pool);
    NextLevelCountIs(2);
    SkipValue *slot = skipinsert(list, 0);
    EXPECT_EQ(slot, &two_levels->value);
    EXPECT_EQ(*slot, 0U);
    EXPECT_EQ(list->freelist[1], nullptr);
    EXPECT_TRUE(unchanged.Matches(pool)) << "reuse takes no pool space";
    ExpectWellFormed();

    // Directly: a node taken from a free list comes back blank.
    NextLevelCountIs(4);
    SkipNode *node = skipnewnode(list, 4);
    node->key = 77;
    node->value = 78;
    for (int i = 0; i < 4; ++i) {
        skiplinks(node)[i] = node;
    }
    skipfreenode(list, node, 4);
    ASSERT_EQ(skipnewnode(list, 4), node);
    EXPECT_EQ(node->key, 0U);
    EXPECT_EQ(node->value, 0U);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(skiplinks(node)[i], nullptr);
    }
}

TEST_F(SkipListTest, DeletingTheNodeJustSteppedOverIsSafe) {
    for (uint32_t key = 0; key < 200; ++key) {
        *skipinsert(list, key * 3) = key;
    }
    SkipNode *node = skipfirst(list);
    size_t visited = 0;
    while (node != nullptr) {
        uint32_t key = 0;
        skipstep(node, &key, nullptr, &node);
        if (key % 2 == 0) skipdelete(list, key, CountNotFound);
        ++visited;
    }
    EXPECT_EQ(visited, 200U);
    EXPECT_EQ(Walk().size(), 100U);
    ExpectWellFormed();
}

// A key above all others is known to be new without a descent; it must still
// draw its level count in turn and end up exactly where a descent would put it.
TEST_F(SkipListTest, KeysAboveAllOthersGetTheLevelCountsDrawnInTurn) {
    srand(11);
    *skipreservoir() = {0, 0};
    std::vector<int> drawn(2000);
    for (int &levels : drawn) {
        levels = skiprandomlevel();
    }
    srand(11);
    *skipreservoir() = {0, 0};

    std::map<uint32_t, int> expected;  // key -> level count
    size_t next_draw = 0;
    const auto insert_new = [&](uint32_t key) {
        ASSERT_EQ(skipsearch(list, key), nullptr);
        *skipinsert(list, key) = key;
        expected[key] = drawn[next_draw++];
    };
    for (uint32_t i = 1; next_draw + 3 < drawn.size(); ++i) {
        insert_new(10 * i);
        if (i % 7 == 0) {  // the last key goes and comes back
            skipdelete(list, 10 * i, CountNotFound);
            expected.erase(10 * i);
            insert_new(10 * i);
        }
        if (i % 11 == 0) insert_new(10 * i - 5);  // one below the last key
        *skipinsert(list, 10 * i) += 1;           // present: draws nothing
    }
    ASSERT_NO_FATAL_FAILURE(ExpectWellFormed());
    std::map<uint32_t, int> levels;
    for (SkipNode *node = skipfirst(list); node != nullptr; node = skiplinks(node)[0]) {
        levels[node->key] = LevelsOf(node);
    }
    EXPECT_EQ(levels, expected);
}

TEST(SkipRandomLevel, ARunOfOnesIsReadToItsClosingZeroAndCappedAt32) {
    // Find a seed whose first rand() continues a 30-bit run of ones with five
    // more ones and a zero, so that 36 bits make one level count.
    unsigned seed = 1;
    for (;; ++seed) {
        srand(seed);
        if ((static_cast<uint32_t>(rand()) & 0x3F) == 0x1F) break;
    }
    srand(seed);
    const auto fill = static_cast<uint32_t>(rand());
    srand(seed);
    *skipreservoir() = {0x3FFFFFFF, 30};
    EXPECT_EQ(skiprandomlevel(), 32);
    EXPECT_EQ(skipreservoir()->left, 24) << "30 bits, then 6 of the next fill";
    EXPECT_EQ(skipreservoir()->bits, fill >> 6);

    int expected = 1;
    for (uint32_t bits = fill >> 6; (bits & 1) != 0; bits >>= 1) {
        ++expected;
    }
    EXPECT_EQ(skiprandomlevel(), expected) << "the next count starts after the closing zero";
}

// skiprandomlevel reads whole runs at once; it must read exactly the bits
// that drawing one bit at a time would, fills from rand() included.
TEST(SkipRandomLevel, ReadsTheSameBitsAsSkiprandombit) {
    std::mt19937 random(5);
    for (int n = 0; n < 2000; ++n) {
        // Long runs of 1 bits are frequent enough to cross fills.
        const uint32_t bits = n % 3 == 0 ? ~(random() % 8U) : static_cast<uint32_t>(random());
        const SkipBitReservoir start = {bits, static_cast<int32_t>(random() % 31)};
        const unsigned seed = random();

        *skipreservoir() = start;
        srand(seed);
        const int levels = skiprandomlevel();
        const SkipBitReservoir after = *skipreservoir();

        *skipreservoir() = start;
        srand(seed);
        int expected = 1;
        while (skiprandombit() == 1) {
            ++expected;
        }
        ASSERT_EQ(levels, std::min(expected, kSkipMaxLevel)) << n;
        ASSERT_EQ(after.bits, skipreservoir()->bits) << n;
        ASSERT_EQ(after.left, skipreservoir()->left) << n;
    }
}

TEST(SkipRandomBit, EachFillServesThirtyBitsLowestFirst) {
    *skipreservoir() = {0b1011, 4};
    EXPECT_EQ(skiprandombit(), 1);
    EXPECT_EQ(skiprandombit(), 1);
    EXPECT_EQ(skiprandombit(), 0);
    EXPECT_EQ(skiprandombit(), 1);
    EXPECT_EQ(skipreservoir()->left, 0);
    srand(7);
    const auto fill = static_cast<uint32_t>(rand());
    srand(7);
    EXPECT_EQ(skiprandombit(), static_cast<int>(fill & 1));
    EXPECT_EQ(skipreservoir()->left, 29);
}

// Many inserts, deletes and walks against std::map, over a key range narrow
// enough for keys to come and go repeatedly and spread over the sign bit, with
// keys above all others mixed in.
// Checks order, values, the level count and that a new node reuses the
// newest freed node of its level count whenever there is one.
TEST_F(SkipListTest, BehavesLikeAnOrderedMapUnderRandomOperations) {
    std::mt19937 random(4242);
    std::map<uint32_t, SkipValue> model;
    std::map<int, std::vector<SkipNode *>> freed;  // by level count, newest last
    const auto random_key = [&random] {
        return static_cast<uint32_t>(random() % 600) * 0x00DA0001U;  // wraps past 2^31
    };
    for (int step = 0; step < 12000; ++step) {
        // Now and then a key just above all others, as a file read in order
        // gives them, to be set.
        const bool above_all = step % 8 == 0 && !model.empty();
        const uint32_t key = above_all ? model.rbegin()->first + 1 + random() % 3 : random_key();
        const int action = above_all ? 0 : static_cast<int>(random() % 10);
        if (action < 5) {
            const bool is_new = model.count(key) == 0;
            PoolModel before(pool);
            SkipValue *slot = skipinsert(list, key);
            ASSERT_NE(slot, nullptr);
            if (is_new) {
                ASSERT_EQ(*slot, 0U);
                SkipNode *node = NodeOf(key);
                std::vector<SkipNode *> &reusable = freed[LevelsOf(node)];
                if (reusable.empty()) {
                    ASSERT_FALSE(before.Matches(pool)) << "a new node comes from the pool";
                } else {
                    ASSERT_EQ(node, reusable.back()) << "step " << step;
                    ASSERT_TRUE(before.Matches(pool));
                    reusable.pop_back();
                }
            } else {
                ASSERT_EQ(*slot, model[key]);
            }
            *slot = random();
            model[key] = *slot;
        } else if (action < 9) {
            SkipNode *node = NodeOf(key);
            const int levels = node != nullptr ? LevelsOf(node) : 0;
            not_found_calls = 0;
            skipdelete(list, key, CountNotFound);
            ASSERT_EQ(not_found_calls, model.erase(key) == 1 ? 0 : 1);
            if (node != nullptr) freed[levels].push_back(node);
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
            ExpectWellFormed();
        }
    }
    for (const auto &pair : Pairs(model.begin(), model.end())) {
        skipdelete(list, pair.first, CountNotFound);
    }
    EXPECT_EQ(skipfirst(list), nullptr);
    EXPECT_EQ(list->level, 1);
}

}  // namespace
