// What a user can learn and do about a unit's journal and mark when no load
// or save can recover the file by itself: a journal beside a name that leads
// elsewhere, another user's journal, a mark with no journal anywhere, the
// journal of a file moved away. The tool shows the report and, once the user
// confirms, puts the journal's old content back or discards journal and mark.
#pragma once

#include <cstdint>
#include <string>

#include "files/file_error.h"

namespace trel {

struct RewriteReport {
    std::string mapFile;  // the file the path leads to
    bool fileExists = false;
    uint64_t inode = 0;
    uint32_t links = 0;
    bool marked = false;
    std::string mark;  // its value: "" for a mark without a name
    std::string journalFile;
    bool journalExists = false;
    bool journalComplete = false;  // a whole journal, of whichever file
    uint64_t journalNames = 0;     // the inode its header names
    uint32_t journalOwner = 0;
    uint64_t oldSize = 0;  // of the content it keeps
    // What a load finds: "" when it reads the file; else its refusal or what
    // it does (puts the file back).
    std::string verdict;
};

// Looks at the map file at `path`, its mark and the journal its mark or its
// name leads to, without changing anything.
RewriteReport reportRewrite(const std::string &path);

// Writes the journal's old content into the map file at `path` (making the
// file where none is), under the file's save lock, then removes the journal
// and the mark: what a user does who knows the journal holds the pairs.
FileError putJournalBack(const std::string &path);
// Removes the journal and the mark, leaving the file as it is.
FileError discardJournal(const std::string &path);

}  // namespace trel
