// strncpy semantics for overlapping buffers.
#include "cname/output_copy.h"

#include <cstddef>
#include <cstring>

namespace trel {

void copyOut(char *out, int length, const char *text) {
    const auto size = static_cast<std::size_t>(length);
    const void *end = std::memchr(text, '\0', size);
    const std::size_t copied =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char *>(end) - text) : size;
    std::memmove(out, text, copied);
    std::memset(out + copied, 0, size - copied);
}

}  // namespace trel
