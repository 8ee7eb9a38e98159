// What a rewrite in place killed before its end leaves, laid out directly.
#pragma once

#include <string>

#include "api/design_fixture.h"
#include "files/content_digest.h"
#include "files/file_system.h"
#include "files/rewrite_journal.h"
#include "files/rewrite_mark.h"

namespace testing_design {

// A torn `path` (the page.map of a unit) holding `torn`, and beside it the
// complete journal of its `old` content; `marked`: the file marked as the
// rewrite through `path` marks it.
inline void leaveTornRewrite(const std::string &path, const std::string &old,
                             const std::string &torn, bool marked = false) {
    writeFile(path, torn);
    const trel::FileIdentity file = trel::systemFileSystem().identityOf(path, true);
    trel::JournalHeader header;
    header.device = file.device;
    header.inode = file.inode;
    header.size = old.size();
    trel::ContentDigest digest;
    digest.add(old.data(), old.size());
    header.digest = digest.value();
    if (marked) {
        header.knowsNew = true;
        header.newSize = torn.size();
        trel::ContentDigest tornDigest;
        tornDigest.add(torn.data(), torn.size());
        header.newDigest = tornDigest.value() + 1;  // torn: not the whole new content
        header.fileMarked = true;
    }
    writeFile(path.substr(0, path.size() - 1) + "~", trel::journalHeaderText(header) + old);
    if (!marked) return;
    trel::FileSystem &files = trel::systemFileSystem();
    trel::OpenMode mode;
    mode.access = trel::Access::readWrite;
    const trel::NativeFile opened = files.open(path, mode);
    EXPECT_TRUE(
        files.setMark(opened, trel::markText(trel::rewriteIdOf(header), files.fullPath(path))));
    files.close(opened);
}

}  // namespace testing_design
