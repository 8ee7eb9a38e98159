// Integer reading and writing for map files, without the C library's scanf
// and printf: map files of millions of pairs load at close to reading speed.
#include "maps/pair_text.h"

namespace trel {

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
