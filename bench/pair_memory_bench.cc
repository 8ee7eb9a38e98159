// Memory per pair at 1e6 pairs: the bytes a page map's pool asks of the system
// (every block request, counted through the pool's replaceable allocator)
// against what a std::map<uint32_t, int32_t> costs the general heap for the
// same pairs: each node's usable size from malloc_usable_size plus the 8-byte
// chunk header that glibc's malloc keeps in front of it.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "case_report.h"
#include "cases.h"
#include "paired_timing.h"
#include "pool_page_map.h"
#include "random_pages.h"
#include "util/block_pool.h"

namespace bench {
namespace {

constexpr size_t kPairs = 1000000;

size_t poolRequestBytes = 0;
size_t mapHeapBytes = 0;

void *countingPoolAllocate(size_t bytes) {
    poolRequestBytes += bytes;
    return std::malloc(bytes);
}

// Allocates std::map nodes from malloc and counts what each one really takes.
template <typename T>
struct CountingAllocator {
    using value_type = T;
    CountingAllocator() = default;
    template <typename U>
    explicit CountingAllocator(const CountingAllocator<U> & /*other*/) {}

    T *allocate(size_t count) {
        void *memory = std::malloc(count * sizeof(T));
        if (memory == nullptr) throw std::bad_alloc();
        mapHeapBytes += malloc_usable_size(memory) + sizeof(size_t);
        return static_cast<T *>(memory);
    }
    void deallocate(T *memory, size_t /*count*/) { std::free(memory); }

    template <typename U>
    bool operator==(const CountingAllocator<U> & /*other*/) const {
        return true;
    }
    template <typename U>
    bool operator!=(const CountingAllocator<U> & /*other*/) const {
        return false;
    }
};

using CountedMap = std::map<uint32_t, int32_t, std::less<uint32_t>,
                            CountingAllocator<std::pair<const uint32_t, int32_t>>>;

// Pool bytes of a page map holding the pairs; the pool's allocator counts
// only while the page map is built and filled.
double poolBytesPerPair(const std::vector<int32_t> &pages, const std::vector<int32_t> &mapped) {
    poolRequestBytes = 0;
    const PoolAllocator previous = poolsetallocator({countingPoolAllocate, std::free});
    auto map = std::make_unique<PoolPageMap>();
    for (size_t i = 0; i < pages.size(); ++i) {
        (*map)->set(pages[i], mapped[i]);
    }
    poolsetallocator(previous);
    map.reset();
    return static_cast<double>(poolRequestBytes) / static_cast<double>(pages.size());
}

double mapBytesPerPair(const std::vector<int32_t> &pages, const std::vector<int32_t> &mapped) {
    mapHeapBytes = 0;
    CountedMap model;
    for (size_t i = 0; i < pages.size(); ++i) {
        model.emplace(static_cast<uint32_t>(pages[i]), mapped[i]);
    }
    return static_cast<double>(mapHeapBytes) / static_cast<double>(pages.size());
}

}  // namespace

void pairMemory(benchmark::State &state) {
    const auto pages = distinctPages(kPairs, 31);
    const auto mapped = randomValues(kPairs, 32);
    while (state.KeepRunning()) {
        // Node sizes depend on the random level counts, so several page maps
        // are built and the median taken; the std::map's cost is fixed.
        std::vector<double> perPair;
        perPair.reserve(3);
        for (int round = 0; round < 3; ++round) {
            perPair.push_back(poolBytesPerPair(pages, mapped));
        }
        const double project = median(perPair);
        const double base = mapBytesPerPair(pages, mapped);
        reportCase(state,
                   {"memory per pair at 1e6 pairs", "std::map node + malloc overhead", "bytes/pair",
                    project, base, project / base, GoalKind::ratioAtMost, 0.55});
    }
}

}  // namespace bench
