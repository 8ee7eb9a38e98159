// The library's one answer to running out of memory, whether the block pool's
// system allocator refuses a block or a C++ allocation throws: no caller can
// do better, so the process ends with the "malloc" line through perror and
// exit(-1).
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace trel {

// `error` is what perror reports: the allocator's own reason where it gave one.
[[noreturn]] inline void memoryExhausted(int error = ENOMEM) {
    errno = error;
    std::perror("malloc");
    std::exit(-1);
}

}  // namespace trel
