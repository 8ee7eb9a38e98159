// pagemap journal: shows a unit's journal and mark and, once the user
// confirms, resolves what no load or save can recover by itself.
#pragma once

#include <string>
#include <vector>

#include "exit_status.h"

ExitStatus runJournalCommand(const std::vector<std::string> &operands);
