// The journal of a rewrite in place: its header and its operations.
#include "files/rewrite_journal.h"

#include "files/read_in_blocks.h"
#include "files/rewrite_mark.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace trel {
namespace {

constexpr char kMagic[] = "#page.map journal 1 ";

// Copies `size` bytes from `from` at `fromAt` to `to` at `toAt`; `digest`,
// when given, gets the bytes copied.
bool copyBytes(NativeFile from, uint64_t fromAt, NativeFile to, uint64_t toAt, uint64_t size,
               ContentDigest *digest = nullptr) {
    FileSystem &files = fileSystem();
    uint64_t copied = 0;
    bool shortened = false;  // the source is shorter than it was under the lock
    auto read = [&](uint64_t at, char *into, size_t room, size_t *got) {
        return files.readAt(from, into, room, at, got);
    };
    auto write = [&](const char *data, size_t got) {
        const uint64_t left = size - copied;
        shortened = got < (left < kBlockSize ? left : kBlockSize);
        if (shortened) return false;  // none of a short block is written
        if (!files.writeAt(to, data, got, toAt + copied)) return false;
        if (digest != nullptr) digest->add(data, got);
        copied += got;
        return true;
    };
    const BlocksRead outcome = readInBlocks(read, fromAt, size, write);
    if (shortened || outcome == BlocksRead::shortened) errno = EIO;
    return outcome == BlocksRead::all;
}

// The digest of `size` bytes of `file` from `at`, and how far the reading went.
uint64_t digestOf(NativeFile file, uint64_t at, uint64_t size, BlocksRead *read) {
    ContentDigest digest;
    *read = readInBlocks(
        [file](uint64_t offset, char *into, size_t room, size_t *got) {
            return fileSystem().readAt(file, into, room, offset, got);
        },
        at, size,
        [&digest](const char *data, size_t got) {
            digest.add(data, got);
            return true;
        });
    return digest.value();
}

}  // namespace

std::string journalHeaderText(const JournalHeader &header) {
    char text[kJournalHeaderSize + 1];
    int length = std::snprintf(text, sizeof text,
                               "%s%016" PRIx64 " %016" PRIx64 " %016" PRIx64 " %016" PRIx64, kMagic,
                               header.device, header.inode, header.size, header.digest);
    if (header.knowsNew) {
        length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                                " %016" PRIx64 " %016" PRIx64 "%s", header.newSize,
                                header.newDigest, header.fileMarked ? " m" : "");
    }
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
    int end = 0;
    const int read = std::sscanf(fields,
                                 "%16" SCNx64 " %16" SCNx64 " %16" SCNx64 " %16" SCNx64
                                 " %16" SCNx64 " %16" SCNx64 "%n",
                                 &header->device, &header->inode, &header->size, &header->digest,
                                 &header->newSize, &header->newDigest, &end);
    header->knowsNew = read == 6;
    // Earlier builds read the six fields and take no notice of the flag.
    header->fileMarked = read == 6 && std::strncmp(fields + end, " m ", 3) == 0;
    return read == 4 || read == 6;
}

bool journalNames(const JournalHeader &header, const FileIdentity &identity) {
    // Windows identities name no volume (device 0); journals of earlier
    // builds there do, and still name the file beside them.
    const bool sameDevice =
        header.device == identity.device || header.device == 0 || identity.device == 0;
    return identity.exists && sameDevice && header.inode == identity.inode;
}

namespace {

// Whether the open `journal` is complete: a header, and as many bytes after
// it as the header tells of, whose digest it gives.
JournalState completeness(NativeFile journal, JournalHeader *header, const FileIdentity *mustName) {
    FileSystem &files = fileSystem();
    const FileIdentity held = files.identity(journal);
    if (!held.exists) return JournalState::unreadable;
    // A folder (which POSIX systems open, but cannot read) is no journal.
    if (!held.regular) return JournalState::none;
    char text[kJournalHeaderSize];
    size_t got = 0;
    if (!files.readAt(journal, text, sizeof text, 0, &got)) return JournalState::unreadable;
    if (!parseJournalHeader(text, got, header)) return JournalState::none;
    if (mustName != nullptr && !journalNames(*header, *mustName)) return JournalState::none;
    if (held.size != kJournalHeaderSize + header->size) return JournalState::none;
    BlocksRead read;
    const uint64_t digest = digestOf(journal, kJournalHeaderSize, header->size, &read);
    if (read == BlocksRead::failed) return JournalState::unreadable;
    return read == BlocksRead::all && digest == header->digest ? JournalState::complete
                                                               : JournalState::none;
}

}  // namespace

JournalState journalState(NativeFile journal, const FileIdentity &identity, JournalHeader *header) {
    return completeness(journal, header, &identity);
}

