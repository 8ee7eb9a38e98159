// A growing buffer of map-file text, written once per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "maps/map_text.h"

namespace trel {

// The text of a map file being saved, one "original mapped\n" line per
// pair, made in one pass into one buffer. The buffer grows by realloc and is never cleared first,
// so each byte is written once, and a large one grows by remapping its pages
// rather than by copying them.
class MapTextBuffer {
  public:
    MapTextBuffer() = default;
    MapTextBuffer(MapTextBuffer &&other) noexcept
        : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
        other.data_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    MapTextBuffer &operator=(MapTextBuffer &&other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    MapTextBuffer(const MapTextBuffer &) = delete;
    MapTextBuffer &operator=(const MapTextBuffer &) = delete;
    ~MapTextBuffer() { std::free(data_); }

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

}  // namespace trel
