// Loads and saves meet what other programs did between two of their calls,
// or what they hold: a file made, removed, moved or held open without
// sharing, a lock of another save or load, a leftover that is no journal, a
// folder in the temporary's place, a mark left by a rewrite through another
// name, a journal another user planted; and calls the system refuses in ways
// of its own (no rename without replacing, no record locks, no marks, a file
// mapped by another program). Each row says what the load or save returns,
// what its message names, and what a clean load finds afterwards: nothing
// saved is lost, nothing torn is read as whole. Each row is a test of its own.
// The other program acts through the system's own file system between the
// calls the faulting file system stops at, so the cases run on every
// platform, Windows under Wine included.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "api/faulty_file_system.h"
#include "api/torn_rewrite.h"
#include "files/file_system.h"
#include "files/journal_resolution.h"
#include "files/map_lock.h"
#include "files/rewrite_journal.h"
#include "files/rewrite_mark.h"
#include "support/temp_folder.h"
#include "trel.h"

namespace {

using seam::Call;
using testing_design::DesignTest;
using testing_design::leaveTornRewrite;
using testing_design::writeFile;

const char *const kOld = "1 1\n2 2\n3 3\n";
const std::string kNew = std::string(kOld) + "4 44\n";
const char *const kTorn = "1 9\n2 9\n";
#if defined(_WIN32)
constexpr bool kNamedMarks = false;  // a file attribute holds no name
#else
constexpr bool kNamedMarks = true;
#endif

// How the unit's folder is laid out before the load or save.
enum class Layout {
    missing,  // no page.map yet
    plain,    // page.map with the old pairs, one name
    linked,   // the same, also the page.map of work.lnk:sch (rewritten in place)
    torn,     // a rewrite cut short: page.map torn, its journal beside it
};

enum class Op { load, save };

// What the file system can do for the row.
enum class Setting {
    system,        // what it can
    removalsWait,  // nothing renamed over an open file; removals wait (Windows)
    root,          // only as root, who may give files any owner and group
    namedMarks,    // only where marks keep the name of their rewrite
};

// A fault the load or save meets; none unless armed.
struct Fault {
    bool armed = false;
    seam::Plan plan;
    seam::Aim aim;
};

struct Case {
    std::string name;
    Layout layout;
    Op op;
    // Set up after the layout, in the folder of work.alu:sch; `held` keeps
    // what another program holds open for the whole load or save.
    std::function<void(const std::string &dir, std::vector<trel::NativeFile> *held)> before;
    Fault fault;
    int status;
    std::string message;  // a part of the last-error text; "" when the call succeeds
    std::string after;    // the pairs a clean load of work.alu:sch then finds
    Setting setting = Setting::system;
    // Checked last, with the path of work.alu:sch's map file.
    std::function<void(const std::string &path)> check = nullptr;
};

trel::FileSystem &files() {
    return trel::systemFileSystem();
}

// The map file of work.<cell>:sch in the running test's design tree.
std::string unitMap(const char *cell) {
    return testing_design::service().root + "/work/" + cell + "/sch/page.map";
}

// Another program's open file, holding one of the map locks.
trel::NativeFile holding(const std::string &path, trel::MapLock lock, bool exclusive,
                         bool create = false) {
    trel::OpenMode mode;
    mode.access = trel::Access::readWrite;
    mode.create = create ? trel::Create::ifMissing : trel::Create::no;
    const trel::NativeFile file = files().open(path, mode);
    EXPECT_NE(file, trel::kNoFile) << path;
    EXPECT_TRUE(files().tryLock(file, trel::lockOffset(lock), exclusive));
    return file;
}

// Marks the file with `value`, as a rewrite does ("" where marks keep no name).
void mark(const std::string &path, const std::string &value) {
    trel::OpenMode mode;
    mode.access = trel::Access::readWrite;
    const trel::NativeFile file = files().open(path, mode);
    ASSERT_NE(file, trel::kNoFile);
    EXPECT_TRUE(files().setMark(file, value)) << path;
    files().close(file);
}

bool marked(const std::string &path) {
    const trel::NativeFile file = files().open(path, trel::OpenMode());
    std::string value;
    const bool found = files().getMark(file, &value);
    files().close(file);
    return found;
}

// Calls of a kind on the file named `path` fail with `error`: every one
// after the first `skip`, or only the one after them.
Fault fails(Call call, const std::string &path, int error, bool every = true, int skip = 0) {
    Fault fault;
    fault.armed = true;
    fault.plan.skip = skip;
    fault.plan.call = call;
    fault.plan.error = error;
    fault.plan.every = every;
    fault.aim.path = path;
    return fault;
}

// Another program acts just before the call after `skip` of a kind on the
// file named `path`, which then goes through, or fails with `error`.
Fault meanwhile(Call call, const std::string &path, int skip, std::function<void()> act,
                int error = 0) {
    Fault fault = fails(call, path, error, false);
    fault.plan.skip = skip;
    fault.aim.meanwhile = std::move(act);
    return fault;
}

using Before = std::function<void(const std::string &, std::vector<trel::NativeFile> *)>;

Before leftover(const std::string &text) {
    return [text](const std::string &dir, std::vector<trel::NativeFile> *) {
        writeFile(dir + "/page.ma~", text);
    };
}

Before holds(trel::MapLock lock, bool exclusive, const char *name = "page.map") {
    return [=](const std::string &dir, std::vector<trel::NativeFile> *held) {
        held->push_back(holding(dir + "/" + name, lock, exclusive, true));
    };
}

// Marks page.map as a rewrite through work.<cell>:sch's name does, as an
// earlier build marked it (the name alone); "" for a mark without a name.
Before marks(const char *throughCell) {
    return [=](const std::string &dir, std::vector<trel::NativeFile> *) {
        mark(dir + "/page.map", *throughCell != '\0' ? unitMap(throughCell) : "");
    };
}

// Both, one after the other.
Before both(Before first, Before second) {
    return [=](const std::string &dir, std::vector<trel::NativeFile> *held) {
        first(dir, held);
        second(dir, held);
    };
}

// A rewrite through work.lnk:sch's name cut short: the file torn, marked,
// its journal beside that name, the file also work.alu:sch's.
void tornThroughLink(const std::string &dir, std::vector<trel::NativeFile> *) {
    leaveTornRewrite(unitMap("lnk"), kOld, kTorn, true);
    files().unlink(dir + "/page.map");
    ASSERT_TRUE(files().link(unitMap("lnk"), dir + "/page.map"));
}

class BetweenCallsTest : public DesignTest, public testing::WithParamInterface<Case> {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        // A wait for another program gives up at once, in a hundred rounds.
        seam::useTestClock(0, 100000000);
    }
    void TearDown() override {
        seam::disarm();
        seam::pretendWindows(false);
        seam::useSystemClock();
        DesignTest::TearDown();
    }

