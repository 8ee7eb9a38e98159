// String-save table: the text hash, what a save costs the table's pool, and a
// randomized run against std::unordered_map. The table is process-wide: each
// test of the table starts from a new one, so what it checks does not depend
// on the tests run before it in the same process.
#include "util/string_save.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>

#include "util/key_tree.h"
#include "util/pool_support.h"

namespace {

TEST(StringSaveHash, ReproducesTheWorkedExamples) {
    EXPECT_EQ(hashsavestrhash(""), 1U);
    EXPECT_EQ(hashsavestrhash("a"), 0x162U);
    EXPECT_EQ(hashsavestrhash("abc"), 0x1652827U);
    EXPECT_EQ(hashsavestrhash("aeaea"), 0xF6E3E0EEU);
    EXPECT_EQ(hashsavestrhash("bagab"), 0xF6E3E0EEU);
    EXPECT_EQ(hashsavestrhash("\xff"), 257U + 255U) << "bytes count as unsigned";
}

class StringSave : public testing::Test {
  protected:
    void SetUp() override { hashsavestrreset(); }
    void TearDown() override { hashsavestrreset(); }
};

// A new hash costs a table entry, then a cell, then the copy; a new text with
// a known hash costs only the cell and the copy. A new table's first block
// has room for all of it.
TEST_F(StringSave, ASaveTakesAnEntryACellAndTheCopyFromTheTablesOwnPool) {
    hashsavestr("costs: warm-up");  // creates the table and its pool
    BlockPool *pool = hashsavestrpool();
    ASSERT_NE(pool, nullptr);
    PoolModel model(pool);
    model.Take(sizeof(KeyTreeEntry));
    model.Take(sizeof(SavedTextCell));
    char *copy = model.Take(12);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(hashsavestr("costs: ijkl"), copy);
    EXPECT_TRUE(model.Matches(pool));

    hashsavestr("costs: aeaea");
    PoolModel collision(pool);
    collision.Take(sizeof(SavedTextCell));
    copy = collision.Take(13);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(hashsavestr("costs: bagab"), copy) << "same hash as costs: aeaea";
    EXPECT_TRUE(collision.Matches(pool));
}

// After a reset a text saved before is new again: it is copied into the new
// table's pool, not found through what the old table knew of its hash.
TEST_F(StringSave, AResetStartsANewTableInANewPool) {
    hashsavestr("reset: once");
    hashsavestrreset();
    EXPECT_EQ(hashsavestrpool(), nullptr);
    const char *again = hashsavestr("reset: once");
    BlockPool *pool = hashsavestrpool();
    ASSERT_NE(pool, nullptr);
    EXPECT_STREQ(again, "reset: once");
    EXPECT_TRUE(again >= pooldata(pool) && again < pooldata(pool) + pool->capacity)
        << "saved in the new pool's first block";
}

// Random texts over a small alphabet, many built around aeaea and bagab so
// that their hashes collide: each distinct text gets an address of its own
// holding a copy of it, and saving it again returns that address and takes
// nothing from the pool.
TEST_F(StringSave, GivesOneAddressPerDistinctTextUnderRandomTexts) {
    std::mt19937 random(314);
    std::unordered_map<std::string, const char *> model;
    const auto random_text = [&random] {
        std::string text;
        for (size_t length = random() % 6; length > 0; --length) {
            text += "abc"[random() % 3];
        }
        return text;
    };
    for (int n = 0; n < 6000; ++n) {
        const std::string core = n % 3 == 0 ? "aeaea" : (n % 3 == 1 ? "bagab" : random_text());
        std::string text = "random:" + random_text() + core + random_text();
        PoolModel pool_before(hashsavestrpool());
        const char *saved = hashsavestr(text.c_str());
        ASSERT_STREQ(saved, text.c_str());
        const auto [entry, is_new] = model.emplace(text, saved);
        ASSERT_EQ(entry->second, saved) << text;
        if (!is_new) {
            ASSERT_TRUE(pool_before.Matches(hashsavestrpool())) << "a known text takes nothing";
        }
        text.assign(text.size(), 'x');  // the given buffer is read only during the call
    }
    for (const auto &[text, address] : model) {  // so no two texts share an address
        ASSERT_STREQ(address, text.c_str());
        ASSERT_EQ(hashsavestr(text.c_str()), address);
    }
}

}  // namespace
