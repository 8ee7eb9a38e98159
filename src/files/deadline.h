// How long a wait for another process goes on. Waits end at a deadline on
// the seam's monotonic clock, with pauses that grow and vary, so that waiters
// started together do not retry together.
#pragma once

#include <cstdint>

namespace trel {

// How long a save or a load waits for another process's lock.
constexpr int64_t kLockWaitMilliseconds = 10000;

// A point in time after which waits give up.
class Deadline {
  public:
    explicit Deadline(int64_t milliseconds);
    // Pauses before the next try of something another process holds: short
    // at first, longer as the wait goes on, never past the deadline. False,
    // without pausing, once the deadline has passed. A waiter that is `next`
    // (it holds the turn) keeps its pauses short, so that the lock passes to
    // it soon after it is let go.
    bool pause(bool next = false) const;

  private:
    int64_t startNs_;
    int64_t endNs_;
    mutable int64_t pauseNs_ = 50000;
    mutable uint32_t jitter_;
};

}  // namespace trel
