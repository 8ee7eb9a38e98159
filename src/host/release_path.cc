// trelReleaseMapFilePath: delete[] said once for every C host. Built into the
// static library trel_release, so it lands in the host and calls the process's
// one global operator delete[], the one that libtrel's new[] pairs with.
#include "trel_release.h"

extern "C" void trelReleaseMapFilePath(char *path) {
    delete[] path;
}
