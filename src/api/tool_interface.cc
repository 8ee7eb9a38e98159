// The tool's view of the registry: what a load found, and a page map's pairs.
#include "api/tool_interface.h"

#include <cerrno>

#include "files/temporary_name.h"
#include "maps/map_location.h"
#include "maps/page_map.h"
#include "maps/registry.h"
#include "trel.h"

namespace trel {

std::string mapFileName() {
    return kMapFileName;
}

std::string temporaryFileName() {
    return temporaryNameFor(kMapFileName);
}

UnitRegistration registerUnit(const UnitName &unit) {
    UnitRegistration found;
    const PageMap *map = Registry::instance().findOrCreate(unit, &found.status, &found.problem);
    const int reason = errno;
    if (map == nullptr) return found;
    found.path = map->path();
    if (found.status != TREL_CANNOT_READ) return found;
    switch (map->file().state()) {
        case MapFileRecord::State::unreadable:
            found.file = UnitRegistration::File::unreadable;
            found.systemError = reason;
            break;
        case MapFileRecord::State::damaged:
            found.file = UnitRegistration::File::damaged;
            found.damagedLine = map->file().damagedLine();
            break;
        case MapFileRecord::State::held:  // no file: an empty page map
        case MapFileRecord::State::unread:
            break;
    }
    return found;
}

bool forEachPair(const UnitName &unit, const std::function<void(int32_t, int32_t)> &visit) {
    const PageMap *map = Registry::instance().lookup(unit);
    if (map == nullptr) return false;
    map->forEachPair(visit);
    return true;
}

}  // namespace trel
