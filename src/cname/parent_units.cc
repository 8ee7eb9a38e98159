// The choice of parents follows the two relabelling entry points in
// relabel.cc, step for step: the same parse, the same conversions in the same
// order, and the same conditions for skipping a parent.
#include "cname/parent_units.h"

#include <vector>

#include "cname/unit_name_conversion.h"
#include "hq.h"

namespace trel {

void forEachParentUnit(const char *name, bool lastOnly,
                       const std::function<void(const UnitName &)> &visit) {
    if (name == nullptr) return;
    hqPath path(name);
    if (path.valid == 0) return;
    std::vector<const hqPathElem *> elements;
    for (const hqPathElem *elem = path.parsePathElem(1); elem != nullptr;
         elem = path.parsePathElem(0))
        elements.push_back(elem);
    if (elements.size() < 2) return;
    ConvertedUnit unit;
    if (lastOnly) {
        // The library name first: without one, relabel-last writes nothing.
        const hqPathElem &parent = *elements[elements.size() - 2];
        const char *lib = convertUnitName(parent.lib, unit.lib);
        if (lib == nullptr || lib[0] == '\0') return;
        const char *view = convertUnitName(parent.view, unit.view);
        const char *cell = convertUnitName(parent.cell, unit.cell);
        if (view != nullptr && cell != nullptr) visit({lib, cell, view});
        return;
    }
    for (size_t at = 0; at + 1 < elements.size(); ++at) {
        const hqPathElem &parent = *elements[at];
        const char *view = convertUnitName(parent.view, unit.view);
        const char *cell = convertUnitName(parent.cell, unit.cell);
        const char *lib = convertUnitName(parent.lib, unit.lib);
        if (view != nullptr && cell != nullptr && lib != nullptr) visit({lib, cell, view});
    }
}

}  // namespace trel
