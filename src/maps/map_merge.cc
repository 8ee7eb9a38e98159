// Merging a page map's changes into a map file's pairs.
#include "maps/map_merge.h"

#include <algorithm>

namespace trel {
namespace {

bool before(const std::pair<int32_t, int32_t> &a, const std::pair<int32_t, int32_t> &b) {
    return static_cast<uint32_t>(a.first) < static_cast<uint32_t>(b.first);
}

}  // namespace

PagePairs FilePairs::settled() {
    // A saved file lists its pages in order already; any other is sorted, the
    // order of equal pages kept so that the last one can win.
    auto page = [](const auto &a, const auto &b) { return a.first < b.first; };
    if (!std::is_sorted(read_.begin(), read_.end(), page))
        std::stable_sort(read_.begin(), read_.end(), page);
    PagePairs pairs;
    pairs.reserve(read_.size());
    for (size_t i = 0; i < read_.size(); ++i) {
        if (i + 1 < read_.size() && read_[i + 1].first == read_[i].first) continue;
        pairs.emplace_back(static_cast<int32_t>(read_[i].first), read_[i].second);
    }
    std::vector<std::pair<uint32_t, int32_t>>().swap(read_);
    return pairs;
}

PagePairs mergePairs(const PagePairs &file, const PagePairs &mine,
                     const std::vector<uint32_t> &changed, bool allChanged) {
    if (allChanged) return mine;
    auto isChanged = [&](int32_t page) {
        return std::binary_search(changed.begin(), changed.end(), static_cast<uint32_t>(page));
    };
    PagePairs result;
    result.reserve(file.size() + changed.size());
    for (const auto &pair : file)
        if (!isChanged(pair.first)) result.push_back(pair);
    const auto kept = static_cast<std::ptrdiff_t>(result.size());
    for (const auto &pair : mine)
        if (isChanged(pair.first)) result.push_back(pair);
    std::inplace_merge(result.begin(), result.begin() + kept, result.end(), before);
    return result;
}

}  // namespace trel
