// The journal header's text form.
#include "maps/rewrite_journal.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace trel {
namespace {

constexpr char kMagic[] = "#page.map journal 1 ";

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

}  // namespace trel
