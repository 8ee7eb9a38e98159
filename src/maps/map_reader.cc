// Opening a map file for a load.
#include <cerrno>
#include <vector>

#include "maps/map_reader.h"

#include "maps/map_lock.h"
#include "maps/native_file.h"
#include "maps/replacement_file.h"
#include "maps/rewrite_journal.h"

namespace trel {

MapReader::~MapReader() {
    closeFile(&journal_);
    closeFile(&file_);
}

int MapReader::open() {
    std::string target = path_;
    const Deadline deadline(kLockWaitMilliseconds);
    for (int round = 0; round < 2; ++round) {
        // Most map files are no links: the links are followed only for one
        // that is, so that its journal is looked for beside the file itself.
        file_ = openToRead(target, false);
        if (file_ == kNoFile && errno == ELOOP) {
            target = followLinks(path_);
            file_ = openToRead(target, true);
        }
        if (file_ == kNoFile) return errno;
        // A file system without record locks has no rewrites in place either:
        // saves there refuse, so reading unlocked is safe.
        if (!takeMapLock(file_, MapLock::content, false, deadline) && !locksUnsupported(errno)) {
            const int error = errno;
            closeFile(&file_);
            return error;
        }
        identity_ = identityOfFile(file_);
        journal_ = openToRead(temporaryNameFor(target), false);
        if (journal_ == kNoFile) return 0;  // no leftover: the usual case
        JournalHeader header;
        if (!isCompleteJournal(journal_, identity_, &header)) {
            closeFile(&journal_);
            return 0;
        }
        if (round == 1) {
            // This process could not put the file back: it reads what the
            // journal kept, the content before the rewrite.
            journalSize_ = header.size;
            identity_ = FileIdentity();
            return 0;
        }
        // A rewrite was cut short: a save's lock puts the file back.
        closeFile(&journal_);
        closeFile(&file_);
        ReplacementFile(target).open();
    }
    return 0;
}

bool MapReader::readAt(uint64_t at, char *into, size_t room, size_t *got) {
    if (journal_ == kNoFile) return trel::readAt(file_, into, room, at, got);
    if (at >= journalSize_) {
        *got = 0;
        return true;
    }
    const uint64_t left = journalSize_ - at;
    return readJournal(journal_, at, into, left < room ? static_cast<size_t>(left) : room, got);
}

ReadChunk MapReader::read(char *into, size_t room) {
    size_t got = 0;
    if (!readAt(at_, into, room, &got)) return {0, false, true};
    at_ += got;
    return {got, got < room, false};
}

uint64_t MapReader::lineAt(uint64_t offset) {
    uint64_t line = 1;
    std::vector<char> block(kReadBlockSize);
    for (uint64_t at = 0; at < offset;) {
        const uint64_t left = offset - at;
        size_t got = 0;
        if (!readAt(at, block.data(),
                    left < block.size() ? static_cast<size_t>(left) : block.size(), &got) ||
            got == 0) {
            break;
        }
        for (size_t i = 0; i < got; ++i)
            line += block[i] == '\n';
        at += got;
    }
    return line;
}

}  // namespace trel
