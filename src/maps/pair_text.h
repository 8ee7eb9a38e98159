// The text of a map file: pairs of signed decimal integers, "original mapped",
// written one pair a line as "%d %d\n". The reader accepts what "%d %d"
// scanning accepts: an optional sign, any white space between and around the
// numbers, any number of pairs on a line, and numbers not separated at all
// when a sign starts the second ("1-2" is the pair 1, -2).
//
// Reading stops at the first token that is not a 32-bit integer (out-of-range
// numbers included); the pairs before it stand. A lone number at the end has
// no partner and is dropped.
#pragma once

#include <cstddef>
#include <cstdint>

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

    // A token that is not an integer was met: the text holds no more pairs.
    bool stopped() const { return stopped_; }

  private:
    enum class Token { number, bad, incomplete };
    // Reads an integer at *at (after white space); moves *at past it.
    static Token number(const char **at, const char *end, bool last, int32_t *value);

    bool stopped_ = false;
};

// Writes "original mapped\n" at `out` (room for kPairTextMax bytes) and
// returns the end of what was written.
constexpr size_t kPairTextMax = 2 * 11 + 2;
char *formatPair(char *out, int32_t original, int32_t mapped);

template <typename Store>
size_t PairParser::parse(const char *begin, const char *end, bool last, Store &&store) {
    const char *consumed = begin;
    while (!stopped_) {
        const char *at = consumed;
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
            stopped_ = true;
            break;
        }
        Token second = number(&at, end, last, &mapped);
        if (second == Token::incomplete) break;
        if (second == Token::bad) {
            if (at == end && last) {  // the final lone number is dropped
                consumed = end;
                break;
            }
            stopped_ = true;
            break;
        }
        store(original, mapped);
        consumed = at;
    }
    return static_cast<size_t>(consumed - begin);
}

}  // namespace trel
