// The sizes of the utility records: those of the host's 32-bit words and
// references, or where references are wider, what the field widths make them.
#include <gtest/gtest.h>

#include <cstddef>

#include "util/key_tree.h"
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
        {"skip node of 1 level", skipnodesize(1), 8 + 4, 8 + 8},
        {"skip node of 32 levels", skipnodesize(32), 8 + 4 * 32, 8 + 8 * 32},
        {"key tree", sizeof(KeyTree), 12, 24},
        {"key tree entry", sizeof(KeyTreeEntry), 16, 32},
        {"saved text cell", sizeof(SavedTextCell), 8, 16},
    };
    for (const Size &size : sizes) {
        EXPECT_EQ(size.actual, sizeof(void *) == 4 ? size.with32BitWords : size.with64BitWords)
            << size.record;
    }
}

}  // namespace
