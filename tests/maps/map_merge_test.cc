// The merge of a page map's changes into a map file another process saved:
// a table of files, maps and changes with the pairs each must give.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "maps/map_merge.h"

namespace {

using trel::FilePairs;
using trel::mergePairs;
using trel::PagePairs;

TEST(MapMerge, ChangedPagesTakeTheMapsAnswerAndTheRestKeepTheFiles) {
    struct Case {
        const char *what;
        PagePairs file, mine;
        std::vector<uint32_t> changed;
        bool allChanged;
        PagePairs merged;
    };
    const Case cases[] = {
        {"nothing changed here: the file stands",
         {{1, 10}, {2, 20}},
         {{1, 99}},
         {},
         false,
         {{1, 10}, {2, 20}}},
        {"a page set here wins over the file's",
         {{1, 10}, {2, 20}},
         {{2, 5}},
         {2},
         false,
         {{1, 10}, {2, 5}}},
        {"a page removed here goes, though the file has it",
         {{1, 10}, {2, 20}},
         {},
         {2},
         false,
         {{1, 10}}},
        {"a page new to both is added in order",
         {{1, 10}, {5, 50}},
         {{3, 30}},
         {3},
         false,
         {{1, 10}, {3, 30}, {5, 50}}},
        {"negative pages sort last, as unsigned",
         {{0, 0}, {-2, 4}},
         {{7, 1}},
         {7},
         false,
         {{0, 0}, {7, 1}, {-2, 4}}},
        {"a clear here makes every page the map's",
         {{1, 10}, {2, 20}},
         {{9, 9}},
         {},
         true,
         {{9, 9}}},
        {"a removed file counts as empty", {}, {{1, 2}, {3, 4}}, {3}, false, {{3, 4}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(mergePairs(c.file, c.mine, c.changed, c.allChanged), c.merged);
    }
}

TEST(MapMerge, AFilesPairsAreSettledInOrderWithTheLastPairOfAPageWinning) {
    FilePairs read;
    for (const auto &[page, mapped] : PagePairs{{5, 1}, {-1, 7}, {2, 3}, {5, 2}, {2, 4}, {0, 0}})
        read(page, mapped);
    EXPECT_EQ(read.settled(), (PagePairs{{0, 0}, {2, 4}, {5, 2}, {-1, 7}}));
}

}  // namespace
