// The page map of one design unit: its names, the path of its map file, a
// modified flag, the pairs original page -> mapped page in a skip list, and
// the record of what it knows of its map file.
// Pages are 32-bit and ordered as unsigned values, so negative pages sort
// after all others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "maps/map_file_record.h"
#include "maps/unit_name.h"
#include "util/skip_list.h"

namespace trel {

class PageMap {
  public:
    // Copies the names and the path; the pairs start empty in a skip list taken
    // from `pool`, which owns it. A new page map counts as modified (the
    // registry clears the flag once a load has read the whole of its file).
    // Released with delete.
    static PageMap *make(const UnitName &unit, const std::string &path, BlockPool *pool);
    // The texts live in the page map's own allocation, right behind it.
    static void operator delete(void *memory) { ::operator delete(memory); }
    PageMap(const PageMap &) = delete;
    PageMap &operator=(const PageMap &) = delete;

    // Copies of the names and the path; they are kept together in one text.
    std::string lib() const { return libText(); }
    std::string cell() const { return cellText(); }
    std::string view() const { return viewText(); }
    std::string path() const { return pathText(); }
    // Whether these are the unit's names (all three present).
    bool isUnit(const UnitName &unit) const;
    bool modified() const { return (flags_ & kModified) != 0; }
    // Changes with every change to the pairs of any page map (an edit, a
    // clear, a load, a merge), so that a caller that keeps answers of get()
    // can tell when they may have gone stale.
    static uint64_t pairsGeneration() { return pairsGeneration_; }
    void setModified(bool modified);
    // What this page map knows of its map file; every change to the pairs
    // through set(), remove() and clear() is noted there.
    MapFileRecord &file() { return file_; }
    const MapFileRecord &file() const { return file_; }

    // Lookup: 0 with the mapped page, or TREL_NO_MAPPING with the page itself.
    int get(int32_t page, int32_t *mapped) const;
    // Starts fetching from memory what get() reads first in each of `maps`:
    // the page map, its pairs' list record and header node, and the first
    // node of every level, where the search descends from. Each step reads
    // what the one before fetched for every map, so the cache misses of
    // all the maps overlap. Changes nothing.
    static void prefetchPairs(const PageMap *const *maps, size_t count);
    // Stores or replaces the pair and marks the map modified.
    void set(int32_t page, int32_t mapped);
    // Removes the pair if there is one; marks the map modified either way.
    void remove(int32_t page);
    // Removes every pair (their nodes are kept for reuse) and marks the map
    // modified. The host asked for an empty map, so whatever the file holds
    // may be replaced by it.
    void clear();
    // Leaves no pairs without touching the modified flag (before a reload).
    void discard();
    // Makes `pairs` (ascending unsigned, each page once) the page map's pairs,
    // without touching the modified flag.
    void replacePairs(const std::vector<std::pair<int32_t, int32_t>> &pairs);
    // Reverse lookup: the first original page, in order, whose mapped page is
    // `mapped`; 0, or TREL_NO_ORIGINAL_PAGE with `mapped` itself.
    int reverse(int32_t mapped, int32_t *original) const;
    // The highest original page (unsigned), 0 when empty.
    int32_t highest() const;
    // One line per pair: indentation of `width` spaces, then
    // "Original Page : <page> Mapped Page : <mapped>" with unsigned numbers;
    // the last line end is left out when `finalLineEnd` is false.
    std::ostream &dump(std::ostream &out, int width, bool finalLineEnd) const;

    // Calls visit(page, mapped) for every pair in ascending unsigned order.
    // `visit` must not change the pairs.
    template <typename Visit>
    void forEachPair(Visit &&visit) const {
        skipforeach(pairs_, [&visit](uint32_t page, SkipValue mapped) {
            visit(static_cast<int32_t>(page), static_cast<int32_t>(mapped));
        });
    }

    // Stores the pairs read from a map file, without touching the modified
    // flag. A saved file lists its pages in ascending order, and such pages
    // are appended without a search.
    class Loader {
      public:
        explicit Loader(PageMap &map) : pairs_(map.pairs_) {
            ++pairsGeneration_;
            skipcursorstart(&cursor_);
        }
        void operator()(int32_t page, int32_t mapped) {
            *skipinsertnext(pairs_, &cursor_, static_cast<uint32_t>(page)) =
                static_cast<SkipValue>(static_cast<uint32_t>(mapped));
        }

      private:
        SkipList *pairs_;
        SkipCursor cursor_;
    };

  private:
    static constexpr uint8_t kModified = 1;

    static inline uint64_t pairsGeneration_ = 0;

    explicit PageMap(SkipList *pairs) : pairs_(pairs) {}

    const char *libText() const { return reinterpret_cast<const char *>(this + 1); }
    const char *cellText() const { return afterText(libText()); }
    const char *viewText() const { return afterText(cellText()); }
    const char *pathText() const { return afterText(viewText()); }
    static const char *afterText(const char *text);

    // Behind the page map, in its allocation, come the library, cell and view
    // names and the map file path, each ended by its NUL: a page map's fixed
    // memory is mostly its pairs' list, and the texts take only their bytes,
    // in the cache lines a lookup reads anyway.
    SkipList *pairs_;
    MapFileRecord file_;
    uint8_t flags_ = kModified;
};

}  // namespace trel
