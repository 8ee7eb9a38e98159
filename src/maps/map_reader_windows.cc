// Opening a map file for a load on Windows: the C runtime's binary stream.
#include <errno.h>
#include <io.h>

#include <cstdio>
#include <vector>

#include "maps/map_reader.h"

namespace trel {
namespace {

std::FILE *stream(void *file) {
    return static_cast<std::FILE *>(file);
}

}  // namespace

MapReader::~MapReader() {
    if (file_ != nullptr) std::fclose(stream(file_));
}

int MapReader::open() {
    file_ = std::fopen(path_.c_str(), "rb");
    if (file_ == nullptr) return errno;
    identity_ = identityOfFile(reinterpret_cast<void *>(_get_osfhandle(_fileno(stream(file_)))));
    return 0;
}

ReadChunk MapReader::read(char *into, size_t room) {
    const size_t got = std::fread(into, 1, room, stream(file_));
    at_ += got;
    return ReadChunk{got, got < room && std::feof(stream(file_)) != 0,
                     std::ferror(stream(file_)) != 0};
}

uint64_t MapReader::lineAt(uint64_t offset) {
    uint64_t line = 1;
    if (std::fseek(stream(file_), 0, SEEK_SET) != 0) return line;
    std::vector<char> block(kReadBlockSize);
    while (offset > 0) {
        const size_t want = offset < block.size() ? static_cast<size_t>(offset) : block.size();
        const size_t got = std::fread(block.data(), 1, want, stream(file_));
        if (got == 0) break;
        for (size_t i = 0; i < got; ++i)
            line += block[i] == '\n';
        offset -= got;
    }
    return line;
}

}  // namespace trel
