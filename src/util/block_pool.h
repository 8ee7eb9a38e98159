// Block pool: an arena that carves zero-filled chunks out of large blocks and
// releases them only all together, when the pool is deleted.
//
// A pool is a chain of blocks; the first (head) block is the pool handle and
// stays first. Chunks are aligned by their size (8 bytes for 8 or more, 4 for
// 4..7, 2 for 0..3), carry no header, and are never handed out twice.
// Exhausted memory is fatal: the pool prints the "malloc" perror line and
// ends the process with exit(-1), so no caller ever sees a failed allocation.
//
// The common case, a chunk that fits the head block or the newest one, is
// inline below: an alignment step, a comparison and a pointer bump. Every usable area is
// zeroed when its block is taken from the system, and bytes past `free` are
// never handed out, so a chunk needs no clearing of its own.
#pragma once

#include <cstddef>
#include <cstdint>

// The header of one block; a pool handle is its head block. Padded to 8 bytes
// so that the usable area that follows it starts 8-aligned.
struct alignas(8) BlockPool {
    BlockPool *next;    // next block of the chain, or null
    char *free;         // first byte of the usable area not handed out yet
    uint32_t capacity;  // size of the usable area in bytes
    // No block after this one in the chain has more room left than this; it
    // lets first fit stop early instead of visiting every older block. Kept
    // in what would otherwise be padding, so the header keeps its size.
    uint32_t roomafter;
};
static_assert(sizeof(BlockPool) == 2 * sizeof(void *) + 8, "block header grew");

// Usable bytes of a standard block; larger needs get a block of their own size.
constexpr uint32_t kPoolBlockCapacity = 8000;

BlockPool *poolnew();
void *poolalloc(uint32_t size, BlockPool *pool);
void poolgrow(uint32_t need, BlockPool *pool);
void pooldelete(BlockPool *pool);
char *poolstrdup(const char *text, BlockPool *pool);

// The system allocator behind every pool. Replaceable so that tests can see
// the exact block requests and make them fail; returns the previous one. A
// null member stands for the C library's allocator (calloc) or free.
struct PoolAllocator {
    void *(*allocate)(size_t bytes);
    void (*release)(void *block);
};
PoolAllocator poolsetallocator(PoolAllocator allocator);

// The usable area of a block begins right after its header.
inline char *pooldata(BlockPool *block) {
    return reinterpret_cast<char *>(block + 1);
}

// Chunks of 8 bytes or more are 8-aligned, of 4 to 7 bytes 4-aligned, smaller
// ones 2-aligned.
inline uintptr_t poolalignment(uint32_t size) {
    return size >= 8 ? 8 : (size >= 4 ? 4 : 2);
}

// Carves `size` bytes at the alignment from `block` when they fit, else null.
// Works on the room left rather than on start + size, so that no size, however
// close to 2^32, can wrap past the end and pass as fitting.
inline void *poolcarve(uint32_t size, uintptr_t alignment, BlockPool *block) {
    const size_t padding = (0 - reinterpret_cast<uintptr_t>(block->free)) & (alignment - 1);
    const size_t room = static_cast<size_t>(pooldata(block) + block->capacity - block->free);
    if (padding > room || size > room - padding) return nullptr;
    char *start = block->free + padding;
    block->free = start + size;
    return start;
}

// The blocks after the head block, then a new block: the rare path of poolalloc.
void *poolallocslow(uint32_t size, BlockPool *pool);

// The head block first, then the newest block, which serves every request
// once the head block is full.
inline void *poolalloc(uint32_t size, BlockPool *pool) {
    const uintptr_t alignment = poolalignment(size);
    if (void *chunk = poolcarve(size, alignment, pool)) return chunk;
    if (pool->next != nullptr) {
        if (void *chunk = poolcarve(size, alignment, pool->next)) return chunk;
    }
    return poolallocslow(size, pool);
}
