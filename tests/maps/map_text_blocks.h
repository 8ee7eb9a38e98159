// Feeding a map file's text to the reader through a source that hands over
// at most `block` bytes a call, as a slow file might. Shared by the reader's
// tests and its fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "maps/map_text_reader.h"

namespace testing_pairs {

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

struct Result {
    Pairs pairs;
    bool stopped;
    uint64_t stopOffset;  // where the token that stopped reading starts
};

// `blockSize` is the reader's own block; small ones make it compact often.
inline Result parseInBlocks(const std::string &text, size_t block, size_t blockSize = 256) {
    Result result{{}, false, 0};
    size_t next = 0;
    auto source = [&](char *into, size_t room) {
        size_t take = std::min({block, room, text.size() - next});
        text.copy(into, take, next);
        next += take;
        return trel::ReadChunk{take, next == text.size(), false};
    };
    const trel::ReadEnd end = trel::readPairs(
        source, [&](int32_t a, int32_t b) { result.pairs.emplace_back(a, b); }, blockSize);
    result.stopped = end.kind == trel::ReadEnd::Kind::stopped;
    result.stopOffset = end.stopOffset;
    return result;
}

}  // namespace testing_pairs
