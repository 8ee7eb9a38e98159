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

// Path separators: '/' everywhere, and the backslash as well on Windows.
bool isSeparator(char c);

// A directory taken as written, never relative to a definitions file's folder:
// one that begins with a separator, and on Windows also a UNC path
// (\\server\share) or one that begins with a drive letter (C:\designs,
// C:/designs, or C:designs, which is relative to that drive's own folder).
bool isAbsolute(std::string_view directory);

// The directory as stored: trailing separators dropped, except the one of a
// root (/, and on Windows \ or C:\), which is its meaning.
std::string_view trimTrailingSeparators(std::string_view directory);

}  // namespace dree
