// A file's identity: which file it is (device and inode, or volume and file
// index) and what it last looked like (size, modification and change times).
// Two looks at one file that agree in all of them saw the same content, but
// for a writer on a file system with coarse times that restores them.
#pragma once

#include <cstdint>

#include "maps/native_file.h"

namespace trel {

struct FileIdentity {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;  // on Windows, in the system's 100 ns ticks
    // The inode change time, which every write, rename and change of links or
    // permissions moves and which no writer can set back: a rewrite that
    // keeps the size and restores the modification time still shows here.
    int64_t changedNs = 0;

    bool operator==(const FileIdentity &other) const {
        return exists == other.exists &&
               (!exists || (device == other.device && inode == other.inode && size == other.size &&
                            modifiedNs == other.modifiedNs && changedNs == other.changedNs));
    }
};

// The identity of an open file (not existing when it cannot be told); each
// platform's in its native_file source.
FileIdentity identityOfFile(NativeFile file);

}  // namespace trel
