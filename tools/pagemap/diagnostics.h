// Error reports on standard error, each line "pagemap: ...", with the
// library's own explanation where it gives one.
#pragma once

#include <string>

#include "design_unit.h"
#include "exit_status.h"

// Prints "pagemap: <message>" and a line end on standard error.
void printError(const std::string &message);

// Prints "pagemap: warning: <message>" and a line end on standard error.
void reportWarning(const std::string &message);

// The library's last-error text: the message of the failure a call has just
// returned, when its status carries one.
std::string libraryLastError();

// Why the library-path service refuses the unit, or "" when it does not; for
// a library that is not defined, how to define one.
std::string whyUnitIsUnknown(const DesignUnit &unit);

// Reports a failure status of a page-map call or load on `unit` and returns
// the exit status for it. Statuses that name a missing pair are the caller's
// to handle. `systemError` is errno right after the call, for a failed save's
// reason.
ExitStatus reportLibraryFailure(int status, const DesignUnit &unit, int systemError = 0);
