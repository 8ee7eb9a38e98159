// Map file load and save.
#include "maps/map_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "maps/pair_text.h"
#include "maps/replacement_file.h"
#include "trel.h"

namespace trel {
namespace {

constexpr size_t kBlockSize = size_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

int readPairs(std::FILE *file, PageMap &map) {
    std::vector<char> buffer(kBlockSize);
    size_t held = 0;  // unconsumed bytes at the front of the buffer
    PairParser parser;
    PageMap::Loader store(map);
    for (;;) {
        size_t got = std::fread(buffer.data() + held, 1, buffer.size() - held, file);
        held += got;
        bool last = got == 0 || std::feof(file) || std::ferror(file);
        size_t consumed = parser.parse(buffer.data(), buffer.data() + held, last, store);
        if (last || parser.stopped()) break;
        held -= consumed;
        std::memmove(buffer.data(), buffer.data() + consumed, held);
        // Only a single pair spread over a whole block (vast runs of blanks or
        // zeros) fills the buffer without being consumed.
        if (held == buffer.size()) buffer.resize(buffer.size() * 2);
    }
    return std::ferror(file) ? TREL_CANNOT_READ : TREL_OK;
}

int writePairs(PageMap &map) {
    ReplacementFile file(map.path());
    if (!file.open()) return TREL_CANNOT_WRITE;
    std::vector<char> buffer(kBlockSize);
    char *out = buffer.data();
    char *const flushAt = buffer.data() + buffer.size() - kPairTextMax;
    map.forEachPair([&](int32_t page, int32_t mapped) {
        if (out > flushAt) {
            file.write(buffer.data(), static_cast<size_t>(out - buffer.data()));
            out = buffer.data();
        }
        out = formatPair(out, page, mapped);
    });
    file.write(buffer.data(), static_cast<size_t>(out - buffer.data()));
    if (!file.commit()) return TREL_CANNOT_WRITE;
    map.setModified(false);
    return TREL_OK;
}

}  // namespace

int loadMapFile(PageMap &map, int fileMode) {
    File file(std::fopen(map.path().c_str(), "rb"));
    if (!file) return TREL_CANNOT_READ;
    if (fileMode != 0) return TREL_OK;
    return readPairs(file.get(), map);
}

int saveMapFile(PageMap &map, int fileMode) {
    if (fileMode == 0) return writePairs(map);
    File file(std::fopen(map.path().c_str(), "ab"));
    return file ? TREL_OK : TREL_CANNOT_WRITE;
}

}  // namespace trel
