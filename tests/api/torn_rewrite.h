// What a rewrite in place killed before its end leaves, laid out directly.
#pragma once

#include <string>

#include "api/design_fixture.h"
#include "files/file_system.h"
#include "files/rewrite_journal.h"
#include "files/sync_point.h"

namespace testing_design {

// A torn `path` (the page.map of a unit) holding `torn`, and beside it the
// complete journal of its `old` content.
inline void leaveTornRewrite(const std::string &path, const std::string &old,
                             const std::string &torn) {
    writeFile(path, torn);
    const trel::FileIdentity file = trel::systemFileSystem().identityOf(path, true);
    trel::JournalHeader header;
    header.device = file.device;
    header.inode = file.inode;
    header.size = old.size();
    trel::ContentDigest digest;
    digest.add(old.data(), old.size());
    header.digest = digest.value();
    writeFile(path.substr(0, path.size() - 1) + "~", trel::journalHeaderText(header) + old);
}

}  // namespace testing_design
