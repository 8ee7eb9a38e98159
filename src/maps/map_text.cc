// The digit table of the map file writer; the reader and the writer themselves
// are inline in the header, as they run for every pair of a file.
#include "maps/map_text.h"

namespace trel {

const char kDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

}  // namespace trel
