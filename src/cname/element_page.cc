// Reading an element's page from its label, and formatting the mapped label.
#include "cname/element_page.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace trel {

namespace {

constexpr char kPagePrefix[] = "page";
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

ElementPage readElementPage(const hqPathElem &elem) {
    ElementPage result{elem.page(), elem.inst()};
    if (result.page == 0 && elem.label != nullptr &&
        std::strncmp(elem.label, kPagePrefix, kPagePrefixLength) == 0) {
        result.page = leadingNumber(elem.label + kPagePrefixLength);
        result.inst = nullptr;
    }
    return result;
}

const char *formatPageLabel(std::string &label, int mapped, const char *inst) {
    char digits[16];
    const auto printed = std::to_chars(digits, digits + sizeof digits, mapped);
    const std::size_t digitCount = static_cast<std::size_t>(printed.ptr - digits);
    const std::size_t instLength = inst != nullptr ? std::strlen(inst) : 0;
    const std::size_t length =
        kPagePrefixLength + digitCount + (inst != nullptr ? 1 + instLength : 0);
    // Grown only when a label is longer than any before; never shrunk.
    if (label.size() <= length) label.resize(length + 1);
    char *p = label.data();
    std::memcpy(p, kPagePrefix, kPagePrefixLength);
    p += kPagePrefixLength;
    std::memcpy(p, digits, digitCount);
    p += digitCount;
    if (inst != nullptr) {
        *p++ = '_';
        std::memcpy(p, inst, instLength);
        p += instLength;
    }
    *p = '\0';
    return label.data();
}

}  // namespace trel
