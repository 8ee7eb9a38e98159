// The seam's definitions of the system calls. This file defines both the
// plain and the 64-bit name of each call (the library, built with 64-bit file
// offsets, calls the 64-bit ones), so it takes the plain declarations.
#undef _FILE_OFFSET_BITS

#include "api/system_call_seam.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

using seam::Call;

const char *const kKindNames[] = {"open",   "read", "write",  "sync", "truncate", "allocate",
                                  "rename", "link", "unlink", "mode", "owner",    "xattr"};
const int kErrors[] = {EACCES, EIO, ENOSPC, EIO, EIO, ENOSPC, EIO, EIO, EIO, EPERM, EPERM, EPERM};

// Constant-initialised, so calls made before main find it ready.
struct State {
    bool armed = false;
    seam::Plan plan;
    int seen = 0;
    bool fired = false;
    int traceFd = -1;
} state;

void trace(Call kind, const char *name, bool acts) {
    if (state.traceFd < 0) return;
    char line[64];
    const int size = std::snprintf(line, sizeof line, "%s%s %s\n", acts ? "!" : "",
                                   kKindNames[static_cast<int>(kind)], name);
    // Straight to the kernel: write itself is one of the calls seen here.
    if (syscall(SYS_write, state.traceFd, line, static_cast<size_t>(size)) < 0) state.traceFd = -1;
}

enum class Action { proceed, fail, tear };

// What the call must do: go through, fail (errno is then set), or write half
// its bytes and end the process. Ends the process itself for any other kill.
Action acts(Call kind, const char *name) {
    if (!state.armed || (state.plan.call != Call::any && state.plan.call != kind))
        return Action::proceed;
    const int index = state.seen++;
    const bool now = state.plan.every ? index >= state.plan.skip : index == state.plan.skip;
    trace(kind, name, now);
    if (!now) return Action::proceed;
    state.fired = true;
    if (state.plan.kill && state.plan.tear && kind == Call::write) return Action::tear;
    if (state.plan.kill) raise(SIGKILL);
    errno = kErrors[static_cast<int>(kind)];
    return Action::fail;
}

