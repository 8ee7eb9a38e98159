// The faulting file system and the test clock.
#include "api/faulty_file_system.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "files/file_system.h"

namespace {

using seam::Call;
using trel::FileIdentity;
using trel::NativeFile;

const char *const kKindNames[] = {"open",     "read",   "write", "sync",   "truncate",
                                  "allocate", "rename", "link",  "unlink", "mode",
                                  "owner",    "xattr",  "lock"};
const int kErrors[] = {EACCES, EIO, ENOSPC, EIO,   EIO,   ENOSPC, EIO,
                       EIO,    EIO, EPERM,  EPERM, EPERM, EIO};

enum class Action { proceed, fail, tear, pretend };

class FaultyFileSystem final : public trel::FileSystem {
  public:
    void arm(const seam::Plan &plan, int traceFd, const seam::Aim &aim) {
        plan_ = plan;
        aim_ = aim;
        seen_ = 0;
        fired_ = false;
        traceFd_ = traceFd;
        armed_ = true;
    }
    void disarm() {
        armed_ = false;
        dead_ = false;
        traceFd_ = -1;
    }
    bool fired() const { return fired_; }
    void coarsen(int64_t tickNs, bool noChangeTime) {
        tickNs_ = tickNs;
        noChangeTime_ = noChangeTime;
    }

    unsigned capabilities() const override {
        return pretended_ >= 0 ? static_cast<unsigned>(pretended_) : real().capabilities();
    }
    void pretend(long capabilities) { pretended_ = capabilities; }

    NativeFile open(const std::string &path, const trel::OpenMode &mode) override {
        if (acts(Call::open, "open", path) != Action::proceed) return trel::kNoFile;
        const NativeFile file = real().open(path, mode);
        if (file != trel::kNoFile) {
            open_.insert(file);
            names_[file] = path;
        }
        return file;
    }
    void close(NativeFile file) override {
        if (dead_) return;  // closed when the file system died
        open_.erase(file);
        names_.erase(file);
        unsynced_.erase(file);
        cutOff_.erase(file);
        real().close(file);
    }
    bool readAt(NativeFile file, char *into, size_t room, uint64_t at, size_t *got) override {
        *got = 0;
        return acts(Call::read, "readAt", nameOf(file)) == Action::proceed &&
               real().readAt(file, into, room, at, got);
    }
    bool writeAt(NativeFile file, const char *data, size_t size, uint64_t at) override {
        const Action action = acts(Call::write, "writeAt", nameOf(file));
        if (action == Action::fail) return false;
        if (action == Action::tear) {
            real().writeAt(file, data, size / 2, at);
            crash();
            return false;
        }
        unsynced_[file].emplace_back(at, size);
        return real().writeAt(file, data, size, at);
    }
    bool sync(NativeFile file) override {
        if (acts(Call::sync, "sync", nameOf(file)) != Action::proceed) return false;
        if (!real().sync(file)) return false;
        unsynced_.erase(file);
        cutOff_.erase(file);
        return true;
    }
    bool setLength(NativeFile file, uint64_t size) override {
        if (acts(Call::truncate, "setLength", nameOf(file)) != Action::proceed) return false;
        // The bytes a shortening cuts off, which a power cut may bring back.
        const uint64_t was = real().identity(file).size;
        if (size < was && cutOff_.count(file) == 0) {
            std::string bytes(static_cast<size_t>(was - size), '\0');
            size_t got = 0;
            if (real().readAt(file, &bytes[0], bytes.size(), size, &got)) {
                bytes.resize(got);
                cutOff_[file] = {size, bytes};
            }
        }
        return real().setLength(file, size);
    }
    bool reserve(NativeFile file, uint64_t size, uint64_t newSize) override {
        return acts(Call::allocate, "reserve", nameOf(file)) == Action::proceed &&
               real().reserve(file, size, newSize);
    }
    bool setPermissions(NativeFile file, unsigned mode) override {
        return acts(Call::mode, "setPermissions", nameOf(file)) == Action::proceed &&
               real().setPermissions(file, mode);
    }
    bool tryLock(NativeFile file, uint64_t offset, bool exclusive) override {
        return acts(Call::lock, "tryLock", nameOf(file)) == Action::proceed &&
               real().tryLock(file, offset, exclusive);
    }
    bool canLockShared(NativeFile file, uint64_t offset) override {
        return acts(Call::lock, "canLockShared", nameOf(file)) == Action::proceed &&
               real().canLockShared(file, offset);
    }
    void unlock(NativeFile file, uint64_t offset) override {
        if (!dead_) real().unlock(file, offset);
    }
    FileIdentity identity(NativeFile file) override {
        if (dead_) return deadIdentity();
        return coarse(real().identity(file));
    }
    FileIdentity identityOf(const std::string &path, bool followLink) override {
        if (dead_) return deadIdentity();
        return coarse(real().identityOf(path, followLink));
    }
    std::string resolveLinks(const std::string &path) override { return real().resolveLinks(path); }
    std::string fullPath(const std::string &path) override { return real().fullPath(path); }
    bool rename(const std::string &from, const std::string &to) override {
        return acts(Call::rename, "rename", from) == Action::proceed && real().rename(from, to);
    }
    bool renameNoReplace(const std::string &from, const std::string &to) override {
        return acts(Call::rename, "renameNoReplace", from) == Action::proceed &&
               real().renameNoReplace(from, to);
    }
    bool link(const std::string &from, const std::string &to) override {
        return acts(Call::link, "link", from) == Action::proceed && real().link(from, to);
    }
    bool unlink(const std::string &path) override {
        const Action action = acts(Call::unlink, "unlink", path);
        return action == Action::pretend || (action == Action::proceed && real().unlink(path));
    }
    bool removeOpen(NativeFile file, const std::string &path) override {
        const Action action = acts(Call::unlink, "removeOpen", path);
        return action == Action::pretend ||
               (action == Action::proceed && real().removeOpen(file, path));
    }
    trel::FolderSync syncFolderOf(const std::string &file) override {
        if (acts(Call::sync, "syncFolderOf", file) != Action::proceed)
            return trel::FolderSync::failed;
        return real().syncFolderOf(file);
    }
    trel::Inheritance inherit(NativeFile from, const FileIdentity &fromIdentity,
                              NativeFile to) override {
        if (acts(Call::owner, "inherit", nameOf(to)) != Action::proceed)
            return trel::Inheritance::notOwner;
        return real().inherit(from, fromIdentity, to);
    }
    bool setGroup(NativeFile file, uint32_t group) override {
        return acts(Call::owner, "setGroup", nameOf(file)) == Action::proceed &&
               real().setGroup(file, group);
    }
    bool userMayWrite(NativeFile file, const FileIdentity &identity, uint32_t user) override {
        return real().userMayWrite(file, identity, user);
    }
    bool setMark(NativeFile file, const std::string &value) override {
        return acts(Call::xattr, "setMark", nameOf(file)) == Action::proceed &&
               real().setMark(file, value);
    }
    bool getMark(NativeFile file, std::string *value) override {
        if (acts(Call::xattr, "getMark", nameOf(file)) != Action::proceed ||
            !real().getMark(file, value))
            return false;
        if (namelessMarks_) value->clear();
        return true;
    }
    void pretendNamelessMarks(bool nameless) { namelessMarks_ = nameless; }
    bool clearMark(NativeFile file) override {
        return acts(Call::xattr, "clearMark", nameOf(file)) == Action::proceed &&
               real().clearMark(file);
    }

