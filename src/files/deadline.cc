// Pauses between the tries of a wait.
#include "files/deadline.h"

#include <cerrno>

#include "files/file_system.h"

namespace trel {

namespace {

// The pause of the waiter that is next in turn: a few system calls a
// millisecond, for a lock that passes on within a tenth of one.
constexpr int64_t kNextPauseNs = 100000;
// Pauses grow to this; after kAgedWaitNs of waiting they are kAgedPauseNs.
constexpr int64_t kLongestPauseNs = 1000000;
constexpr int64_t kAgedWaitNs = 20000000;
constexpr int64_t kAgedPauseNs = 250000;

}  // namespace

Deadline::Deadline(int64_t milliseconds)
    : startNs_(clock().monotonicNs()),
      endNs_(startNs_ + milliseconds * 1000000),
      jitter_(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)) ^
              static_cast<uint32_t>(endNs_)) {}

bool Deadline::pause(bool next) const {
    const int64_t now = clock().monotonicNs();
    const int64_t left = endNs_ - now;
    if (left <= 0) return false;
    const int error = errno;
    // A pause of between half and the whole of the current step.
    jitter_ = jitter_ * 1664525u + 1013904223u;
    // The longer a wait has gone on, the shorter its pauses: a waiter that
    // has lost a few times is the likelier to find the lock, or the turn,
    // free next.
    const int64_t waited = now - startNs_;
    const int64_t step = next ? kNextPauseNs : waited > kAgedWaitNs ? kAgedPauseNs : pauseNs_;
    const int64_t pause = step / 2 + static_cast<int64_t>((jitter_ >> 8) % (step / 2 + 1));
    clock().sleepNs(pause < left ? pause : left);
    errno = error;
    // Short pauses first: most saves hold the lock for a millisecond or a
    // few, and a lock left free while its waiters sleep is time lost to all
    // of them.
    if (pauseNs_ < kLongestPauseNs) pauseNs_ *= 2;
    return true;
}

}  // namespace trel
