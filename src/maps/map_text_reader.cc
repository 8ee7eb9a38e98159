// Compaction of an open pair carried from one block to the next.
#include "maps/map_text_reader.h"

namespace trel {

uint64_t HeldTail::offsetOf(size_t position) const {
    if (position >= compacted_) return next_ + (position - compacted_);
    // Reading stops only at the start of a token; within the compacted text
    // that is one of the recorded starts.
    uint64_t offset = tokens_ > 0 ? tokenOffset_[0] : next_;
    for (size_t i = 0; i < tokens_ && tokenAt_[i] <= position; ++i)
        offset = tokenOffset_[i];
    return offset;
}

void HeldTail::drop(size_t count) {
    if (count >= compacted_) {
        next_ += count - compacted_;
        compacted_ = 0;
        tokens_ = 0;
        return;
    }
    size_t kept = 0;
    for (size_t i = 0; i < tokens_; ++i) {
        if (tokenAt_[i] < count) continue;
        tokenAt_[kept] = tokenAt_[i] - count;
        tokenOffset_[kept] = tokenOffset_[i];
        ++kept;
    }
    tokens_ = kept;
    compacted_ -= count;
}

size_t HeldTail::compact(char *text, size_t held) {
    // Enough for what an open pair can hold: three blanks, two signs and two
    // numbers of at most kSignificant digits.
    constexpr size_t kSignificant = 11;  // more digits than any 32-bit number
    char out[64];
    size_t length = 0;
    size_t tokens = 0;
    size_t tokenAt[kMaxTokens];
    uint64_t tokenOffset[kMaxTokens];
    auto startToken = [&](size_t from) {
        if (tokens < kMaxTokens) {
            tokenAt[tokens] = length;
            tokenOffset[tokens] = offsetOf(from);
            ++tokens;
        }
    };

    size_t significant = 0;  // digits kept of the current number
    bool zeros = false;      // leading zeros not written yet
    bool inDigits = false;
    auto endDigits = [&] {
        if (inDigits && significant == 0 && zeros) out[length++] = '0';
        inDigits = false;
    };
    for (size_t i = 0; i < held && length + 2 < sizeof out; ++i) {
        const char c = text[i];
        if (PairParser::isDigit(c)) {
            if (!inDigits) {
                // A digit after a sign belongs to the sign's token.
                if (length == 0 || !(out[length - 1] == '-' || out[length - 1] == '+'))
                    startToken(i);
                inDigits = true;
                significant = 0;
                zeros = false;
            }
            if (c == '0' && significant == 0) {
                zeros = true;
            } else if (significant < kSignificant) {
                out[length++] = c;
                ++significant;
            }
            continue;
        }
        endDigits();
        if (PairParser::isSpace(c)) {
            if (length == 0 || out[length - 1] != ' ') out[length++] = ' ';
        } else {  // a sign: the parser left nothing else open
            startToken(i);
            out[length++] = c;
        }
    }
    endDigits();

    next_ = offsetOf(held);
    compacted_ = length;
    tokens_ = tokens;
    for (size_t i = 0; i < tokens; ++i) {
        tokenAt_[i] = tokenAt[i];
        tokenOffset_[i] = tokenOffset[i];
    }
    std::memcpy(text, out, length);
    return length;
}

}  // namespace trel
