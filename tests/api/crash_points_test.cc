// Saves killed (before a call, or halfway through a write) or failed by an
// I/O error at each system call they make in turn, by rename and in place.
// Whatever the moment, the next use (a load, or a save from a page map loaded
// before) finds the old pairs or the new ones, whole; a failure reports 5 and
// leaves the old pairs (the new ones only after a failed folder sync, which
// the message says); and the next save leaves the folder as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "api/design_fixture.h"
#include "api/faulty_file_system.h"
#include "api/save_fixture.h"
#include "trel.h"

namespace {

using testing_design::DesignTest;
using testing_design::exitStatusOf;
using testing_design::listDirectory;
using testing_design::pairsText;
using testing_design::readFile;
using testing_design::startChild;
using testing_design::statOf;
using testing_design::writeFile;

constexpr int kMostCalls = 300;  // a save makes far fewer
constexpr int kNotDurable = 64;  // added to a child's status: the message says so
constexpr int kLatePage = 999;   // saved by the parent after the child's save

// Pages 1 to 300 map to their negatives; a save removes some pairs and sets
// others (changing some, adding some).
struct Case {
    const char *name;
    bool inPlace;  // a second name makes the save rewrite the file in place
    int firstRemoved, lastRemoved, firstSet, lastSet;
    // The second name is another unit's page.map, and every use after the
    // save goes through it.
    bool throughOtherUnit = false;
};

std::string textOf(const std::map<int, int> &pairs) {
    std::string text;
    for (const auto &[page, mapped] : pairs)
        text += std::to_string(page) + " " + std::to_string(mapped) + "\n";
    return text;
}

std::map<int, int> oldPairs() {
    std::map<int, int> pairs;
    for (int page = 1; page <= 300; ++page)
        pairs[page] = -page;
    return pairs;
}

std::map<int, int> newPairs(const Case &c) {
    std::map<int, int> pairs = oldPairs();
    for (int page = c.firstRemoved; page <= c.lastRemoved; ++page)
        pairs.erase(page);
    for (int page = c.firstSet; page <= c.lastSet; ++page)
        pairs[page] = -page - 1000;
    return pairs;
}

// Whether an injected failure of this kind may be worked around, the save
// then succeeding: a failed write, sync, truncation or allocation never may.
bool avoidable(const std::string &kind) {
    return kind != "write" && kind != "sync" && kind != "truncate" && kind != "allocate";
}

class CrashPointTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        dir_ = makeUnit("work", "alu", "sch");
        path_ = mapPath("work", "alu", "sch");
        otherDir_ = makeUnit("work", "lnk", "sch");
        otherPath_ = mapPath("work", "lnk", "sch");
    }

    // Lays out the old file and loads it here too.
    void prepare(const Case &c) {
        trelReset();
        for (const std::string &dir : {dir_, otherDir_})
            for (const std::string &name : listDirectory(dir))
                ::unlink((dir + "/" + name).c_str());
        writeFile(path_, textOf(oldPairs()));
        if (c.throughOtherUnit) {
            ::link(path_.c_str(), otherPath_.c_str());
        } else if (c.inPlace) {
            ::link(path_.c_str(), (dir_ + "/other.map").c_str());
        }
        trelloadMapFile("work", cellAfter(c), "sch", 0);
    }

    // Loads the old pairs in a child, edits them and saves under `plan`.
    // Returns the child's status (the save's, plus kNotDurable when the
    // message says so; -1 when killed) and the calls the seam saw.
    int saveInChild(const Case &c, const seam::Plan &plan, std::vector<std::string> *calls) {
        int trace[2];
        if (::pipe(trace) != 0) return -2;
        const pid_t child = startChild([&] {
            ::close(trace[0]);
            if (trelloadMapFile("work", "alu", "sch", 1) != TREL_OK) return 90;
            for (int page = c.firstRemoved; page <= c.lastRemoved; ++page)
                trelDeletePageMapping("work", "alu", "sch", page);
            for (int page = c.firstSet; page <= c.lastSet; ++page)
                trelSetPageMapping("work", "alu", "sch", page, -page - 1000);
            seam::arm(plan, trace[1]);
            const int status = trelSavePageMap("work", "alu", "sch");
            seam::disarm();
            const bool notDurable =
                status != TREL_OK && lastError().find("may not be durable") != std::string::npos;
            return status + (notDurable ? kNotDurable : 0);
        });
        ::close(trace[1]);
        std::string text;
        char block[4096];
        for (ssize_t got; (got = ::read(trace[0], block, sizeof block)) > 0;)
            text.append(block, static_cast<size_t>(got));
        ::close(trace[0]);
        calls->clear();
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            calls->push_back(text.substr(at, end - at));
        return exitStatusOf(child);
    }

    // What a fresh load finds now, after a save of kLatePage from the page
    // map loaded before the child's save when `saveFirst`. Empty, with the
    // fault in *fault, when that save or the load fails, or when a save
    // afterwards does not leave page.map (and its other name) alone in the
    // folder with those pairs.
    static const char *cellAfter(const Case &c) { return c.throughOtherUnit ? "lnk" : "alu"; }

    std::string loadedVersion(const Case &c, bool saveFirst, std::string *fault) {
        const char *cell = cellAfter(c);
        if (saveFirst) {
            trelSetPageMapping("work", cell, "sch", kLatePage, -kLatePage);
            if (trelSavePageMap("work", cell, "sch") != TREL_OK)
                return *fault = "a save from before fails: " + lastError(), "";
        }
        trelReset();
        if (trelloadMapFile("work", cell, "sch", 0) != TREL_OK)
            return *fault = "the load fails: " + lastError(), "";
        const std::string version = pairsText("work", cell, "sch");
        if (trelSavePageMap("work", cell, "sch") != TREL_OK)
            return *fault = "the save after it fails: " + lastError(), "";
        std::vector<std::string> expected{"page.map"};
        if (c.inPlace && !c.throughOtherUnit) expected.insert(expected.begin(), "other.map");
        // Through another name, a temporary that is no journal stays until
        // the next save through the first.
        std::vector<std::string> listed = listDirectory(dir_);
        if (c.throughOtherUnit && listed.size() == 2 && listed[1] == "page.ma~") listed.pop_back();
        if (listed != expected || readFile(path_) != version)
            return *fault = "the folder or the file is not right after the next save", "";
        const std::string link = c.throughOtherUnit ? otherPath_ : dir_ + "/other.map";
        if (c.inPlace && statOf(link).st_ino != statOf(path_).st_ino)
            return *fault = "page.map is no longer a link of its other name", "";
        if (c.throughOtherUnit) {
            // The name the save went through, used last, reverts nothing.
            trelReset();
            if (trelloadMapFile("work", "alu", "sch", 0) != TREL_OK ||
                pairsText("work", "alu", "sch") != version)
                return *fault = "a load through the first name finds another version", "";
        }
        return version;
    }

    std::string dir_;
    std::string path_;
    std::string otherDir_;
    std::string otherPath_;
};

