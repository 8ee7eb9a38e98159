// Map file text: any bytes parse without a fault, the pairs do not depend on
// where the reader's blocks are cut, and written pairs read back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "api/pair_blocks.h"
#include "maps/pair_text.h"

using testing_pairs::parseInBlocks;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the block size; the rest is the file.
    const size_t block = 1 + data[0] % 16;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);

    const auto whole = parseInBlocks(text, text.size() + 1);
    const auto cut = parseInBlocks(text, block);
    if (whole.pairs != cut.pairs || whole.stopped != cut.stopped) std::abort();

    std::string written;
    char line[trel::kPairTextMax];
    for (auto [original, mapped] : whole.pairs) {
        written.append(line, trel::formatPair(line, original, mapped));
    }
    const auto reread = parseInBlocks(written, block);
    if (reread.pairs != whole.pairs || reread.stopped) std::abort();
    return 0;
}
