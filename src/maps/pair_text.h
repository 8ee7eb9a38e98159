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
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

  private:
    enum class Token { number, bad, incomplete };
    // Reads an integer at *at (after white space); moves *at past it.
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
char *formatPair(char *out, int32_t original, int32_t mapped);

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
