// Reproducible random page numbers for the cases: every run, and both sides of
// a case, work on the same numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

// `count` distinct pages drawn evenly from all 32-bit values, negative ones
// included, in random order.
std::vector<int32_t> distinctPages(size_t count, uint32_t seed);

// `count` values drawn evenly from all 32-bit values; repeats are allowed.
std::vector<int32_t> randomValues(size_t count, uint32_t seed);

// `values` in another random order.
std::vector<int32_t> shuffled(std::vector<int32_t> values, uint32_t seed);

}  // namespace bench
