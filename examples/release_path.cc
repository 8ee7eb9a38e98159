// trelMapFilePath allocates its text with new[], and only delete[] releases
// such a text soundly. C cannot say delete[], so this one C++ function says it
// for a C host; it shares the process's one global operator delete[] with
// libtrel. free() would be a mismatch: it works only while operator new[]
// happens to call malloc, AddressSanitizer reports it, and a host that
// replaces operator new breaks. On Windows, build it against the C runtime
// that trel.dll uses (see the README).
#include "release_path.h"

extern "C" void releaseMapFilePath(char *path) {
    delete[] path;
}
