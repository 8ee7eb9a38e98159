// The reference reading of a map file, written from its documented format
// alone, for the fuzz targets to check the library's reader against: pairs of
// optionally signed 32-bit decimal integers separated by any white space; a
// token that is not such an integer, or a lone final number, ends the reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fuzzing {

inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// An optional sign and at least one digit, within 32 bits; moves *at past it.
inline bool readNumber(const std::string &text, size_t *at, int32_t *value) {
    size_t p = *at;
    const bool negative = p < text.size() && text[p] == '-';
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
    const size_t digits = p;
    long long magnitude = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
        if (magnitude <= (1LL << 32)) magnitude = magnitude * 10 + (text[p] - '0');
        ++p;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (p == digits || signedValue < INT32_MIN || signedValue > INT32_MAX) return false;
    *value = static_cast<int32_t>(signedValue);
    *at = p;
    return true;
}

// The reference reading: the pairs in file order, and where reading stopped.
struct Reading {
    std::vector<std::pair<int32_t, int32_t>> pairs;
    bool damaged = false;
    size_t stopOffset = 0;
};

inline Reading readReference(const std::string &text) {
    Reading reading;
    size_t at = 0;
    for (;;) {
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (at == text.size()) return reading;
        const size_t first = at;
        int32_t original;
        int32_t mapped;
        if (!readNumber(text, &at, &original)) {
            reading.damaged = true;
            reading.stopOffset = first;
            return reading;
        }
        while (at < text.size() && isSpace(text[at]))
            ++at;
        const size_t second = at;
        if (at == text.size() || !readNumber(text, &at, &mapped)) {
            reading.damaged = true;
            reading.stopOffset = at == text.size() ? first : second;  // a lone final number
            return reading;
        }
        reading.pairs.emplace_back(original, mapped);
    }
}

using Held = std::map<uint32_t, int32_t>;  // ordered as pages are: unsigned

inline Held heldPairs(const Reading &reading) {
    Held held;
    for (auto [original, mapped] : reading.pairs)
        held[static_cast<uint32_t>(original)] = mapped;
    return held;
}

inline std::string canonicalText(const Held &held) {
    std::string text;
    for (auto [page, mapped] : held)
        text += std::to_string(static_cast<int32_t>(page)) + " " + std::to_string(mapped) + "\n";
    return text;
}

}  // namespace fuzzing
