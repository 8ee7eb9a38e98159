// Finding out whether a map file's last rewrite in place was cut short, and
// putting it back: the one recovery that loads and saves share.
//
// What the file's mark and journal (see rewrite_journal.h, rewrite_mark.h)
// can say about it, as found by inspect():
//   whole       no mark, and no complete journal of the file beside its name
//               (a leftover there that is no journal of it is just a leftover);
//   staleMark   a mark whose rewrite is known to have ended: the journal it
//               leads to is gone, emptied or another's, and its name leads to
//               this very file here (or, for a mark without a name, a
//               leftover lies beside this name, which took the journal's place);
//   torn        a complete journal of the file, which the mark (if it names
//               its rewrite) leads to, made by someone who could have written
//               the file: the old content goes back before anything reads it;
//   refused     nothing can be told, or done, safely: the journal cannot be
//               read, was made by someone who could not have written the
//               file, lies beside a name that leads elsewhere here, or the
//               mark cannot be read or holds no name and no leftover is here.
//               The refusal says why, and what to do.
// recover(), under the file's save lock, takes a file from torn to whole
// (putBack) and from staleMark to whole (the mark goes); it refuses the rest.
#pragma once

#include <string>

#include "files/file_error.h"
#include "files/file_system.h"
#include "files/rewrite_journal.h"
#include "files/rewrite_mark.h"

namespace trel {

class Deadline;

class RewriteRecovery {
  public:
    enum class State { whole, staleMark, torn, refused };

    // `file` is the map file, open at `target`, with identity `present`
    // (kNoFile where there is none);
    // A save has looked beside `target` already: `leftover`, when open, is
    // the leftover temporary it found there and keeps (`writable`: open for
    // writing); none when it found none. A load has not: the recovery looks.
    RewriteRecovery(NativeFile file, std::string target, const FileIdentity &present);
    RewriteRecovery(NativeFile file, std::string target, const FileIdentity &present,
                    NativeFile leftover, bool leftoverWritable);
    RewriteRecovery(const RewriteRecovery &) = delete;
    RewriteRecovery &operator=(const RewriteRecovery &) = delete;
    ~RewriteRecovery();

    State inspect();
    State state() const { return state_; }
    // Why the file is refused, when it is.
    const FileError &refusal() const { return refusal_; }
    // The refusal is for a journal another program holds open without
    // sharing it, which may be waited for.
    bool journalHeld() const { return journalBusy_; }
    // The mark holds no name (file_system.h).
    bool namelessMark() const { return marked_ && mark_.name.empty(); }
    // Whether the leftover beside this name is a complete journal of a file
    // other than this one (moved, or replaced by another program since):
    // it keeps old content that may still be needed, and no save removes it.
    bool leftoverKeepsAnotherFile() const { return leftoverKeepsAnotherFile_; }
    // The refusal of a save that meets such a leftover.
    FileError keepsAnotherFile() const;

    // Takes the file to whole: the caller holds its save lock, and the file is
    // open for writing (`writable`). A torn file that cannot be written fails
    // with EACCES; the journal then stays.
    FileError recover(bool writable, const Deadline &deadline);

    // The journal of a torn file, for a reader that cannot put it back to read
    // the old content from; the caller closes it.
    NativeFile takeJournal(JournalHeader *header);

  private:
    State refuse(int error, std::string message);
    // A journal that may be complete cannot be `how` ("opened", "read"):
    // the file `what` ("cannot be saved"); errno says why.
    State refuseUnreadable(const char *what, const std::string &journal, const char *how);
    void findJournal();
    bool leadsHere(const std::string &name) const;

    NativeFile file_;
    std::string target_;
    FileIdentity present_;
    bool lookedBeside_;
    NativeFile leftover_;
    bool leftoverWritable_;

    State state_ = State::whole;
    FileError refusal_;
    bool marked_ = false;
    RewriteMark mark_;
    std::string journalPath_;
    NativeFile journal_ = kNoFile;  // the journal found; closed here unless it is the leftover
    bool journalWritable_ = false;
    JournalHeader header_;
    bool leftoverKeepsAnotherFile_ = false;
    bool journalBusy_ = false;
    uint64_t otherInode_ = 0;  // the file that leftover names
};

}  // namespace trel
