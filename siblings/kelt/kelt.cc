// The two conversion steps of the name mapper and the mapper that chains them.
#include "kelt.h"

#include <cstdint>

namespace {

// Appends bytes to a caller's buffer of fixed size, always leaving room for the
// terminating NUL; a byte that does not fit marks the result as failed instead
// of being written.
class BoundedText {
  public:
    BoundedText(char *out, std::size_t size) : out_(out), size_(size) {}

    void put(char c) {
        if (used_ + 1 < size_) {
            out_[used_++] = c;
        } else {
            overflowed_ = true;
        }
    }

    // Terminates the text and returns it, or null (leaving the empty text)
    // when something did not fit or the conversion failed.
    const char *finish(bool converted) {
        if (size_ == 0) return nullptr;
        if (!converted || overflowed_) {
            out_[0] = '\0';
            return nullptr;
        }
        out_[used_] = '\0';
        return out_;
    }

  private:
    char *out_;
    std::size_t size_;
    std::size_t used_ = 0;
    bool overflowed_ = false;
};

// Copies the inside of the extended identifier at `name` (which begins with a
// backslash) into `text`, undoubling backslashes. False when it is malformed.
bool unwrapExtendedIdentifier(const char *name, BoundedText &text) {
    const char *p = name + 1;
    bool empty = true;
    for (;;) {
        if (*p == '\0') return false;  // never closed
        if (*p == '\\') {
            if (p[1] != '\\') break;  // the closing backslash
            text.put('\\');
            p += 2;
        } else {
            text.put(*p);
            ++p;
        }
        empty = false;
    }
    return !empty && p[1] == '\0';
}

// The bytes that keltIdentToLibraryNT escapes, one flag per byte value.
struct ForbiddenBytes {
    bool flag[256] = {};
    ForbiddenBytes() {
        for (int c = 0x01; c < 0x20; ++c)
            flag[c] = true;
        flag[0x7F] = true;
        for (const char *p = "<>:\"/\\|?*%"; *p != '\0'; ++p)
            flag[static_cast<unsigned char>(*p)] = true;
    }
};

bool isForbiddenInFileName(unsigned char c) {
    static const ForbiddenBytes forbidden;
    return forbidden.flag[c];
}

// Whether `name` lies in the buffer `out` of keltBufferSize bytes.
bool liesIn(const char *name, const char *out) {
    const auto at = reinterpret_cast<std::uintptr_t>(name);
    const auto start = reinterpret_cast<std::uintptr_t>(out);
    return at >= start && at - start < keltBufferSize;
}

}  // namespace

const char *keltVHDLToIdent(const char *name, char *out, std::size_t size) {
    if (out == nullptr) return nullptr;
    BoundedText text(out, size);
    if (name == nullptr) return text.finish(false);
    if (name[0] == '\\') return text.finish(unwrapExtendedIdentifier(name, text));
    for (const char *p = name; *p != '\0'; ++p)
        text.put(*p);
    return text.finish(true);
}

const char *keltIdentToLibraryNT(const char *name, char *out, std::size_t size) {
    if (out == nullptr) return nullptr;
    BoundedText text(out, size);
    if (name == nullptr) return text.finish(false);
    static const char kHexDigits[] = "0123456789ABCDEF";
    for (const char *p = name; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (isForbiddenInFileName(c)) {
            text.put('%');
            text.put(kHexDigits[c >> 4]);
            text.put(kHexDigits[c & 0xF]);
        } else {
            text.put(*p);
        }
    }
    return text.finish(true);
}

const char *keltMapper(keltStep first, keltStep second, const char *name, int reserved, char *out) {
    if (out == nullptr) return nullptr;
    if (first == nullptr || second == nullptr || name == nullptr || name[0] == '\0' ||
        reserved != 0) {
        out[0] = '\0';
        return nullptr;
    }
    // A basic identifier passes the first step unchanged, so the second can
    // read it where it is, unless it is about to be overwritten there.
    if (first == keltVHDLToIdent && name[0] != '\\' && !liesIn(name, out)) {
        return second(name, out, keltBufferSize);
    }
    // The first step writes into a scratch buffer of the same size, so `out`
    // is written only once the name has been read.
    char between[keltBufferSize];
    if (first(name, between, sizeof between) == nullptr) {
        out[0] = '\0';
        return nullptr;
    }
    return second(between, out, keltBufferSize);
}
