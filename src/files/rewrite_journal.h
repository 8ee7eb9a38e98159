// The journal that makes a rewrite in place safe against a crash.
//
// Before the first byte of a map file changes in place, its old content is
// copied, synced, into the file's one temporary (see replacement_file.h),
// behind a header that names the file by device and inode and gives the old
// content's length and digest. The header is written last, so only a whole
// copy carries one. Once the new content is synced, the journal is emptied
// and synced: that is the moment the rewrite counts as done.
//
// So a complete journal of a file, found by someone who holds the file's
// content lock, means a rewrite was cut short: the file may be torn, and
// its old content is put back before anything reads it, unless the file
// already holds the whole new content, whose length and digest the header
// also gives. A journal whose header names another file, or whose copy is
// not whole, means the file itself was never touched.
//
// A journal lies beside the name the rewrite went through. So that a
// rewrite cut short is found through every name of a file with several, the
// rewrite marks the file itself (an extended attribute, which every name
// shares) with that name from before its first byte changes until the
// journal is emptied. Where the file system keeps no marks, a rewrite cut
// short is found through its own name only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/content_digest.h"
#include "files/file_system.h"

namespace trel {

// The header's size; the old content follows it.
constexpr size_t kJournalHeaderSize = 128;

struct JournalHeader {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;    // of the old content
    uint64_t digest = 0;  // ContentDigest of the old content
    // The new content's, where known (journals of earlier builds lack them).
    bool knowsNew = false;
    uint64_t newSize = 0;
    uint64_t newDigest = 0;
    // The file was marked before this journal was complete (journals of
    // earlier builds, and of file systems that keep no marks, are not): a
    // file that bears no mark then is another file, which took the number
    // of the journal's file after that one was removed.
    bool fileMarked = false;
};

// The header as kJournalHeaderSize bytes of text: a line that no map file
// holds ("#" is no number), padded with blanks.
std::string journalHeaderText(const JournalHeader &header);
// False when `text` (of `size` bytes) is no header.
bool parseJournalHeader(const char *text, size_t size, JournalHeader *header);
// Whether a header names the file of `identity`.
bool journalNames(const JournalHeader &header, const FileIdentity &identity);

// What an open temporary is to the file of `identity`.
enum class JournalState {
    none,        // no complete journal of that file: the file was never touched
    complete,    // a rewrite of it was cut short; the header is in *header
    unreadable,  // it could not be read (errno says why): it may be either
};
JournalState journalState(NativeFile journal, const FileIdentity &identity, JournalHeader *header);
// Whether an open temporary is a complete journal of any file.
JournalState anyJournalState(NativeFile journal, JournalHeader *header);
// The id of the rewrite a journal keeps, which its mark holds too: a digest
// of the header, so that the header needs no field of its own for it and
// journals of earlier builds have one as well.
uint64_t rewriteIdOf(const JournalHeader &header);
// Whether a temporary that cannot be opened, named `path`, may be a complete
// journal: it is, or may be, a header long at least.
bool mayBeJournal(const std::string &path);
// Recovery of a rewrite cut short: rolls the file back unless it holds the
// whole new content already, when the rewrite only missed its commit.
bool recoverFromJournal(NativeFile journal, NativeFile file, const JournalHeader &header);
// Rolls back: puts the journal's old content back into `file` and syncs it,
// whatever the file holds. A rewrite that fails undoes itself so.
bool rollBack(NativeFile journal, NativeFile file, const JournalHeader &header);
// Commits the rewrite: empties the journal and syncs it.
bool commitJournal(NativeFile journal);
// How a rewrite in place ended.
enum class Rewrite {
    done,        // the new content is in place and synced
    failed,      // the old content is in place again, or the journal is kept
                 // for the next load or save to put it back (*keepJournal)
    notDurable,  // the new content is in place, but its sync failed
    notMarked,   // the file could not be marked; it is untouched
};
// Whether errno says the file system keeps no marks at all.
bool marksUnsupported(int error);
// Rewrites `file`, named `path`, whose present content is `present`, in
// place with [data, data + size): the old content first into `journal` (the
// file's fresh temporary), the file marked, the journal's header written and
// synced, room for the new content taken, the new content written and
// synced, the journal emptied, the mark removed. The caller holds the
// file's save lock and its content lock, exclusively. errno tells why a
// rewrite did not end `done`.
Rewrite rewriteInPlace(NativeFile file, const std::string &path, NativeFile journal,
                       const FileIdentity &present, const char *data, size_t size,
                       bool *keepJournal);

// Reads the old content kept in the journal, from `at`.
bool readJournal(NativeFile journal, uint64_t at, char *into, size_t room, size_t *got);

}  // namespace trel
