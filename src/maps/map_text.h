// The text of a map file: pairs of signed decimal integers, "original mapped",
// written one pair a line as "%d %d\n". The reader accepts what "%d %d"
// scanning accepts: an optional sign, any white space between and around the
// numbers, any number of pairs on a line, and numbers not separated at all
// when a sign starts the second ("1-2" is the pair 1, -2).
//
// Reading stops at the first token that is not a 32-bit integer (out-of-range
// numbers included) and at a lone number at the end, which has no partner;
// the pairs before the stop stand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace trel {

// Parses pairs from a text that arrives in blocks. Feed it the unconsumed
// rest of the previous block followed by new bytes.
class PairParser {
  public:
    // Calls store(original, mapped) for every whole pair in [begin, end) and
    // returns how many bytes were consumed. A pair that may continue past
    // `end` is left unconsumed unless `last` says no more text follows.
    template <typename Store>
    size_t parse(const char *begin, const char *end, bool last, Store &&store);

    // A token that is not an integer, or a lone final number, was met: the
    // text holds no more pairs.
    bool stopped() const { return stopped_; }
    // Where that token starts, counted from `begin` of the parse that stopped.
    size_t stopOffset() const { return stopOffset_; }

    static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    static bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

  private:
    enum class Token { number, bad, incomplete };
    // Reads an integer at *at (after white space); moves *at past it. Inline,
    // as it runs twice for every pair of a file.
    static Token number(const char **at, const char *end, bool last, int32_t *value);
    void stop(const char *begin, const char *token) {
        stopped_ = true;
        stopOffset_ = static_cast<size_t>(token - begin);
    }

    bool stopped_ = false;
    size_t stopOffset_ = 0;
};

// Writes "original mapped\n" at `out` (room for kPairTextMax bytes) and
// returns the end of what was written.
constexpr size_t kPairTextMax = 2 * 11 + 2;
inline char *formatPair(char *out, int32_t original, int32_t mapped);

// "00" to "99": integers are written two digits at a time, as std::to_chars
// writes them, but without its bounds checks, since the caller has made room
// for the longest pair.
inline constexpr char kDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline char *formatInteger(char *out, int32_t value) {
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    }
    int count = 1;
    for (uint32_t bound = 10; count < 10 && magnitude >= bound; bound *= 10)
        ++count;
    char *at = out + count;
    while (magnitude >= 100) {
        const size_t pair = size_t{magnitude % 100} * 2;
        magnitude /= 100;
        *--at = kDigitPairs[pair + 1];
        *--at = kDigitPairs[pair];
    }
    if (magnitude >= 10) {
        const size_t pair = size_t{magnitude} * 2;
        *--at = kDigitPairs[pair + 1];
        *--at = kDigitPairs[pair];
    } else {
        *--at = static_cast<char>('0' + magnitude);
    }
    return out + count;
}

inline char *formatPair(char *out, int32_t original, int32_t mapped) {
    out = formatInteger(out, original);
    *out++ = ' ';
    out = formatInteger(out, mapped);
    *out++ = '\n';
    return out;
}

// How many of the eight bytes in `chunk`, first byte lowest, are digits
// before the first byte that is not one.
inline int digitRun(uint64_t chunk) {
    // A digit's high half is 3 and its low half plus 6 stays below 16; no byte
    // carries into the next.
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ULL;
    const uint64_t notDigit = ((chunk & kHigh) ^ 0x3030303030303030ULL) |
                              (((chunk & ~kHigh) + 0x0606060606060606ULL) & kHigh);
    return notDigit == 0 ? 8 : __builtin_ctzll(notDigit) / 8;
}

// The value of the first `count` (1 to 8) digits in `chunk`, first byte
// lowest: the digits become the low bytes of eight, then pairs, fours and the
// eight are combined by three multiplications instead of a chain of eight.
inline uint64_t digitsValue(uint64_t chunk, int count) {
    uint64_t value = (chunk & 0x0F0F0F0F0F0F0F0FULL) << (8 * (8 - count));
    value = (value * 10 + (value >> 8)) & 0x00FF00FF00FF00FFULL;
    value = (value * 100 + (value >> 16)) & 0x0000FFFF0000FFFFULL;
    return (value * 10000 + (value >> 32)) & 0xFFFFFFFFULL;
}

