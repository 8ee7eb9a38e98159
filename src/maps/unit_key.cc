// Key texts and their identities.
#include "maps/unit_key.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include "util/string_save.h"

namespace trel {
namespace {

// The three names, each ended by a NUL (which no name holds) -> ordinal. A
// unit seen before is found with one hash lookup; its first sight is the only
// time its key text goes to the string-save table. The table lives as long as
// the process, like the saved texts; allocated once so no destructor runs at
// exit while a host may still call in.
std::unordered_map<std::string, uint32_t> &ordinals() {
    static auto *table = new std::unordered_map<std::string, uint32_t>();
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

    std::string names;
    names.reserve(static_cast<size_t>(at - text) + 1);
    names.append(unit.lib).push_back('\0');
    names.append(unit.cell).push_back('\0');
    names.append(unit.view).push_back('\0');
    auto &table = ordinals();
    auto found = table.find(names);
    if (found == table.end()) {
        hashsavestr(text);
        found = table.emplace(std::move(names), static_cast<uint32_t>(table.size() + 1)).first;
    }
    *id = found->second;
    return true;
}

}  // namespace trel
