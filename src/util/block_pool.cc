// Block pool: taking blocks from the system allocator, growing the chain, the
// first-fit search past the head block, and release of the whole chain.
#include "util/block_pool.h"

#include "util/memory_exhausted.h"  // a block the system cannot give, or a size none can

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Bytes left between a block's free pointer and the end of its usable area.
uint32_t poolroom(const BlockPool *block) {
    return static_cast<uint32_t>(pooldata(const_cast<BlockPool *>(block)) + block->capacity -
                                 block->free);
}

// The C library's allocator, through calloc: memory fresh from the system is
// zero already, and calloc knows when it is and skips clearing it, where
// malloc and a clearing of our own would write every block twice.
void *poolsystemallocate(size_t bytes) {
    return calloc(1, bytes);
}

PoolAllocator current_allocator = {poolsystemallocate, free};

// A block of `capacity` usable bytes from the system allocator, its usable
// area zeroed and unused, not yet linked into any chain.
BlockPool *poolnewblock(uint32_t capacity) {
    // Where size_t is 32 bits wide, capacity plus header can overflow it.
    if constexpr (sizeof(size_t) <= sizeof(uint32_t)) {
        if (capacity > SIZE_MAX - sizeof(BlockPool)) {
            errno = ENOMEM;
            trel::memoryExhausted(errno);
        }
    }
    const size_t request = capacity + sizeof(BlockPool);
    // A replacement allocator may refuse without setting errno; the diagnostic
    // then still names the right cause. A successful request leaves errno alone.
    const int saved_errno = errno;
    errno = 0;
    void *memory = current_allocator.allocate(request);
    if (memory == nullptr) {
        if (errno == 0) errno = ENOMEM;
        trel::memoryExhausted(errno);
    }
    errno = saved_errno;
    auto *block = static_cast<BlockPool *>(memory);
    block->next = nullptr;
    block->free = pooldata(block);
    block->capacity = capacity;
    block->roomafter = 0;
    if (current_allocator.allocate != poolsystemallocate) memset(block->free, 0, capacity);
    return block;
}

}  // namespace

PoolAllocator poolsetallocator(PoolAllocator allocator) {
    const PoolAllocator previous = current_allocator;
    current_allocator.allocate =
        allocator.allocate != nullptr ? allocator.allocate : poolsystemallocate;
    current_allocator.release = allocator.release != nullptr ? allocator.release : free;
    return previous;
}

BlockPool *poolnew() {
    return poolnewblock(kPoolBlockCapacity);
}

void poolgrow(uint32_t need, BlockPool *pool) {
    BlockPool *block = poolnewblock(need > kPoolBlockCapacity ? need : kPoolBlockCapacity);
    // Right after the head block: the handle never changes, and the newest
    // block is the second one visited by first fit.
    BlockPool *older = pool->next;
    block->next = older;
    if (older != nullptr) {
        const uint32_t room = poolroom(older);
        block->roomafter = room > older->roomafter ? room : older->roomafter;
    }
    pool->next = block;
}

void *poolallocslow(uint32_t size, BlockPool *pool) {
    const uintptr_t alignment = poolalignment(size);
    // First fit over the rest of the chain; the head block has been tried.
    // Rooms only shrink, so a block's roomafter stays a bound on the blocks
    // behind it: once it is below the size, none of them can fit.
    BlockPool *newest = pool->next;
    uint32_t largest_behind = 0;  // most room seen behind the newest block
    for (BlockPool *block = newest; block != nullptr; block = block->next) {
        if (void *chunk = poolcarve(size, alignment, block)) return chunk;
        if (block != newest && poolroom(block) > largest_behind) largest_behind = poolroom(block);
        if (block->roomafter < size) {
            // What was seen on the way tightens the newest block's bound, so
            // that the next request it cannot take stops right there.
            if (block != newest) {
                newest->roomafter =
                    largest_behind > block->roomafter ? largest_behind : block->roomafter;
            }
            break;
        }
    }
    // Eight spare bytes cover any alignment padding in the new block. A size
    // for which even that does not fit in 32 bits can never be served.
    if (size > UINT32_MAX - 8) {
        errno = ENOMEM;
        trel::memoryExhausted(errno);
    }
    poolgrow(size + 8, pool);
    // A fresh pass would try the unchanged head block again and then take the
    // new block, which always fits: go to it directly.
    return poolcarve(size, alignment, pool->next);
}

void pooldelete(BlockPool *pool) {
    while (pool != nullptr) {
        BlockPool *next = pool->next;
        current_allocator.release(pool);
        pool = next;
    }
}

char *poolstrdup(const char *text, BlockPool *pool) {
    const size_t length = strlen(text);
    // The chunk size is 32 bits wide; a longer text could never be copied whole.
    if (length >= UINT32_MAX) {
        errno = ENOMEM;
        trel::memoryExhausted(errno);
    }
    const auto size = static_cast<uint32_t>(length + 1);
    char *copy = static_cast<char *>(poolalloc(size, pool));
    memcpy(copy, text, size);
    return copy;
}
