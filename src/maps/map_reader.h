// Opening a map file for a load, so that the load reads one whole version of
// it: the file's content lock (see map_lock.h) is held shared while it is
// read, so a rewrite in place never changes it meanwhile,
// and a rewrite cut short by a crash is put back first (see
// rewrite_journal.h). A process that may not write the file reads the old
// content from the journal instead.
#pragma once

#include <cstdint>
#include <string>

#include "maps/map_text_reader.h"
#include "maps/native_file.h"
#include "maps/sync_point.h"

namespace trel {

class MapReader {
  public:
    explicit MapReader(std::string path) : path_(std::move(path)) {}
    MapReader(const MapReader &) = delete;
    MapReader &operator=(const MapReader &) = delete;
    ~MapReader();

    // 0 once the file is open for reading, else the system's reason (ENOENT
    // when there is no file).
    int open();
    // The open file's identity; not existing when the content comes from a
    // journal, which is no file a save could compare with.
    const FileIdentity &identity() const { return identity_; }
    // The next bytes of the content, from its start; for a source of readPairs.
    ReadChunk read(char *into, size_t room);
    // The line, from 1, that holds the byte at `offset` of the content.
    uint64_t lineAt(uint64_t offset);

  private:
    bool readAt(uint64_t at, char *into, size_t room, size_t *got);

    std::string path_;
    FileIdentity identity_;
    uint64_t at_ = 0;
    NativeFile file_ = kNoFile;
    NativeFile journal_ = kNoFile;  // read instead of the file when open
    uint64_t journalSize_ = 0;
};

}  // namespace trel
