// Which elements are parents, and how their names are converted: relabel.cc
// converts through convertParentNames too, so the tool's list of parents and
// the units relabelling asks cannot drift apart.
#include "cname/parent_units.h"

#include <vector>

#include "cname/unit_name_conversion.h"
#include "hq.h"

namespace trel {

ParentNames convertParentNames(const UnitName &spelled, bool lastOnly, ConvertedUnit &unit,
                               UnitName *converted) {
    const char *lib = nullptr;
    if (lastOnly) {
        lib = convertUnitName(spelled.lib, unit.lib);
        if (lib == nullptr || lib[0] == '\0') return ParentNames::noLibrary;
    }
    const char *view = convertUnitName(spelled.view, unit.view);
    const char *cell = convertUnitName(spelled.cell, unit.cell);
    if (!lastOnly) lib = convertUnitName(spelled.lib, unit.lib);
    if (view == nullptr || cell == nullptr || lib == nullptr) return ParentNames::noConversion;
    *converted = {lib, cell, view};
    return ParentNames::converted;
}

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
    UnitName converted;
    for (size_t at = lastOnly ? elements.size() - 2 : 0; at + 1 < elements.size(); ++at) {
        const hqPathElem &parent = *elements[at];
        if (convertParentNames({parent.lib, parent.cell, parent.view}, lastOnly, unit,
                               &converted) == ParentNames::converted)
            visit(converted);
    }
}

}  // namespace trel
