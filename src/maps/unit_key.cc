// Key texts and their identities.
#include "maps/unit_key.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "util/string_save.h"

namespace trel {
namespace {

// Key text -> ordinal. The keys view the saved texts, which are never moved
// or released, so a text seen before is found with one hash lookup and its
// first sight is the only time it goes to the string-save table. The table
// lives as long as the process, like the saved texts; allocated once so no
// destructor runs at exit while a host may still call in.
std::unordered_map<std::string_view, uint32_t> &ordinals() {
    static auto *table = new std::unordered_map<std::string_view, uint32_t>();
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
    const std::string_view key(text, static_cast<size_t>(at - text));

    auto &table = ordinals();
    auto found = table.find(key);
    if (found == table.end()) {
        const std::string_view saved(hashsavestr(text), key.size());
        found = table.emplace(saved, static_cast<uint32_t>(table.size() + 1)).first;
    }
    *id = found->second;
    return true;
}

}  // namespace trel
