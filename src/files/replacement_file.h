// Replacing a map file's content without ever losing it, while other
// processes save and load the same file: the save protocol.
//
// States of a save, each reached by the function named:
//   unlocked    nothing held.
//   locked      open(): the file the path names (links followed) is open and
//               its save byte held (map_lock.h), checked to be still the
//               file at that name; a file not made yet is locked through its
//               temporary instead.
//   temporary   takeTemporary(): page.ma~ beside the name is held under its
//               own save byte: made fresh, or a leftover.
//   recovered   recoverRewrite(): the one recovery (rewrite_recovery.h) has
//               found the file whole, put a rewrite cut short back, or taken
//               a stale mark away; else the save refuses and releases.
//   chosen      whyRewriteInPlace(): by rename, or in place.
//   By rename:
//   written     replaceByRename(): the temporary holds the new content, synced,
//               with the old file's mode, owner, attributes and ACL.
//   published   renameTemporary(), publishedByRename(): renamed over the file,
//               the folder synced.
//   In place (rewriteInPlace(), rewrite_journal.h):
//   journaled   the old content copied into the temporary, the file marked,
//               the journal's header written, journal and folder synced;
//   writing     the content byte held exclusively, the new content written
//               and synced;
//   committed   commitJournal(): the journal emptied and synced;
//   unmarked    the mark cleared.
//   A failure while writing rolls back: rollBack(), then the journal is
//   emptied, or kept for the next load or save.
//   release()   from any state: the locks go; a temporary goes unless it
//               became the file or is a journal still needed.
//
// Invariants:
//   1. Only the holder of a file's save byte changes the file, its
//      temporary, its journal or its mark.
//   2. A file's bytes change in place only while a complete journal of its
//      old content, synced with its folder, lies beside the name its mark
//      gives (unmarked only where the file system keeps no marks and the
//      file has no other name).
//   3. The mark is set before the journal is complete, and cleared only once
//      the journal is emptied: no complete journal's file lacks its mark.
//   4. No load reads the file while its bytes change (the content byte), and
//      a rewrite waiting for it holds new loads off (the writer byte).
//   5. A complete journal goes only once put back, or committed, or by its
//      user's decision (pagemap journal): never because no file is there.
//   6. A journal is applied only to the file it names (device and inode,
//      the mark's rewrite id, and no flagged journal to an unmarked file),
//      and only when its owner could have written that file.
//   7. A mark is stale only when its journal is provably gone or done: its
//      name leads to this very file here and no journal of its rewrite lies
//      beside it (a mark without a name: a leftover lies beside this name).
//   8. A save that returns 0 has published the new content durably.
//   9. A sync point proves the file unchanged only when it was taken a tick
//      after the file's times by the file system's own clock.
//
// The normal way to publish is by rename: a reader sees the old content or
// the new, never a mix, and a crash leaves the old file whole. Where a new
// file would lose something the old one has, the file is rewritten in place:
//   - the file has other names (hard links), which a rename would leave with
//     the old pairs;
//   - its owner or group cannot be given to a new file;
//   - its extended attributes or access control list cannot be copied;
//   - the platform renames over no file another program holds open.
// A folder that takes no new file leaves no room for the journal: such a
// rewrite is refused rather than made unsafely. A symbolic link is followed:
// the file it points to is replaced and the link stays a link. A file the
// process may not write is refused.
//
// The temporary's name is the file's own name with its last character
// replaced by '~' ("page.ma~"), no longer than the file's name, so any path
// that fits the platform's limit has a temporary that fits too: a folder
// holds at most one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/file_error.h"
#include "files/file_system.h"
#include "files/map_lock.h"
#include "files/sync_point.h"

namespace trel {

class ReplacementFile {
  public:
    explicit ReplacementFile(std::string path) : path_(std::move(path)) {}
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;
    // Releases the locks; a temporary that was not renamed is removed first.
    ~ReplacementFile();

