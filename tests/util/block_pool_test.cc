// Block pool: block requests and their sizes, chunk placement, alignment and
// zero fill, first fit over the chain, release, and the fatal end of a pool
// that cannot get memory.
#include "util/block_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "util/pool_support.h"

namespace {

constexpr size_t kHeaderBytes = sizeof(BlockPool);

class BlockPoolTest : public ::testing::Test {
  protected:
    void TearDown() override {
        pooldelete(pool);
        EXPECT_TRUE(RecordingAllocator::live().empty()) << "every block goes back to the system";
    }

    RecordingAllocator allocator;
    BlockPool *pool = poolnew();
};

bool InUsableArea(BlockPool *pool, const void *chunk, size_t size) {
    for (BlockPool *block = pool; block != nullptr; block = block->next) {
        const char *begin = pooldata(block);
        const char *end = begin + block->capacity;
        const char *first = static_cast<const char *>(chunk);
        if (first >= begin && first <= end && size <= static_cast<size_t>(end - first)) return true;
    }
    return false;
}

TEST_F(BlockPoolTest, NewPoolIsOneStandardBlockWithItsHeaderInFront) {
    ASSERT_EQ(RecordingAllocator::requests(), std::vector<size_t>{8000 + kHeaderBytes});
    EXPECT_EQ(pool->next, nullptr);
    EXPECT_EQ(pool->capacity, 8000U);
    EXPECT_EQ(pool->free, pooldata(pool));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pooldata(pool)) % 8, 0U);
    if constexpr (sizeof(void *) == 4) {
        EXPECT_EQ(kHeaderBytes, 16U);
        EXPECT_EQ(RecordingAllocator::requests()[0], 8016U);
    }
}

TEST_F(BlockPoolTest, ChunksAreZeroFilledAndAlignedBySize) {
    for (uint32_t size = 0; size <= 40; ++size) {
        // Knock the free pointer off every alignment before each request.
        poolalloc(1, pool);
        auto *chunk = static_cast<unsigned char *>(poolalloc(size, pool));
        const uintptr_t alignment = size >= 8 ? 8 : (size >= 4 ? 4 : 2);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(chunk) % alignment, 0U) << "size " << size;
        for (uint32_t i = 0; i < size; ++i) {
            ASSERT_EQ(chunk[i], 0) << "size " << size;
        }
    }
}

TEST_F(BlockPoolTest, ChunksFollowEachOtherSkippingOnlyAlignmentPadding) {
    char *a = static_cast<char *>(poolalloc(3, pool));
    char *b = static_cast<char *>(poolalloc(5, pool));
    char *c = static_cast<char *>(poolalloc(8, pool));
    char *d = static_cast<char *>(poolalloc(0, pool));
    EXPECT_EQ(a, pooldata(pool));
    EXPECT_EQ(b, a + 4);
    EXPECT_EQ(c, a + 16);
    EXPECT_EQ(d, a + 24) << "an empty chunk takes no space beyond its alignment";
    EXPECT_EQ(pool->free, a + 24);
}

TEST_F(BlockPoolTest, AChunkEndingExactlyAtTheEndOfTheBlockFits) {
    char *whole = static_cast<char *>(poolalloc(8000, pool));
    EXPECT_EQ(whole, pooldata(pool));
    void *empty = poolalloc(0, pool);
    EXPECT_EQ(empty, pooldata(pool) + 8000) << "an empty chunk fits at the very end";
    EXPECT_EQ(RecordingAllocator::requests().size(), 1U);
}

TEST_F(BlockPoolTest, GrownBlocksGetEightSpareBytesAndAtLeastTheStandardCapacity) {
    poolalloc(8000, pool);
    poolalloc(7993, pool);  // needs 8001: a block of its own size
    poolalloc(7992, pool);  // needs 8000: a standard block
    poolalloc(20000, pool);
    const std::vector<size_t> expected = {8000 + kHeaderBytes, 8001 + kHeaderBytes,
                                          8000 + kHeaderBytes, 20008 + kHeaderBytes};
    EXPECT_EQ(RecordingAllocator::requests(), expected);
    if constexpr (sizeof(void *) == 4) {
        EXPECT_EQ(RecordingAllocator::requests()[1], 8017U);
    }
    // Newest first after the head block.
    ASSERT_NE(pool->next, nullptr);
    EXPECT_EQ(pool->next->capacity, 20008U);
    EXPECT_EQ(pool->next->next->capacity, 8000U);
    EXPECT_EQ(pool->next->next->next->capacity, 8001U);
    EXPECT_EQ(pool->next->next->next->next, nullptr);
}

TEST_F(BlockPoolTest, EveryRequestTriesTheBlocksFromTheHeadOn) {
    poolalloc(7000, pool);
    char *big = static_cast<char *>(poolalloc(2000, pool));  // grows a standard block
    ASSERT_NE(pool->next, nullptr);
    EXPECT_EQ(big, pooldata(pool->next));
    char *small = static_cast<char *>(poolalloc(16, pool));
    EXPECT_EQ(small, pooldata(pool) + 7000) << "the head block's tail still serves";
    // Fill the head; the next request that fits the older block's tail goes there.
    poolalloc(984, pool);
    poolalloc(7000, pool);  // grows again: the new block is second in the chain
    char *tail = static_cast<char *>(poolalloc(5000, pool));
    EXPECT_EQ(tail, big + 2000) << "first fit reaches the oldest block";
}

