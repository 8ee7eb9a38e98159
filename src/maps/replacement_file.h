// Replacing a file without ever losing it: the new content is written to a
// temporary file beside the target, every write, the flush, the sync and the
// close are checked, and only then is the temporary renamed over the target.
// On any failure the target stays byte for byte as it was and the temporary
// is removed.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace trel {

class ReplacementFile {
  public:
    explicit ReplacementFile(std::string target) : target_(std::move(target)) {}
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;
    ~ReplacementFile() { abandon(); }

    // Creates the temporary file. False when it cannot be created.
    bool open();
    // Appends bytes; a failure is remembered and reported by commit().
    void write(const char *data, size_t size);
    // Makes the written content the target's. False, with the target
    // untouched, when anything on the way failed.
    bool commit();

  private:
    void abandon();

    std::string target_;
    std::string temporary_;
    std::FILE *stream_ = nullptr;
    bool failed_ = false;
};

}  // namespace trel
