// A file system that fails or crashes on demand, and a clock the tests move.
//
// The test programs that include this put it in place of the system's file
// system for the whole process (it hands every call on to the system's until
// a plan is armed), so that each step of a load or save can be made to fail
// or to end the process. An armed plan counts the calls of its kind; the one
// it acts on fails with the kind's errno (or the plan's), or is a crash: the
// process is killed just before the call (a write may first hand on half its
// bytes), and what it wrote to a file since that file's last sync is
// scrambled first, as a power cut may leave it; what a file was shortened by
// since its last sync comes back. A crash may also leave the
// process alive and kill the file system instead (the only crash on Windows,
// where no test forks): every file it holds open is closed, which drops the
// locks as the end of the process would, and every later call fails with EIO
// and does nothing, until the plan is disarmed. Instead of failing, a call
// may first let another process act (`meanwhile`: what another program does
// between two calls of a load or save) and then go through.
//
// Kinds, their primitives and the errno of a failure:
//   open      open                                         EACCES
//   read      readAt                                       EIO
//   write     writeAt                                      ENOSPC
//   sync      sync syncFolderOf                            EIO
//   truncate  setLength                                    EIO
//   allocate  reserve                                      ENOSPC
//   rename    rename renameNoReplace                       EIO
//   link      link                                         EIO
//   unlink    unlink removeOpen                            EIO
//   mode      setPermissions                               EPERM
//   owner     inherit setGroup (inherit fails as notOwner) EPERM
//   xattr     setMark getMark clearMark                    EPERM
//   lock      tryLock canLockShared                        EIO
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
    lock,
    any
};

struct Plan {
    Call call = Call::any;   // the kind acted on; any: every kind
    int skip = 0;            // calls of that kind let through first
    bool kill = false;       // end the process just before the call instead of failing it
    bool every = false;      // fail every call of the kind after the skipped ones
    bool tear = false;       // with kill: a write hands on half its bytes first
    bool stayAlive = false;  // with kill: the file system dies, not the process
    int error = 0;           // the errno of a failure; 0: the kind's
};

// Which calls a plan counts, and what another program does at the one it
// acts on.
struct Aim {
    // Only calls on the file of a name ending so count (a call on an open
    // file: the name it was opened by); empty: every file.
    std::string path;
    // Runs, over the system's file system, at the call acted on, which then
    // goes through (or, with the plan's error set, fails with it).
    std::function<void()> meanwhile;
    // The call acted on, a removal, reports success and does nothing, as
    // one that waits for other programs' handles does (Windows).
    bool noEffect = false;
};

// Counting starts afresh. With `traceFd` >= 0, every call of the planned
// kind is written there as a line "<kind> <name>", starting with '!' when
// the plan acts on it.
void arm(const Plan &plan, int traceFd = -1);
void arm(const Plan &plan, const Aim &aim);
void disarm();
// Whether the plan acted since it was armed.
bool fired();

// The clock every wait measures while the test clock is in use: it stands
// still but for pauses, which move it on at once instead of sleeping, so a
// wait for another process's lock gives up in no time. Its wall time starts
// at `wallNs`. Each pause moves it on by at least `leastPauseNs`, so that a
// wait gives up in a few rounds rather than in thousands of short pauses.
void useTestClock(int64_t wallNs, int64_t leastPauseNs = 0);
void useSystemClock();

// What the file system says it can do (file_system.h's Capability), in
// place of what the system's can: the protocol's paths for another platform
// run here; -1 puts the system's back.
void pretendCapabilities(long capabilities);
// Marks read back without their value, as a file attribute keeps them
// (Windows), where the file system keeps values.
void pretendNamelessMarks(bool nameless);
// Both, as Windows is: nothing renamed over an open file, removals that
// wait, mandatory locks, marks without a name; false puts the system's back.
void pretendWindows(bool on);

// File times as a file system with one tick of `tickNs` keeps them (and no
// change time when `noChangeTime`); 0 keeps them as they are.
void coarsenTimes(int64_t tickNs, bool noChangeTime);

}  // namespace seam
