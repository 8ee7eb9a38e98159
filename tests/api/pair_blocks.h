// Feeding a map file's text to the pair parser in blocks of a given size,
// keeping the unconsumed rest as the file reader does. Shared by the reader's
// tests and its fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "maps/pair_text.h"

namespace testing_pairs {

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

struct Result {
    Pairs pairs;
    bool stopped;
};

inline Result parseInBlocks(const std::string &text, size_t block) {
    trel::PairParser parser;
    Result result{{}, false};
    std::string held;
    size_t next = 0;
    for (;;) {
        size_t take = std::min(block, text.size() - next);
        held.append(text, next, take);
        next += take;
        bool last = next == text.size();
        size_t consumed =
            parser.parse(held.data(), held.data() + held.size(), last,
                         [&](int32_t a, int32_t b) { result.pairs.emplace_back(a, b); });
        if (last || parser.stopped()) break;
        held.erase(0, consumed);
    }
    result.stopped = parser.stopped();
    return result;
}

}  // namespace testing_pairs
