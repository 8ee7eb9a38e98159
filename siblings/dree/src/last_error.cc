// The last-error buffer. A fixed array rather than a std::string so that
// recording a failure can itself never fail, not even for lack of memory.
#include <cstdarg>
#include <cstdio>

#include "dree.h"
#include "last_error.h"

namespace {
char lastError[1024];
}  // namespace

int dree::fail(int code, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    // The analyser loses track of va_start here; the list is started above.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    std::vsnprintf(lastError, sizeof lastError, format, arguments);
    va_end(arguments);
    return code;
}

extern "C" const char *dreeLastError(void) {
    return lastError;
}
