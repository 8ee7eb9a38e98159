// The bookkeeping of a page map's map file.
#include "maps/map_file_record.h"

#include <algorithm>

namespace trel {

void MapFileRecord::setSyncPoint(const SyncPoint &sync) {
    sync_ = sync;
    allChanged_ = false;
    std::vector<uint32_t>().swap(changed_);
    changedUnique_ = 0;
}

void MapFileRecord::noteChange(uint32_t page) {
    if (allChanged_) return;
    changed_.push_back(page);
    // Repeated changes of the same pages never hold more than twice the
    // distinct ones.
    if (changed_.size() >= 2 * changedUnique_ + 1024) changedPages();
}

void MapFileRecord::noteCleared() {
    setState(State::held);
    allChanged_ = true;
    changed_.clear();
    changedUnique_ = 0;
}

const std::vector<uint32_t> &MapFileRecord::changedPages() {
    if (changedUnique_ != changed_.size()) {
        std::sort(changed_.begin(), changed_.end());
        changed_.erase(std::unique(changed_.begin(), changed_.end()), changed_.end());
        changedUnique_ = changed_.size();
    }
    return changed_;
}

}  // namespace trel
