// Integer reading and writing for map files, without the C library's scanf
// and printf: map files of millions of pairs load at close to reading speed.
#include "maps/pair_text.h"

namespace trel {

PairParser::Token PairParser::number(const char **at, const char *end, bool last, int32_t *value) {
    const char *p = *at;
    while (p != end && isSpace(*p))
        ++p;
    *at = p;
    if (p == end) return last ? Token::bad : Token::incomplete;

    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    // Magnitudes up to 2^31 fit; anything beyond is out of range whatever follows.
    constexpr uint64_t kLimit = uint64_t{1} << 31;
    uint64_t magnitude = 0;
    const char *digits = p;
    while (p != end && isDigit(*p)) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (magnitude > kLimit) magnitude = kLimit + 1;
        ++p;
    }
    // A number that runs into the end of the block may go on in the next one.
    if (p == end && !last) return Token::incomplete;
    if (p == digits) return Token::bad;
    if (magnitude > (negative ? kLimit : kLimit - 1)) return Token::bad;

    *value = negative ? static_cast<int32_t>(0 - static_cast<uint32_t>(magnitude))
                      : static_cast<int32_t>(magnitude);
    *at = p;
    return Token::number;
}

namespace {

char *formatInteger(char *out, int32_t value) {
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    }
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

}  // namespace

char *formatPair(char *out, int32_t original, int32_t mapped) {
    out = formatInteger(out, original);
    *out++ = ' ';
    out = formatInteger(out, mapped);
    *out++ = '\n';
    return out;
}

}  // namespace trel
