// What the fuzz targets share: a check that stops the run, and a scratch
// folder for design trees and map files.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/temp_folder.h"

namespace fuzzing {

// A failed check is a finding: print what and where, then abort so that
// libFuzzer saves the input.
#define FUZZ_REQUIRE(condition)                                                                \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// A fresh folder for this process, in memory when /dev/shm exists: saves sync
// to disk, which would otherwise bound the run to a few hundred inputs a second.
inline std::string scratchFolder(const char *name) {
    struct stat info {};
    std::string base =
        ::stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) ? "/dev/shm" : "/tmp";
    std::string folder = test_support::makeTempFolder(name, base);
    if (folder.empty()) {
        std::perror("mkdtemp");
        std::abort();
    }
    return folder;
}

inline void makeDirectories(const std::string &path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') ::mkdir(path.substr(0, at).c_str(), 0755);
    }
}

inline void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_REQUIRE(out.good());
}

// The file's bytes, or false when it cannot be opened.
inline bool readFile(const std::string &path, std::string *bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    *bytes = text.str();
    return true;
}

}  // namespace fuzzing