    // The pairs a fresh load of work.alu:sch finds; "<refused>" when it fails.
    static std::string cleanLoad() {
        trelReset();
        if (trelloadMapFile("work", "alu", "sch", 0) != TREL_OK) return "<refused>";
        std::string text;
        for (int page = 1; page <= 9; ++page) {
            int mapped = 0;
            if (trelGetPageMapping("work", "alu", "sch", page, &mapped) == TREL_OK)
                text += std::to_string(page) + " " + std::to_string(mapped) + "\n";
        }
        return text;
    }

    // Whether marks keep their value here.
    bool marksKeepNames() {
        const std::string path = mapPath("work", "nam", "sch");
        makeUnit("work", "nam", "sch");
        writeFile(path, kOld);
        mark(path, "named");
        const trel::NativeFile file = files().open(path, trel::OpenMode());
        std::string value;
        files().getMark(file, &value);
        files().close(file);
        return value == "named";
    }
};

TEST_P(BetweenCallsTest, EndsAsTheRowSays) {
    const Case &c = GetParam();
    switch (c.setting) {
        case Setting::system:
            break;
        case Setting::removalsWait:
            seam::pretendCapabilities((files().capabilities() & ~trel::kRenameOverOpenFile) |
                                      trel::kRemovalIsDeferred);
            break;
        case Setting::root:
#if !defined(_WIN32)
            if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file any owner or group";
#endif
            break;
        case Setting::namedMarks:
            if (!marksKeepNames()) GTEST_SKIP() << "marks keep no name here";
            break;
    }
    trelReset();
    const std::string dir = root_ + "/work/alu/sch";
    makeUnit("work", "alu", "sch");
    makeUnit("work", "lnk", "sch");
    makeUnit("work", "far", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    if (c.op == Op::save) {
        // Registered while there is no file, so the save merges into the
        // file as the layout leaves it.
        trelloadMapFile("work", "alu", "sch", 0);
        EXPECT_EQ(trelSetPageMapping("work", "alu", "sch", 4, 44), TREL_OK);
    }
    switch (c.layout) {
        case Layout::missing:
            break;
        case Layout::plain:
            writeFile(path, kOld);
            break;
        case Layout::linked:
            writeFile(path, kOld);
            ASSERT_TRUE(files().link(path, mapPath("work", "lnk", "sch")));
            break;
        case Layout::torn:
            leaveTornRewrite(path, kOld, kTorn);
            break;
    }
    std::vector<trel::NativeFile> held;
    if (c.before) c.before(dir, &held);
    int status = 0;
    if (c.fault.armed) seam::arm(c.fault.plan, c.fault.aim);
    if (c.op == Op::load) {
        status = trelloadMapFile("work", "alu", "sch", 0);
    } else {
        status = trelSavePageMap("work", "alu", "sch");
    }
    const bool fired = c.fault.armed && seam::fired();
    seam::disarm();
    EXPECT_EQ(fired, c.fault.armed) << "the fault was never met";
    EXPECT_EQ(status, c.status) << lastError();
    if (!c.message.empty()) {
        EXPECT_NE(lastError().find(c.message), std::string::npos) << lastError();
    }
    for (const trel::NativeFile file : held)
        files().close(file);
    EXPECT_EQ(cleanLoad(), c.after);
    if (c.check) c.check(path);
}

// Rows print as their names (their bytes hold padding and pointers).
void PrintTo(const Case &row, std::ostream *out) {
    *out << row.name;
}

std::string rowName(const testing::TestParamInfo<Case> &row) {
    std::string name;
    for (const char letter : row.param.name)
        name += std::isalnum(static_cast<unsigned char>(letter)) != 0 ? letter : '_';
    return name;
}

const Fault none;

std::vector<Case> meanwhileRows() {
    const bool removalDeferred = (files().capabilities() & trel::kRemovalIsDeferred) != 0;
    const bool renames = (files().capabilities() & trel::kRenameOverOpenFile) != 0;
    return {
        // Another program holds the file open without sharing it, as long
        // as either waits.
        {"held open: save", Layout::plain, Op::save, nullptr,
         fails(Call::open, "alu/sch/page.map", EBUSY), TREL_CANNOT_WRITE,
         "is held open by another program", kOld},
        {"held open: load", Layout::plain, Op::load, nullptr,
         fails(Call::open, "alu/sch/page.map", EBUSY), TREL_CANNOT_READ,
         "is held open by another program", kOld},
        // A rewrite in place holds the content: the load waits for it.
        {"rewrite under way: load", Layout::plain, Op::load, holds(trel::MapLock::content, true),
         none, TREL_CANNOT_READ, "is being rewritten by another process", kOld},
        // A file system without record locks has no rewrites in place either.
        {"no record locks: load", Layout::plain, Op::load, nullptr, fails(Call::lock, "", ENOLCK),
         TREL_OK, "", kOld},
        // A program that takes no lock makes the file while the save takes
        // the temporary of a file not made yet: it is saved over, merged.
        {"file made meanwhile", Layout::missing, Op::save, nullptr,
         meanwhile(Call::open, "alu/sch/page.ma~", 0, [] { writeFile(unitMap("alu"), "7 7\n"); }),
         TREL_OK, "", "4 44\n7 7\n"},
        // Another save holds the file's save lock past the wait.
        {"being saved", Layout::plain, Op::save, holds(trel::MapLock::save, true), none,
         TREL_CANNOT_WRITE, "is being saved by another process; gave up waiting for it", kOld},
        // Another program holds a leftover open, sharing everything: it goes
        // at once, or, where a removal waits for the last handle (Windows),
        // the save tries a bounded number of times and refuses.
        {"leftover held open", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *held) {
             writeFile(dir + "/page.ma~", "junk\n");
             trel::OpenMode mode;
             mode.access = trel::Access::readWrite;
             mode.removable = true;
             held->push_back(files().open(dir + "/page.ma~", mode));
         },
         none, removalDeferred ? TREL_CANNOT_WRITE : TREL_OK,
         removalDeferred ? "is held open by another program, which keeps it from being removed"
                         : "",
         removalDeferred ? kOld : kNew},
        // Another program makes and removes a leftover without end: the
        // save follows it for as long as it would wait for a lock.
        {"leftover keeps changing", Layout::plain, Op::save, nullptr,
         [] {
             Fault toggles = meanwhile(Call::open, "alu/sch/page.ma~", 0, [] {
                 const std::string name = unitMap("alu").substr(0, unitMap("alu").size() - 1) + "~";
                 if (!files().unlink(name)) writeFile(name, "junk\n");
             });
             toggles.plan.every = true;
             return toggles;
         }(),
         TREL_CANNOT_WRITE, "keeps changing; gave up waiting for it", kOld},
        // Another save of a file not made yet holds the temporary.
        {"new file being saved", Layout::missing, Op::save,
         holds(trel::MapLock::save, true, "page.ma~"), none, TREL_CANNOT_WRITE,
         "is being saved by another process", "<refused>"},
        // A leftover that is no journal goes, also when it went meanwhile.
        {"leftover gone meanwhile", Layout::plain, Op::save, leftover("junk\n"),
         meanwhile(
             Call::open, "alu/sch/page.ma~", 1,
             [] { files().unlink(unitMap("alu").substr(0, unitMap("alu").size() - 1) + "~"); }),
         TREL_OK, "", kNew},
        {"leftover not removed", Layout::plain, Op::save, leftover("junk\n"),
         fails(Call::unlink, "alu/sch/page.ma~", EACCES), TREL_CANNOT_WRITE,
         "no file can be made beside it", kOld},
        {"folder in the temporary's place", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             std::filesystem::create_directory(dir + "/page.ma~");
         },
         none, TREL_CANNOT_WRITE, "no file can be made beside it", kOld},
        // The system cannot rename without replacing: a second name, then
        // the first goes; a second name that cannot be made fails the save.
        {"no rename without replacing", Layout::missing, Op::save, nullptr,
         fails(Call::rename, "", ENOSYS), TREL_OK, "", "4 44\n"},
        // A program that takes no lock makes the file just before the new
        // name is given: its file is not saved over.
        {"made just before the new name", Layout::missing, Op::save, nullptr,
         meanwhile(
             Call::rename, "", 0, [] { writeFile(unitMap("alu"), "7 7\n"); }, ENOSYS),
         TREL_CANNOT_WRITE, "was made by another program while this save wrote it", "7 7\n"},
        // A rewrite in place meets a reader that does not let go, and a
        // file mapped by another program; a file it may write but not read
        // cannot keep its pairs meanwhile.
        {"in place, reader holds on", Layout::linked, Op::save,
         holds(trel::MapLock::content, false), none, TREL_CANNOT_WRITE,
         "is being read by another process; gave up waiting to rewrite it in place", kOld},
        {"in place, mapped", Layout::linked, Op::save, nullptr,
         fails(Call::write, "alu/sch/page.map", ETXTBSY), TREL_CANNOT_WRITE,
         "is mapped by another program", kOld},
        {"in place, not readable", Layout::linked, Op::save, nullptr,
         fails(Call::open, "alu/sch/page.map", EACCES, false), TREL_CANNOT_WRITE, "", kOld},
        // The mark cannot be set (its one try fails), or the file system
        // keeps no marks: a file of several names is not rewritten in place,
        // and is left as it was.
        {"in place, mark not set", Layout::linked, Op::save, nullptr,
         fails(Call::xattr, "alu/sch/page.map", EIO, false, 1), TREL_CANNOT_WRITE,
         "it could not be marked as being rewritten", kOld},
        {"in place, no marks kept", Layout::linked, Op::save, nullptr,
         fails(Call::xattr, "alu/sch/page.map", ENOTSUP), TREL_CANNOT_WRITE,
         "its file system keeps no marks", kOld},
        // The mark cannot be read: whether the file is torn cannot be told.
        {"mark not read: load", Layout::plain, Op::load, nullptr,
         fails(Call::xattr, "alu/sch/page.map", EIO), TREL_CANNOT_READ, "its mark cannot be read",
         kOld},
        // A mark without a name, left by a rewrite cut short through another
        // name: a name without a leftover refuses, says which name puts the
        // file back and how to resolve a mark no name recovers; the name with
        // one takes the mark for its own.
        {"nameless mark, no leftover: save", Layout::linked, Op::save, marks(""), none,
         TREL_CANNOT_WRITE, "through the name with page.ma~ beside it", "<refused>"},
        {"nameless mark, no leftover: load", Layout::linked, Op::load, marks(""), none,
         TREL_CANNOT_READ, "if no name has one, the mark is stale; `pagemap journal`", "<refused>"},
        {"nameless mark, leftover here: save", Layout::linked, Op::save,
         both(marks(""), leftover("junk\n")), none, TREL_OK, "", kNew},
        {"nameless mark, leftover here: load", Layout::linked, Op::load,
         both(marks(""), leftover("junk\n")), none, TREL_OK, "", kOld},
        // The journal of a torn file cannot be opened, or is held without
        // sharing: the load refuses, naming it, and it stays.
        {"journal held: load", Layout::torn, Op::load, nullptr,
         fails(Call::open, "alu/sch/page.ma~", EBUSY), TREL_CANNOT_READ,
         "may hold the old content of a rewrite cut short", kOld},
        {"journal held: save", Layout::torn, Op::save, nullptr,
         fails(Call::open, "alu/sch/page.ma~", EBUSY, true, 1), TREL_CANNOT_WRITE,
         "may hold the old content of a rewrite cut short", kOld},
        // Putting a torn file back meets a reader that does not let go, or
        // the journal cannot be emptied after: either way it stays for later.
        {"put back, reader holds on", Layout::torn, Op::save, holds(trel::MapLock::content, false),
         none, TREL_CANNOT_WRITE, "but it is being read by another process", kOld},
        {"put back, journal not emptied", Layout::torn, Op::save, nullptr,
         fails(Call::truncate, "alu/sch/page.ma~", EIO), TREL_CANNOT_WRITE, "", kOld},
        // A rewrite through another name cut short, that name removed since:
        // the one name left reads the mark, which leads to the journal (or,
        // where marks keep no name, refuses until the journal is resolved).
        {"torn, its name removed: load", Layout::missing, Op::load,
         both(tornThroughLink,
              [](const std::string &, std::vector<trel::NativeFile> *) {
                  files().unlink(unitMap("lnk"));
              }),
         none, kNamedMarks ? TREL_OK : TREL_CANNOT_READ,
         kNamedMarks ? "" : "through the name with page.ma~ beside it",
         kNamedMarks ? kOld : "<refused>"},
        // A rewrite of a file of one name cut short, a second name linked
        // since: the mark leads the new name to the journal, or refuses.
        {"torn, a name linked since: save", Layout::missing, Op::save,
         both(tornThroughLink,
              [](const std::string &dir, std::vector<trel::NativeFile> *) {
                  // As pagemap journal shows it first.
                  const trel::RewriteReport report = trel::reportRewrite(dir + "/page.map");
                  // Where marks hold no name, it shows the journal beside this name: none.
                  EXPECT_TRUE(report.marked && report.journalComplete == kNamedMarks)
                      << report.journalFile;
                  EXPECT_EQ(report.links, 2u);
              }),
         none, kNamedMarks ? TREL_OK : TREL_CANNOT_WRITE,
         kNamedMarks ? "" : "through the name with page.ma~ beside it",
         kNamedMarks ? kNew : "<refused>"},
        // The torn file moved away, or replaced by another program, its
        // journal left beside the name: nothing removes the journal, and
        // the save says where its pairs are.
        {"torn, moved away: save", Layout::torn, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             ASSERT_TRUE(files().rename(dir + "/page.map", unitMap("far")));
         },
         none, TREL_CANNOT_WRITE, "keeps the old content of a rewrite cut short of another file",
         "<refused>", Setting::system,
         // What pagemap journal shows, and its put-back, which a user confirms.
         [](const std::string &path) {
             EXPECT_TRUE(testing_design::exists(path.substr(0, path.size() - 1) + "~"));
             const trel::RewriteReport report = trel::reportRewrite(path);
             EXPECT_TRUE(!report.fileExists && report.journalComplete) << report.verdict;
             for (const Call refused : {Call::write, Call::lock}) {  // each failure keeps it
                 seam::arm({refused, 0, false, true});
                 EXPECT_TRUE(trel::putJournalBack(path).failed());
                 if (refused == Call::lock) {
                     EXPECT_TRUE(trel::discardJournal(path).failed());
                 }
                 seam::disarm();
             }
             EXPECT_FALSE(trel::putJournalBack(path).failed());
             EXPECT_EQ(testing_design::readFile(path), kOld);
             EXPECT_FALSE(trel::reportRewrite(path).journalExists);
             EXPECT_TRUE(trel::putJournalBack(path).failed());  // nothing left to put back
             EXPECT_FALSE(trel::discardJournal(path).failed());
         }},
        {"torn, replaced: save", Layout::missing, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             leaveTornRewrite(dir + "/page.map", kOld, kTorn, true);
             files().unlink(dir + "/page.map");
             writeFile(dir + "/page.map", "7 7\n");
         },
         none, TREL_CANNOT_WRITE, "which is no longer at this name", "7 7\n"},
        // A second name of the file itself in the temporary's place, left by
        // a publish cut short: it goes, or the save refuses.
        {"temporary names the file", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             files().link(dir + "/page.map", dir + "/page.ma~");
         },
         none, TREL_OK, "", kNew},
        {"temporary names the file, not removed", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             files().link(dir + "/page.map", dir + "/page.ma~");
         },
         fails(Call::unlink, "alu/sch/page.ma~", EACCES), TREL_CANNOT_WRITE,
         "no file can be made beside it", kOld},
        // A new file that cannot be given the old one's owner: the file is
        // rewritten in place instead (Windows always rewrites in place).
        {"owner not given", Layout::plain, Op::save, nullptr,
         renames ? fails(Call::owner, "", EPERM) : Fault(), TREL_OK, "", kNew},
    };
}
INSTANTIATE_TEST_SUITE_P(Meanwhile, BetweenCallsTest, testing::ValuesIn(meanwhileRows()), rowName);