  private:
    static trel::FileSystem &real() { return trel::systemFileSystem(); }

    std::string nameOf(NativeFile file) const {
        const auto found = names_.find(file);
        return found != names_.end() ? found->second : std::string();
    }
    bool matches(const std::string &path) const {
        const std::string &end = aim_.path;
        return path.size() >= end.size() &&
               path.compare(path.size() - end.size(), end.size(), end) == 0;
    }

    FileIdentity coarse(FileIdentity identity) const {
        if (tickNs_ != 0 && identity.exists) {
            identity.modifiedNs -= identity.modifiedNs % tickNs_;
            identity.changedNs =
                noChangeTime_ ? 0 : identity.changedNs - identity.changedNs % tickNs_;
        }
        return identity;
    }

    void trace(Call kind, const char *name, bool now) const {
        if (traceFd_ < 0) return;
        char line[64];
        const int size = std::snprintf(line, sizeof line, "%s%s %s\n", now ? "!" : "",
                                       kKindNames[static_cast<int>(kind)], name);
#if defined(_WIN32)
        if (_write(traceFd_, line, static_cast<unsigned>(size)) < 0) return;
#else
        if (::write(traceFd_, line, static_cast<size_t>(size)) < 0) return;
#endif
    }

    // What the call must do: go through, fail (errno is then set), or, for
    // a torn write, write half its bytes and crash. Crashes itself for any
    // other kill.
    Action acts(Call kind, const char *name, const std::string &path) {
        if (dead_) {
            errno = EIO;
            return Action::fail;
        }
        if (!armed_ || (plan_.call != Call::any && plan_.call != kind) || !matches(path))
            return Action::proceed;
        const int index = seen_++;
        const bool now = plan_.every ? index >= plan_.skip : index == plan_.skip;
        trace(kind, name, now);
        if (!now) return Action::proceed;
        fired_ = true;
        if (aim_.meanwhile) {
            armed_ = false;  // the other program's calls go straight to the system
            aim_.meanwhile();
            armed_ = true;
            if (plan_.error == 0) return Action::proceed;
        }
        if (aim_.noEffect) return Action::pretend;
        if (plan_.kill && plan_.tear && kind == Call::write) return Action::tear;
        if (plan_.kill) crash();
        errno = plan_.error != 0 ? plan_.error : kErrors[static_cast<int>(kind)];
        return Action::fail;
    }

