// No C++ exception may cross into the host: a C caller cannot catch it and
// the process would end with "terminate called". Every entry point runs its
// body through guarded(). Running out of memory anywhere in the library ends
// the process as the block pool does (memory_exhausted.h).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "util/memory_exhausted.h"

namespace trel {

template <typename Body>
auto guarded(Body &&body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        memoryExhausted();
    } catch (const std::length_error &) {  // a size no allocation can serve
        memoryExhausted();
    } catch (...) {
        std::fputs("trel: unexpected internal error\n", stderr);
        std::abort();
    }
}

}  // namespace trel
