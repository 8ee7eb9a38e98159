// The sizes of the utility records: those of the host's 32-bit words and
// references, or where references are wider, what the field widths make
// them; and what a new container takes from its pool.
#include <gtest/gtest.h>

#include <cstddef>

#include "util/key_tree.h"
#include "util/pool_support.h"
#include "util/skip_list.h"
#include "util/string_save.h"

namespace {

TEST(RecordSizes, FollowTheFieldWidths) {
    struct Size {
        const char *record;
        size_t actual, with32BitWords, with64BitWords;
    };
    const Size sizes[] = {
        {"block header", sizeof(BlockPool), 16, 24},
        {"skip list", sizeof(SkipList), 140, 280},
        {"skip node of 1 level", skipnodesize(1), 8 + 4, 16 + 8},
        {"skip node of 32 levels", skipnodesize(32), 8 + 4 * 32, 16 + 8 * 32},
        {"key tree", sizeof(KeyTree), 12, 24},
        {"key tree entry", sizeof(KeyTreeEntry), 16, 32},
        {"saved text cell", sizeof(SavedTextCell), 8, 16},
    };
    for (const Size &size : sizes) {
        EXPECT_EQ(size.actual, sizeof(void *) == 4 ? size.with32BitWords : size.with64BitWords)
            << size.record;
    }
}

// A skip list is its record and a 32-level header node; a key tree is its
// record alone.
TEST(RecordSizes, ANewContainerTakesItsRecordsFromItsPool) {
    BlockPool *pool = poolnew();
    PoolModel model(pool);
    char *record = model.Take(sizeof(SkipList));
    char *header = model.Take(skipnodesize(kSkipMaxLevel));
    SkipList *list = skipnew(pool);
    EXPECT_EQ(reinterpret_cast<char *>(list), record);
    EXPECT_EQ(reinterpret_cast<char *>(list->header), header);
    EXPECT_EQ(reinterpret_cast<char *>(keytreenew(pool)), model.Take(sizeof(KeyTree)));
    EXPECT_TRUE(model.Matches(pool));
    pooldelete(pool);
}

}  // namespace
