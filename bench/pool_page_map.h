// A page map with a block pool of its own, so that a case can build one, time
// it and release everything it took, without touching the library's registry
// or its process-wide pool.
#pragma once

#include <memory>
#include <string>

#include "maps/page_map.h"
#include "util/block_pool.h"

namespace bench {

class PoolPageMap {
  public:
    explicit PoolPageMap(const std::string &path = "")
        : pool_(poolnew()),
          map_(trel::PageMap::make(trel::UnitName{"bench", "pages", "sch"}, path, pool_)) {}
    // The page map goes first: its pairs live in the pool.
    ~PoolPageMap() {
        map_.reset();
        pooldelete(pool_);
    }
    PoolPageMap(const PoolPageMap &) = delete;
    PoolPageMap &operator=(const PoolPageMap &) = delete;

    trel::PageMap &operator*() { return *map_; }
    trel::PageMap *operator->() { return map_.get(); }

    // Number of pairs, by walking them.
    size_t pairCount() const {
        size_t pairs = 0;
        map_->forEachPair([&pairs](int32_t, int32_t) { ++pairs; });
        return pairs;
    }

  private:
    BlockPool *pool_;
    std::unique_ptr<trel::PageMap> map_;
};

}  // namespace bench
