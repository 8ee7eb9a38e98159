// The library as the host finds it right after loading: this program makes no
// other call first, so it runs in a process of its own.
#include <gtest/gtest.h>

#include "trel.h"

TEST(FreshLibrary, StartsWithEmptyErrorTextAndNoActiveMap) {
    char *text = nullptr;
    EXPECT_EQ(trelGetLastError(&text), TREL_OK);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    int mapped = 0;
    EXPECT_EQ(trelGetActivePageMapping(1, &mapped), TREL_NO_ACTIVE_MAP);
    EXPECT_STREQ(text, "No active page map present");
}
