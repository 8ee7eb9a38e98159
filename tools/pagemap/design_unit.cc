// Parsing the operands of the page-map commands.
#include "design_unit.h"

#include <charconv>

std::optional<DesignUnit> parseDesignUnit(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon < dot) return std::nullopt;
    DesignUnit unit{std::string(text.substr(0, dot)),
                    std::string(text.substr(dot + 1, colon - dot - 1)),
                    std::string(text.substr(colon + 1))};
    if (unit.lib.empty() || unit.cell.empty() || unit.view.empty()) return std::nullopt;
    return unit;
}

namespace {

// The whole text as one decimal integer (optional '-'), or nothing.
std::optional<int64_t> parseWhole(std::string_view text) {
    int64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int32_t> parsePageNumber(std::string_view text) {
    const std::optional<int64_t> value = parseWhole(text);
    if (!value || *value < INT32_MIN || *value > int64_t{UINT32_MAX}) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(*value));
}

std::optional<int32_t> parseSignedNumber(std::string_view text) {
    const std::optional<int64_t> value = parseWhole(text);
    if (!value || *value < INT32_MIN || *value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*value);
}
