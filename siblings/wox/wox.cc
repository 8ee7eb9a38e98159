// woxString: an owned, NUL-terminated copy of a text.
#include "wox.h"

woxString::woxString() = default;

woxString::woxString(const char *text) : text_(text != nullptr ? text : "") {}

woxString::woxString(const woxString &other) = default;
woxString::woxString(woxString &&other) noexcept = default;
woxString &woxString::operator=(const woxString &other) = default;
woxString &woxString::operator=(woxString &&other) noexcept = default;
woxString::~woxString() = default;

const char *woxString::text() const {
    return text_.c_str();
}

std::size_t woxString::length() const {
    return text_.size();
}
