// The few POSIX calls that the test fixtures make for temporary design
// folders, on Windows: mkdtemp and the two-argument mkdir. Windows has no
// permission bits for a new directory, so the mode is not used. Included
// before every source of the Windows test programs.
#pragma once

#if defined(_WIN32) && defined(__cplusplus)
#include <direct.h>
#include <errno.h>
#include <io.h>
#include <process.h>
#include <string.h>

inline int mkdir(const char *path, int /*mode*/) {
    return _mkdir(path);
}

// Replaces the trailing "XXXXXX" of pattern with letters and digits that name
// a directory which did not exist, and creates it.
inline char *mkdtemp(char *pattern) {
    const size_t length = strlen(pattern);
    if (length < 6 || strcmp(pattern + length - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    static unsigned long serial = static_cast<unsigned long>(_getpid()) * 7919UL;
    const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned long value = serial++ * 2654435761UL;
        for (size_t at = length - 6; at < length; ++at, value /= 36)
            pattern[at] = digits[value % 36];
        if (_mkdir(pattern) == 0) return pattern;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}
#endif

#if defined(_WIN32) && defined(__cplusplus)
#include <stdlib.h>

// The environment as POSIX sets it; Windows' C runtime has _putenv_s, where
// an empty value removes the variable.
inline int setenv(const char *name, const char *value, int overwrite) {
    if (!overwrite && getenv(name) != nullptr) return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}
inline int unsetenv(const char *name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}
#endif
