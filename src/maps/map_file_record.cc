// The bookkeeping of a page map's map file.
#include "maps/map_file_record.h"

#include <algorithm>

namespace trel {

void MapFileRecord::setSyncPoint(const SyncPoint &sync) {
    sync_ = sync;
    allChanged_ = false;
    changed_.reset();
    changedUnique_ = 0;
}

void MapFileRecord::noteChange(uint32_t page) {
    if (allChanged_) return;
    if (!changed_) changed_ = std::make_unique<std::vector<uint32_t>>();
    changed_->push_back(page);
    // Repeated changes of the same pages never hold more than twice the
    // distinct ones.
    if (changed_->size() >= 2 * size_t{changedUnique_} + 1024) changedPages();
}

void MapFileRecord::noteCleared() {
    setState(State::held);
    allChanged_ = true;
    changed_.reset();
    changedUnique_ = 0;
}

const std::vector<uint32_t> &MapFileRecord::changedPages() {
    static const std::vector<uint32_t> none;
    if (!changed_) return none;
    std::vector<uint32_t> &changed = *changed_;
    if (changedUnique_ != changed.size()) {
        std::sort(changed.begin(), changed.end());
        changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
        changedUnique_ = static_cast<uint32_t>(changed.size());
    }
    return changed;
}

}  // namespace trel
