// The fixed memory of a unit: what registering units without pairs takes
// from the heap, per unit, against the floor of what a unit must hold.
//
// Shared by the benchmark program (the 64-bit build) and trel_unit_memory, a
// program without Google Benchmark that the 32-bit build makes too.
#pragma once

#include <cstddef>

namespace bench {

struct UnitMemory {
    double measured = 0;  // heap bytes per unit, allocator headers included
    double floor = 0;     // the floor per unit (see unitMemory)
};

// Registers `units` units without map files through trelGetPageMapping and
// measures the heap's growth, per unit: the general heap's bytes in use
// (mallinfo2: chunks with their headers, the page-map pool's blocks among
// them) before and after. The floor is, per unit, the pairs' list record and
// header node (140 + 136 bytes with 32-bit references), the page map's own
// fields and the bytes of its texts (library, cell and view names and map file
// path, each with its NUL). The library must be at its load-time state or
// just reset; the units' names are new to the process.
UnitMemory unitMemory(size_t units);

}  // namespace bench