// Where no file is renamed over an open one and removals wait for other
// programs' handles (Windows), pretended on every platform: a leftover whose
// removal never ends makes the save refuse after a few rounds, naming the
// other program; the file's own second name as leftover makes the save let
// go and start over, so that the name goes; a name refused meanwhile is
// waited for a few rounds; and a file of one name is rewritten in place,
// marked where marks are kept, unmarked where none are.
std::vector<Case> removalWaitRows() {
    Fault removalWaits = fails(Call::unlink, "alu/sch/page.ma~", 0);
    removalWaits.aim.noEffect = true;
    const Setting waits = Setting::removalsWait;
    return {
        {"removal never ends", Layout::plain, Op::save, leftover("junk\n"), removalWaits,
         TREL_CANNOT_WRITE, "is held open by another program, which keeps it from being removed",
         kOld, waits},
        {"the file's second name", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             files().link(dir + "/page.map", dir + "/page.ma~");
         },
         none, TREL_OK, "", kNew, waits},
        {"new name refused meanwhile", Layout::plain, Op::save, leftover("junk\n"),
         fails(Call::open, "alu/sch/page.ma~", EACCES, true, 2), TREL_CANNOT_WRITE,
         "no file can be made beside it", kOld, waits},
        {"one name, in place", Layout::plain, Op::save, nullptr, none, TREL_OK, "", kNew, waits},
        {"one name, in place, no marks kept", Layout::plain, Op::save, nullptr,
         fails(Call::xattr, "alu/sch/page.map", ENOTSUP), TREL_OK, "", kNew, waits},
    };
}
INSTANTIATE_TEST_SUITE_P(RemovalsWait, BetweenCallsTest, testing::ValuesIn(removalWaitRows()),
                         rowName);

