// The map file reader and writer below the entry points: texts cut into
// blocks at every position parse exactly like the whole text, and in-range
// texts parse like a "%d %d" scanning loop.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "files/content_digest.h"
#include "maps/map_text.h"
#include "maps/map_text_blocks.h"

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
            ASSERT_EQ(cut.stopOffset, whole.stopOffset) << '"' << text << "\" in " << block;
        }
    }
}

// With blanks behind them, the numbers are also read eight digits at a time.
TEST(PairParser, OutOfRangeNumbersStopReadingEvenWhenSplit) {
    const std::pair<const char *, size_t> cases[] = {
        {"1 2 2147483648 5", 4},        {"1 2 -2147483649 5", 4},           {"1 2 5 4294967297", 6},
        {"1 2 5 12345678901234567", 6}, {"1 2 00000000000012345678901", 4},
    };
    for (const std::string tail : {"", "                "}) {
        for (const auto &[numbers, stopOffset] : cases) {
            const std::string text = numbers + tail;
            for (size_t block = 1; block <= text.size(); ++block) {
                Result result = parseInBlocks(text, block);
                EXPECT_EQ(result.pairs, (Pairs{{1, 2}})) << text;
                EXPECT_TRUE(result.stopped) << text;
                EXPECT_EQ(result.stopOffset, stopOffset) << text;
            }
        }
    }
}

TEST(PairParser, WhiteSpaceAtTheEndIsNoTokenButALoneNumberStopsReading) {
    EXPECT_FALSE(parseInBlocks("1 2 \n\n", 3).stopped);
    Result lone = parseInBlocks("1 2 3\n", 2);
    EXPECT_EQ(lone.pairs, (Pairs{{1, 2}}));
    EXPECT_TRUE(lone.stopped);
    EXPECT_EQ(lone.stopOffset, 4u);
}

// Runs of blanks and zeros far longer than the reader's block are carried in
// compacted form: the pairs, the stop and its offset are those of the text.
TEST(PairReader, LongRunsInsideAPairFitTheBlockAndKeepTheStopOffset) {
    const std::string blanks(5000, ' ');
    const std::string zeros(5000, '0');
    struct Case {
        std::string text;
        Pairs pairs;
        bool stopped;
        size_t stopOffset;
    };
    const Case cases[] = {
        {"1" + blanks + "2", {{1, 2}}, false, 0},
        {zeros + "7 -" + zeros + "8\n" + blanks, {{7, -8}}, false, 0},
        {"-" + zeros + "2147483648" + blanks + "+" + zeros, {{-2147483647 - 1, 0}}, false, 0},
        {"1 " + zeros + "2147483648", {}, true, 2},
        {"1 2 3" + blanks + "x", {{1, 2}}, true, 5 + blanks.size()},
        {"1 2" + blanks + "3" + blanks, {{1, 2}}, true, 3 + blanks.size()},
        {"5" + blanks + "-", {}, true, 1 + blanks.size()},
    };
    for (const Case &c : cases) {
        for (size_t block : {size_t{1}, size_t{7}, size_t{300}, c.text.size()}) {
            const Result result = parseInBlocks(c.text, block);
            EXPECT_EQ(result.pairs, c.pairs) << c.text.substr(0, 12) << " in blocks of " << block;
            EXPECT_EQ(result.stopped, c.stopped) << c.text.substr(0, 12);
            if (c.stopped) {
                EXPECT_EQ(result.stopOffset, c.stopOffset) << c.text.substr(0, 12);
            }
        }
    }
}

TEST(PairFormat, WritesSignedDecimalPairsWithALineFeed) {
    char buffer[trel::kPairTextMax];
    // Every digit count, each side of every power of ten, and both ends.
    std::vector<std::pair<int32_t, int32_t>> cases = {{0, 0}, {2147483647, -2147483647 - 1}};
    for (int64_t ten = 10; ten <= 1000000000; ten *= 10) {
        for (int64_t v : {ten - 1, ten, ten + 1}) {
            cases.emplace_back(static_cast<int32_t>(v), static_cast<int32_t>(-v));
        }
    }
    for (auto [a, b] : cases) {
        char *end = trel::formatPair(buffer, a, b);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%d %d\n", a, b);
        EXPECT_EQ(std::string(buffer, end), expected);
    }
}

}  // namespace

namespace {

// A map file read in blocks and the same bytes written at once must give one
// digest, or every save would take an unchanged file for a changed one.
TEST(ContentDigest, IsTheSameHoweverTheBytesAreCut) {
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::string text(random() % 100, '\0');
        for (char &c : text)
            c = static_cast<char>(random());
        trel::ContentDigest whole;
        whole.add(text.data(), text.size());
        trel::ContentDigest cut;
        for (size_t at = 0; at < text.size();) {
            const size_t take = std::min<size_t>(random() % 11, text.size() - at);
            cut.add(text.data() + at, take);
            at += take;
        }
        ASSERT_EQ(whole.value(), cut.value());
        if (!text.empty()) {
            text.back() ^= 1;
            trel::ContentDigest changed;
            changed.add(text.data(), text.size());
            EXPECT_NE(changed.value(), whole.value());
        }
    }
    trel::ContentDigest empty;
    trel::ContentDigest zero;
    zero.add("\0", 1);
    EXPECT_NE(empty.value(), zero.value());  // the length counts
}

// Journals and sync points are read by hosts of either byte order: the
// digests docs/journal-format.md gives, on every target.
TEST(ContentDigest, IsTheSameOnEveryByteOrder) {
    const std::pair<std::string, uint64_t> known[] = {
        {"", 0x2668069ebe378642},
        {"1 2\n", 0x2930e1827304b97b},
        {"1 2\n3 4\n5 6\n7 8\n9 10\n11 12\n13 14\n", 0xe9b3d25a107ee9d7},
    };
    for (const auto &[text, digest] : known) {
        trel::ContentDigest made;
        made.add(text.data(), text.size());
        EXPECT_EQ(made.value(), digest) << text;
    }
}

}  // namespace
