// The exported entry points. Each names a design unit, reaches its page map
// through the registry and hands the request on; the statuses and the
// last-error messages are decided here.
#include <cstring>
#include <iostream>
#include <string>

#include "api/guarded.h"
#include "api/last_error.h"
#include "maps/map_file.h"
#include "maps/map_location.h"
#include "maps/page_lookup.h"
#include "maps/registry.h"
#include "maps/settings.h"
#include "trel.h"

using trel::guarded;
using trel::PageMap;
using trel::Registry;
using trel::UnitName;

namespace {

// The unit's page map, found or created; null after reporting TREL_BAD_SPEC.
// A map file that exists but cannot be read in full leaves its problem in
// *problem; only trelloadMapFile reports it.
PageMap *unitMap(const UnitName &unit, int *status, std::string *problem) {
    PageMap *map = Registry::instance().findOrCreate(unit, status, problem);
    if (map == nullptr) trel::reportBadSpec(unit);
    return map;
}

PageMap *unitMap(const UnitName &unit) {
    PageMap *map = trel::unitPageMap(unit);
    if (map == nullptr) trel::reportBadSpec(unit);
    return map;
}

void report(const std::string &problem) {
    if (!problem.empty()) trel::reportError("%s", problem.c_str());
}

// Equal page numbers ask for the identity mapping, which needs no pair.
void store(PageMap &map, int page, int mapped) {
    if (page == mapped) {
        map.remove(page);
    } else {
        map.set(page, mapped);
    }
}

// A failed save leaves errno telling the system's reason, for hosts and tools
// that want to show it beside the message.
int save(PageMap &map) {
    std::string problem;
    int status = trel::saveMapFile(map, trel::settings().fileMode, &problem);
    if (status != TREL_OK) {
        const int reason = errno;
        report(problem);
        errno = reason;
    }
    return status;
}

// Hosts may pass null for an out value; the status still tells the answer.
int discarded;
int *orDiscard(int *out) {
    return out != nullptr ? out : &discarded;
}

}  // namespace

extern "C" {

int trelInit(int context) {
    trel::settings().context = context;
    return TREL_OK;
}

int trelReset(void) {
    return guarded([&] {
        Registry::instance().reset();
        return TREL_OK;
    });
}

int trelResetPageMap(const char *lib, const char *cell, const char *view) {
    return guarded([&] {
        PageMap *map = unitMap({lib, cell, view});
        if (map == nullptr) return TREL_BAD_SPEC;
        map->clear();
        return TREL_OK;
    });
}

int trelSetFileMode(int mode) {
    trel::settings().fileMode = mode;
    return mode;
}

char *trelMapFilePath(const char *lib, const char *cell, const char *view) {
    return guarded([&]() -> char * {
        std::string path;
        if (!trel::locateMapFile({lib, cell, view}, trel::settings().context, &path))
            return nullptr;
        char *copy = new char[path.size() + 1];
        std::memcpy(copy, path.c_str(), path.size() + 1);
        return copy;
    });
}

int trelloadMapFile(const char *lib, const char *cell, const char *view, int reload) {
    return guarded([&] {
        int status;
        std::string problem;
        PageMap *map = unitMap({lib, cell, view}, &status, &problem);
        if (map == nullptr) return status;
        // A unit registered just now was loaded as it was registered.
        if (reload != 0 && status == TREL_ALREADY_LOADED) {
            map->discard();
            problem.clear();
            status = trel::loadMapFile(*map, trel::settings().fileMode, &problem);
        }
        report(problem);
        Registry::instance().setActive(map);
        return status;
    });
}

int trelGetPageMapping(const char *lib, const char *cell, const char *view, int page, int *mapped) {
    return guarded([&] {
        PageMap *map = unitMap({lib, cell, view});
        if (map == nullptr) return TREL_BAD_SPEC;
        return trel::mappedPage(*map, page, orDiscard(mapped));
    });
}

int trelDeletePageMapping(const char *lib, const char *cell, const char *view, int page) {
    return guarded([&] {
        PageMap *map = unitMap({lib, cell, view});
        if (map == nullptr) return TREL_BAD_SPEC;
        map->remove(page);
        return TREL_OK;
    });
}

int trelSetPageMapping(const char *lib, const char *cell, const char *view, int page, int mapped) {
    return guarded([&] {
        PageMap *map = unitMap({lib, cell, view});
        if (map == nullptr) return TREL_BAD_SPEC;
        store(*map, page, mapped);
        return TREL_OK;
    });
}

int trelGetMapPage(const char *lib, const char *cell, const char *view, int mapped, int *original) {
    return guarded([&] {
        PageMap *map = unitMap({lib, cell, view});
        if (map == nullptr) return TREL_BAD_SPEC;
        return map->reverse(mapped, orDiscard(original));
    });
}

int trelGetActivePageMapping(int page, int *mapped) {
    return guarded([&] {
        PageMap *map = Registry::instance().active();
        if (map == nullptr) {
            trel::reportNoActiveMap();
            return TREL_NO_ACTIVE_MAP;
        }
        return map->get(page, orDiscard(mapped));
    });
}

int trelSetActivePageMapping(int page, int mapped) {
    return guarded([&] {
        PageMap *map = Registry::instance().active();
        if (map == nullptr) {
            trel::reportNoActiveMap();
            return TREL_NO_ACTIVE_MAP;
        }
        store(*map, page, mapped);
        return TREL_OK;
    });
}

int trelGetHighestPageMapping(const char *lib, const char *cell, const char *view, int *highest) {
    return guarded([&] {
        PageMap *map = unitMap({lib, cell, view});
        if (map == nullptr) return TREL_BAD_SPEC;
        *orDiscard(highest) = map->highest();
        return TREL_OK;
    });
}

int trelSavePageMaps(int all) {
    return guarded([&] {
        // Every map is saved even after a failure; the last failure's message
        // stays in the last-error text.
        int status = TREL_OK;
        Registry::instance().forEach([all, &status](PageMap &map) {
            if ((all != 0 || map.modified()) && save(map) != TREL_OK) status = TREL_CANNOT_WRITE;
        });
        return status;
    });
}

int trelSavePageMap(const char *lib, const char *cell, const char *view) {
    return guarded([&] {
        PageMap *map = Registry::instance().lookup({lib, cell, view});
        if (map == nullptr) return TREL_NOT_LOADED;
        return save(*map);
    });
}

int trelGetLastError(char **text) {
    if (text != nullptr) *text = trel::lastErrorText();
    return TREL_OK;
}

int trelDumpPageMap(const char *lib, const char *cell, const char *view) {
    return guarded([&] {
        PageMap *map = unitMap({lib, cell, view});
        if (map == nullptr) return TREL_BAD_SPEC;
        map->dump(std::cout, 4, true);
        return TREL_OK;
    });
}

int trelGetErrorMessage(void) {
    return TREL_OK;
}

}  // extern "C"