// Where the mark keeps the name the rewrite went through (POSIX extended
// attributes), a name finds the journal beside that name: it puts the file
// back, or refuses naming it, or takes a mark whose journal is gone or is
// no journal of the file, and whose name leads to this file, for stale. A
// mark that leads to another file's journal is never taken for stale. The
// file stays marked exactly when the call fails.
std::vector<Case> namedMarkRows() {
    const auto otherJournal = [](const std::string &text) -> Before {
        return [=](const std::string &dir, std::vector<trel::NativeFile> *) {
            mark(dir + "/page.map", unitMap("lnk"));
            if (!text.empty())
                writeFile(unitMap("lnk").substr(0, unitMap("lnk").size() - 1) + "~", text);
        };
    };
    const auto markedExactlyOnFailure = [](int status) {
        return [status](const std::string &path) { EXPECT_EQ(marked(path), status != TREL_OK); };
    };
    const Setting named = Setting::namedMarks;
    std::vector<Case> rows = {
        {"journal gone", Layout::linked, Op::save, otherJournal(""), none, TREL_OK, "", kNew},
        {"no journal of the file", Layout::linked, Op::save, otherJournal("junk\n"), none, TREL_OK,
         "", kNew},
        {"journal beside the other name", Layout::linked, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             leaveTornRewrite(unitMap("lnk"), kOld, kTorn);
             mark(dir + "/page.map", unitMap("lnk"));
         },
         none, TREL_OK, "", kNew},
        // The name leads nowhere here (the rewriting host sees the folder
        // at another mount point): its journal cannot be looked for, and
        // nothing reads or saves over the file meanwhile.
        {"name leads elsewhere: save", Layout::linked, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             mark(dir + "/page.map", "/elsewhere/work/lnk/sch/page.map");
         },
         none, TREL_CANNOT_WRITE, "does not lead to this file here", "<refused>"},
        {"name leads elsewhere: load", Layout::linked, Op::load,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             mark(dir + "/page.map", "/elsewhere/work/lnk/sch/page.map");
         },
         none, TREL_CANNOT_READ, "does not lead to this file here", "<refused>"},
        // The name leads to another file here, with a journal of its own
        // beside it (the same layout in another project folder).
        {"name leads to another file's journal", Layout::linked, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             leaveTornRewrite(unitMap("far"), "5 5\n", "5 6\n");
             mark(dir + "/page.map", trel::markText(1, unitMap("far")));
         },
         none, TREL_CANNOT_WRITE, "does not lead to this file here", "<refused>"},
        {"journal cannot be opened", Layout::linked, Op::save,
         otherJournal(std::string(trel::kJournalHeaderSize, '#')),
         fails(Call::open, "lnk/sch/page.ma~", EACCES), TREL_CANNOT_WRITE, "cannot be opened",
         kOld},
    };
    for (Case &row : rows) {
        row.setting = named;
        row.check = markedExactlyOnFailure(row.status);
    }
    return rows;
}
INSTANTIATE_TEST_SUITE_P(NamedMarks, BetweenCallsTest, testing::ValuesIn(namedMarkRows()), rowName);

