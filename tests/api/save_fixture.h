// What tests of saves between processes and users share: child processes,
// the ordinary user they may run as, and the pairs a page map holds.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "maps/registry.h"

namespace testing_design {

constexpr uid_t kOrdinaryUser = 65534;  // nobody

// Starts `body` in a child process, which exits with its result. As the
// ordinary user when asked (root passes every permission check); 99 when
// the user cannot be switched to.
inline pid_t startChild(const std::function<int()> &body, bool asOrdinaryUser = false) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child != 0) return child;
    if (asOrdinaryUser && (setgid(kOrdinaryUser) != 0 || setuid(kOrdinaryUser) != 0)) _exit(99);
    _exit(body());
}

// The child's exit status, or -1 when a signal ended it.
inline int exitStatusOf(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int inChild(const std::function<int()> &body) {
    return exitStatusOf(startChild(body));
}

inline int asOrdinaryUser(const std::function<int()> &body) {
    return exitStatusOf(startChild(body, true));
}

inline struct stat statOf(const std::string &path) {
    struct stat info = {};
    ::lstat(path.c_str(), &info);
    return info;
}

// Opens the folders from `root` down to `dir` to the ordinary user and gives
// them `dir`. False when this process cannot (it is not root).
inline bool shareWithOrdinaryUser(const std::string &root, const std::string &dir) {
    if (geteuid() != 0) return false;
    for (std::string at = dir; at.size() >= root.size(); at = at.substr(0, at.rfind('/')))
        ::chmod(at.c_str(), 0755);
    return ::chown(dir.c_str(), kOrdinaryUser, kOrdinaryUser) == 0;
}

// The pairs of the unit's registered page map as a saved file lists them;
// "<not registered>" when it has none.
inline std::string pairsText(const char *lib, const char *cell, const char *view) {
    const trel::PageMap *map = trel::Registry::instance().lookup({lib, cell, view});
    if (map == nullptr) return "<not registered>";
    std::string text;
    map->forEachPair([&text](int32_t page, int32_t mapped) {
        text += std::to_string(page) + " " + std::to_string(mapped) + "\n";
    });
    return text;
}

}  // namespace testing_design
