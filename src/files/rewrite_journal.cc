// The journal of a rewrite in place: its header and its operations.
#include "files/rewrite_journal.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

namespace trel {
namespace {

constexpr char kMagic[] = "#page.map journal 1 ";
constexpr size_t kBlock = size_t{1} << 20;

// Copies `size` bytes from `from` at `fromAt` to `to` at `toAt`; `digest`,
// when given, gets the bytes copied.
bool copyBytes(NativeFile from, uint64_t fromAt, NativeFile to, uint64_t toAt, uint64_t size,
               ContentDigest *digest) {
    std::vector<char> block(kBlock);
    for (uint64_t done = 0; done < size;) {
        const uint64_t left = size - done;
        const size_t want = left < block.size() ? static_cast<size_t>(left) : block.size();
        size_t got = 0;
        if (!fileSystem().readAt(from, block.data(), want, fromAt + done, &got)) return false;
        if (got < want) {
            errno = EIO;  // shorter than it was under the lock
            return false;
        }
        if (!fileSystem().writeAt(to, block.data(), got, toAt + done)) return false;
        if (digest != nullptr) digest->add(block.data(), got);
        done += got;
    }
    return true;
}

}  // namespace

std::string journalHeaderText(const JournalHeader &header) {
    char text[kJournalHeaderSize + 1];
    const int length = std::snprintf(
        text, sizeof text, "%s%016" PRIx64 " %016" PRIx64 " %016" PRIx64 " %016" PRIx64, kMagic,
        header.device, header.inode, header.size, header.digest);
    std::string padded(text, static_cast<size_t>(length));
    padded.resize(kJournalHeaderSize - 1, ' ');
    padded += '\n';
    return padded;
}

bool parseJournalHeader(const char *text, size_t size, JournalHeader *header) {
    if (size < kJournalHeaderSize || text[kJournalHeaderSize - 1] != '\n') return false;
    const size_t magic = sizeof kMagic - 1;
    if (std::memcmp(text, kMagic, magic) != 0) return false;
    char fields[kJournalHeaderSize];
    std::memcpy(fields, text + magic, kJournalHeaderSize - magic);
    fields[kJournalHeaderSize - magic - 1] = '\0';
    return std::sscanf(fields, "%16" SCNx64 " %16" SCNx64 " %16" SCNx64 " %16" SCNx64,
                       &header->device, &header->inode, &header->size, &header->digest) == 4;
}

bool journalNames(const JournalHeader &header, const FileIdentity &identity) {
    return identity.exists && header.device == identity.device && header.inode == identity.inode;
}

JournalState journalState(NativeFile journal, const FileIdentity &identity, JournalHeader *header) {
    FileSystem &files = fileSystem();
    char text[kJournalHeaderSize];
    size_t got = 0;
    if (!files.readAt(journal, text, sizeof text, 0, &got)) return JournalState::unreadable;
    if (!parseJournalHeader(text, got, header) || !journalNames(*header, identity))
        return JournalState::none;
    const FileIdentity held = files.identity(journal);
    if (!held.exists) return JournalState::unreadable;
    if (held.size != kJournalHeaderSize + header->size) return JournalState::none;
    ContentDigest digest;
    std::vector<char> block(kBlock);
    for (uint64_t at = 0; at < header->size; at += got) {
        if (!readJournal(journal, at, block.data(), block.size(), &got))
            return JournalState::unreadable;
        if (got == 0) return JournalState::none;
        digest.add(block.data(), got);
    }
    return digest.value() == header->digest ? JournalState::complete : JournalState::none;
}

bool mayBeJournal(const std::string &path) {
    const int error = errno;
    const FileIdentity named = fileSystem().identityOf(path, false);
    errno = error;
    return !named.exists || (named.regular && named.size >= kJournalHeaderSize);
}

bool writeJournal(NativeFile journal, NativeFile file, uint64_t size,
                  const FileIdentity &identity) {
    JournalHeader header;
    header.device = identity.device;
    header.inode = identity.inode;
    header.size = size;
    ContentDigest digest;
    if (!copyBytes(file, 0, journal, kJournalHeaderSize, size, &digest)) return false;
    header.digest = digest.value();
    const std::string text = journalHeaderText(header);
    return fileSystem().writeAt(journal, text.data(), text.size(), 0) && fileSystem().sync(journal);
}

bool restoreFromJournal(NativeFile journal, NativeFile file, const JournalHeader &header) {
    return copyBytes(journal, kJournalHeaderSize, file, 0, header.size, nullptr) &&
           fileSystem().setLength(file, header.size) && fileSystem().sync(file);
}

bool closeJournal(NativeFile journal) {
    return fileSystem().setLength(journal, 0) && fileSystem().sync(journal);
}

bool readJournal(NativeFile journal, uint64_t at, char *into, size_t room, size_t *got) {
    return fileSystem().readAt(journal, into, room, kJournalHeaderSize + at, got);
}

Rewrite rewriteInPlace(NativeFile file, NativeFile journal, const std::string &journalPath,
                       const FileIdentity &present, const char *data, size_t size,
                       bool *keepJournal) {
    *keepJournal = false;
    if (!writeJournal(journal, file, present.size, present) ||
        fileSystem().syncFolderOf(journalPath) == FolderSync::failed) {
        return Rewrite::failed;  // the file is untouched
    }
    if (fileSystem().reserve(file, present.size, size) &&
        fileSystem().writeAt(file, data, size, 0) && fileSystem().setLength(file, size) &&
        fileSystem().sync(file) && closeJournal(journal)) {
        return Rewrite::done;
    }
    const int error = errno;
    JournalHeader header;
    Rewrite outcome = Rewrite::failed;
    switch (journalState(journal, present, &header)) {
        case JournalState::complete:
            // The old content goes back now; should that fail too, the
            // journal stays for the next load or save of the file to do it.
            *keepJournal = !restoreFromJournal(journal, file, header) || !closeJournal(journal);
            break;
        case JournalState::unreadable:
            *keepJournal = true;  // what it holds is for the next load or save to find
            break;
        case JournalState::none:
            outcome = Rewrite::notDurable;  // emptied: the new content stands
            break;
    }
    errno = error;
    return outcome;
}

}  // namespace trel
