// A seam at the system calls of a save. A test program built with
// system_call_seam.cc and the library linked in statically reaches that
// file's definitions of open, pwrite, fsync, rename and the rest instead of
// the C library's. Each hands on to the C library until an armed plan acts
// on it: the call then fails with the errno its kind gives, or the process
// is killed just before it is made (or, for a write, once half of its bytes
// are written, as a write cut short by a crash leaves them).
//
// Kinds, their calls (plain and 64-bit names) and the errno of a failure:
//   open      open openat fopen                                EACCES
//   read      read pread                                       EIO
//   write     write pwrite copy_file_range sendfile            ENOSPC
//   sync      fsync fdatasync                                  EIO
//   truncate  ftruncate                                        EIO
//   allocate  posix_fallocate fallocate                        ENOSPC
//   rename    rename renameat renameat2                        EIO
//   link      link linkat                                      EIO
//   unlink    unlink unlinkat                                  EIO
//   mode      fchmod                                           EPERM
//   owner     fchown                                           EPERM
//   xattr     fsetxattr fremovexattr fgetxattr flistxattr      EPERM
// Reads through stdio (fread) happen inside the C library and are not seen.
#pragma once

namespace seam {

enum class Call {
    open,
    read,
    write,
    sync,
    truncate,
    allocate,
    rename,
    link,
    unlink,
    mode,
    owner,
    xattr,
    any
};

struct Plan {
    Call call = Call::any;  // the kind acted on; any: every kind
    int skip = 0;           // calls of that kind let through first
    bool kill = false;      // SIGKILL just before the call instead of failing it
    bool every = false;     // fail every call of the kind after the skipped ones
    bool tear = false;      // with kill: a write hands on half its bytes first
};

// Counting starts afresh. With `traceFd` >= 0, every call of the planned
// kind is written there as a line "<kind> <name>", starting with '!' when
// the plan acts on it.
void arm(const Plan &plan, int traceFd = -1);
void disarm();
// Whether the plan acted since it was armed.
bool fired();

}  // namespace seam
