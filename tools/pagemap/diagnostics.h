// Error reports on standard error, each line "pagemap: ...", with the
// library's own explanation where it gives one.
#pragma once

#include <string>

#include "design_unit.h"
#include "exit_status.h"

// Prints "pagemap: <message>" and a line end on standard error.
void reportError(const std::string &message);

// The library's last-error text.
std::string libraryLastError();

// Why the library-path service refuses the unit, or "" when it does not.
std::string whyUnitIsUnknown(const DesignUnit &unit);

// Reports a failure status of a page-map call on `unit` and returns the exit
// status for it. Statuses that name a missing pair are the caller's to handle.
ExitStatus reportLibraryFailure(int status, const DesignUnit &unit);