    static FileIdentity deadIdentity() {
        errno = EIO;
        return FileIdentity();
    }

    // Ends the process, or the file system, as a power cut would: what was
    // written since the last sync of each file may be anything, and what a
    // file was shortened by since then comes back.
    void crash() {
        for (const auto &[file, cut] : cutOff_)
            real().writeAt(file, cut.second.data(), cut.second.size(), cut.first);
        for (const auto &[file, writes] : unsynced_) {
            for (const auto &[at, size] : writes) {
                const std::string noise(size, '#');
                real().writeAt(file, noise.data(), noise.size(), at);
            }
        }
#if !defined(_WIN32)
        if (!plan_.stayAlive) {
            raise(SIGKILL);
            _exit(1);
        }
#endif
        for (const NativeFile file : open_)
            real().close(file);
        open_.clear();
        names_.clear();
        unsynced_.clear();
        cutOff_.clear();
        dead_ = true;
    }

    long pretended_ = -1;  // the capabilities pretended; -1: the system's
    bool namelessMarks_ = false;
    bool armed_ = false;
    seam::Plan plan_;
    seam::Aim aim_;
    int seen_ = 0;
    bool fired_ = false;
    int traceFd_ = -1;
    int64_t tickNs_ = 0;
    bool noChangeTime_ = false;
    bool dead_ = false;          // crashed, staying alive: every call fails until disarmed
    std::set<NativeFile> open_;  // what the file system holds open, for a crash to close
    std::map<NativeFile, std::string> names_;  // the name each open file was opened by
    // Per open file, where it was first shortened since its last sync, and
    // the bytes cut off there.
    std::map<NativeFile, std::pair<uint64_t, std::string>> cutOff_;
    // Per open file, the writes since its last sync.
    std::map<NativeFile, std::vector<std::pair<uint64_t, size_t>>> unsynced_;
};

class TestClock final : public trel::Clock {
  public:
    TestClock(int64_t wallNs, int64_t leastPauseNs)
        : wallNs_(wallNs), leastPauseNs_(leastPauseNs) {}
    int64_t monotonicNs() override { return movedNs_; }
    int64_t wallNs() override { return wallNs_ + movedNs_; }
    void sleepNs(int64_t ns) override { movedNs_ += ns > leastPauseNs_ ? ns : leastPauseNs_; }

  private:
    int64_t wallNs_;
    int64_t leastPauseNs_;
    int64_t movedNs_ = 0;
};

FaultyFileSystem &faulty() {
    static FaultyFileSystem files;
    return files;
}

// In place from the start of the test program.
const bool installed = (trel::useFileSystem(&faulty()), true);

}  // namespace

namespace seam {

void arm(const Plan &plan, int traceFd) {
    (void)installed;
    faulty().arm(plan, traceFd, Aim());
}

void arm(const Plan &plan, const Aim &aim) {
    (void)installed;
    faulty().arm(plan, -1, aim);
}

void disarm() {
    faulty().disarm();
}

bool fired() {
    return faulty().fired();
}

void useTestClock(int64_t wallNs, int64_t leastPauseNs) {
    static TestClock *clock = nullptr;
    delete clock;
    clock = new TestClock(wallNs, leastPauseNs);
    trel::useClock(clock);
}

void useSystemClock() {
    trel::useClock(nullptr);
}

void pretendCapabilities(long capabilities) {
    faulty().pretend(capabilities);
}

void pretendNamelessMarks(bool nameless) {
    faulty().pretendNamelessMarks(nameless);
}

void pretendWindows(bool on) {
    const unsigned windows = trel::kRemovalIsDeferred | trel::kMandatoryLocks;
    pretendCapabilities(on ? static_cast<long>(windows) : -1);
    pretendNamelessMarks(on);
}

void coarsenTimes(int64_t tickNs, bool noChangeTime) {
    faulty().coarsen(tickNs, noChangeTime);
}

}  // namespace seam
