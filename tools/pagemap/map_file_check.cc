// A streaming scan of a map file: one pass in large chunks, so checking a
// file of a million pairs costs about as much as the library's own load.
#include "map_file_check.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "diagnostics.h"

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Follows one integer token character by character.
class TokenCheck {
  public:
    void start() { *this = TokenCheck(); }
    // False once the token can no longer be a 32-bit decimal integer.
    bool add(char c) {
        if (length_++ == 0 && (c == '-' || c == '+')) {
            negative_ = c == '-';
            return true;
        }
        if (c < '0' || c > '9') return false;
        digits_ = true;
        magnitude_ = magnitude_ * 10 + (c - '0');
        return magnitude_ <= (negative_ ? int64_t{1} << 31 : (int64_t{1} << 31) - 1);
    }
    bool complete() const { return digits_; }

  private:
    int64_t magnitude_ = 0;
    int length_ = 0;
    bool negative_ = false;
    bool digits_ = false;
};

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

ExitStatus refuse(const std::string &path, const std::string &why) {
    reportError("map file " + path + " " + why + "; nothing changed");
    return kCannotRead;
}

}  // namespace

ExitStatus checkMapFileBeforeEdit(const std::string &path) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        if (errno == ENOENT) return kSuccess;  // a unit without a map file yet
        return refuse(path, std::string("cannot be read: ") + std::strerror(errno));
    }
    static char chunk[1 << 16];
    TokenCheck token;
    bool inToken = false;
    uint64_t tokens = 0;
    long line = 1;
    const auto badToken = [&] {
        return refuse(path, "is not a list of page pairs (line " + std::to_string(line) + ")");
    };
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        for (std::size_t at = 0; at < got; ++at) {
            const char c = chunk[at];
            if (isSpace(c)) {
                if (inToken && !token.complete()) return badToken();
                inToken = false;
                if (c == '\n') ++line;
                continue;
            }
            if (!inToken) {
                inToken = true;
                ++tokens;
                token.start();
            }
            if (!token.add(c)) return badToken();
        }
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) return refuse(path, "cannot be read");
    if (inToken && !token.complete()) return badToken();
    if (tokens % 2 != 0) return refuse(path, "ends with a page that has no pair");
    return kSuccess;
}
