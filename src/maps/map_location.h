// Where a design unit's map file lies: "<unit directory>/page.map", with the
// directory told by the library-path service (dreeGetPath).
#pragma once

#include <cstddef>
#include <string>

#include "maps/unit_name.h"

namespace trel {

// The service's directory buffer and the composed path, each with its NUL,
// must fit this many bytes. A path that does not fit is refused, never cut:
// a cut path would name another file.
constexpr size_t kMapPathSize = 260;

// The name of every unit's map file in its directory.
constexpr char kMapFileName[] = "page.map";

// Composes the unit's map file path into *path. False when a name is null,
// the service does not know the unit, or the path does not fit.
bool locateMapFile(const UnitName &unit, int context, std::string *path);

}  // namespace trel
