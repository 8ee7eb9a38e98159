// The one name beside a map file that a save writes to: the new file of a
// save by rename, or the journal of a rewrite in place. Loads, recovery and
// the tool find the journal by it.
#pragma once

#include <string>

namespace trel {

// The temporary name of a file: its last character replaced by '~', or by
// '#' when it is '~' already (page.map -> page.ma~).
inline std::string temporaryNameFor(const std::string &file) {
    std::string name = file;
    if (!name.empty()) name.back() = name.back() == '~' ? '#' : '~';
    return name;
}

}  // namespace trel
