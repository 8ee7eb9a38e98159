// Reading a map file's pairs from a stream of bytes in fixed-size blocks.
//
// The memory used is the block and nothing more, whatever the file holds: a
// pair that is still open at the end of a block is carried into the next one
// in a compacted form (one blank for a run of white space, no leading zeros,
// at most as many digits as decide whether the number fits 32 bits), so even
// hundreds of megabytes of blanks or zeros inside one pair fit the block.
//
// When reading stops early, the byte offset of the token where it stopped is
// told exactly, compacted text or not, so that a caller can name the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "files/read_in_blocks.h"
#include "maps/map_text.h"

namespace trel {

// What a source hands over on each call.
struct ReadChunk {
    size_t size;  // bytes placed in the buffer
    bool end;     // no byte follows
    bool failed;  // the source could not be read
};

// How reading ended.
struct ReadEnd {
    enum class Kind { whole, stopped, failed };
    Kind kind;
    uint64_t stopOffset;  // stopped: where the offending token starts
};

// The unparsed tail at the front of the block: the part that was compacted,
// and where in the stream its tokens and the bytes after it came from.
class HeldTail {
  public:
    // The stream offset of the byte (or compacted token) at `position`.
    uint64_t offsetOf(size_t position) const;
    // The first `count` bytes were parsed and go away.
    void drop(size_t count);
    // Rewrites the `held` bytes at `text` in compacted form; returns its length.
    size_t compact(char *text, size_t held);

  private:
    static constexpr size_t kMaxTokens = 4;
    size_t compacted_ = 0;  // bytes of compacted text at the front
    uint64_t next_ = 0;     // stream offset of the byte right after them
    size_t tokens_ = 0;
    size_t tokenAt_[kMaxTokens] = {};
    uint64_t tokenOffset_[kMaxTokens] = {};
};

// Calls store(original, mapped) for every pair the source yields. `source`
// is called as source(char *into, size_t room) -> ReadChunk.
template <typename Source, typename Store>
ReadEnd readPairs(Source &&source, Store &&store, size_t blockSize = kBlockSize) {
    // A compacted open pair takes fewer than 64 bytes; the block must hold it
    // and leave room to read.
    constexpr size_t kCompactAbove = 64;
    if (blockSize < 4 * kCompactAbove) blockSize = 4 * kCompactAbove;
    // Not cleared first: the parser reads no byte past those the source
    // gave, and clearing a block much larger than a small file would cost a
    // small load more than its parsing.
    const std::unique_ptr<char[]> buffer(new char[blockSize]);
    char *const block = buffer.get();
    PairParser parser;
    HeldTail tail;
    size_t held = 0;
    for (;;) {
        const ReadChunk chunk = source(block + held, blockSize - held);
        if (chunk.failed) return {ReadEnd::Kind::failed, 0};
        held += chunk.size;
        const bool last = chunk.end;
        const size_t consumed = parser.parse(block, block + held, last, store);
        if (parser.stopped()) return {ReadEnd::Kind::stopped, tail.offsetOf(parser.stopOffset())};
        if (last) return {ReadEnd::Kind::whole, 0};
        tail.drop(consumed);
        held -= consumed;
        std::memmove(block, block + consumed, held);
        if (held > kCompactAbove) held = tail.compact(block, held);
    }
}

}  // namespace trel
