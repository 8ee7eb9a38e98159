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

int loadPairs(std::FILE *file, PageMap &map, std::string *problem) {
    SyncPoint sync;
    sync.known = true;
    sync.file = identityOf(file);
    ContentDigest digest;
    auto source = [file, &digest](char *into, size_t room) {
        size_t got = std::fread(into, 1, room, file);
        digest.add(into, got);
        return ReadChunk{got, got < room && std::feof(file) != 0, std::ferror(file) != 0};
    };
    const ReadEnd end = readPairs(source, PageMap::Loader(map));
    // Even a damaged file is the one this page map knows: cleared on purpose,
    // the map may replace that same file, but not one saved since by others.
    if (end.kind == ReadEnd::Kind::whole) {
        sync.digestKnown = true;
        sync.digest = digest.value();
    }
    map.setSyncPoint(sync);
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
                   " was not read in file mode 0; saving would lose its pairs: reload it in "
                   "mode 0, or reset the page map to replace it";
        case PageMap::FileState::unreadable:
            break;
    }
    return "Map file " + map.path() +
           " could not be read; saving would lose its pairs: reload it once it can be read, or "
           "reset the page map to replace it";
}

// A file's text, one "original mapped\n" line per pair, made in one pass
// into one buffer. The buffer grows by realloc and is never cleared first,
// so each byte is written once, and a large one grows by remapping its pages
// rather than by copying them.
class PairText {
  public:
    PairText() = default;
    PairText(PairText &&other) noexcept
        : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
        other.data_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    PairText &operator=(PairText &&other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    PairText(const PairText &) = delete;
    PairText &operator=(const PairText &) = delete;
    ~PairText() { std::free(data_); }

    void add(int32_t page, int32_t mapped) {
        if (capacity_ - size_ < kPairTextMax)
            grow(capacity_ == 0 ? size_t{1} << 16 : 2 * capacity_);
        size_ = static_cast<size_t>(formatPair(data_ + size_, page, mapped) - data_);
    }
    void reserve(size_t pairs) {
        if (pairs * kPairTextMax > capacity_) grow(pairs * kPairTextMax);
    }
    // Never null, even for the empty text, so that it can be handed on to
    // anything that copies from it.
    const char *data() const { return data_ != nullptr ? data_ : ""; }
    size_t size() const { return size_; }
    bool operator==(const std::vector<char> &other) const {
        return size_ == other.size() &&
               (size_ == 0 || std::memcmp(data_, other.data(), size_) == 0);
    }

  private:
    void grow(size_t capacity) {
        void *grown = std::realloc(data_, capacity);
        if (grown == nullptr) throw std::bad_alloc();  // as a vector would
        data_ = static_cast<char *>(grown);
        capacity_ = capacity;
    }

    char *data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

PairText mapText(const PageMap &map) {
    PairText text;
    map.forEachPair([&text](int32_t page, int32_t mapped) { text.add(page, mapped); });
    return text;
}

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

// The pairs of a file's text, ascending unsigned, a later pair for a page
// replacing an earlier one. False when the text cannot be read to its end.
bool filePairs(const std::vector<char> &text, Pairs *pairs, uint64_t *damagedAt) {
    size_t next = 0;
    auto source = [&](char *into, size_t room) {
        const size_t take = std::min(room, text.size() - next);
        if (take != 0) std::memcpy(into, text.data() + next, take);
        next += take;
        return ReadChunk{take, next == text.size(), false};
    };
    std::vector<std::pair<uint32_t, int32_t>> read;
    const ReadEnd end = readPairs(source, [&](int32_t page, int32_t mapped) {
        read.emplace_back(static_cast<uint32_t>(page), mapped);
    });
    if (end.kind != ReadEnd::Kind::whole) {
        *damagedAt = end.stopOffset;
        return false;
    }
    std::stable_sort(read.begin(), read.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    pairs->clear();
    for (size_t i = 0; i < read.size(); ++i) {
        if (i + 1 < read.size() && read[i + 1].first == read[i].first) continue;
        pairs->emplace_back(static_cast<int32_t>(read[i].first), read[i].second);
    }
    return true;
}

// The file's pairs, except that every page this page map changed since its
// sync point takes the page map's answer: its pair, or none.
Pairs mergedPairs(const Pairs &file, PageMap &map) {
    Pairs mine;
    map.forEachPair([&](int32_t page, int32_t mapped) { mine.emplace_back(page, mapped); });
    if (map.allPagesChanged()) return mine;
    const std::vector<uint32_t> &changed = map.changedPages();
    auto isChanged = [&](int32_t page) {
        return std::binary_search(changed.begin(), changed.end(), static_cast<uint32_t>(page));
    };
    auto before = [](const std::pair<int32_t, int32_t> &a, const std::pair<int32_t, int32_t> &b) {
        return static_cast<uint32_t>(a.first) < static_cast<uint32_t>(b.first);
    };
    Pairs result;
    result.reserve(file.size() + changed.size());
    for (const auto &pair : file)
        if (!isChanged(pair.first)) result.push_back(pair);
    const size_t kept = result.size();
    for (const auto &pair : mine)
        if (isChanged(pair.first)) result.push_back(pair);
    std::inplace_merge(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(kept),
                       result.end(), before);
    return result;
}

PairText pairsText(const Pairs &pairs) {
    PairText text;
    text.reserve(pairs.size());
    for (const auto &[page, mapped] : pairs)
        text.add(page, mapped);
    return text;
}

int refuse(std::string *problem, std::string message) {
    *problem = std::move(message);
    errno = EPERM;
    return TREL_CANNOT_WRITE;
}

int writePairs(PageMap &map, std::string *problem) {
    ReplacementFile file(map.path());
    if (!file.lock()) {
        *problem = cannotWriteMessage(map.path());
        return TREL_CANNOT_WRITE;
    }
    // The identity comes first: a file nobody saved since is never read.
    const SyncPoint &sync = map.syncPoint();
    bool changed = !sync.known || !(identityOfPath(file.target()) == sync.file);
    std::vector<char> present;
    if (changed) {
        if (!file.readTarget(&present)) {
            const int reason = errno;
            if (reason == EISDIR || reason == EINVAL) {
                *problem = cannotWriteMessage(map.path());
                return TREL_CANNOT_WRITE;
            }
            return refuse(problem, "Map file " + map.path() + " changed since it was read and " +
                                       "cannot be read now (" + std::strerror(reason) +
                                       "); not saving over it");
        }
        ContentDigest digest;
        digest.add(present.data(), present.size());
        changed = !(sync.known && sync.digestKnown && digest.value() == sync.digest);
    }

    PairText text;
    if (changed) {
        // Another process saved since: keep its pairs except where this page
        // map changed something.
        Pairs onFile;
        uint64_t damagedAt = 0;
        if (!filePairs(present, &onFile, &damagedAt)) {
            return refuse(problem, "Map file " + map.path() +
                                       " changed since it was read and is damaged at byte " +
                                       std::to_string(damagedAt) + "; not saving over it");
        }
        const Pairs merged = mergedPairs(onFile, map);
        text = pairsText(merged);
        map.replacePairs(merged);
    } else {
        if (std::string loss = saveWouldLose(map); !loss.empty()) return refuse(problem, loss);
        text = mapText(map);
    }

    if (!(changed && text == present) && !file.replace(text.data(), text.size())) {
        *problem = cannotWriteMessage(map.path());
        return TREL_CANNOT_WRITE;
    }
    SyncPoint now;
    now.known = true;
    now.file = identityOfPath(file.target());
    now.digestKnown = true;
    ContentDigest digest;
    digest.add(text.data(), text.size());
    now.digest = digest.value();
    map.setSyncPoint(now);
    map.setFileState(PageMap::FileState::held);
    map.setModified(false);
    return TREL_OK;
}

}  // namespace

std::string cannotWriteMessage(const std::string &path) {
    return "Failed to open map file " + path + " for write";
}

int loadMapFile(PageMap &map, int fileMode, std::string *problem) {
    File file(std::fopen(map.path().c_str(), "rb"));
    if (!file) {
        SyncPoint sync;
        if (errno == ENOENT) {
            sync.known = true;  // no file: nothing to lose
            map.setFileState(PageMap::FileState::held);
        } else {
            map.setFileState(PageMap::FileState::unreadable);
            *problem = cannotRead(map.path(), errno);
        }
        map.setSyncPoint(sync);
        return TREL_CANNOT_READ;
    }
    if (fileMode != 0) {
        SyncPoint sync;
        sync.known = true;
        sync.file = identityOf(file.get());
        map.setSyncPoint(sync);
        map.setFileState(PageMap::FileState::unread);
        return TREL_OK;
    }
    return loadPairs(file.get(), map, problem);
}

int saveMapFile(PageMap &map, int fileMode, std::string *problem) {
    if (fileMode == 0) return writePairs(map, problem);
    // Nothing is written, so the sync point stays where it is.
    File file(std::fopen(map.path().c_str(), "ab"));
    if (file) return TREL_OK;
    *problem = cannotWriteMessage(map.path());
    return TREL_CANNOT_WRITE;
}

}  // namespace trel
