// Key texts.
#include "maps/unit_key.h"

#include <cstring>

namespace trel {
namespace {

// Appends `text` at `*at` if it fits before `end`.
bool append(char **at, const char *end, const char *text) {
    const size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(end - *at)) return false;
    std::memcpy(*at, text, length);
    *at += length;
    return true;
}

// Writes the key text into `text`; false when a name is missing or it does
// not fit.
bool keyText(const UnitName &unit, char (&text)[kUnitKeySize]) {
    if (!unit.complete()) return false;
    char *at = text;
    const char *end = text + kUnitKeySize;  // one byte stays for the NUL
    if (!append(&at, end, unit.lib) || !append(&at, end, ".") || !append(&at, end, unit.cell) ||
        !append(&at, end, ":") || !append(&at, end, unit.view)) {
        return false;
    }
    *at = '\0';
    return true;
}

}  // namespace

bool unitKeyFits(const UnitName &unit) {
    char text[kUnitKeySize];
    return keyText(unit, text);
}

}  // namespace trel
