// The units are found as the library finds them: the name parsed by the
// hierarchical-name library, the unit's names converted by the name mapper.
#include "parent_maps.h"

#include <vector>

#include "hq.h"
#include "kelt.h"
#include "map_file_load.h"

std::vector<std::string> ParentMaps::load(const char *name, bool lastOnly) {
    std::vector<std::string> problems;
    hqPath path(name);
    if (path.valid == 0) return problems;
    elements_.clear();
    for (const hqPathElem *elem = path.parsePathElem(1); elem != nullptr;
         elem = path.parsePathElem(0)) {
        elements_.push_back(elem);
    }
    // Every element but the last is the parent of the one after it.
    const std::size_t end = elements_.empty() ? 0 : elements_.size() - 1;
    const std::size_t begin = lastOnly && end > 0 ? end - 1 : 0;
    for (std::size_t at = begin; at < end; ++at) {
        const hqPathElem &parent = *elements_[at];
        if (parent.lib == nullptr) continue;
        written_.assign(parent.lib).append(1, '\0').append(parent.cell).append(1, '\0');
        written_.append(parent.view);
        if (seen_.count(written_) != 0) continue;
        seen_.insert(written_);
        char lib[keltBufferSize];
        char cell[keltBufferSize];
        char view[keltBufferSize];
        if (keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, parent.lib, 0, lib) == nullptr ||
            keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, parent.cell, 0, cell) == nullptr ||
            keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, parent.view, 0, view) == nullptr) {
            continue;  // no page map to read: the relabelling leaves the element as it is
        }
        const MapFileLoad loaded = loadMapFile({lib, cell, view});
        if (!loaded.problem.empty()) problems.push_back(loaded.problem);
    }
    return problems;
}
