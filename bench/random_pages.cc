// Page numbers from a seeded generator.
#include "random_pages.h"

#include <algorithm>
#include <random>
#include <unordered_set>

namespace bench {

std::vector<int32_t> distinctPages(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::unordered_set<uint32_t> seen;
    seen.reserve(count);
    std::vector<int32_t> pages;
    pages.reserve(count);
    while (pages.size() < count) {
        const uint32_t page = random();
        if (seen.insert(page).second) pages.push_back(static_cast<int32_t>(page));
    }
    return pages;
}

std::vector<int32_t> randomValues(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<int32_t> values(count);
    for (auto &value : values) {
        value = static_cast<int32_t>(random());
    }
    return values;
}

std::vector<int32_t> shuffled(std::vector<int32_t> values, uint32_t seed) {
    std::shuffle(values.begin(), values.end(), std::mt19937(seed));
    return values;
}

}  // namespace bench
