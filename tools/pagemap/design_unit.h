// A design unit named on the command line as LIB.CELL:VIEW, and the page
// numbers that commands take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "api/tool_interface.h"

struct DesignUnit {
    std::string lib;
    std::string cell;
    std::string view;

    // "lib.cell:view", the form the library uses in its messages.
    std::string text() const { return lib + "." + cell + ":" + view; }
    // The names as the library's registry takes them, valid while this unit is.
    trel::UnitName names() const { return {lib.c_str(), cell.c_str(), view.c_str()}; }
};

// Splits LIB.CELL:VIEW at the first '.' and the last ':'; every part must be
// non-empty. Nothing when the text is not of that form.
std::optional<DesignUnit> parseDesignUnit(std::string_view text);

// A page number in decimal: any 32-bit signed value, or an unsigned one up to
// 4294967295 (as dumps print pages), which stands for the signed value with
// the same bits. Nothing for anything else, including trailing characters.
std::optional<int32_t> parsePageNumber(std::string_view text);

// A plain signed 32-bit decimal integer.
std::optional<int32_t> parseSignedNumber(std::string_view text);
