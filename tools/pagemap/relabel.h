// The relabel commands: hierarchical names rewritten so that their page
// labels follow the page maps, given as operands or streamed one a line.
#pragma once

#include <string>
#include <vector>

#include "exit_status.h"

// Relabels every element after the first of each name, or with `lastOnly`
// the last element only (relabel-last). Relabels each operand, or every line of standard input when
// the only operand is "-" or there is none, printing one result a line. A name that cannot be
// relabelled is printed unchanged, so output lines stay aligned with input lines, and reported; the
// exit status is that of the first failure. With `strict`, a name with an element whose parent unit
// is unknown is reported too, and is a failure.
ExitStatus runRelabelCommand(bool lastOnly, const std::vector<std::string> &operands, bool strict);
