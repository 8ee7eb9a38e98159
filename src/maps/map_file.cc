// Map file load and save.
#include "maps/map_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "files/content_digest.h"
#include "files/map_reader.h"
#include "files/read_in_blocks.h"
#include "files/replacement_file.h"
#include "maps/map_merge.h"
#include "maps/map_text_buffer.h"
#include "maps/map_text_reader.h"
#include "maps/unchanged_save.h"
#include "trel.h"

namespace trel {
namespace {

std::string cannotRead(const std::string &path, int error) {
    return "Map file " + path + " cannot be read: " + std::strerror(error);
}

// A load reads, digests and parses the file a block at a time, so that the
// digest and the parser find each block still in the cache where the read
// left it: the text passes through memory once.
constexpr size_t kLoadBlockSize = size_t{64} << 10;

// The line, from 1, that holds the byte at `offset` of the file's content.
uint64_t lineAt(MapReader &file, uint64_t offset) {
    uint64_t line = 1;
    readInBlocks([&file](uint64_t at, char *into, size_t room,
                         size_t *got) { return file.readAt(at, into, room, got); },
                 0, offset,
                 [&line](const char *data, size_t got) {
                     line += static_cast<uint64_t>(std::count(data, data + got, '\n'));
                     return true;
                 });
    return line;
}

// Records what the page map knows of its file, and when.
void recordSyncPoint(PageMap &map, SyncPoint sync) {
    sync.takenNs = clock().wallNs();
    map.file().setSyncPoint(sync);
}

int loadPairs(MapReader &file, PageMap &map, std::string *problem) {
    SyncPoint sync;
    sync.known = true;
    sync.file = file.identity();
    ContentDigest digest;
    auto source = [&file, &digest](char *into, size_t room) {
        size_t got = 0;
        const bool read = file.read(into, room, &got);
        digest.add(into, got);
        return ReadChunk{got, got < room, !read};
    };
    const ReadEnd end = readPairs(source, PageMap::Loader(map), kLoadBlockSize);
    // Even a damaged file is the one this page map knows: cleared on purpose,
    // the map may replace that same file, but not one saved since by others.
    // Pairs kept by the journal of a rewrite cut short come from no file a
    // save could compare with: a save reads the file again.
    if (!sync.file.exists) sync.known = false;
    if (end.kind == ReadEnd::Kind::whole) {
        sync.digestKnown = true;
        sync.digest = digest.value();
    }
    recordSyncPoint(map, sync);
    switch (end.kind) {
        case ReadEnd::Kind::whole:
            map.file().setState(MapFileRecord::State::held);
            return TREL_OK;
        case ReadEnd::Kind::stopped: {
            const uint64_t line = lineAt(file, end.stopOffset);
            map.file().setState(MapFileRecord::State::damaged, line);
            *problem = "Map file " + map.path() + " is damaged at line " + std::to_string(line) +
                       ": only the pairs before it were read";
            return TREL_CANNOT_READ;
        }
        case ReadEnd::Kind::failed:
            break;
    }
    const int reason = errno;
    map.file().setState(MapFileRecord::State::unreadable);
    *problem = cannotRead(map.path(), reason);
    errno = reason;
    return TREL_CANNOT_READ;
}

// Why a mode-0 save would lose pairs the file holds; empty when it would not.
std::string saveWouldLose(const PageMap &map) {
    switch (map.file().state()) {
        case MapFileRecord::State::held:
            return {};
        case MapFileRecord::State::damaged:
            return "Map file " + map.path() + " was read only up to its damaged line " +
                   std::to_string(map.file().damagedLine()) +
                   "; saving would lose the rest: repair and reload it, or reset the page map to "
                   "replace it";
        case MapFileRecord::State::unread:
            return "Map file " + map.path() +
                   " was not read in file mode 0; saving would lose its pairs: reload it in "
                   "mode 0, or reset the page map to replace it";
        case MapFileRecord::State::unreadable:
            break;
    }
    return "Map file " + map.path() +
           " could not be read; saving would lose its pairs: reload it once it can be read, or "
           "reset the page map to replace it";
}

MapTextBuffer mapText(const PageMap &map) {
    MapTextBuffer text;
    map.forEachPair([&text](int32_t page, int32_t mapped) { text.add(page, mapped); });
    return text;
}

MapTextBuffer pairsText(const PagePairs &pairs) {
    MapTextBuffer text;
    text.reserve(pairs.size());
    for (const auto &[page, mapped] : pairs)
        text.add(page, mapped);
    return text;
}

// A refusal of a save; errno tells the reason: a read's, or, where the page
// map's own record refuses, EILSEQ for a damaged file and ENODATA for one
// whose pairs the page map does not hold.
int refuse(std::string *problem, std::string message, int reason) {
    *problem = std::move(message);
    errno = reason;
    return TREL_CANNOT_WRITE;
}

uint64_t digestOf(const char *data, size_t size) {
    ContentDigest digest;
    digest.add(data, size);
    return digest.value();
}

// What a save found in the file under its lock.
struct PresentFile {
    bool changed = false;  // since the page map's sync point
    PagePairs pairs;       // when changed
    uint64_t digest = 0;
};

// Compares the locked file with the sync point: by identity first, so that a
// file nobody saved since is never read, then by digest. A changed file's
// pairs are read in the reader's fixed block, so memory follows the pairs,
// not the bytes. Returns 0, or refuses with TREL_CANNOT_WRITE.
int examine(ReplacementFile &file, const SyncPoint &sync, const std::string &path,
            PresentFile *present, std::string *problem) {
    const FileIdentity &identity = file.present();
    int64_t offset = 0;
    const bool offsetKnown = file.clockOffset(&offset);
    present->changed = !sync.known || !(identity == sync.file) ||
                       (sync.digestKnown && racilyClean(sync, offsetKnown, offset));
    if (!present->changed || !identity.exists) return TREL_OK;  // removed: counts as empty
    ContentDigest digest;
    auto source = [&](char *into, size_t room) {
        size_t got = 0;
        const bool read = file.readPresent(into, room, &got);
        digest.add(into, got);
        return ReadChunk{got, got < room, !read};
    };
    FilePairs pairs;
    ReadEnd end = readPairs(source, pairs);
    if (end.kind == ReadEnd::Kind::stopped) {
        // The rest still counts for the digest: it may be the very file this
        // page map knows, damaged as it was.
        const BlocksRead rest =
            readInBlocks([&file](uint64_t, char *into, size_t room,
                                 size_t *got) { return file.readPresent(into, room, got); },
                         0, UINT64_MAX,
                         [&digest](const char *data, size_t got) {
                             digest.add(data, got);
                             return true;
                         });
        if (rest == BlocksRead::failed) end.kind = ReadEnd::Kind::failed;
    }
    if (end.kind == ReadEnd::Kind::failed) {
        const int reason = errno;
        return refuse(problem,
                      "Map file " + path + " changed since it was read and " +
                          "cannot be read now (" + std::strerror(reason) + "); not saving over it",
                      reason);
    }
    present->digest = digest.value();
    if (sync.known && sync.digestKnown && present->digest == sync.digest) {
        present->changed = false;
        return TREL_OK;
    }
    if (end.kind == ReadEnd::Kind::stopped) {
        return refuse(problem,
                      "Map file " + path + " changed since it was read and is damaged at byte " +
                          std::to_string(end.stopOffset) + "; not saving over it",
                      EILSEQ);
    }
    present->pairs = pairs.settled();
    return TREL_OK;
}

int writePairs(PageMap &map, std::string *problem) {
    ReplacementFile file(map.path());
    auto failed = [&](const FileError &error) {
        *problem = error.message.empty() ? cannotWriteMessage(map.path()) : error.message;
        errno = error.error;
        return TREL_CANNOT_WRITE;
    };
    if (const FileError error = file.open(); error.failed()) return failed(error);
    PresentFile present;
    if (const int status = examine(file, map.file().syncPoint(), map.path(), &present, problem))
        return status;

    MapTextBuffer text;
    if (present.changed) {
        // Another process saved since: keep its pairs except where this page
        // map changed something.
        PagePairs mine;
        map.forEachPair([&](int32_t page, int32_t mapped) { mine.emplace_back(page, mapped); });
        const PagePairs merged = mergePairs(present.pairs, mine, map.file().changedPages(),
                                            map.file().allPagesChanged());
        text = pairsText(merged);
        map.replacePairs(merged);
    } else {
        if (std::string loss = saveWouldLose(map); !loss.empty()) {
            const bool damaged = map.file().state() == MapFileRecord::State::damaged;
            return refuse(problem, loss, damaged ? EILSEQ : ENODATA);
        }
        if (nothingChangedSinceSync(map.file(), file.present())) {
            map.setModified(false);  // the file holds these pairs already
            return TREL_OK;
        }
        text = mapText(map);
    }

    SyncPoint now;
    now.known = true;
    now.digestKnown = true;
    now.digest = digestOf(text.data(), text.size());
    const FileIdentity &found = file.present();
    if (holdsText(foundContent(map.file().syncPoint(), found, present.changed, present.digest),
                  text.size(), now.digest)) {
        now.file = found;  // the file holds this text already: nothing to publish
    } else if (const FileError error = file.replace(text.data(), text.size()); !error.failed()) {
        now.file = file.publishedIdentity();
    } else {
        const int status = failed(error);
        if (file.published()) {
            // In place, but not known to be durable: the page map holds what
            // the file holds, and stays modified so that a later save tries again.
            now.file = file.publishedIdentity();
            now.digestKnown = false;  // not known durable: the next save writes it again
            recordSyncPoint(map, now);
            map.file().setState(MapFileRecord::State::held);
        }
        return status;
    }
    recordSyncPoint(map, now);
    map.file().setState(MapFileRecord::State::held);
    map.setModified(false);
    return TREL_OK;
}

}  // namespace

std::string cannotWriteMessage(const std::string &path) {
    return "Failed to open map file " + path + " for write";
}

int loadMapFile(PageMap &map, int fileMode, std::string *problem) {
    MapReader file(map.path());
    if (const FileError error = file.open(); error.failed()) {
        SyncPoint sync;
        if (error.error == ENOENT) {
            sync.known = true;  // no file: nothing to lose
            map.file().setState(MapFileRecord::State::held);
        } else {
            map.file().setState(MapFileRecord::State::unreadable);
            *problem = error.message.empty() ? cannotRead(map.path(), error.error) : error.message;
        }
        recordSyncPoint(map, sync);
        errno = error.error;
        return TREL_CANNOT_READ;
    }
    if (fileMode != 0) {
        SyncPoint sync;
        sync.known = true;
        sync.file = file.identity();
        recordSyncPoint(map, sync);
        map.file().setState(MapFileRecord::State::unread);
        return TREL_OK;
    }
    return loadPairs(file, map, problem);
}

int saveMapFile(PageMap &map, int fileMode, std::string *problem) {
    if (fileMode == 0) return writePairs(map, problem);
    // Nothing is written, so the sync point stays where it is.
    OpenMode appending;
    appending.access = Access::write;
    appending.create = Create::ifMissing;
    NativeFile file = fileSystem().open(map.path(), appending);
    if (file != kNoFile) {
        closeFile(&file);
        return TREL_OK;
    }
    *problem = cannotWriteMessage(map.path());
    return TREL_CANNOT_WRITE;
}

}  // namespace trel
