// The temporary folders of the tests, fuzz targets and benchmarks: made fresh
// for each use, and removed with everything in it, including what a test made
// unreadable on purpose.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace test_support {

// A new folder "<base>/<prefix>-XXXXXX" (base: the system's temporary
// folder); empty when none can be made.
inline std::string makeTempFolder(const std::string &prefix, const std::string &base = "") {
    std::string pattern =
        ((base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base)) /
         (prefix + "-XXXXXX"))
            .string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// Removes `path` and everything below it, as far as it can.
inline void removeFolder(const std::string &path) {
    std::error_code ignored;
#if !defined(_WIN32)
    // Folders a test took the permissions of are opened up first.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
#endif
    std::filesystem::remove_all(path, ignored);
}

}  // namespace test_support
