// The tool carries the library's objects rather than loading libtrel, so the
// library it runs on is the one trel.h versioned at build time, and the tool
// takes its own version from there too.
#include "version.h"

#include "trel.h"

void printVersion(std::FILE *stream) {
    std::fprintf(stream, "pagemap %d.%d.%d\nlibtrel %d.%d.%d (built into pagemap)\n",
                 TREL_VERSION_MAJOR, TREL_VERSION_MINOR, TREL_VERSION_PATCH, TREL_VERSION_MAJOR,
                 TREL_VERSION_MINOR, TREL_VERSION_PATCH);
}
