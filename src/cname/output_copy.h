// Handing a relabelled name back to the host: the answer is copied into the
// host's buffer the way strncpy copies.
#pragma once

#include <cstddef>
#include <cstring>

namespace trel {

// Copies `text` into `out` (`length` bytes, length > 0) with strncpy
// semantics: at most `length` bytes of the text, the rest of the buffer filled
// with NULs, and no terminator when the text has `length` bytes or more.
// Unlike strncpy it is safe when `text` lies in `out`, as it does when a host
// relabels a name in place and the name comes back unchanged.
inline void copyOut(char *out, int length, const char *text) {
    const auto size = static_cast<std::size_t>(length);
    const void *end = std::memchr(text, '\0', size);
    const std::size_t copied =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char *>(end) - text) : size;
    std::memmove(out, text, copied);
    std::memset(out + copied, 0, size - copied);
}

}  // namespace trel
