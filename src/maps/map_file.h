// Loading a page map from its map file and saving it there.
//
// In file mode 0 the pairs are read and written as text (see map_text.h).
// In any other mode the file is only opened and closed again: a load reads no
// pair and a save writes none, opening for appending so that an existing map
// file is never emptied and a missing one is created.
//
// A page map remembers what its pairs hold of the file (the State of its
// MapFileRecord, PageMap::file()).
// A mode-0 save never replaces a file whose pairs the page map does not hold
// in full: one that was damaged, unreadable, or loaded in another mode. Only a
// load that reads the whole file, or a clear the host asked for, lifts that.
#pragma once

#include <string>

#include "maps/page_map.h"

namespace trel {

// Adds the file's pairs to the page map (later pairs for the same page
// replace earlier ones) without touching its modified flag. Returns 0, or
// TREL_CANNOT_READ when the file cannot be opened or read to its end; a file
// that exists but cannot be read in full also gets a message in *problem.
// When the file cannot be opened or read (not for a damaged one), errno then
// tells the system's reason.
int loadMapFile(PageMap &map, int fileMode, std::string *problem);

// Returns 0, or TREL_CANNOT_WRITE with a message in *problem and errno
// telling the system's reason. In mode 0 the pairs replace the file only once
// all of them are safely written (see replacement_file.h), and a successful
// save clears the modified flag.
int saveMapFile(PageMap &map, int fileMode, std::string *problem);

// "Failed to open map file <path> for write", the message of a failed save.
std::string cannotWriteMessage(const std::string &path);

}  // namespace trel
