// The journal of a rewrite in place, on POSIX systems.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "maps/posix_io.h"
#include "maps/rewrite_journal.h"

namespace trel {

bool isCompleteJournal(int journal, const FileIdentity &identity, JournalHeader *header) {
    char text[kJournalHeaderSize];
    size_t got = 0;
    if (!readAt(journal, text, sizeof text, 0, &got) || !parseJournalHeader(text, got, header) ||
        !journalNames(*header, identity)) {
        return false;
    }
    const FileIdentity self = identityOfDescriptor(journal);
    if (self.size != kJournalHeaderSize + header->size) return false;
    ContentDigest digest;
    std::vector<char> block(size_t{1} << 20);
    for (uint64_t at = 0; at < header->size;) {
        if (!readAt(journal, block.data(), block.size(), kJournalHeaderSize + at, &got) || got == 0)
            return false;
        digest.add(block.data(), got);
        at += got;
    }
    return digest.value() == header->digest;
}

bool writeJournal(int journal, int file, uint64_t size, const FileIdentity &identity) {
    JournalHeader header;
    header.device = identity.device;
    header.inode = identity.inode;
    header.size = size;
    ContentDigest digest;
    if (!copyBytes(file, 0, journal, kJournalHeaderSize, size, &digest)) return false;
    header.digest = digest.value();
    const std::string text = journalHeaderText(header);
    return writeAt(journal, text.data(), text.size(), 0) && fsync(journal) == 0;
}

bool restoreFromJournal(int journal, int file, const JournalHeader &header) {
    return copyBytes(journal, kJournalHeaderSize, file, 0, header.size, nullptr) &&
           ftruncate(file, static_cast<off_t>(header.size)) == 0 && fsync(file) == 0;
}

bool closeJournal(int journal) {
    return ftruncate(journal, 0) == 0 && fsync(journal) == 0;
}

bool readJournal(int journal, uint64_t at, char *into, size_t room, size_t *got) {
    return readAt(journal, into, room, kJournalHeaderSize + at, got);
}

}  // namespace trel
