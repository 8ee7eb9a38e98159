// Loads and saves meet what other programs did between two of their calls,
// or what they hold: a file made, removed or held open without sharing, a
// lock of another save or load, a leftover that is no journal, a folder in
// the temporary's place, a mark left by a rewrite through another name; and
// calls the system refuses in ways of its own (no rename without replacing,
// no record locks, a file mapped by another program). Each case says what
// the load or save returns, what its message names, and what a clean load
// finds afterwards: nothing saved is lost, nothing torn is read as whole.
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

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "api/faulty_file_system.h"
#include "api/torn_rewrite.h"
#include "files/file_system.h"
#include "files/map_lock.h"
#include "support/temp_folder.h"
#include "trel.h"

namespace {

using seam::Call;
using testing_design::DesignTest;
using testing_design::exists;
using testing_design::leaveTornRewrite;
using testing_design::writeFile;

const char *const kOld = "1 1\n2 2\n3 3\n";

// How the unit's folder is laid out before the load or save.
enum class Layout {
    missing,  // no page.map yet
    plain,    // page.map with the old pairs, one name
    linked,   // the same, also the page.map of work.lnk:sch (rewritten in place)
    torn,     // a rewrite cut short: page.map torn, its journal beside it
};

enum class Op { load, save };

// A fault the load or save meets; none unless armed.
struct Fault {
    bool armed = false;
    seam::Plan plan;
    seam::Aim aim;
};
const Fault none;

struct Case {
    const char *name;
    Layout layout;
    Op op;
    // Set up after the layout; `files` is the system's, `held` keeps what
    // another program holds open for the whole load or save.
    std::function<void(const std::string &dir, std::vector<trel::NativeFile> *held)> before;
    Fault fault;
    int status;
    const char *message;  // a part of the last-error text; "" when the call succeeds
    const char *after;    // the pairs a clean load of work.alu:sch then finds
};

trel::FileSystem &files() {
    return trel::systemFileSystem();
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

// Marks the file as a rewrite through `name` does ("" where marks keep no name).
void mark(const std::string &path, const std::string &name) {
    trel::OpenMode mode;
    mode.access = trel::Access::readWrite;
    const trel::NativeFile file = files().open(path, mode);
    ASSERT_NE(file, trel::kNoFile);
    EXPECT_TRUE(files().setMark(file, name)) << path;
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
// after the first `skip`, or only the first.
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

class BetweenCallsTest : public DesignTest {
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
    std::string cleanLoad() {
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

    void run(const Case &c) {
        SCOPED_TRACE(c.name);
        trelReset();
        const std::string dir = root_ + "/work/alu/sch";
        test_support::removeFolder(root_ + "/work");
        makeUnit("work", "alu", "sch");
        makeUnit("work", "lnk", "sch");
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
                leaveTornRewrite(path, kOld, "1 9\n2 9\n");
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
        if (*c.message != '\0') {
            EXPECT_NE(lastError().find(c.message), std::string::npos) << lastError();
        }
        for (const trel::NativeFile file : held)
            files().close(file);
        EXPECT_EQ(cleanLoad(), c.after);
    }
};

TEST_F(BetweenCallsTest, LoadsAndSavesMeetWhatOtherProgramsDidMeanwhile) {
    const bool removalDeferred = (files().capabilities() & trel::kRemovalIsDeferred) != 0;
    const bool renames = (files().capabilities() & trel::kRenameOverOpenFile) != 0;
    const std::string newPairs = std::string(kOld) + "4 44\n";
    const auto leftover = [](const std::string &text) {
        return [text](const std::string &dir, std::vector<trel::NativeFile> *) {
            writeFile(dir + "/page.ma~", text);
        };
    };
    const auto holds = [](trel::MapLock lock, bool exclusive, const char *name = "page.map") {
        return [=](const std::string &dir, std::vector<trel::NativeFile> *held) {
            held->push_back(holding(dir + "/" + name, lock, exclusive, true));
        };
    };
    const auto marks = [this](const char *throughCell) {
        return [=](const std::string &dir, std::vector<trel::NativeFile> *) {
            mark(dir + "/page.map", *throughCell ? mapPath("work", throughCell, "sch") : "");
        };
    };
    const Case cases[] = {
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
         meanwhile(Call::open, "alu/sch/page.ma~", 0,
                   [this] { writeFile(mapPath("work", "alu", "sch"), "7 7\n"); }),
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
         removalDeferred ? kOld : newPairs.c_str()},
        // Another program makes and removes a leftover without end: the
        // save follows it for as long as it would wait for a lock.
        {"leftover keeps changing", Layout::plain, Op::save, nullptr,
         [this] {
             Fault toggles = meanwhile(Call::open, "alu/sch/page.ma~", 0, [this] {
                 const std::string name = root_ + "/work/alu/sch/page.ma~";
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
         meanwhile(Call::open, "alu/sch/page.ma~", 1,
                   [this] { files().unlink(root_ + "/work/alu/sch/page.ma~"); }),
         TREL_OK, "", newPairs.c_str()},
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
             Call::rename, "", 0, [this] { writeFile(mapPath("work", "alu", "sch"), "7 7\n"); },
             ENOSYS),
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
        // A mark without a name, left by a rewrite cut short through another
        // name: a name without a leftover refuses and says which name puts
        // the file back; the name with one takes the mark for its own.
        {"nameless mark, no leftover: save", Layout::linked, Op::save, marks(""), none,
         TREL_CANNOT_WRITE, "through the name with page.ma~ beside it", "<refused>"},
        {"nameless mark, no leftover: load", Layout::linked, Op::load, marks(""), none,
         TREL_CANNOT_READ, "through the name with page.ma~ beside it", "<refused>"},
        {"nameless mark, leftover here: save", Layout::linked, Op::save,
         [&](const std::string &dir, std::vector<trel::NativeFile> *held) {
             marks("")(dir, held);
             leftover("junk\n")(dir, held);
         },
         none, TREL_OK, "", newPairs.c_str()},
        {"nameless mark, leftover here: load", Layout::linked, Op::load,
         [&](const std::string &dir, std::vector<trel::NativeFile> *held) {
             marks("")(dir, held);
             leftover("junk\n")(dir, held);
         },
         none, TREL_OK, "", kOld},
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
        // A second name of the file itself in the temporary's place, left by
        // a publish cut short: it goes, or the save refuses.
        {"temporary names the file", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             files().link(dir + "/page.map", dir + "/page.ma~");
         },
         none, TREL_OK, "", newPairs.c_str()},
        {"temporary names the file, not removed", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             files().link(dir + "/page.map", dir + "/page.ma~");
         },
         fails(Call::unlink, "alu/sch/page.ma~", EACCES), TREL_CANNOT_WRITE,
         "no file can be made beside it", kOld},
        // A new file that cannot be given the old one's owner: the file is
        // rewritten in place instead (Windows always rewrites in place).
        {"owner not given", Layout::plain, Op::save, nullptr,
         renames ? fails(Call::owner, "", EPERM) : Fault(), TREL_OK, "", newPairs.c_str()},
    };
    for (const Case &c : cases)
        run(c);
}

#if !defined(_WIN32)
// What only POSIX systems have: special files, and groups.
TEST_F(BetweenCallsTest, SpecialFilesAndOtherGroups) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file any group";
    const std::string newPairs = std::string(kOld) + "4 44\n";
    const Case cases[] = {
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
                   [this] {
                       struct stat journal = {};
                       ::stat((root_ + "/work/alu/sch/page.ma~").c_str(), &journal);
                       EXPECT_EQ(journal.st_gid, 4321u);
                   }),
         TREL_OK, "", newPairs.c_str()},
        // A stale mark on a file of one name (its rewrite through this name
        // ended) is not handed on to the new file, whose other attributes are.
        {"stale mark, one name", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             mark(dir + "/page.map", dir + "/page.map");
             ASSERT_EQ(::setxattr((dir + "/page.map").c_str(), "user.kept", "1", 1, 0), 0);
         },
         none, TREL_OK, "", newPairs.c_str()},
    };
    for (const Case &c : cases)
        run(c);
    const std::string path = mapPath("work", "alu", "sch");
    char kept = 0;
    EXPECT_EQ(::getxattr(path.c_str(), "user.kept", &kept, 1), 1);
    EXPECT_FALSE(marked(path));
}
#else
// What another Windows program does with the sharing it asks for: one that
// reads page.map and lets nobody write it holds off saves until the wait
// runs out, and loads meanwhile read on.
TEST_F(BetweenCallsTest, AReaderThatSharesNoWritingHoldsOffSaves) {
    const auto readsSharingNoWrite = [](const std::string &dir,
                                        std::vector<trel::NativeFile> *held) {
        HANDLE reader = CreateFileA((dir + "/page.map").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        held->push_back(reader);
    };
    const Case cases[] = {
        {"held open: save", Layout::plain, Op::save, readsSharingNoWrite, none, TREL_CANNOT_WRITE,
         "is held open by another program; gave up waiting for it", kOld},
        {"held open: load", Layout::plain, Op::load, readsSharingNoWrite, none, TREL_OK, "", kOld},
    };
    for (const Case &c : cases)
        run(c);
}
#endif

// Where no file is renamed over an open one and removals wait for other
// programs' handles (Windows), pretended on every platform: a leftover whose
// removal never ends makes the save refuse after a few rounds, naming the
// other program; the file's own second name as leftover makes the save let
// go and start over, so that the name goes; a name refused meanwhile is
// waited for a few rounds; and a file of one name is rewritten in place.
TEST_F(BetweenCallsTest, WhereRemovalsWaitAndNothingIsRenamedOverAnOpenFile) {
    seam::pretendCapabilities((files().capabilities() & ~trel::kRenameOverOpenFile) |
                              trel::kRemovalIsDeferred);
    const std::string newPairs = std::string(kOld) + "4 44\n";
    const auto junk = [](const std::string &dir, std::vector<trel::NativeFile> *) {
        writeFile(dir + "/page.ma~", "junk\n");
    };
    Fault removalWaits = fails(Call::unlink, "alu/sch/page.ma~", 0);
    removalWaits.aim.noEffect = true;
    const Case cases[] = {
        {"removal never ends", Layout::plain, Op::save, junk, removalWaits, TREL_CANNOT_WRITE,
         "is held open by another program, which keeps it from being removed", kOld},
        {"the file's second name", Layout::plain, Op::save,
         [](const std::string &dir, std::vector<trel::NativeFile> *) {
             files().link(dir + "/page.map", dir + "/page.ma~");
         },
         none, TREL_OK, "", newPairs.c_str()},
        {"new name refused meanwhile", Layout::plain, Op::save, junk,
         fails(Call::open, "alu/sch/page.ma~", EACCES, true, 2), TREL_CANNOT_WRITE,
         "no file can be made beside it", kOld},
        {"one name, in place", Layout::plain, Op::save, nullptr, none, TREL_OK, "",
         newPairs.c_str()},
    };
    for (const Case &c : cases)
        run(c);
}

// Where the mark keeps the name the rewrite went through (POSIX extended
// attributes), a name finds the journal beside that name: it puts the file
// back, or refuses naming it, or takes a mark whose journal is gone or is
// no journal of the file for stale.
TEST_F(BetweenCallsTest, AMarkNamingAnotherNameLeadsToItsJournal) {
    {
        makeUnit("work", "alu", "sch");
        const std::string path = mapPath("work", "alu", "sch");
        writeFile(path, kOld);
        mark(path, "named");
        trel::OpenMode mode;
        const trel::NativeFile file = files().open(path, mode);
        std::string value;
        files().getMark(file, &value);
        files().close(file);
        if (value != "named") GTEST_SKIP() << "marks keep no name here";
    }
    const std::string newPairs = std::string(kOld) + "4 44\n";
    const auto otherJournal = [this](const std::string &text) {
        return [=](const std::string &dir, std::vector<trel::NativeFile> *) {
            mark(dir + "/page.map", mapPath("work", "lnk", "sch"));
            if (!text.empty()) writeFile(root_ + "/work/lnk/sch/page.ma~", text);
        };
    };
    const Case cases[] = {
        {"journal gone", Layout::linked, Op::save, otherJournal(""), none, TREL_OK, "",
         newPairs.c_str()},
        {"no journal of the file", Layout::linked, Op::save, otherJournal("junk\n"), none, TREL_OK,
         "", newPairs.c_str()},
        {"journal beside the other name", Layout::linked, Op::save,
         [this](const std::string &dir, std::vector<trel::NativeFile> *) {
             leaveTornRewrite(mapPath("work", "lnk", "sch"), kOld, "1 9\n2 9\n");
             mark(dir + "/page.map", mapPath("work", "lnk", "sch"));
         },
         none, TREL_OK, "", newPairs.c_str()},
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
        {"journal cannot be opened", Layout::linked, Op::save,
         otherJournal(std::string(trel::kJournalHeaderSize, '#')),
         fails(Call::open, "lnk/sch/page.ma~", EACCES), TREL_CANNOT_WRITE, "cannot be opened",
         kOld},
    };
    for (const Case &c : cases) {
        run(c);
        EXPECT_EQ(marked(mapPath("work", "alu", "sch")), c.status != TREL_OK) << c.name;
    }
}

}  // namespace
