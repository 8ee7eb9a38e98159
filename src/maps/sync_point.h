// What a page map last read in full from its map file or wrote there: the
// file's identity (device, inode, size, modification time) and a digest of its
// bytes. A save compares the file with it to learn whether another process
// has saved since; the identity is checked first, so an unchanged file is
// never read, and the digest confirms a change before pairs are merged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace trel {

struct FileIdentity {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;

    bool operator==(const FileIdentity &other) const {
        return exists == other.exists &&
               (!exists || (device == other.device && inode == other.inode && size == other.size &&
                            modifiedNs == other.modifiedNs));
    }
};

// The identity of an open file, or of the file at a path (not existing when
// it cannot be found).
FileIdentity identityOf(std::FILE *file);
FileIdentity identityOfPath(const std::string &path);

// A 64-bit digest of a byte stream, the same however the stream is cut.
class ContentDigest {
  public:
    void add(const char *data, size_t size);
    uint64_t value() const;

  private:
    void mix(uint64_t word) { hash_ = (hash_ ^ word) * 0x9E3779B97F4A7C15ULL ^ (hash_ >> 29); }

    uint64_t hash_ = 0x243F6A8885A308D3ULL;
    uint64_t length_ = 0;
    unsigned char pending_[8] = {};
    size_t pendingSize_ = 0;
};

struct SyncPoint {
    bool known = false;  // false: nothing was read or written in full
    FileIdentity file;
    bool digestKnown = false;  // false: the file was not read to its end
    uint64_t digest = 0;
};

}  // namespace trel
