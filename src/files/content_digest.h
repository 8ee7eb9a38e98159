// A 64-bit digest of a byte stream: what a sync point and a journal header
// keep of a file's content, so that a change is seen without keeping the bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trel {

// A 64-bit digest of a byte stream, the same however the stream is cut.
class ContentDigest {
  public:
    void add(const char *data, size_t size);
    uint64_t value() const;

  private:
    // Four independent lanes, so that a load does not wait on one long
    // chain of multiplications.
    static constexpr size_t kLanes = 4;
    static constexpr size_t kStep = kLanes * sizeof(uint64_t);
    static uint64_t mix(uint64_t hash, uint64_t word) {
        return (hash ^ word) * 0x9E3779B97F4A7C15ULL ^ (hash >> 29);
    }
    void mixStep(const char *step);

    uint64_t lanes_[kLanes] = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL, 0xA4093822299F31D0ULL,
                               0x082EFA98EC4E6C89ULL};
    uint64_t length_ = 0;
    char pending_[kStep] = {};
    size_t pendingSize_ = 0;
};

}  // namespace trel