// The C library's definition of `name`.
template <typename Function>
Function next(const char *name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

template <typename Function>
Function cached(Function *slot, const char *name) {
    if (*slot == nullptr) *slot = next<Function>(name);
    return *slot;
}

// Defines `name` with `params` as the C library declares it (`spec`: what it
// declares of exceptions, noexcept or nothing); `pass` names the arguments
// handed on.
#define SEAM_CALL(result, name, kind, failure, params, pass, spec)      \
    result name params spec {                                           \
        if (acts(Call::kind, #name) != Action::proceed) return failure; \
        static result(*real) params = nullptr;                          \
        return cached(&real, #name) pass;                               \
    }

// The same for a write, which `half` hands on with half its bytes.
#define SEAM_WRITE(name, params, pass, half, spec)      \
    ssize_t name params spec {                          \
        static ssize_t(*real) params = nullptr;         \
        const Action action = acts(Call::write, #name); \
        if (action == Action::fail) return -1;          \
        if (action == Action::tear) {                   \
            cached(&real, #name) half;                  \
            raise(SIGKILL);                             \
        }                                               \
        return cached(&real, #name) pass;               \
    }

// The mode of open and openat, present when a file may be created.
mode_t modeArgument(int flags, va_list args) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

#define SEAM_OPEN(name)                                                         \
    int name(const char *path, int flags, ...) {                                \
        va_list args;                                                           \
        va_start(args, flags);                                                  \
        const mode_t mode = modeArgument(flags, args);                          \
        va_end(args);                                                           \
        if (acts(Call::open, #name) != Action::proceed) return -1;              \
        return next<int (*)(const char *, int, ...)>(#name)(path, flags, mode); \
    }

#define SEAM_OPENAT(name)                                                                 \
    int name(int dir, const char *path, int flags, ...) {                                 \
        va_list args;                                                                     \
        va_start(args, flags);                                                            \
        const mode_t mode = modeArgument(flags, args);                                    \
        va_end(args);                                                                     \
        if (acts(Call::open, #name) != Action::proceed) return -1;                        \
        return next<int (*)(int, const char *, int, ...)>(#name)(dir, path, flags, mode); \
    }

// posix_fallocate answers with the error number instead of setting errno.
int allocateFailure() {
    return errno;
}

}  // namespace

namespace seam {

void arm(const Plan &plan, int traceFd) {
    state.plan = plan;
    state.seen = 0;
    state.fired = false;
    state.traceFd = traceFd;
    state.armed = true;
}

void disarm() {
    state.armed = false;
    state.traceFd = -1;
}

bool fired() {
    return state.fired;
}

}  // namespace seam

extern "C" {
SEAM_OPEN(open)
SEAM_OPEN(open64)
SEAM_OPENAT(openat)
SEAM_OPENAT(openat64)
SEAM_CALL(FILE *, fopen, open, nullptr, (const char *path, const char *mode), (path, mode),
          noexcept(false))
SEAM_CALL(FILE *, fopen64, open, nullptr, (const char *path, const char *mode), (path, mode),
          noexcept(false))

SEAM_CALL(ssize_t, read, read, -1, (int fd, void *data, size_t size), (fd, data, size),
          noexcept(false))
SEAM_CALL(ssize_t, pread, read, -1, (int fd, void *data, size_t size, off_t at),
          (fd, data, size, at), noexcept(false))
SEAM_CALL(ssize_t, pread64, read, -1, (int fd, void *data, size_t size, off64_t at),
          (fd, data, size, at), noexcept(false))

SEAM_WRITE(write, (int fd, const void *data, size_t size), (fd, data, size), (fd, data, size / 2),
           noexcept(false))
SEAM_WRITE(pwrite, (int fd, const void *data, size_t size, off_t at), (fd, data, size, at),
           (fd, data, size / 2, at), noexcept(false))
SEAM_WRITE(pwrite64, (int fd, const void *data, size_t size, off64_t at), (fd, data, size, at),
           (fd, data, size / 2, at), noexcept(false))
SEAM_WRITE(copy_file_range,
           (int from, off64_t *fromAt, int to, off64_t *toAt, size_t size, unsigned flags),
           (from, fromAt, to, toAt, size, flags), (from, fromAt, to, toAt, size / 2, flags),
           noexcept(false))
SEAM_WRITE(sendfile, (int to, int from, off_t *at, size_t size), (to, from, at, size),
           (to, from, at, size / 2), noexcept)
SEAM_WRITE(sendfile64, (int to, int from, off64_t *at, size_t size), (to, from, at, size),
           (to, from, at, size / 2), noexcept)

SEAM_CALL(int, fsync, sync, -1, (int fd), (fd), noexcept(false))
SEAM_CALL(int, fdatasync, sync, -1, (int fd), (fd), noexcept(false))

SEAM_CALL(int, ftruncate, truncate, -1, (int fd, off_t size), (fd, size), noexcept)
SEAM_CALL(int, ftruncate64, truncate, -1, (int fd, off64_t size), (fd, size), noexcept)

SEAM_CALL(int, posix_fallocate, allocate, allocateFailure(), (int fd, off_t at, off_t size),
          (fd, at, size), noexcept(false))
SEAM_CALL(int, posix_fallocate64, allocate, allocateFailure(), (int fd, off64_t at, off64_t size),
          (fd, at, size), noexcept(false))
SEAM_CALL(int, fallocate, allocate, -1, (int fd, int mode, off_t at, off_t size),
          (fd, mode, at, size), noexcept(false))
SEAM_CALL(int, fallocate64, allocate, -1, (int fd, int mode, off64_t at, off64_t size),
          (fd, mode, at, size), noexcept(false))

SEAM_CALL(int, rename, rename, -1, (const char *from, const char *to), (from, to), noexcept)
SEAM_CALL(int, renameat, rename, -1, (int fromDir, const char *from, int toDir, const char *to),
          (fromDir, from, toDir, to), noexcept)
SEAM_CALL(int, renameat2, rename, -1,
          (int fromDir, const char *from, int toDir, const char *to, unsigned flags),
          (fromDir, from, toDir, to, flags), noexcept)

SEAM_CALL(int, link, link, -1, (const char *from, const char *to), (from, to), noexcept)
SEAM_CALL(int, linkat, link, -1,
          (int fromDir, const char *from, int toDir, const char *to, int flags),
          (fromDir, from, toDir, to, flags), noexcept)
SEAM_CALL(int, unlink, unlink, -1, (const char *path), (path), noexcept)
SEAM_CALL(int, unlinkat, unlink, -1, (int dir, const char *path, int flags), (dir, path, flags),
          noexcept)

SEAM_CALL(int, fchmod, mode, -1, (int fd, mode_t mode), (fd, mode), noexcept)
SEAM_CALL(int, fchown, owner, -1, (int fd, uid_t user, gid_t group), (fd, user, group), noexcept)

SEAM_CALL(int, fsetxattr, xattr, -1,
          (int fd, const char *name, const void *value, size_t size, int flags),
          (fd, name, value, size, flags), noexcept)
SEAM_CALL(int, fremovexattr, xattr, -1, (int fd, const char *name), (fd, name), noexcept)
SEAM_CALL(ssize_t, fgetxattr, xattr, -1, (int fd, const char *name, void *value, size_t size),
          (fd, name, value, size), noexcept)
SEAM_CALL(ssize_t, flistxattr, xattr, -1, (int fd, char *list, size_t size), (fd, list, size),
          noexcept)
}  // extern "C"