// Whether eight bytes can be loaded first byte lowest: the word as the target
// stores it, swapped on a big-endian target. A target of another byte order
// (or a compiler that does not say) reads digits byte by byte.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLoadsLowFirst = true;
inline uint64_t lowFirst(uint64_t word) {
    return word;
}
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLoadsLowFirst = true;
inline uint64_t lowFirst(uint64_t word) {
    return __builtin_bswap64(word);
}
#else
constexpr bool kLoadsLowFirst = false;
inline uint64_t lowFirst(uint64_t word) {
    return word;
}
#endif

// The eight bytes at `p`, first byte lowest, whatever the target's byte order.
inline uint64_t loadLowFirst(const char *p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return lowFirst(word);
}

// Reads the run of digits at *at eight bytes at a time into *value, when the
// run ends within sixteen bytes and those bytes lie before `end`; moves *at
// past it. False, with nothing read, otherwise: the caller reads byte by byte.
// Only where registers hold 64 bits: on a 32-bit platform each 64-bit
// multiplication takes several, and the byte loop is the faster.
inline bool digitsAtOnce(const char **at, const char *end, uint64_t *value) {
    if (!kLoadsLowFirst || sizeof(void *) < sizeof(uint64_t)) return false;
    const char *p = *at;
    if (end - p < 16) return false;
    const uint64_t chunk = loadLowFirst(p);
    const int first = digitRun(chunk);
    if (first < 8) {
        *value = first == 0 ? 0 : digitsValue(chunk, first);
        *at = p + first;
        return true;
    }
    const uint64_t next = loadLowFirst(p + 8);
    const int second = digitRun(next);
    if (second == 8) return false;
    static constexpr uint64_t kScale[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
    *value = digitsValue(chunk, 8) * kScale[second] + (second == 0 ? 0 : digitsValue(next, second));
    *at = p + 8 + second;
    return true;
}

inline PairParser::Token PairParser::number(const char **at, const char *end, bool last,
                                            int32_t *value) {
    const char *p = *at;
    while (p != end && isSpace(*p))
        ++p;
    *at = p;
    if (p == end) return last ? Token::bad : Token::incomplete;

    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char *digits = p;
    // Leading zeros add nothing; beyond them, more than ten digits are out of
    // range whatever they say, and up to nineteen cannot overflow 64 bits.
    while (p != end && *p == '0')
        ++p;
    const char *significant = p;
    uint64_t magnitude = 0;
    if (!digitsAtOnce(&p, end, &magnitude)) {
        while (p != end && isDigit(*p)) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
            ++p;
        }
    }
    // A number that runs into the end of the block may go on in the next one.
    if (p == end && !last) return Token::incomplete;
    if (p == digits) return Token::bad;
    constexpr uint64_t kLimit = uint64_t{1} << 31;
    if (p - significant > 10 || magnitude > (negative ? kLimit : kLimit - 1)) return Token::bad;

    *value = negative ? static_cast<int32_t>(0 - static_cast<uint32_t>(magnitude))
                      : static_cast<int32_t>(magnitude);
    *at = p;
    return Token::number;
}

template <typename Store>
size_t PairParser::parse(const char *begin, const char *end, bool last, Store &&store) {
    const char *consumed = begin;
    while (!stopped_) {
        const char *at = consumed;
        while (at != end && isSpace(*at))
            ++at;
        const char *const firstToken = at;
        int32_t original;
        int32_t mapped;
        Token first = number(&at, end, last, &original);
        if (first == Token::incomplete) {
            consumed = at;  // white space before a pair is never needed again
            break;
        }
        if (first == Token::bad) {
            // Only white space before the end is no token at all.
            if (at == end && last) break;
            stop(begin, at);
            break;
        }
        Token second = number(&at, end, last, &mapped);
        if (second == Token::incomplete) break;
        if (second == Token::bad) {
            // A final lone number has no partner: the file ends inside a pair.
            stop(begin, at == end && last ? firstToken : at);
            break;
        }
        store(original, mapped);
        consumed = at;
    }
    return static_cast<size_t>(consumed - begin);
}

}  // namespace trel
