// Page map operations over the skip list of pairs.
#include "maps/page_map.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "trel.h"
#include "util/string_save.h"

namespace trel {
namespace {

// The page maps remove pairs that may be missing; that is not an error.
int ignoreMissing(const char * /*text*/) {
    return 1;
}

SkipValue toValue(int32_t page) {
    return static_cast<SkipValue>(static_cast<uint32_t>(page));
}
int32_t toPage(SkipValue value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// The indentation text of a dump, saved once per distinct width.
const char *indentation(int width) {
    if (width == 0) return hashsavestr("");
    char text[1024];
    std::snprintf(text, sizeof text, "%*s", width, " ");
    return hashsavestr(text);
}

}  // namespace

PageMap *PageMap::make(const UnitName &unit, const std::string &path, BlockPool *pool) {
    const char *names[] = {unit.lib, unit.cell, unit.view};
    size_t size = sizeof(PageMap) + path.size() + 1;
    for (const char *name : names)
        size += std::strlen(name) + 1;
    void *memory = ::operator new(size);
    auto *map = new (memory) PageMap(skipnew(pool));
    char *at = reinterpret_cast<char *>(map + 1);
    for (const char *name : names) {
        const size_t length = std::strlen(name) + 1;
        std::memcpy(at, name, length);
        at += length;
    }
    std::memcpy(at, path.c_str(), path.size() + 1);
    return map;
}

const char *PageMap::afterText(const char *text) {
    return text + std::strlen(text) + 1;
}

bool PageMap::isUnit(const UnitName &unit) const {
    const char *at = libText();
    for (const char *name : {unit.lib, unit.cell, unit.view}) {
        if (std::strcmp(at, name) != 0) return false;
        at = afterText(at);
    }
    return true;
}

void PageMap::setModified(bool modified) {
    flags_ = static_cast<uint8_t>(modified ? flags_ | kModified : flags_ & ~kModified);
}

int PageMap::get(int32_t page, int32_t *mapped) const {
    const SkipValue *found = skipsearch(pairs_, static_cast<uint32_t>(page));
    if (found == nullptr) {
        *mapped = page;
        return TREL_NO_MAPPING;
    }
    *mapped = toPage(*found);
    return TREL_OK;
}

void PageMap::prefetchPairs(const PageMap *const *maps, size_t count) {
    for (size_t i = 0; i < count; ++i)
        __builtin_prefetch(&maps[i]->pairs_);
    for (size_t i = 0; i < count; ++i)
        __builtin_prefetch(maps[i]->pairs_);
    for (size_t i = 0; i < count; ++i)
        __builtin_prefetch(maps[i]->pairs_->header);
    for (size_t i = 0; i < count; ++i)
        skipprefetchstart(maps[i]->pairs_);
}

void PageMap::set(int32_t page, int32_t mapped) {
    ++pairsGeneration_;
    *skipinsert(pairs_, static_cast<uint32_t>(page)) = toValue(mapped);
    setModified(true);
    file_.noteChange(static_cast<uint32_t>(page));
}

void PageMap::remove(int32_t page) {
    ++pairsGeneration_;
    skipdelete(pairs_, static_cast<uint32_t>(page), ignoreMissing);
    setModified(true);
    file_.noteChange(static_cast<uint32_t>(page));
}

void PageMap::clear() {
    discard();
    setModified(true);
    file_.noteCleared();
}

void PageMap::replacePairs(const std::vector<std::pair<int32_t, int32_t>> &pairs) {
    discard();
    Loader store(*this);
    for (const auto &[page, mapped] : pairs)
        store(page, mapped);
}

void PageMap::discard() {
    ++pairsGeneration_;
    // Read each successor before deleting its predecessor; the deleted nodes go
    // to the list's free lists and serve the next insertions.
    for (SkipNode *node = skipfirst(pairs_); node != nullptr;) {
        uint32_t page;
        SkipValue mapped;
        skipstep(node, &page, &mapped, &node);
        skipdelete(pairs_, page, ignoreMissing);
    }
}

int PageMap::reverse(int32_t mapped, int32_t *original) const {
    for (SkipNode *node = skipfirst(pairs_); node != nullptr;) {
        uint32_t page;
        SkipValue value;
        skipstep(node, &page, &value, &node);
        if (toPage(value) == mapped) {
            *original = static_cast<int32_t>(page);
            return TREL_OK;
        }
    }
    *original = mapped;
    return TREL_NO_ORIGINAL_PAGE;
}

int32_t PageMap::highest() const {
    uint32_t highest = 0;
    forEachPair([&highest](int32_t page, int32_t) {
        highest = static_cast<uint32_t>(page) > highest ? static_cast<uint32_t>(page) : highest;
    });
    return static_cast<int32_t>(highest);
}

std::ostream &PageMap::dump(std::ostream &out, int width, bool finalLineEnd) const {
    const char *indent = indentation(width);
    for (SkipNode *node = skipfirst(pairs_); node != nullptr;) {
        uint32_t page;
        SkipValue mapped;
        skipstep(node, &page, &mapped, &node);
        out << indent << "Original Page : " << page
            << " Mapped Page : " << static_cast<uint32_t>(mapped);
        if (node != nullptr || finalLineEnd) out << std::endl;
    }
    return out;
}

}  // namespace trel
