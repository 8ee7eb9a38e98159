// Merging the changes of a page map into a map file that another process
// saved since the page map last read or wrote it: per page, the last save of
// a change wins, and a page not changed here keeps the file's pair.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace trel {

// Pairs ascending by unsigned original page, each page once.
using PagePairs = std::vector<std::pair<int32_t, int32_t>>;

// Collects the pairs of a file as they are read, in the order of the file.
class FilePairs {
  public:
    void operator()(int32_t page, int32_t mapped) {
        read_.emplace_back(static_cast<uint32_t>(page), mapped);
    }
    // The pairs, ascending; a later pair for a page replaces an earlier one.
    PagePairs settled();

  private:
    std::vector<std::pair<uint32_t, int32_t>> read_;
};

// The file's pairs, except that every page in `changed` (ascending unsigned,
// each once), or every page when `allChanged`, takes the answer of `mine`:
// its pair, or none.
PagePairs mergePairs(const PagePairs &file, const PagePairs &mine,
                     const std::vector<uint32_t> &changed, bool allChanged);

}  // namespace trel
