// The map file reader and writer below the entry points: texts cut into
// blocks at every position parse exactly like the whole text, and in-range
// texts parse like a "%d %d" scanning loop.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "api/pair_blocks.h"
#include "maps/pair_text.h"

namespace {

using testing_pairs::Pairs;
using testing_pairs::parseInBlocks;
using testing_pairs::Result;

// The reference: "%d %d" scanning until it does not read a whole pair.
Pairs scanLoop(const std::string &text) {
    Pairs pairs;
    const char *at = text.c_str();
    int a = 0;
    int b = 0;
    int used = 0;
    while (std::sscanf(at, "%d %d%n", &a, &b, &used) == 2) {
        pairs.emplace_back(a, b);
        at += used;
    }
    return pairs;
}

std::string randomText(std::mt19937 &random) {
    static const char *const kSpaces[] = {" ", "\n", "\t", "  ", "\r\n", "\v", "\f", ""};
    static const char *const kJunk[] = {"x", "-", "+", "--1", "1.5", "#"};
    std::string text;
    int tokens = static_cast<int>(random() % 12);
    for (int i = 0; i < tokens; ++i) {
        const char *space = kSpaces[random() % 8];
        if (random() % 40 == 0) {
            text += *space == '\0' ? " " : space;
            text += kJunk[random() % 6];
            continue;
        }
        int sign = static_cast<int>(random() % 3);
        // Digits running into the previous number would make one number.
        text += *space == '\0' && sign == 0 ? " " : space;
        if (sign == 1) text += '-';
        if (sign == 2) text += '+';
        if (random() % 5 == 0) text += "000";
        text += std::to_string(random() % 3 == 0 ? random() % 2147483648u : random() % 100);
    }
    if (random() % 2 == 0) text += kSpaces[random() % 8];
    return text;
}

TEST(PairParser, AgreesWithScanningAndWithItselfAcrossBlockCuts) {
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomText(random);
        const Result whole = parseInBlocks(text, text.size() + 1);
        EXPECT_EQ(whole.pairs, scanLoop(text)) << '"' << text << '"';
        for (size_t block = 1; block <= text.size(); ++block) {
            const Result cut = parseInBlocks(text, block);
            ASSERT_EQ(cut.pairs, whole.pairs) << '"' << text << "\" in blocks of " << block;
            ASSERT_EQ(cut.stopped, whole.stopped) << '"' << text << "\" in blocks of " << block;
        }
    }
}

TEST(PairParser, OutOfRangeNumbersStopReadingEvenWhenSplit) {
    for (const char *text : {"1 2 2147483648 5", "1 2 -2147483649 5", "1 2 5 4294967297"}) {
        for (size_t block = 1; block < 20; ++block) {
            Result result = parseInBlocks(text, block);
            EXPECT_EQ(result.pairs, (Pairs{{1, 2}})) << text;
            EXPECT_TRUE(result.stopped) << text;
        }
    }
}

TEST(PairParser, WhiteSpaceAndLoneNumbersAtTheEndAreNotTokens) {
    EXPECT_FALSE(parseInBlocks("1 2 \n\n", 3).stopped);
    Result lone = parseInBlocks("1 2 3\n", 2);
    EXPECT_EQ(lone.pairs, (Pairs{{1, 2}}));
    EXPECT_FALSE(lone.stopped);
}

TEST(PairFormat, WritesSignedDecimalPairsWithALineFeed) {
    char buffer[trel::kPairTextMax];
    const std::pair<int32_t, int32_t> cases[] = {
        {0, 0}, {-1, 1}, {2147483647, -2147483647 - 1}, {10, -100}};
    for (auto [a, b] : cases) {
        char *end = trel::formatPair(buffer, a, b);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%d %d\n", a, b);
        EXPECT_EQ(std::string(buffer, end), expected);
    }
}

}  // namespace
