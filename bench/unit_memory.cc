// The heap's growth over registering units without pairs.
#include "unit_memory.h"

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "design_root.h"
#include "maps/page_map.h"
#include "trel.h"
#include "util/skip_list.h"

namespace bench {
namespace {

size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

}  // namespace

UnitMemory unitMemory(size_t units) {
    DesignRoot root;  // no unit gets a folder: none has a map file
    static int batch = 0;
    ++batch;
    trelReset();
    const size_t before = heapInUse();
    double floor = 0;
    for (size_t i = 0; i < units; ++i) {
        char cell[32];
        std::snprintf(cell, sizeof cell, "m%d_%06zu", batch, i);
        int mapped = 0;
        trelGetPageMapping("bench", cell, "sch", 1, &mapped);
        const std::string path = root.path() + "/bench/" + cell + "/sch/page.map";
        floor +=
            static_cast<double>(sizeof(SkipList) + skipnodesize(kSkipMaxLevel) +
                                sizeof(trel::PageMap) + std::strlen("bench") + 1 +
                                std::strlen(cell) + 1 + std::strlen("sch") + 1 + path.size() + 1);
    }
    const size_t after = heapInUse();
    trelReset();
    UnitMemory result;
    result.measured = static_cast<double>(after - before) / static_cast<double>(units);
    result.floor = floor / static_cast<double>(units);
    return result;
}

}  // namespace bench
