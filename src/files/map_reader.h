// Opening a map file for a load, so that the load reads one whole version of
// it. States of a load, each reached by the function named:
//   open        open(): the file is open, its content byte held shared once
//               no rewrite waits for it (letWriterIn), so no rewrite in place
//               changes it meanwhile;
//   inspected   RewriteRecovery::inspect(): whole, or marked stale: the file
//               is read; refused: the load refuses with the recovery's words;
//               torn: the file is let go and
//   recovering  a save's open() puts it back under the save byte, and its
//               result is kept (recoveryFailure()); the file is opened and
//               inspected once more. Still torn (the process may not write the
//               file, a save holds it, the disk fails), the load reads the old
//               content from the journal, which its owner could have written.
#pragma once

#include <cstdint>
#include <string>

#include "files/file_error.h"
#include "files/file_system.h"
#include "files/sync_point.h"

namespace trel {

class MapReader {
  public:
    explicit MapReader(std::string path) : path_(std::move(path)) {}
    MapReader(const MapReader &) = delete;
    MapReader &operator=(const MapReader &) = delete;
    ~MapReader();

    // Opens the file for reading; ENOENT when there is none.
    FileError open();
    // The open file's identity; not existing when the content comes from a
    // journal, which is no file a save could compare with.
    const FileIdentity &identity() const { return identity_; }
    // The next bytes of the content, from its start; *got tells how many,
    // fewer than `room` only at its end.
    bool read(char *into, size_t room, size_t *got);
    // Bytes of the content from `at`.
    bool readAt(uint64_t at, char *into, size_t room, size_t *got);
    // Why a rewrite cut short could not be put back, when open() found one:
    // the content then comes from its journal.
    const FileError &recoveryFailure() const { return recoveryFailure_; }

  private:
    FileError refuse(int error, const std::string &message);

    std::string path_;
    FileIdentity identity_;
    uint64_t at_ = 0;
    NativeFile file_ = kNoFile;
    NativeFile journal_ = kNoFile;  // read instead of the file when open
    uint64_t journalSize_ = 0;
    FileError recoveryFailure_;
};

}  // namespace trel
