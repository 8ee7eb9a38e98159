// One pass over a stretch of a file, a block at a time: the digests, copies
// and line counts that run over a whole file share it, so each holds at most
// one block in memory however large the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trel {

// The most a pass over a file holds in memory at once.
constexpr size_t kBlockSize = size_t{1} << 20;

enum class BlocksRead {
    all,        // every byte asked for was read and taken
    shortened,  // the file ended first
    failed,     // a read failed, or `take` stopped the pass (errno says why)
};

// Reads `size` bytes from offset `at` through `read(offset, into, room, &got)`,
// which fills `room` unless the file ends, and hands each block to
// `take(data, got)`, which returns false to stop.
template <typename Read, typename Take>
BlocksRead readInBlocks(Read &&read, uint64_t at, uint64_t size, Take &&take) {
    std::vector<char> block(size < kBlockSize ? static_cast<size_t>(size) : kBlockSize);
    for (uint64_t done = 0; done < size;) {
        const uint64_t left = size - done;
        const size_t want = left < block.size() ? static_cast<size_t>(left) : block.size();
        size_t got = 0;
        if (!read(at + done, block.data(), want, &got)) return BlocksRead::failed;
        if (got > 0 && !take(static_cast<const char *>(block.data()), got))
            return BlocksRead::failed;
        if (got < want) return BlocksRead::shortened;
        done += got;
    }
    return BlocksRead::all;
}

}  // namespace trel
