// The process-wide table of libraries (name -> directory) and the rule for the
// names that may appear in it and in a unit's cell and view.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace dree {

using LibraryTable = std::map<std::string, std::string, std::less<>>;

// The one table that every entry point reads and changes.
LibraryTable &libraries();

// A name may become one component of a directory path: it is not empty, not
// "." or "..", and holds no path separator and no NUL byte.
bool isAcceptableName(std::string_view name);

// The directory as stored: trailing '/' dropped, except for the root itself.
std::string_view trimTrailingSeparators(std::string_view directory);

}  // namespace dree
