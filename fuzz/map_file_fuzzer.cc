// Map file text: any bytes parse without a fault, the pairs do not depend on
// where the reader's blocks are cut, and written pairs read back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "maps/pair_text.h"

namespace {

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

Pairs parseInBlocks(const std::string &text, size_t block, bool *stopped) {
    trel::PairParser parser;
    Pairs pairs;
    std::string held;
    size_t next = 0;
    for (;;) {
        size_t take = std::min(block, text.size() - next);
        held.append(text, next, take);
        next += take;
        bool last = next == text.size();
        size_t consumed = parser.parse(held.data(), held.data() + held.size(), last,
                                       [&](int32_t a, int32_t b) { pairs.emplace_back(a, b); });
        if (last || parser.stopped()) break;
        held.erase(0, consumed);
    }
    *stopped = parser.stopped();
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the block size; the rest is the file.
    const size_t block = 1 + data[0] % 16;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);

    bool wholeStopped = false;
    bool cutStopped = false;
    const Pairs whole = parseInBlocks(text, text.size() + 1, &wholeStopped);
    const Pairs cut = parseInBlocks(text, block, &cutStopped);
    if (whole != cut || wholeStopped != cutStopped) std::abort();

    std::string written;
    char line[trel::kPairTextMax];
    for (auto [original, mapped] : whole) {
        written.append(line, trel::formatPair(line, original, mapped));
    }
    bool stopped = false;
    if (parseInBlocks(written, block, &stopped) != whole || stopped) std::abort();
    return 0;
}