// A loaded version in a few words.
std::string describe(const std::string &version, const std::string &oldText,
                     const std::string &newText) {
    if (version.empty()) return "nothing";
    if (version == oldText) return "the old pairs";
    if (version == newText) return "the new pairs";
    size_t lines = 0;
    std::string stranger;  // the first line in neither
    for (size_t at = 0, end; (end = version.find('\n', at)) != std::string::npos; at = end + 1) {
        ++lines;
        const std::string line = "\n" + version.substr(at, end - at + 1);
        if (stranger.empty() && ("\n" + oldText).find(line) == std::string::npos &&
            ("\n" + newText).find(line) == std::string::npos)
            stranger = line.substr(1, line.size() - 2);
    }
    return std::to_string(lines) + " pairs, " +
           (stranger.empty() ? "a mix of old and new ones" : "among them " + stranger);
}

// What is wrong with the outcome of one save acted on at one call; empty
// when nothing is. `acted` is the call's trace line, empty when the save made
// no call that many; `result` the child's status.
std::string judge(bool kill, const std::string &acted, int result, const std::string &version,
                  const std::string &oldText, const std::string &newText) {
    const bool isOld = version == oldText;
    const bool isNew = version == newText;
    if (acted.empty())
        return result == TREL_OK && isNew ? "" : "the save made every call but failed";
    if (kill) return isOld || isNew ? "" : "neither the old pairs nor the new";
    const std::string kind = acted.substr(0, acted.find(' '));
    if (result == TREL_OK) {
        if (!avoidable(kind)) return "the save returned 0 although " + kind + " failed";
        return isNew ? "" : "the save returned 0 but the new pairs are not loaded";
    }
    if (result == TREL_CANNOT_WRITE + kNotDurable)
        return isNew ? "" : "\"may not be durable\" without the new pairs in place";
    if (result != TREL_CANNOT_WRITE) return "the save returned " + std::to_string(result);
    return isOld ? "" : "the save returned 5 but the old pairs are gone";
}

