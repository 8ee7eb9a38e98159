// The name mapper: its two conversion steps, the mapper that chains them, and
// the bound of its 2048-byte output buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kelt.h"

namespace {

// A keltBufferSize buffer followed by guard bytes, to see that nothing is
// written past the part the mapper may use.
class MapperOutput {
  public:
    MapperOutput() : bytes_(keltBufferSize + kGuard, kFill) {}
    char *data() { return bytes_.data(); }
    bool guardIntact() const {
        for (std::size_t i = keltBufferSize; i < bytes_.size(); ++i) {
            if (bytes_[i] != kFill) return false;
        }
        return true;
    }

  private:
    static constexpr std::size_t kGuard = 64;
    static constexpr char kFill = '#';
    std::vector<char> bytes_;
};

const char *mapName(const char *name, MapperOutput &out) {
    return keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, name, 0, out.data());
}

std::string mapName(const char *name) {
    MapperOutput out;
    const char *converted = mapName(name, out);
    return converted != nullptr ? std::string(converted) : std::string("<null>");
}

TEST(KeltVHDLToIdent, PassesBasicIdentifiersAndUnwrapsExtendedOnes) {
    char out[64];
    EXPECT_STREQ(keltVHDLToIdent("alu", out, sizeof out), "alu");
    EXPECT_STREQ(keltVHDLToIdent("a\\b", out, sizeof out), "a\\b");  // not extended
    EXPECT_STREQ(keltVHDLToIdent("\\a.b\\", out, sizeof out), "a.b");
    EXPECT_STREQ(keltVHDLToIdent("\\x\\\\y\\", out, sizeof out), "x\\y");
    EXPECT_STREQ(keltVHDLToIdent("\\\\\\\\", out, sizeof out), "\\");
    EXPECT_STREQ(keltVHDLToIdent("\\ two words \\", out, sizeof out), " two words ");
}

TEST(KeltVHDLToIdent, RefusesMalformedExtendedIdentifiers) {
    const char *malformed[] = {
        "\\",        // opened, never closed
        "\\abc",     // never closed
        "\\\\",      // nothing between the backslashes
        "\\a\\b\\",  // a lone backslash inside
        "\\a\\x",    // text after the closing backslash
        "\\a\\\\",   // the doubled backslash leaves it unclosed
    };
    for (const char *name : malformed) {
        char out[64] = "previous";
        EXPECT_EQ(keltVHDLToIdent(name, out, sizeof out), nullptr) << name;
        EXPECT_STREQ(out, "") << name;
    }
}

TEST(KeltIdentToLibraryNT, EscapesWhatCannotStandInAFileName) {
    char out[64];
    EXPECT_STREQ(keltIdentToLibraryNT("work", out, sizeof out), "work");
    EXPECT_STREQ(keltIdentToLibraryNT("<>:\"/\\|?*", out, sizeof out),
                 "%3C%3E%3A%22%2F%5C%7C%3F%2A");
    EXPECT_STREQ(keltIdentToLibraryNT("50%", out, sizeof out), "50%25");
    EXPECT_STREQ(keltIdentToLibraryNT("a\tb\x1f\x7f", out, sizeof out), "a%09b%1F%7F");
    EXPECT_STREQ(keltIdentToLibraryNT("a.b c-d_\xc3\xa9", out, sizeof out), "a.b c-d_\xc3\xa9");
}

TEST(KeltSteps, NeverWritePastTheSizeTheyAreGiven) {
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_STREQ(keltVHDLToIdent("1234567", out, 8), "1234567");  // seven and the NUL fit
    EXPECT_EQ(keltVHDLToIdent("12345678", out, 8), nullptr);
    EXPECT_STREQ(out, "");

    std::memset(out, '#', sizeof out);
    EXPECT_EQ(keltIdentToLibraryNT("ab/", out, 5), nullptr);  // "ab%2F" needs 6 bytes
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[5], '#');
    EXPECT_STREQ(keltIdentToLibraryNT("ab/", out, 6), "ab%2F");

    EXPECT_EQ(keltVHDLToIdent("a", out, 0), nullptr);
    EXPECT_EQ(keltVHDLToIdent(nullptr, out, sizeof out), nullptr);
    EXPECT_EQ(keltIdentToLibraryNT("a", nullptr, 4), nullptr);
}

TEST(KeltMapper, ConvertsPlainNamesToThemselves) {
    for (const char *name : {"work", "alu", "sch", "top_level", "Cell-2"}) {
        EXPECT_EQ(mapName(name), name);
    }
}

TEST(KeltMapper, ChainsBothStepsOverExtendedIdentifiers) {
    EXPECT_EQ(mapName("\\a/b\\"), "a%2Fb");
    EXPECT_EQ(mapName("\\x\\\\y\\"), "x%5Cy");
    EXPECT_EQ(mapName("\\work:2\\"), "work%3A2");
    EXPECT_EQ(mapName("\\100%\\"), "100%25");
    EXPECT_EQ(mapName("\\a\\b"), "<null>");
}

TEST(KeltMapper, RefusesMissingOrEmptyNamesAndBadArguments) {
    MapperOutput out;
    EXPECT_EQ(mapName(nullptr, out), nullptr);
    EXPECT_EQ(mapName("", out), nullptr);
    EXPECT_EQ(keltMapper(nullptr, keltIdentToLibraryNT, "a", 0, out.data()), nullptr);
    EXPECT_EQ(keltMapper(keltVHDLToIdent, nullptr, "a", 0, out.data()), nullptr);
    EXPECT_EQ(keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, "a", 1, out.data()), nullptr);
    EXPECT_STREQ(out.data(), "");
    EXPECT_EQ(keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, "a", 0, nullptr), nullptr);
}

TEST(KeltMapper, KeepsWithinItsBufferAtAndAroundTheLimit) {
    MapperOutput out;
    const std::string fits(keltBufferSize - 1, 'n');
    ASSERT_NE(mapName(fits.c_str(), out), nullptr);
    EXPECT_EQ(std::strlen(out.data()), keltBufferSize - 1);
    EXPECT_TRUE(out.guardIntact());

    const std::string tooLong(keltBufferSize, 'n');
    EXPECT_EQ(mapName(tooLong.c_str(), out), nullptr);
    EXPECT_STREQ(out.data(), "");
    EXPECT_TRUE(out.guardIntact());

    // Short enough as a name, too long once every character is escaped.
    const std::string grows(700, '/');
    EXPECT_EQ(mapName(grows.c_str(), out), nullptr);
    EXPECT_STREQ(out.data(), "");
    EXPECT_TRUE(out.guardIntact());

    // The escapes fill the buffer exactly: 682 * 3 + 1 = 2047 characters.
    const std::string exact = std::string(682, ':') + "x";
    ASSERT_NE(mapName(exact.c_str(), out), nullptr);
    EXPECT_EQ(std::strlen(out.data()), keltBufferSize - 1);
    EXPECT_TRUE(out.guardIntact());
}

TEST(KeltMapper, MayWriteOverTheBufferThatHoldsTheName) {
    MapperOutput out;
    std::strcpy(out.data(), "\\a/b\\");
    EXPECT_STREQ(mapName(out.data(), out), "a%2Fb");
}

}  // namespace
