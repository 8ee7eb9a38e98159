// trel_unit_memory: prints the fixed memory of a unit, measured over 1e4
// units without pairs, and its floor, in bytes per unit, on one line:
// "<measured> <floor>". The benchmark program runs the 32-bit build's copy
// to show both builds' figures.
#include <cstdio>
#include <exception>

#include "unit_memory.h"

int main() {
    try {
        const bench::UnitMemory memory = bench::unitMemory(10000);
        std::printf("%.1f %.1f\n", memory.measured, memory.floor);
        return 0;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "trel_unit_memory: %s\n", error.what());
        return 1;
    }
}
