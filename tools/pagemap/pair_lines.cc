// Reading the dump's documented line form rather than the map file: the
// library stays the one reader of page.map.
#include "pair_lines.h"

#include <cinttypes>
#include <cstdint>

PairLines::int_type PairLines::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char character = traits_type::to_char_type(c);
    if (character == '\n') {
        endLine();
    } else {
        line_ += character;
    }
    return c;
}

std::streamsize PairLines::xsputn(const char *text, std::streamsize size) {
    for (std::streamsize at = 0; at < size; ++at)
        overflow(traits_type::to_int_type(text[at]));
    return size;
}

void PairLines::endLine() {
    uint32_t page = 0;
    uint32_t mapped = 0;
    char rest = '\0';
    if (std::sscanf(line_.c_str(), " Original Page : %" SCNu32 " Mapped Page : %" SCNu32 " %c",
                    &page, &mapped, &rest) == 2) {
        std::fprintf(out_, "%" PRId32 " %" PRId32 "\n", static_cast<int32_t>(page),
                     static_cast<int32_t>(mapped));
    } else {
        wellFormed_ = false;
    }
    line_.clear();
}
