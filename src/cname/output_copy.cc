// strncpy semantics for overlapping buffers.
#include "cname/output_copy.h"

#include <cstddef>
#include <cstring>

namespace trel {

void copyOut(char *out, int length, const char *text) {
    const auto size = static_cast<std::size_t>(length);
    std::size_t copied = 0;
    while (copied < size && text[copied] != '\0')
        ++copied;
    std::memmove(out, text, copied);
    std::memset(out + copied, 0, size - copied);
}

}  // namespace trel
