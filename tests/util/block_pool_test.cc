// Block pool: the block requests and their sizes, first fit over the chain,
// chunk placement and contents, and the fatal end of a pool that cannot get
// memory.
#include "util/block_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "util/pool_support.h"

namespace {

constexpr size_t kHeaderBytes = sizeof(BlockPool);

// The system allocator during every test: records each block request, hands
// out blocks full of garbage (a pool must not rely on fresh memory being zero)
// and, once told to, refuses every request, saying so on standard error.
std::vector<size_t> requests;
int blocks_held = 0;
bool refuse = false;

void *Allocate(size_t bytes) {
    requests.push_back(bytes);
    if (refuse) {
        fprintf(stderr, "refused %zu\n", bytes);
        return nullptr;
    }
    ++blocks_held;
    return memset(malloc(bytes), 0xA5, bytes);
}

void Release(void *block) {
    --blocks_held;
    free(block);
}

class BlockPoolTest : public ::testing::Test {
  protected:
    BlockPoolTest() {
        requests.clear();
        refuse = false;
        pool = poolnew();
    }
    ~BlockPoolTest() override {
        pooldelete(pool);
        EXPECT_EQ(blocks_held, 0) << "every block goes back to the system";
        poolsetallocator(previous);
    }

    PoolAllocator previous = poolsetallocator({Allocate, Release});
    BlockPool *pool;
};

// A pool starts as one standard block. A block grown for a need above the
// standard capacity (the size plus 8 bytes for padding) gets the need's
// capacity, and every grown block goes right after the head block.
TEST_F(BlockPoolTest, BlocksAreRequestedAsCapacityPlusHeaderNewestAfterTheHead) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pooldata(pool)) % 8, 0U);
    EXPECT_EQ(poolalloc(8000, pool), pooldata(pool)) << "a chunk may end at its block's end";
    EXPECT_EQ(poolalloc(0, pool), pooldata(pool) + 8000) << "so may an empty one";
    poolalloc(7993, pool);  // needs 8001: a block of its own size
    poolalloc(7992, pool);  // needs 8000: a standard block
    poolalloc(20000, pool);
    const std::vector<size_t> expected = {8000 + kHeaderBytes, 8001 + kHeaderBytes,
                                          8000 + kHeaderBytes, 20008 + kHeaderBytes};
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(pool->next->capacity, 20008U) << "the newest block comes right after the head";
    if constexpr (sizeof(void *) == 4) {
        EXPECT_EQ(requests[0], 8016U);
        EXPECT_EQ(requests[1], 8017U);
    }
    pooldelete(nullptr);  // no pool: nothing to release
}

// Random sizes, mostly small, sometimes above a block: every chunk is aligned
// by its size, zero when handed out, and lands where first fit puts it, so
// that the tails of older blocks still serve later requests; and it keeps what
// was written into it while every later chunk is carved and written.
TEST_F(BlockPoolTest, RandomSizesLandByFirstFitZeroedAndNeverOverlap) {
    std::mt19937 random(20260101);
    std::vector<std::pair<unsigned char *, uint32_t>> chunks;
    for (uint32_t n = 0; n < 3000; ++n) {
        const uint32_t shape = random() % 100;
        const uint32_t size = shape < 80   ? random() % 64
                              : shape < 98 ? random() % 2000
                                           : 7990 + random() % 9000;
        PoolModel model(pool);
        char *predicted = model.Take(size);
        const size_t blocks = requests.size();
        auto *bytes = static_cast<unsigned char *>(poolalloc(size, pool));
        if (predicted == nullptr) {  // no block fits: a new one right after the head
            ASSERT_EQ(requests.size(), blocks + 1);
            ASSERT_EQ(bytes, reinterpret_cast<unsigned char *>(pooldata(pool->next)));
        } else {
            ASSERT_EQ(requests.size(), blocks);
            ASSERT_EQ(bytes, reinterpret_cast<unsigned char *>(predicted)) << "request " << n;
            ASSERT_TRUE(model.Matches(pool));
        }
        const uintptr_t alignment = size >= 8 ? 8 : (size >= 4 ? 4 : 2);
        ASSERT_EQ(reinterpret_cast<uintptr_t>(bytes) % alignment, 0U) << "size " << size;
        for (uint32_t i = 0; i < size; ++i) {
            ASSERT_EQ(bytes[i], 0) << "request " << n;
        }
        memset(bytes, static_cast<int>(n % 251 + 1), size);
        chunks.emplace_back(bytes, size);
    }
    for (uint32_t n = 0; n < chunks.size(); ++n) {
        for (uint32_t i = 0; i < chunks[n].second; ++i) {
            ASSERT_EQ(chunks[n].first[i], n % 251 + 1) << "request " << n;
        }
    }
}

using BlockPoolDeathTest = BlockPoolTest;

// exit(-1) reaches the parent as 255 on POSIX systems, whole on Windows; and
// GoogleTest's regular expressions there know \d but no bracket expressions.
#if defined(_WIN32)
constexpr int kExitedWithMinusOne = -1;
constexpr const char *kAnyNumber = "\\d+";
#else
constexpr int kExitedWithMinusOne = 255;
constexpr const char *kAnyNumber = "[0-9]+";
#endif

// No caller ever sees a failed allocation: the pool prints the "malloc"
// system error and ends the process with exit(-1).
TEST_F(BlockPoolDeathTest, ARefusedBlockEndsTheProcess) {
    refuse = true;
    const std::string standard = "^refused " + std::to_string(8000 + kHeaderBytes) + "\nmalloc: ";
    EXPECT_EXIT(poolnew(), ::testing::ExitedWithCode(kExitedWithMinusOne), standard);
    EXPECT_EXIT(poolalloc(8001, pool), ::testing::ExitedWithCode(kExitedWithMinusOne),
                std::string("^refused ") + kAnyNumber + "\nmalloc: ");
}

// Near 2^32, size + 8 and capacity + header wrap around. Sizes whose need
// does not fit 32 bits end the process before any request, never coming back
// as a short chunk; the largest need that fits is asked of the system whole,
// or refused outright where size_t cannot hold it with its header.
TEST_F(BlockPoolDeathTest, SizesNear4GiBAreRequestedWholeOrEndTheProcess) {
    refuse = true;
    for (uint32_t size : {UINT32_MAX, UINT32_MAX - 3, UINT32_MAX - 7}) {
        EXPECT_EXIT(poolalloc(size, pool), ::testing::ExitedWithCode(kExitedWithMinusOne),
                    "^malloc: ")
            << size;
    }
    const std::string whole =
        sizeof(size_t) > 4
            ? "^refused " + std::to_string(uint64_t{UINT32_MAX} + kHeaderBytes) + "\nmalloc: "
            : "^malloc: ";
    EXPECT_EXIT(poolalloc(UINT32_MAX - 8, pool), ::testing::ExitedWithCode(kExitedWithMinusOne),
                whole);
    EXPECT_EXIT(poolgrow(UINT32_MAX, pool), ::testing::ExitedWithCode(kExitedWithMinusOne), whole);
}

}  // namespace
