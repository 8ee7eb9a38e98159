// The content digest.
#include "files/content_digest.h"

#include <algorithm>
#include <cstring>

namespace trel {
namespace {

// Eight bytes as one word, the first byte lowest, on every host: journals and
// sync points lie on shares that hosts of either byte order read.
uint64_t wordAt(const char *bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return __builtin_bswap64(word);
#else
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i)
        word = word << 8 | static_cast<unsigned char>(bytes[i]);
    return word;
#endif
}

}  // namespace

void ContentDigest::mixStep(const char *step) {
    for (size_t lane = 0; lane < kLanes; ++lane) {
        lanes_[lane] = mix(lanes_[lane], wordAt(step + lane * sizeof(uint64_t)));
    }
}

void ContentDigest::add(const char *data, size_t size) {
    if (size == 0) return;  // data may then be null
    length_ += size;
    if (pendingSize_ != 0) {
        const size_t take = std::min(size, kStep - pendingSize_);
        std::memcpy(pending_ + pendingSize_, data, take);
        pendingSize_ += take;
        data += take;
        size -= take;
        if (pendingSize_ < kStep) return;
        mixStep(pending_);
        pendingSize_ = 0;
    }
    for (; size >= kStep; data += kStep, size -= kStep)
        mixStep(data);
    std::memcpy(pending_, data, size);
    pendingSize_ = size;
}

uint64_t ContentDigest::value() const {
    char tail[kStep] = {};
    std::memcpy(tail, pending_, pendingSize_);
    ContentDigest last = *this;
    last.mixStep(tail);
    uint64_t hash = length_;
    for (uint64_t lane : last.lanes_)
        hash = mix(hash, lane);
    return hash;
}

}  // namespace trel
