// Opening a map file for a load on POSIX systems.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "maps/map_lock.h"
#include "maps/map_reader.h"
#include "maps/native_file.h"
#include "maps/replacement_file.h"
#include "maps/rewrite_journal.h"

namespace trel {

MapReader::~MapReader() {
    closeFile(&journal_);
    closeFile(&fd_);
}

int MapReader::open() {
    constexpr int kOpen = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    std::string target = path_;
    const Deadline deadline(kLockWaitMilliseconds);
    for (int round = 0; round < 2; ++round) {
        // Most map files are no links: the links are followed only for one
        // that is, so that its journal is looked for beside the file itself.
        fd_ = ::open(target.c_str(), kOpen | O_NOFOLLOW);
        if (fd_ < 0 && errno == ELOOP) {
            target = followLinks(path_);
            fd_ = ::open(target.c_str(), kOpen);
        }
        if (fd_ < 0) return errno;
        // A file system without record locks has no rewrites in place either:
        // saves there refuse, so reading unlocked is safe.
        if (!takeMapLock(fd_, MapLock::content, false, deadline) && !locksUnsupported(errno)) {
            const int error = errno;
            closeFile(&fd_);
            return error;
        }
        identity_ = identityOfFile(fd_);
        journal_ = ::open(temporaryNameFor(target).c_str(), kOpen | O_NOFOLLOW);
        if (journal_ < 0) return 0;  // no leftover: the usual case
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
        closeFile(&fd_);
        ReplacementFile(target).lock();
    }
    return 0;
}

bool MapReader::readAt(uint64_t at, char *into, size_t room, size_t *got) {
    if (journal_ < 0) return trel::readAt(fd_, into, room, at, got);
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