    // Opens the file for replacing: finds it (following links), checks that
    // it may be written, takes its save lock (waiting a while for another
    // process's save to end, for up to `waitMilliseconds`), takes the
    // temporary, puts back a rewrite cut short (kept in a leftover temporary,
    // or through another name of the file) and chooses between a rename and
    // a rewrite in place.
    FileError open(int64_t waitMilliseconds = kLockWaitMilliseconds);

    // The file as it is under the lock; not existing when there is none.
    const FileIdentity &present() const { return present_; }
    // The file system's clock less this host's, as the times it stamped on
    // the fresh temporary tell; false where they tell nothing.
    bool clockOffset(int64_t *offsetNs) const;
    // Reads the present file from its start, a block a call, through the
    // locked file; *got tells how many bytes, fewer than `room` only at its
    // end. A file this process may write but not read fails with EACCES.
    bool readPresent(char *into, size_t room, size_t *got);

    // Makes [data, data + size) the file's content. On failure the file is
    // as it was, unless published() says the new content is in place all
    // the same (the error then says so).
    FileError replace(const char *data, size_t size);
    // After replace(): whether the new content is the file now, and the new
    // file's identity, taken from the open file while still locked.
    bool published() const { return published_; }
    const FileIdentity &publishedIdentity() const { return publishedIdentity_; }

  private:
    // The failure errno and refusal_ describe.
    FileError failure() const;
    bool takeTemporary(const Deadline &deadline);
    // Measures the clocks' offset from the times of the fresh temporary.
    void noteClockOffset(const FileIdentity &fresh);
    // Gives up on a leftover whose removal another program's handle holds off.
    bool leftoverHeldOpen();
    // Takes the present file's save lock; a wait that runs out says so.
    bool lockPresent(const Deadline &deadline);
    // The one recovery of a rewrite cut short (rewrite_recovery.h), with
    // the leftover beside this name when one is held: puts the file back or
    // takes a stale mark away, or refuses, keeping the leftover.
    bool recoverRewrite(NativeFile leftover, bool writable, const Deadline &deadline);
    // Why a new file renamed over the present one would lose something it
    // has; null when the fresh temporary could be given all of it (it is
    // given what it can as this is asked).
    const char *whyRewriteInPlace();
    bool inPlace() const { return inPlaceReason_ != nullptr; }
    bool replaceByRename(const char *data, size_t size);
    bool replaceInPlace(const char *data, size_t size);
    // Gives the temporary its new name: over the file, or where there is none
    // yet, only while there is none.
    bool renameTemporary();
    // False; where the new name was taken (EEXIST), the refusal says so.
    bool madeMeanwhile();
    // Once the temporary has the file's name: records the new file and syncs
    // its folder.
    bool publishedByRename();
    void release();

    std::string path_;
    std::string target_;
    std::string temporary_;
    FileIdentity present_;
    bool published_ = false;
    FileIdentity publishedIdentity_;
    std::string refusal_;                 // why, where errno alone would mislead
    uint64_t readAt_ = 0;                 // readPresent's position
    NativeFile targetFile_ = kNoFile;     // the present file, locked
    NativeFile temporaryFile_ = kNoFile;  // the temporary, locked; none when none could be made
    int temporaryError_ = 0;              // why there is none
    int64_t clockOffsetNs_ = 0;           // see clockOffset()
    bool clockOffsetKnown_ = false;
    bool targetReadable_ = false;
    // Why the file is rewritten in place, for the messages of a rewrite that
    // cannot be made; null: it is replaced by a rename.
    const char *inPlaceReason_ = nullptr;
    bool keepJournal_ = false;  // a journal still needed, for the next save or load
    // The temporary is this save's to remove: made by it, or a leftover found
    // to be no journal of the file, or put back. Another save's, or one not
    // looked at yet, stays.
    bool ownsTemporary_ = false;
    // This round's recovery has run.
    bool recovered_ = false;
    // The temporary was a second name of the file, removed; where a removal
    // waits for the file's last handle, this save's own among them, open()
    // lets go of everything and starts over.
    bool startOver_ = false;
};

}  // namespace trel
