// Key texts and their identities.
#include "maps/unit_key.h"

#include <cstring>
#include <unordered_map>

#include "util/string_save.h"

namespace trel {
namespace {

// Saved text address -> ordinal. Process-wide and never released, like the
// string-save table it indexes; allocated once so no destructor runs at exit.
std::unordered_map<const char *, uint32_t> &ordinals() {
    static auto *table = new std::unordered_map<const char *, uint32_t>();
    return *table;
}

// Appends `text` at `*at` if it fits before `end`.
bool append(char **at, const char *end, const char *text) {
    size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(end - *at)) return false;
    std::memcpy(*at, text, length);
    *at += length;
    return true;
}

}  // namespace

bool unitKey(const UnitName &unit, uint32_t *id) {
    if (!unit.complete()) return false;
    char text[kUnitKeySize];
    char *at = text;
    const char *end = text + sizeof text;  // one byte stays for the NUL
    if (!append(&at, end, unit.lib) || !append(&at, end, ".") || !append(&at, end, unit.cell) ||
        !append(&at, end, ":") || !append(&at, end, unit.view)) {
        return false;
    }
    *at = '\0';

    const char *saved = hashsavestr(text);
    auto &table = ordinals();
    auto found = table.find(saved);
    if (found == table.end()) {
        found = table.emplace(saved, static_cast<uint32_t>(table.size() + 1)).first;
    }
    *id = found->second;
    return true;
}

}  // namespace trel
