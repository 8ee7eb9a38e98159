// The design-unit names of a parent element, converted by the name mapper
// into the names under which the host addresses that unit's page map.
#pragma once

#include "kelt.h"

namespace trel {

// The mapper writes each converted name into a buffer of keltBufferSize bytes.
struct ConvertedUnit {
    char lib[keltBufferSize];
    char cell[keltBufferSize];
    char view[keltBufferSize];
};

// `name` converted by keltVHDLToIdent and then keltIdentToLibraryNT into
// `buffer` (keltBufferSize bytes), or null when it has no conversion. A null
// name, as an element that names no design unit has, converts to null.
inline const char *convertUnitName(const char *name, char *buffer) {
    return keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, name, 0, buffer);
}

}  // namespace trel
