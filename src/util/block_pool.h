// Block pool: an arena that carves zero-filled chunks out of large blocks and
// releases them only all together, when the pool is deleted.
//
// A pool is a chain of blocks; the first (head) block is the pool handle and
// stays first. Chunks are aligned by their size (8 bytes for 8 or more, 4 for
// 4..7, 2 for 0..3), carry no header, and are never handed out twice.
// Exhausted memory is fatal: the pool prints the "malloc" perror line and
// ends the process with exit(-1), so no caller ever sees a failed allocation.
#pragma once

#include <cstddef>
#include <cstdint>

// The header of one block; a pool handle is its head block. Padded to 8 bytes
// so that the usable area that follows it starts 8-aligned.
struct alignas(8) BlockPool {
    BlockPool *next;    // next block of the chain, or null
    char *free;         // first byte of the usable area not handed out yet
    uint32_t capacity;  // size of the usable area in bytes
};

// Usable bytes of a standard block; larger needs get a block of their own size.
constexpr uint32_t kPoolBlockCapacity = 8000;

BlockPool *poolnew();
void *poolalloc(uint32_t size, BlockPool *pool);
void poolgrow(uint32_t need, BlockPool *pool);
void pooldelete(BlockPool *pool);
char *poolstrdup(const char *text, BlockPool *pool);

// The system allocator behind every pool. Replaceable so that tests can see
// the exact block requests and make them fail; returns the previous one.
struct PoolAllocator {
    void *(*allocate)(size_t bytes);
    void (*release)(void *block);
};
PoolAllocator poolsetallocator(PoolAllocator allocator);
