// The journal's header as it lies in page.ma~: what this build writes (with
// the flag of a marked file, which earlier builds read past), what earlier
// builds wrote (without the new content's length and digest), and
// what is no header at all, which makes the file no journal; and which file
// a header names, Windows identities naming no volume.
#include <gtest/gtest.h>

#include <string>

#include "files/rewrite_journal.h"

namespace {

using trel::JournalHeader;

// A header text with its fields as given, padded as a header is.
std::string headerOf(const std::string &fields) {
    std::string text = "#page.map journal 1 " + fields;
    text.resize(trel::kJournalHeaderSize - 1, ' ');
    return text + '\n';
}

TEST(JournalHeader, WrittenAndEarlierHeadersParseOthersAreNone) {
    JournalHeader made;
    made.device = 0x801;
    made.inode = 123456789;
    made.size = 42;
    made.digest = 0xfeedfacecafebeefu;
    made.knowsNew = true;
    made.newSize = 7;
    made.newDigest = 99;
    const std::string written = trel::journalHeaderText(made);
    ASSERT_EQ(written.size(), trel::kJournalHeaderSize);
    const std::string four = "0000000000000801 00000000075bcd15 000000000000002a feedfacecafebeef";
    made.fileMarked = true;
    const std::string marked = trel::journalHeaderText(made);
    made.fileMarked = false;
    ASSERT_EQ(marked.size(), trel::kJournalHeaderSize);
    struct Row {
        const char *name;
        std::string text;
        bool parses, knowsNew;
        bool fileMarked = false;
    };
    const Row rows[] = {
        {"written by this build", written, true, true},
        {"written by this build, its file marked", marked, true, true, true},
        {"an earlier build's", headerOf(four), true, false},
        {"five fields", headerOf(four + " 0000000000000007"), false, false},
        {"three fields", headerOf("0000000000000801 00000000075bcd15 000000000000002a"), false,
         false},
        {"another magic", "#page.map journal 2 " + written.substr(20), false, false},
        {"no line end", written.substr(0, trel::kJournalHeaderSize - 1) + " ", false, false},
        {"short", written.substr(0, 100), false, false},
        {"pairs", headerOf("").replace(0, 8, "1 2\n3 4\n"), false, false},
    };
    for (const Row &row : rows) {
        JournalHeader parsed;
        EXPECT_EQ(trel::parseJournalHeader(row.text.data(), row.text.size(), &parsed), row.parses)
            << row.name;
        if (!row.parses) continue;
        EXPECT_EQ(parsed.knowsNew, row.knowsNew) << row.name;
        EXPECT_EQ(parsed.fileMarked, row.fileMarked) << row.name;
        EXPECT_EQ(parsed.device, made.device) << row.name;
        EXPECT_EQ(parsed.inode, made.inode) << row.name;
        EXPECT_EQ(parsed.size, made.size) << row.name;
        EXPECT_EQ(parsed.digest, made.digest) << row.name;
        if (row.knowsNew) {
            EXPECT_EQ(parsed.newSize, made.newSize);
            EXPECT_EQ(parsed.newDigest, made.newDigest);
        }
    }
}

TEST(JournalHeader, NamesTheFileByInodeAndAnyVolumeWhereOneSideHasNone) {
    struct Row {
        uint64_t headerDevice, headerInode;
        bool exists;
        uint64_t device, inode;
        bool names;
    };
    const Row rows[] = {
        {5, 10, true, 5, 10, true},   {5, 10, true, 6, 10, false},  // another volume
        {5, 10, true, 5, 11, false},                                // another file
        {0, 10, true, 5, 10, true},                                 // written on Windows
        {5, 10, true, 0, 10, true},                                 // read on Windows
        {5, 10, false, 5, 10, false},                               // no file
    };
    for (const Row &row : rows) {
        JournalHeader header;
        header.device = row.headerDevice;
        header.inode = row.headerInode;
        trel::FileIdentity identity;
        identity.exists = row.exists;
        identity.device = row.device;
        identity.inode = row.inode;
        EXPECT_EQ(trel::journalNames(header, identity), row.names)
            << row.headerDevice << ":" << row.headerInode << " and " << row.device << ":"
            << row.inode;
    }
}

}  // namespace