TEST_F(CrashPointTest, EveryCallOfASaveKilledOrFailedLeavesOneWholeVersion) {
    const Case cases[] = {
        {"by rename", false, 1, 100, 250, 400},
        {"in place, longer", true, 1, 20, 250, 600},
        {"in place, shorter", true, 1, 200, 280, 290},
        {"in place, then through another unit's name", true, 1, 20, 250, 600, true},
    };
    const std::string oldText = textOf(oldPairs());
    // Killed before each call, killed halfway through each write, failed at
    // each call.
    const seam::Plan plans[] = {{seam::Call::any, 0, true},
                                {seam::Call::write, 0, true, false, true},
                                {seam::Call::any, 0, false}};
    const char *const names[] = {"killed", "torn", "failed"};
    for (int mode = 0; mode < 3; ++mode) {
        const bool kill = plans[mode].kill;
        for (const Case &c : cases) {
            const std::string newText = textOf(newPairs(c));
            bool sawNotDurable = false;
            std::vector<std::string> calls;
            for (int n = 0;; ++n) {
                prepare(c);
                seam::Plan plan = plans[mode];
                plan.skip = n;
                const int result = saveInChild(c, plan, &calls);
                std::string acted;  // the line marked '!'
                for (const std::string &call : calls)
                    if (call[0] == '!') acted = call.substr(1);
                // Alternately the next use is a load, or a save of a page
                // map loaded before, which merges with whatever is there.
                const bool saveFirst = n % 2 == 1;
                const std::string late =
                    saveFirst ? std::to_string(kLatePage) + " " + std::to_string(-kLatePage) + "\n"
                              : "";
                std::string fault;
                const std::string version = loadedVersion(c, saveFirst, &fault);
                if (fault.empty())
                    fault = judge(kill, acted, result, version, oldText + late, newText + late);
                if (!fault.empty()) {
                    ADD_FAILURE() << c.name << ", " << names[mode] << " at call " << n << " ("
                                  << acted << "): " << fault << "; loaded "
                                  << describe(version, oldText + late, newText + late)
                                  << (saveFirst ? " (after a save from before)" : "");
                    break;
                }
                sawNotDurable = sawNotDurable || result == TREL_CANNOT_WRITE + kNotDurable;
                if (acted.empty()) {
                    std::string calledNames;
                    for (const std::string &call : calls)
                        calledNames += " " + call.substr(call.find(' ') + 1);
                    std::printf("%s, %s at each of %d %s:%s\n", c.name, names[mode], n,
                                mode == 1 ? "writes" : "calls", calledNames.c_str());
                    break;
                }
                if (n == kMostCalls) {
                    ADD_FAILURE() << c.name << ": the save never ends";
                    break;
                }
            }
            if (!kill && !c.inPlace) {
                EXPECT_TRUE(sawNotDurable)
                    << "no failed folder sync after the rename said \"may not be durable\"";
            }
        }
    }
}

}  // namespace
