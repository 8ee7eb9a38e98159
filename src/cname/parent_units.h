// The parent units of a hierarchical name: the design units whose page maps
// relabelling the name looks pages up in, with their names converted as the
// relabelling converts them. For a caller that must know those units apart
// from the relabelling itself, such as the tool, which loads their map files
// first to report one that cannot be read, and tells an unknown unit by the
// registry's status.
#pragma once

#include <functional>

#include "cname/unit_name_conversion.h"
#include "maps/unit_name.h"

namespace trel {

// What converting a parent element's unit names came to.
enum class ParentNames {
    converted,     // *converted names the unit whose page map is asked
    noLibrary,     // last element only: the library converts to nothing
    noConversion,  // a name has no conversion (or the element names no unit)
};

// The parent's names converted as relabelling converts them, into `unit`'s
// buffers. The whole-name relabelling converts view, cell, library; the
// last-element one the library first, as without one it writes nothing.
ParentNames convertParentNames(const UnitName &spelled, bool lastOnly, ConvertedUnit &unit,
                               UnitName *converted);

// Calls visit(parent) for each unit that relabelling `name` looks a page up
// in, in the order of its elements: the parent of every element but the
// first (trelGetMappedCname), or with `lastOnly` the last element's parent
// only (trelGetMapeedCnameLastPathElem). A parent that names no unit, or
// whose names have no conversion, is looked up by neither and left out; so is
// every parent of a text that is not a hierarchical name. The names handed to
// `visit` are valid during the call only.
void forEachParentUnit(const char *name, bool lastOnly,
                       const std::function<void(const UnitName &)> &visit);

}  // namespace trel
