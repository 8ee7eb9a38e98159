// A missing map file and a damaged one both load with TREL_CANNOT_READ; only
// the damaged one (or one the system will not let us read) leaves a message,
// so the last-error text is emptied first to tell the two apart.
#include "map_file_load.h"

#include "diagnostics.h"
#include "trel.h"

MapFileLoad loadMapFile(const DesignUnit &unit) {
    clearLibraryLastError();
    MapFileLoad load;
    load.status = trelloadMapFile(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), 0);
    if (load.status == TREL_CANNOT_READ) load.problem = libraryLastError();
    return load;
}
