// The check made before an edit replaces a map file. The library reads a map
// file as far as it holds page pairs and ignores what it cannot read, so a
// save after an edit would silently drop the rest; the tool refuses to edit a
// unit whose existing file it cannot read completely.
#pragma once

#include <string>

#include "exit_status.h"

// kSuccess when the file does not exist or is a well-formed list of pairs
// (signed 32-bit decimal integers, two per pair, separated by white space);
// otherwise reports why and returns kCannotRead.
ExitStatus checkMapFileBeforeEdit(const std::string &path);
