// The syntax of hierarchical names, read only to say what is wrong with a
// name the library refused:
//   name := elem { "/" elem }
//   elem := [ head ] [ "(" lib "." cell ":" view ")" ], not both left out
//   head := word "@" page | word
//   page := 1 to 2147483647 in decimal, without leading zeros
//   word := characters other than / ( ) . : @ and white space, not starting
//           with a backslash; or an extended identifier \...\ with \\ inside
//           standing for one backslash
#include "name_syntax.h"

#include <cstdint>

namespace {

constexpr std::string_view kSeparators = "/().:@";

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

class NameReader {
  public:
    explicit NameReader(std::string_view text) : text_(text) {}

    std::string problem() {
        if (text_.empty()) return "the name is empty";
        for (int element = 1;; ++element) {
            std::string why = readElement(element);
            if (!why.empty()) return why;
            if (at_ == text_.size()) return "";
            if (text_[at_] != '/') return unexpected();
            ++at_;
        }
    }

  private:
    std::string readElement(int element) {
        const std::string which = "element " + std::to_string(element);
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] != '(' && text_[at_] != '/') {
            if (std::string why = readWord(which); !why.empty()) return why;
            if (at_ < text_.size() && text_[at_] == '@') {
                ++at_;
                if (std::string why = readPage(which); !why.empty()) return why;
            }
        }
        if (at_ < text_.size() && text_[at_] == '(') {
            ++at_;
            for (const char *part : {".", ":", ")"}) {
                if (std::string why = readWord(which + "'s unit"); !why.empty()) return why;
                if (at_ == text_.size()) return which + "'s unit is not closed by \")\"";
                if (text_[at_] != *part) return unexpected();
                ++at_;
            }
        }
        if (at_ == start) return which + " is empty";
        return "";
    }

    std::string readWord(const std::string &which) {
        if (at_ < text_.size() && text_[at_] == '\\') {
            const std::size_t open = at_++;
            for (; at_ < text_.size(); ++at_) {
                if (text_[at_] != '\\') continue;
                if (at_ + 1 < text_.size() && text_[at_ + 1] == '\\') {
                    ++at_;
                    continue;
                }
                break;
            }
            if (at_ == text_.size()) return which + ": the extended identifier is not closed by \\";
            if (at_ == open + 1) return which + ": the extended identifier \\\\ is empty";
            ++at_;
            return "";
        }
        const std::size_t start = at_;
        while (at_ < text_.size() && !isSpace(text_[at_]) &&
               kSeparators.find(text_[at_]) == std::string_view::npos)
            ++at_;
        if (at_ == start) {
            if (at_ == text_.size()) return which + " ends where a name should follow";
            return unexpected();
        }
        return "";
    }

    std::string readPage(const std::string &which) {
        const std::size_t start = at_;
        uint64_t value = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            if (value <= INT32_MAX) value = value * 10 + static_cast<uint64_t>(text_[at_] - '0');
            ++at_;
        }
        const std::string digits(text_.substr(start, at_ - start));
        if (digits.empty()) return which + " has no page after '@'";
        if (value == 0)
            return "page " + digits + " of " + which + ": pages run from 1 to 2147483647";
        if (digits[0] == '0') return "page \"" + digits + "\" of " + which + " has a leading zero";
        if (value > INT32_MAX) return "page " + digits + " of " + which + " is beyond 2147483647";
        return "";
    }

    // The character at at_, which nothing in the syntax allows there.
    std::string unexpected() const {
        const std::string where = " at character " + std::to_string(at_ + 1);
        if (isSpace(text_[at_])) return "white space" + where + " (names hold none)";
        return "'" + std::string(1, text_[at_]) + "'" + where;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::string whyNotAName(std::string_view name) {
    return NameReader(name).problem();
}