#if !defined(_WIN32)
// What only POSIX systems have: special files, owners and groups. A journal is applied only when
// its owner could have written the file: another user's, planted beside a file she may not write,
// is not applied, not removed, and refused by name.
std::vector<Case> posixRows() {
    const auto plantedBy = [](uint32_t user, unsigned fileMode) -> Before {
        return [=](const std::string &dir, std::vector<trel::NativeFile> *) {
            ASSERT_EQ(::chown((dir + "/page.ma~").c_str(), user, user), 0);
            ASSERT_EQ(::chmod((dir + "/page.map").c_str(), fileMode), 0);
        };
    };
    std::vector<Case> rows = {
        {"page.map a FIFO", Layout::missing, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             ASSERT_EQ(::mkfifo((dir + "/page.map").c_str(), 0644), 0);
         },
         none, TREL_CANNOT_WRITE, "", "<refused>"},
        // The journal of a rewrite in place takes the file's group, so that
        // whoever may read the file may read it (root may give any group).
        {"in place, another group", Layout::linked, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             ASSERT_EQ(::chown((dir + "/page.map").c_str(), ::geteuid(), 4321), 0);
         },
         // Its group, seen while the file's bytes change.
         meanwhile(Call::write, "alu/sch/page.map", 0,
                   [] {
                       struct stat journal = {};
                       const std::string map = unitMap("alu");
                       ::stat((map.substr(0, map.size() - 1) + "~").c_str(), &journal);
                       EXPECT_EQ(journal.st_gid, 4321u);
                   }),
         TREL_OK, "", kNew},
        // A stale mark on a file of one name (its rewrite through this name
        // ended) is not handed on to the new file, whose other attributes are.
        {"stale mark, one name", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             mark(dir + "/page.map", dir + "/page.map");
             ASSERT_EQ(::setxattr((dir + "/page.map").c_str(), "user.kept", "1", 1, 0), 0);
         },
         none, TREL_OK, "", kNew, Setting::root,
         [](const std::string &path) {
             char kept = 0;
             EXPECT_EQ(::getxattr(path.c_str(), "user.kept", &kept, 1), 1);
             EXPECT_FALSE(marked(path));
         }},
        {"planted journal: load", Layout::torn, Op::load, plantedBy(4321, 0644), none,
         TREL_CANNOT_READ, "was made by user 4321, who may not write it", "<refused>"},
        {"planted journal: save", Layout::torn, Op::save, plantedBy(4321, 0644), none,
         TREL_CANNOT_WRITE, "was made by user 4321, who may not write it", "<refused>",
         Setting::root,
         // Kept; shown by pagemap journal, and discarded once a user confirms.
         [](const std::string &path) {
             const trel::RewriteReport report = trel::reportRewrite(path);
             EXPECT_EQ(report.journalOwner, 4321u);
             EXPECT_NE(report.verdict.find("who may not write it"), std::string::npos);
             EXPECT_FALSE(trel::discardJournal(path).failed());
             EXPECT_EQ(testing_design::readFile(path), kTorn);
             EXPECT_FALSE(trel::reportRewrite(path).journalExists);
         }},
        // A user whom the file's permissions let write it could have made it.
        {"journal of a user who may write", Layout::torn, Op::load, plantedBy(4321, 0646), none,
         TREL_OK, "", kOld},
    };
    for (Case &row : rows)
        row.setting = Setting::root;
    return rows;
}
INSTANTIATE_TEST_SUITE_P(Posix, BetweenCallsTest, testing::ValuesIn(posixRows()), rowName);
#else
// What another Windows program does with the sharing it asks for: one that
// reads page.map and lets nobody write it holds off saves until the wait
// runs out, and loads meanwhile read on.
std::vector<Case> windowsRows() {
    const auto readsSharingNoWrite = [](const std::string &dir,
                                        std::vector<trel::NativeFile> *held) {
        HANDLE reader = CreateFileA((dir + "/page.map").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        held->push_back(reader);
    };
    return {
        {"held open: save", Layout::plain, Op::save, readsSharingNoWrite, none, TREL_CANNOT_WRITE,
         "is held open by another program; gave up waiting for it", kOld},
        {"held open: load", Layout::plain, Op::load, readsSharingNoWrite, none, TREL_OK, "", kOld},
    };
}
INSTANTIATE_TEST_SUITE_P(WindowsReaders, BetweenCallsTest, testing::ValuesIn(windowsRows()),
                         rowName);
#endif

}  // namespace
