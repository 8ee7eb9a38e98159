// The name mapper: its two conversion steps and the bound of its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kelt.h"

namespace {

// Maps `name` into a keltBufferSize buffer followed by guard bytes; "<null>"
// when the mapper refuses. Fails the test when a guard byte was written.
std::string mapName(const char *name) {
    std::vector<char> out(keltBufferSize + 64, '#');
    const char *converted = keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, name, 0, out.data());
    EXPECT_EQ(std::string(out.data() + keltBufferSize, 64), std::string(64, '#')) << name;
    if (converted == nullptr) {
        EXPECT_STREQ(out.data(), "");
        return "<null>";
    }
    return converted;
}

TEST(KeltMapper, ConvertsNamesByBothSteps) {
    const char *cases[][2] = {
        {"work", "work"},
        {"Cell-2_x", "Cell-2_x"},  // plain names stay
        {"\\a.b\\", "a.b"},
        {"\\my lib\\", "my lib"},  // extended lose their backslashes
        {"\\x\\\\y\\", "x%5Cy"},
        {"\\\\\\\\", "%5C"},  // a doubled backslash is one
        {"a\\b", "a%5Cb"},
        {"50%", "50%25"},  // basic: only escaped
        {"\\<>:\"/|?*\\", "%3C%3E%3A%22%2F%7C%3F%2A"},
        {"\\a\tb\x1f\x7f\\", "a%09b%1F%7F"},
        {"\xc3\xa9", "\xc3\xa9"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(mapName(c[0]), c[1]) << c[0];
}

TEST(KeltMapper, RefusesMalformedExtendedIdentifiersAndMissingNames) {
    for (const char *name : {"\\", "\\abc", "\\\\", "\\a\\b\\", "\\a\\x", "\\a\\\\", ""}) {
        EXPECT_EQ(mapName(name), "<null>") << name;
    }
    EXPECT_EQ(mapName(nullptr), "<null>");
    char out[keltBufferSize];
    EXPECT_EQ(keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, "a", 1, out), nullptr);
    EXPECT_EQ(keltMapper(nullptr, keltIdentToLibraryNT, "a", 0, out), nullptr);
}

TEST(KeltMapper, NeverWritesPastItsBufferWhichMayHoldTheName) {
    EXPECT_EQ(mapName(std::string(keltBufferSize - 1, 'n').c_str()).size(), keltBufferSize - 1);
    EXPECT_EQ(mapName(std::string(keltBufferSize, 'n').c_str()), "<null>");
    // Short as a name, too long once escaped; then escapes that fill it exactly.
    EXPECT_EQ(mapName(std::string(700, '/').c_str()), "<null>");
    EXPECT_EQ(mapName((std::string(682, ':') + "x").c_str()).size(), keltBufferSize - 1);

    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(keltIdentToLibraryNT("ab/", small, 5), nullptr);  // "ab%2F" needs 6 bytes
    EXPECT_EQ(small[5], '#');
    EXPECT_STREQ(keltIdentToLibraryNT("ab/", small, 6), "ab%2F");

    // The buffer may be the one that holds the name.
    char buffer[keltBufferSize] = "\\a/b\\";
    EXPECT_STREQ(keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, buffer, 0, buffer), "a%2Fb");
}

}  // namespace
