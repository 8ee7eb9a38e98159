// Test support for code that lives in block pools: an allocator that records
// every block request, hands out blocks full of garbage and can refuse, and a
// model of first fit that predicts where requests land in a pool as it stands.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "util/block_pool.h"

// Installed for the lifetime of the object; restores the previous allocator.
class RecordingAllocator {
  public:
    RecordingAllocator() : previous_(poolsetallocator({Allocate, Release})) {
        requests().clear();
        live().clear();
        refuse_from() = SIZE_MAX;
    }
    ~RecordingAllocator() { poolsetallocator(previous_); }
    RecordingAllocator(const RecordingAllocator &) = delete;
    RecordingAllocator &operator=(const RecordingAllocator &) = delete;

    // Sizes of the block requests so far, in order.
    static std::vector<size_t> &requests() {
        static std::vector<size_t> sizes;
        return sizes;
    }
    // Blocks handed out and not released yet.
    static std::set<void *> &live() {
        static std::set<void *> blocks;
        return blocks;
    }
    // Requests from this index on are refused.
    static size_t &refuse_from() {
        static size_t index = SIZE_MAX;
        return index;
    }

  private:
    static void *Allocate(size_t bytes) {
        const bool refuse = requests().size() >= refuse_from();
        requests().push_back(bytes);
        if (refuse) return nullptr;
        void *block = malloc(bytes);
        // Whatever the pool hands out must not depend on fresh memory being zero.
        memset(block, 0xA5, bytes);
        live().insert(block);
        return block;
    }
    static void Release(void *block) {
        live().erase(block);
        free(block);
    }

    PoolAllocator previous_;
};

// First fit over a snapshot of a pool's chain: predicts the address of each
// request without touching the pool, as long as no block has to be added.
class PoolModel {
  public:
    explicit PoolModel(BlockPool *pool) {
        for (BlockPool *block = pool; block != nullptr; block = block->next) {
            blocks_.push_back({block, block->free, pooldata(block) + block->capacity});
        }
    }

    // Where the next request of `size` bytes lands, or null when no block fits.
    char *Take(uint32_t size) {
        const uintptr_t alignment = size >= 8 ? 8 : (size >= 4 ? 4 : 2);
        for (Block &block : blocks_) {
            const uintptr_t start =
                (reinterpret_cast<uintptr_t>(block.free) + alignment - 1) & ~(alignment - 1);
            if (start <= reinterpret_cast<uintptr_t>(block.end) &&
                size <= reinterpret_cast<uintptr_t>(block.end) - start) {
                char *chunk = block.free + (start - reinterpret_cast<uintptr_t>(block.free));
                block.free = chunk + size;
                return chunk;
            }
        }
        return nullptr;
    }

    // True when the pool has the modelled chain with the modelled free pointers.
    bool Matches(BlockPool *pool) const {
        size_t index = 0;
        for (BlockPool *block = pool; block != nullptr; block = block->next, ++index) {
            if (index == blocks_.size() || blocks_[index].block != block ||
                blocks_[index].free != block->free) {
                return false;
            }
        }
        return index == blocks_.size();
    }

  private:
    struct Block {
        BlockPool *block;
        char *free;
        char *end;
    };
    std::vector<Block> blocks_;
};
