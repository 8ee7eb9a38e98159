// woxString keeps its own copy of a text.
#include <gtest/gtest.h>

#include <cstring>

#include "wox.h"

TEST(WoxString, OwnsACopyOfItsText) {
    char original[] = "page5_U1";
    const woxString copy(original);
    std::memset(original, 'x', sizeof original - 1);
    const woxString second(copy);
    EXPECT_STREQ(copy.text(), "page5_U1");
    EXPECT_STREQ(second.text(), "page5_U1");
    EXPECT_STREQ(woxString(nullptr).text(), "");
}
