// Integer reading and writing for map files, without the C library's scanf
// and printf: map files of millions of pairs load at close to reading speed.
#include "maps/pair_text.h"

namespace trel {

namespace {

// Two digits at a time from a table, the way std::to_chars does it, but
// without its bounds checks: the caller has made room for the longest pair.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

int digitCount(uint32_t value) {
    int count = 1;
    for (uint32_t bound = 10; count < 10 && value >= bound; bound *= 10)
        ++count;
    return count;
}

char *formatInteger(char *out, int32_t value) {
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    }
    const int count = digitCount(magnitude);
    char *at = out + count;
    while (magnitude >= 100) {
        const uint32_t pair = (magnitude % 100) * 2;
        magnitude /= 100;
        *--at = kDigitPairs[pair + 1];
        *--at = kDigitPairs[pair];
    }
    if (magnitude >= 10) {
        *--at = kDigitPairs[magnitude * 2 + 1];
        *--at = kDigitPairs[magnitude * 2];
    } else {
        *--at = static_cast<char>('0' + magnitude);
    }
    return out + count;
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
