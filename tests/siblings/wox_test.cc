// woxString keeps its own copy of a text.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "wox.h"

namespace {

TEST(WoxString, KeepsItsTextWhenTheOriginalChanges) {
    char original[] = "page5_U1";
    const woxString copy(original);
    std::memset(original, 'x', sizeof original - 1);
    EXPECT_STREQ(copy.text(), "page5_U1");
    EXPECT_EQ(copy.length(), 8u);
}

TEST(WoxString, NullAndDefaultGiveTheEmptyText) {
    EXPECT_STREQ(woxString(nullptr).text(), "");
    EXPECT_STREQ(woxString().text(), "");
    EXPECT_EQ(woxString(nullptr).length(), 0u);
}

TEST(WoxString, CopiesAndMovesCarryTheText) {
    woxString first("page12");
    woxString copied(first);
    first = woxString("page4");
    EXPECT_STREQ(copied.text(), "page12");
    EXPECT_STREQ(first.text(), "page4");

    woxString moved(std::move(copied));
    EXPECT_STREQ(moved.text(), "page12");
    copied = moved;
    EXPECT_STREQ(copied.text(), "page12");
}

}  // namespace
