// How the save baselines end their writes: exactly as durably as the
// library's save, so that both sides of a save case pay the same sync. The
// library writes beside the file under a temporary name, syncs it, renames it
// over the file and syncs the folder; so do the baselines.
#pragma once

#include <string>

namespace bench {

// The name a baseline writes under before renaming: the file's, with '~'.
std::string temporaryFor(const std::string &path);

// Syncs the open file `fd` (and closes it), renames `temporary` over `path`
// and syncs the folder. False when any step fails.
bool syncAndRename(int fd, const std::string &temporary, const std::string &path);

}  // namespace bench
