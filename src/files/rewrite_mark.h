// The mark a rewrite in place leaves on the file itself while it runs (see
// rewrite_journal.h): which rewrite it is and where its journal lies.
//
// Its value is "rewrite 1 ", the rewrite's id in 16 hexadecimal digits, a
// blank and the full path of the name the rewrite went through, so that a
// host that follows it finds that rewrite's own journal, and never takes
// another file's journal for it. Marks of earlier builds hold the name
// alone, as their host gave it; marks that keep no value at all (a file
// attribute, on Windows and where a Windows host set it) hold neither.
#pragma once

#include <cstdint>
#include <string>

namespace trel {

struct RewriteMark {
    bool knowsId = false;
    uint64_t id = 0;
    std::string name;  // empty: the mark holds no name
};

std::string markText(uint64_t id, const std::string &fullName);
RewriteMark parseMark(const std::string &value);

}  // namespace trel
