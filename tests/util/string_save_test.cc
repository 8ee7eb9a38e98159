// String-save table: the text hash, one saved copy per distinct text, texts
// that share a hash, what a save costs the table's pool, and a randomized run
// against std::unordered_map. The table is process-wide, so every test uses
// texts of its own.
#include "util/string_save.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>

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

TEST(StringSave, EqualTextsShareOneCopyAndASecondSaveTakesNothing) {
    std::string text = "work.alu:sch";
    const char *saved = hashsavestr(text.c_str());
    EXPECT_NE(saved, text.c_str());
    EXPECT_STREQ(saved, "work.alu:sch");
    PoolModel unchanged(hashsavestrpool());
    EXPECT_EQ(hashsavestr(std::string(text).c_str()), saved);
    EXPECT_TRUE(unchanged.Matches(hashsavestrpool()));
}

TEST(StringSave, TheGivenBufferIsReadOnlyDuringTheCall) {
    char buffer[32] = "lib1.cellA:view";
    const char *first = hashsavestr(buffer);
    buffer[4] = '2';
    const char *second = hashsavestr(buffer);
    EXPECT_NE(first, second);
    EXPECT_STREQ(first, "lib1.cellA:view");
    EXPECT_STREQ(second, "lib12cellA:view");
}

TEST(StringSave, TextsSharingAHashKeepTheirOwnCopies) {
    const char *aeaea = hashsavestr("aeaea");
    const char *bagab = hashsavestr("bagab");
    EXPECT_NE(aeaea, bagab);
    EXPECT_STREQ(aeaea, "aeaea");
    EXPECT_STREQ(bagab, "bagab");
    EXPECT_EQ(hashsavestr("aeaea"), aeaea);
    EXPECT_EQ(hashsavestr("bagab"), bagab);
}

TEST(StringSave, TheEmptyTextAndLetterCaseAreLikeAnyOtherText) {
    const char *empty = hashsavestr("");
    EXPECT_EQ(empty[0], '\0');
    EXPECT_EQ(hashsavestr(""), empty);
    EXPECT_NE(hashsavestr("Page"), hashsavestr("page"));
    EXPECT_NE(hashsavestr("PAGE"), hashsavestr("Page"));
}

// A new hash costs a table entry, then a cell, then the copy; a new text with
// a known hash costs only the cell and the copy.
TEST(StringSave, ASaveTakesAnEntryACellAndTheCopyFromTheTablesOwnPool) {
    if constexpr (sizeof(void *) == 4) {
        EXPECT_EQ(sizeof(SavedTextCell), 8U);
    }
    hashsavestr("costs: warm-up");  // creates the table and its pool
    BlockPool *pool = hashsavestrpool();
    ASSERT_NE(pool, nullptr);

    const char *text = "costs: ijkl";
    PoolModel model(pool);
    model.Take(sizeof(KeyTreeEntry));
    model.Take(sizeof(SavedTextCell));
    char *copy = model.Take(12);
    if (copy == nullptr) GTEST_SKIP() << "the pool would have to grow";
    EXPECT_EQ(hashsavestr(text), copy);
    EXPECT_TRUE(model.Matches(pool));

    // Same hash as "costs: aeaea", not the same text.
    hashsavestr("costs: aeaea");
    PoolModel collision(pool);
    collision.Take(sizeof(SavedTextCell));
    copy = collision.Take(13);
    if (copy == nullptr) GTEST_SKIP() << "the pool would have to grow";
    EXPECT_EQ(hashsavestr("costs: bagab"), copy);
    EXPECT_TRUE(collision.Matches(pool));
}

// Random texts from a small alphabet, many built to collide: a shared prefix
// or suffix around aeaea and bagab keeps their hashes equal.
TEST(StringSave, GivesOneAddressPerDistinctTextUnderRandomTexts) {
    std::mt19937 random(314);
    std::unordered_map<std::string, const char *> model;
    std::unordered_set<const char *> addresses;
    const auto random_text = [&random] {
        std::string text;
        const size_t length = random() % 6;
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<char>('a' + random() % 3);
        }
        return text;
    };
    for (int n = 0; n < 6000; ++n) {
        const std::string core = n % 3 == 0 ? "aeaea" : (n % 3 == 1 ? "bagab" : random_text());
        const std::string text = "random:" + random_text() + core + random_text();
        const char *saved = hashsavestr(text.c_str());
        ASSERT_STREQ(saved, text.c_str());
        const auto [entry, is_new] = model.emplace(text, saved);
        ASSERT_EQ(entry->second, saved) << text;
        if (is_new) {
            ASSERT_TRUE(addresses.insert(saved).second) << "a new text gets an address of its own";
        }
    }
    for (const auto &[text, address] : model) {
        ASSERT_EQ(hashsavestr(text.c_str()), address);
    }
}

}  // namespace