JournalState anyJournalState(NativeFile journal, JournalHeader *header) {
    return completeness(journal, header, nullptr);
}

uint64_t rewriteIdOf(const JournalHeader &header) {
    const uint64_t fields[] = {header.device, header.inode,   header.size,
                               header.digest, header.newSize, header.newDigest};
    ContentDigest digest;
    for (const uint64_t field : fields) {
        char bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<char>(field >> (8 * i));
        digest.add(bytes, sizeof bytes);
    }
    return digest.value();
}

bool mayBeJournal(const std::string &path) {
    const int error = errno;
    const FileIdentity named = fileSystem().identityOf(path, false);
    errno = error;
    return !named.exists || (named.regular && named.size >= kJournalHeaderSize);
}

namespace {

// Whether `file` holds the whole new content the header tells of.
bool holdsNewContent(NativeFile file, const JournalHeader &header) {
    if (!header.knowsNew || fileSystem().identity(file).size != header.newSize) return false;
    BlocksRead read;
    const uint64_t digest = digestOf(file, 0, header.newSize, &read);
    return read == BlocksRead::all && digest == header.newDigest;
}

}  // namespace

bool recoverFromJournal(NativeFile journal, NativeFile file, const JournalHeader &header) {
    // The rewrite wrote everything and only the journal's emptying was cut
    // short: its new content stands.
    if (holdsNewContent(file, header)) return true;
    return rollBack(journal, file, header);
}

bool rollBack(NativeFile journal, NativeFile file, const JournalHeader &header) {
    return copyBytes(journal, kJournalHeaderSize, file, 0, header.size) &&
           fileSystem().setLength(file, header.size) && fileSystem().sync(file);
}

bool marksUnsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

bool commitJournal(NativeFile journal) {
    return fileSystem().setLength(journal, 0) && fileSystem().sync(journal);
}

bool readJournal(NativeFile journal, uint64_t at, char *into, size_t room, size_t *got) {
    return fileSystem().readAt(journal, into, room, kJournalHeaderSize + at, got);
}

Rewrite rewriteInPlace(NativeFile file, const std::string &path, NativeFile journal,
                       const FileIdentity &present, const char *data, size_t size,
                       bool *keepJournal) {
    FileSystem &files = fileSystem();
    *keepJournal = false;
    JournalHeader made;
    made.device = present.device;
    made.inode = present.inode;
    made.size = present.size;
    made.knowsNew = true;
    made.newSize = size;
    ContentDigest newDigest;
    newDigest.add(data, size);
    made.newDigest = newDigest.value();
    // The old content, then the mark, then the header: a journal is complete
    // only once its file is marked, through whatever name it is reached.
    ContentDigest oldDigest;
    if (!copyBytes(file, 0, journal, kJournalHeaderSize, made.size, &oldDigest))
        return Rewrite::failed;
    made.digest = oldDigest.value();
    const bool marked = files.setMark(file, markText(rewriteIdOf(made), files.fullPath(path)));
    if (!marked && (!marksUnsupported(errno) || present.links > 1)) {
        // A rewrite nothing could lead the other names to, or one whose
        // mark a failing file system may or may not have kept: not begun.
        const int error = errno;
        files.clearMark(file);
        errno = error;
        return Rewrite::notMarked;
    }
    made.fileMarked = marked;
    const std::string text = journalHeaderText(made);
    if (!files.writeAt(journal, text.data(), text.size(), 0) || !files.sync(journal) ||
        files.syncFolderOf(path) == FolderSync::failed) {
        const int error = errno;
        if (marked) files.clearMark(file);
        errno = error;
        return Rewrite::failed;  // the file is untouched
    }
    if (files.reserve(file, present.size, size) && files.writeAt(file, data, size, 0) &&
        files.setLength(file, size) && files.sync(file) && commitJournal(journal)) {
        // A mark that stays without its journal would make every name refuse
        // where the mark holds no name: the emptied journal stays then, and
        // this name's next load or save takes the mark away.
        if (marked && !files.clearMark(file)) *keepJournal = true;
        return Rewrite::done;
    }
    const int error = errno;
    JournalHeader header;
    Rewrite outcome = Rewrite::failed;
    switch (journalState(journal, present, &header)) {
        case JournalState::complete:
            // The old content goes back now; should that fail too, the
            // journal stays for the next load or save of the file to do it.
            *keepJournal = !rollBack(journal, file, header) || !commitJournal(journal);
            if (marked && !*keepJournal) files.clearMark(file);
            break;
        case JournalState::unreadable:
            *keepJournal = true;  // what it holds is for the next load or save to find
            break;
        case JournalState::none:
            outcome = Rewrite::notDurable;  // emptied: the new content stands
            if (marked && !files.clearMark(file)) *keepJournal = true;
            break;
    }
    errno = error;
    return outcome;
}

}  // namespace trel
