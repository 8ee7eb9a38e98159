// The process-wide last-error text: every failure that carries a message
// overwrites it, successes leave it alone, and the host reads it through
// trelGetLastError.
#pragma once

#include <cstddef>
#include <string>

#include "maps/unit_name.h"

namespace trel {

constexpr size_t kLastErrorSize = 1024;

// Formats a message into the last-error text, cut to fit its buffer.
void reportError(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The messages of the status codes that carry one.
void reportBadSpec(const UnitName &unit);
// "Wrong lib.cell:view specification (...)": what the last-error text reads
// after a call naming `unit` gave TREL_BAD_SPEC, for a caller (the tool, a
// relabelling's report) that learns of an unknown unit from a status.
std::string badSpecMessage(const UnitName &unit);
void reportNoActiveMap();

// The buffer itself, NUL-terminated, for trelGetLastError.
char *lastErrorText();

}  // namespace trel
