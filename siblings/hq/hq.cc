// Parsing and printing of hierarchical names, and the edits libtrel makes to
// them (detaching and re-attaching the last element, relabelling).
//
// The parser copies the text once and cuts it into names in place, writing a
// NUL over the delimiter that ends each name; elements point into that copy.
// Every element is made at construction, in one array sized by an upper bound
// (one more than the number of "/" characters), so a parse costs a handful of
// allocations whatever the depth of the name.
#include "hq.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>

namespace {

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDelimiter(char c) {
    return c == '/' || c == '(' || c == ')' || c == '.' || c == ':' || c == '@';
}

// The end of the name that begins at `p` (the first character after it), or
// null when no well-formed name begins there.
char *scanName(char *p) {
    if (*p == '\\') {
        char *q = p + 1;
        for (;;) {
            if (*q == '\0') return nullptr;  // never closed
            if (*q == '\\') {
                if (q[1] != '\\') break;  // the closing backslash
                q += 2;
            } else {
                ++q;
            }
        }
        if (q == p + 1) return nullptr;  // nothing between the backslashes
        return q + 1;
    }
    char *q = p;
    while (*q != '\0' && !isDelimiter(*q) && !isSpace(*q))
        ++q;
    return q == p ? nullptr : q;
}

// Cuts the name that begins at `p` out of the text: `name` receives it, the
// character that follows it goes to `delimiter` and is overwritten by the
// name's NUL, and `p` moves past it. False when no name begins at `p`.
bool cutName(char *&p, const char *&name, char &delimiter) {
    char *end = scanName(p);
    if (end == nullptr) return false;
    name = p;
    delimiter = *end;
    *end = '\0';
    p = delimiter == '\0' ? end : end + 1;
    return true;
}

// Reads a page number at `p`: 1 to INT_MAX, no leading zeros, so that printing
// the number gives the same digits back. Returns the end of the digits, or null.
char *scanPage(char *p, int &page) {
    if (*p < '1' || *p > '9') return nullptr;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) return nullptr;
    }
    page = static_cast<int>(value);
    return p;
}

void appendElement(std::string &out, const hqPathElem &elem) {
    if (elem.label != nullptr) {
        out += elem.label;
    } else if (elem.inst() != nullptr) {
        out += elem.inst();
        if (elem.page() != 0) {
            char digits[16];
            const auto printed = std::to_chars(digits, digits + sizeof digits, elem.page());
            out += '@';
            out.append(digits, printed.ptr);
        }
    }
    if (elem.lib != nullptr && elem.cell != nullptr && elem.view != nullptr) {
        out += '(';
        out += elem.lib;
        out += '.';
        out += elem.cell;
        out += ':';
        out += elem.view;
        out += ')';
    }
}

}  // namespace

void hqPathElem::setLabel(const char *text) {
    if (text == nullptr) {
        ownedLabel_.clear();
        label = nullptr;
        return;
    }
    ownedLabel_.assign(text);
    label = ownedLabel_.c_str();
}

hqPath::hqPath(const char *text) {
    if (parse(text)) {
        valid = 1;
    } else {
        sequence_.clear();
        elements_.reset();
        names_.clear();
    }
}

hqPath::~hqPath() = default;

bool hqPath::parse(const char *text) {
    if (text == nullptr || *text == '\0') return false;
    names_.assign(text);
    const std::size_t most =
        1 + static_cast<std::size_t>(std::count(names_.begin(), names_.end(), '/'));
    elements_.reset(new hqPathElem[most]);
    sequence_.reserve(most);

    char *p = names_.data();
    for (std::size_t n = 0; n < most; ++n) {
        hqPathElem &elem = elements_[n];
        char delimiter = *p;
        const bool hasHead = delimiter != '(' && delimiter != '/' && delimiter != '\0';
        if (hasHead) {
            const char *name = nullptr;
            if (!cutName(p, name, delimiter)) return false;
            if (delimiter == '@') {
                elem.inst_ = name;
                p = scanPage(p, elem.page_);
                if (p == nullptr) return false;
                delimiter = *p;
                if (delimiter != '\0') ++p;
            } else {
                elem.label = name;
            }
        } else if (delimiter != '\0') {
            ++p;
        }

        const bool hasUnit = delimiter == '(';
        if (hasUnit) {
            if (!cutName(p, elem.lib, delimiter) || delimiter != '.') return false;
            if (!cutName(p, elem.cell, delimiter) || delimiter != ':') return false;
            if (!cutName(p, elem.view, delimiter) || delimiter != ')') return false;
            delimiter = *p;
            if (delimiter != '\0') ++p;
        }

        if (!hasHead && !hasUnit) return false;  // an empty element
        sequence_.push_back(&elem);
        if (delimiter == '\0') return true;
        if (delimiter != '/') return false;
    }
    return false;  // unreachable: every element but the last consumed a "/"
}

hqPathElem *hqPath::parsePathElem(int first) {
    if (first != 0) next_ = 0;
    if (next_ >= sequence_.size()) return nullptr;
    return sequence_[next_++];
}

hqPathElem *hqPath::breakPath() {
    if (sequence_.empty()) return nullptr;
    hqPathElem *last = sequence_.back();
    sequence_.pop_back();
    return last;
}

hqPathElem *hqPath::lastPathElem() const {
    return sequence_.empty() ? nullptr : sequence_.back();
}

void hqPath::appendPath(hqPathElem *elem) {
    if (elem != nullptr) sequence_.push_back(elem);
}

hqPath::operator const char *() {
    text_.clear();
    for (std::size_t i = 0; i < sequence_.size(); ++i) {
        if (i != 0) text_ += '/';
        appendElement(text_, *sequence_[i]);
    }
    return text_.c_str();
}
