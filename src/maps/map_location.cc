// Asking the library-path service for a unit's directory.
#include "maps/map_location.h"

#include <cstring>

#include "dree.h"

namespace trel {

bool locateMapFile(const UnitName &unit, int context, std::string *path) {
    if (!unit.complete()) return false;

    char directory[kMapPathSize];
    directory[0] = '\0';
    if (dreeGetPath(context, 0, unit.lib, unit.cell, unit.view, 0, directory,
                    static_cast<int>(sizeof directory)) != 0) {
        return false;
    }
    // A service that filled the buffer without a terminator gave no usable text.
    const void *nul = std::memchr(directory, '\0', sizeof directory);
    if (nul == nullptr) return false;
    size_t length = static_cast<size_t>(static_cast<const char *>(nul) - directory);
    if (length + 1 + (sizeof kMapFileName - 1) + 1 > kMapPathSize) return false;

    path->assign(directory, length);
    path->push_back('/');
    path->append(kMapFileName);
    return true;
}

}  // namespace trel
