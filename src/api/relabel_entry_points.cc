// The two relabelling entry points: relabelling itself lives in src/cname;
// here a unit it cannot find is reported as trelGetPageMapping reports it.
#include "api/guarded.h"
#include "api/last_error.h"
#include "cname/relabel.h"
#include "trel.h"

extern "C" {

int trelGetMappedCname(const char *src, char *out, int length) {
    return trel::guarded([&] { return trel::relabelName(src, out, length, trel::reportBadSpec); });
}

int trelGetMapeedCnameLastPathElem(const char *src, char *out, int length) {
    return trel::guarded(
        [&] { return trel::relabelLastElement(src, out, length, trel::reportBadSpec); });
}

}  // extern "C"