// Random sizes, mostly small, sometimes larger than a block: every chunk is
// zero when handed out, lands where first fit puts it, and keeps the bytes
// written into it while every later chunk is carved and written.
TEST_F(BlockPoolTest, RandomSizesLandByFirstFitAndNeverOverlap) {
    std::mt19937 random(20260101);
    struct Chunk {
        unsigned char *bytes;
        uint32_t size;
        unsigned char fill;
    };
    std::vector<Chunk> chunks;
    for (int n = 0; n < 3000; ++n) {
        const int shape = static_cast<int>(random() % 100);
        const uint32_t size = shape < 80   ? random() % 64
                              : shape < 98 ? random() % 2000
                                           : 7990 + random() % 9000;
        PoolModel model(pool);
        char *predicted = model.Take(size);
        const size_t blocks_before = RecordingAllocator::live().size();
        auto *bytes = static_cast<unsigned char *>(poolalloc(size, pool));
        if (predicted != nullptr) {
            ASSERT_EQ(bytes, reinterpret_cast<unsigned char *>(predicted)) << "request " << n;
            ASSERT_TRUE(model.Matches(pool));
        } else {
            ASSERT_EQ(RecordingAllocator::live().size(), blocks_before + 1);
            ASSERT_EQ(bytes, reinterpret_cast<unsigned char *>(pooldata(pool->next)));
        }
        ASSERT_TRUE(InUsableArea(pool, bytes, size));
        for (uint32_t i = 0; i < size; ++i) {
            ASSERT_EQ(bytes[i], 0) << "request " << n;
        }
        const auto fill = static_cast<unsigned char>(n % 251 + 1);
        memset(bytes, fill, size);
        chunks.push_back({bytes, size, fill});
    }
    for (const Chunk &chunk : chunks) {
        for (uint32_t i = 0; i < chunk.size; ++i) {
            ASSERT_EQ(chunk.bytes[i], chunk.fill);
        }
    }
}

TEST_F(BlockPoolTest, PoolstrdupCopiesTheTextAndItsTerminator) {
    char text[] = "work.alu:sch";
    char *copy = poolstrdup(text, pool);
    text[0] = 'X';
    EXPECT_STREQ(copy, "work.alu:sch");
    EXPECT_EQ(pool->free, copy + sizeof(text));

    char *empty = poolstrdup("", pool);
    EXPECT_EQ(empty[0], '\0');
    EXPECT_EQ(pool->free, empty + 1);
}

TEST(BlockPoolDelete, OfNoPoolDoesNothing) {
    RecordingAllocator allocator;
    pooldelete(nullptr);
    EXPECT_TRUE(RecordingAllocator::requests().empty());
}

using BlockPoolDeathTest = BlockPoolTest;

TEST_F(BlockPoolDeathTest, RefusalOfTheFirstBlockEndsTheProcess) {
    RecordingAllocator::refuse_from() = RecordingAllocator::requests().size();
    EXPECT_EXIT(poolnew(), ::testing::ExitedWithCode(255), "^malloc: ");
}

TEST_F(BlockPoolDeathTest, RefusalOfAGrownBlockEndsTheProcess) {
    RecordingAllocator::refuse_from() = RecordingAllocator::requests().size();
    EXPECT_EXIT(poolalloc(8001, pool), ::testing::ExitedWithCode(255), "^malloc: ");
}

// Near 2^32, size + 8 and start + size wrap around; such a request must end
// the process like an exhausted allocator, never come back as a short chunk.
TEST_F(BlockPoolDeathTest, SizesThatCannotBeServedEndTheProcess) {
    for (uint32_t size : {UINT32_MAX, UINT32_MAX - 3, UINT32_MAX - 7}) {
        EXPECT_EXIT(poolalloc(size, pool), ::testing::ExitedWithCode(255), "^malloc: ")
            << "size " << size;
    }
}

// The largest size whose need still fits 32 bits is asked of the system
// whole: capacity plus header, or refused outright where that overflows.
TEST_F(BlockPoolDeathTest, TheLargestServableSizeIsRequestedWithoutWrapping) {
    const auto report_and_refuse = [](size_t bytes) -> void * {
        fprintf(stderr, "request %zu\n", bytes);
        return nullptr;
    };
    const PoolAllocator recording = poolsetallocator({report_and_refuse, nullptr});
    const uint32_t size = UINT32_MAX - 8;
    if constexpr (sizeof(size_t) > 4) {
        const std::string request = std::to_string(size_t{UINT32_MAX} + kHeaderBytes);
        EXPECT_EXIT(poolalloc(size, pool), ::testing::ExitedWithCode(255),
                    "request " + request + "\nmalloc: ");
    } else {
        EXPECT_EXIT(poolalloc(size, pool), ::testing::ExitedWithCode(255), "^malloc: ");
    }
    poolsetallocator(recording);
}

}  // namespace
