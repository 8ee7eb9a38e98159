// Loading a page map from its map file and saving it there.
//
// In file mode 0 the pairs are read and written as text (see pair_text.h).
// In any other mode the file is only opened and closed again: a load reads no
// pair and a save writes none, opening for appending so that an existing map
// file is never emptied and a missing one is created.
#pragma once

#include "maps/page_map.h"

namespace trel {

// Adds the file's pairs to the page map (later pairs for the same page
// replace earlier ones) without touching its modified flag. Returns 0, or
// TREL_CANNOT_READ when the file cannot be opened or read.
int loadMapFile(PageMap &map, int fileMode);

// Returns 0, or TREL_CANNOT_WRITE when the file cannot be written. In mode 0
// the pairs replace the file only once all of them are safely written, and a
// successful save clears the modified flag.
int saveMapFile(PageMap &map, int fileMode);

}  // namespace trel
