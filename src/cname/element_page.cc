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

void formatPageLabel(std::string &label, int mapped, const char *inst) {
    char digits[16];
    const auto printed = std::to_chars(digits, digits + sizeof digits, mapped);
    label.assign(kPagePrefix, kPagePrefixLength);
    label.append(digits, printed.ptr);
    if (inst != nullptr) {
        label += '_';
        label += inst;
    }
}

}  // namespace trel
