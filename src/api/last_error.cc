// The last-error buffer and the messages written into it.
#include "api/last_error.h"

#include <cstdarg>
#include <cstdio>

namespace trel {
namespace {
char lastError[kLastErrorSize];

const char *printable(const char *name) {
    return name != nullptr ? name : "(null)";
}
}  // namespace

void reportError(const char *format, ...) {
    va_list args;
    va_start(args, format);
    // vsnprintf cuts a long message at the buffer's end and always terminates it.
    // (The analyser reports `args` uninitialised only when it has analysed
    // entry_points.cc before this file in the same run.)
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    std::vsnprintf(lastError, sizeof lastError, format, args);
    va_end(args);
}

void reportBadSpec(const UnitName &unit) {
    reportError("%s", badSpecMessage(unit).c_str());
}

std::string badSpecMessage(const UnitName &unit) {
    return std::string("Wrong lib.cell:view specification (") + printable(unit.lib) + "." +
           printable(unit.cell) + ":" + printable(unit.view) + ")";
}

void reportNoActiveMap() {
    reportError("No active page map present");
}

char *lastErrorText() {
    return lastError;
}

}  // namespace trel
