// Test support for code that lives in block pools: a model of first fit that
// predicts where chunks land in a pool as it stands, so that tests can check
// exactly what an operation takes from its pool.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "util/block_pool.h"

// First fit over a snapshot of a pool's chain; valid until a block is added.
class PoolModel {
  public:
    explicit PoolModel(BlockPool *pool) {
        for (BlockPool *block = pool; block != nullptr; block = block->next) {
            blocks_.emplace_back(block, block->free);
        }
    }

    // Where the next chunk of `size` bytes lands, or null when no block fits.
    char *Take(uint32_t size) {
        const uintptr_t alignment = size >= 8 ? 8 : (size >= 4 ? 4 : 2);
        for (auto &[block, free] : blocks_) {
            const auto at = reinterpret_cast<uintptr_t>(free);
            const uintptr_t start = (at + alignment - 1) & ~(alignment - 1);
            const auto end = reinterpret_cast<uintptr_t>(pooldata(block) + block->capacity);
            if (start <= end && size <= end - start) {
                free += start - at + size;
                return free - size;
            }
        }
        return nullptr;
    }

    // True when the pool has the modelled chain with the modelled free pointers.
    bool Matches(BlockPool *pool) const { return PoolModel(pool).blocks_ == blocks_; }

  private:
    std::vector<std::pair<BlockPool *, char *>> blocks_;
};
