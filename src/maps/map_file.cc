// Map file load and save.
#include "maps/map_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "maps/pair_reader.h"
#include "maps/replacement_file.h"
#include "trel.h"

namespace trel {
namespace {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string cannotRead(const std::string &path, int error) {
    return "Map file " + path + " cannot be read: " + std::strerror(error);
}

// The line (from 1) that holds the byte at `offset`. Only a damaged file
// asks, so the count is not paid for on every load.
uint64_t lineAt(std::FILE *file, uint64_t offset) {
    uint64_t line = 1;
    if (std::fseek(file, 0, SEEK_SET) != 0) return line;
    std::vector<char> block(kReadBlockSize);
    while (offset > 0) {
        size_t want = offset < block.size() ? static_cast<size_t>(offset) : block.size();
        size_t got = std::fread(block.data(), 1, want, file);
        if (got == 0) break;
        for (size_t i = 0; i < got; ++i)
            line += block[i] == '\n';
        offset -= got;
    }
    return line;
}

int readPairs(std::FILE *file, PageMap &map, std::string *problem) {
    auto source = [file](char *into, size_t room) {
        size_t got = std::fread(into, 1, room, file);
        return ReadChunk{got, got < room && std::feof(file) != 0, std::ferror(file) != 0};
    };
    const ReadEnd end = readPairs(source, PageMap::Loader(map));
    switch (end.kind) {
        case ReadEnd::Kind::whole:
            map.setFileState(PageMap::FileState::held);
            return TREL_OK;
        case ReadEnd::Kind::stopped: {
            const uint64_t line = lineAt(file, end.stopOffset);
            map.setFileState(PageMap::FileState::damaged, line);
            *problem = "Map file " + map.path() + " is damaged at line " + std::to_string(line) +
                       ": only the pairs before it were read";
            return TREL_CANNOT_READ;
        }
        case ReadEnd::Kind::failed:
            break;
    }
    map.setFileState(PageMap::FileState::unreadable);
    *problem = cannotRead(map.path(), errno);
    return TREL_CANNOT_READ;
}

// Why a mode-0 save would lose pairs the file holds; empty when it would not.
std::string saveWouldLose(const PageMap &map) {
    switch (map.fileState()) {
        case PageMap::FileState::held:
            return {};
        case PageMap::FileState::damaged:
            return "Map file " + map.path() + " was read only up to its damaged line " +
                   std::to_string(map.damagedLine()) +
                   "; saving would lose the rest: repair and reload it, or reset the page map to "
                   "replace it";
        case PageMap::FileState::unread:
            return "Map file " + map.path() +
                   " was not read in file mode 0; saving would lose its pairs: reload it in mode "
                   "0, "
                   "or reset the page map to replace it";
        case PageMap::FileState::unreadable:
            break;
    }
    return "Map file " + map.path() +
           " could not be read; saving would lose its pairs: reload it once it can be read, or "
           "reset the page map to replace it";
}

// The file's text: one "original mapped\n" line per pair, in page order.
std::vector<char> mapText(const PageMap &map) {
    std::vector<char> text(size_t{1} << 16);
    size_t used = 0;
    map.forEachPair([&](int32_t page, int32_t mapped) {
        if (text.size() - used < kPairTextMax) text.resize(text.size() * 2);
        used = static_cast<size_t>(formatPair(text.data() + used, page, mapped) - text.data());
    });
    text.resize(used);
    return text;
}

int writePairs(PageMap &map, std::string *problem) {
    if (std::string loss = saveWouldLose(map); !loss.empty()) {
        *problem = std::move(loss);
        errno = EPERM;
        return TREL_CANNOT_WRITE;
    }
    ReplacementFile file(map.path());
    if (file.lock()) {
        const std::vector<char> text = mapText(map);
        if (file.replace(text.data(), text.size())) {
            map.setModified(false);
            return TREL_OK;
        }
    }
    *problem = cannotWriteMessage(map.path());
    return TREL_CANNOT_WRITE;
}

}  // namespace

std::string cannotWriteMessage(const std::string &path) {
    return "Failed to open map file " + path + " for write";
}

int loadMapFile(PageMap &map, int fileMode, std::string *problem) {
    File file(std::fopen(map.path().c_str(), "rb"));
    if (!file) {
        if (errno == ENOENT) {
            map.setFileState(PageMap::FileState::held);  // nothing to lose
        } else {
            map.setFileState(PageMap::FileState::unreadable);
            *problem = cannotRead(map.path(), errno);
        }
        return TREL_CANNOT_READ;
    }
    if (fileMode != 0) {
        map.setFileState(PageMap::FileState::unread);
        return TREL_OK;
    }
    return readPairs(file.get(), map, problem);
}

int saveMapFile(PageMap &map, int fileMode, std::string *problem) {
    if (fileMode == 0) return writePairs(map, problem);
    File file(std::fopen(map.path().c_str(), "ab"));
    if (file) return TREL_OK;
    *problem = cannotWriteMessage(map.path());
    return TREL_CANNOT_WRITE;
}

}  // namespace trel
