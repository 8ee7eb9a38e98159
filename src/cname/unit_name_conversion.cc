// Conversion of design-unit names through the name mapper.
#include "cname/unit_name_conversion.h"

namespace trel {

const char *convertUnitName(const char *name, char *buffer) {
    return keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, name, 0, buffer);
}

}  // namespace trel
