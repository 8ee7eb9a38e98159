// Reading an element's page from its label, and formatting the mapped label.
#include "cname/element_page.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace trel {

namespace {

constexpr std::size_t kPagePrefixLength = sizeof kPagePrefix - 1;

// The number at the start of `text` as "%d" would read it: after optional
// white space and a sign. 0 when there is none or it does not fit an int,
// where "%d" itself would have no defined result.
int leadingNumber(const char *text) {
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || value < INT_MIN || value > INT_MAX) return 0;
    return static_cast<int>(value);
}

}  // namespace

int pageOfLabel(const char *label) {
    return leadingNumber(label + kPagePrefixLength);
}

size_t formatMappedPage(std::string &label, int mapped) {
    char digits[16];
    const auto printed = std::to_chars(digits, digits + sizeof digits, mapped);
    const std::size_t digitCount = static_cast<std::size_t>(printed.ptr - digits);
    const std::size_t length = kPagePrefixLength + digitCount;
    // Grown only when a label is longer than any before; never shrunk.
    if (label.size() <= length) label.resize(length + 1);
    char *p = label.data();
    std::memcpy(p, kPagePrefix, kPagePrefixLength);
    std::memcpy(p + kPagePrefixLength, digits, digitCount);
    p[length] = '\0';
    return length;
}

void formatInstance(std::string &label, size_t at, const char *inst) {
    if (inst == nullptr) {
        label[at] = '\0';
        return;
    }
    const std::size_t instLength = std::strlen(inst);
    if (label.size() <= at + 1 + instLength) label.resize(at + 2 + instLength);
    char *p = &label[at];
    *p = '_';
    std::memcpy(p + 1, inst, instLength + 1);
}

const char *formatPageLabel(std::string &label, int mapped, const char *inst) {
    formatInstance(label, formatMappedPage(label, mapped), inst);
    return label.c_str();
}

}  // namespace trel
