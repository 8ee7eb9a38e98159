// Three processes edit one unit side by side, saving after every edit and
// reloading now and then: one as an ordinary user, who rewrites the
// root-owned file in place, and in a second round one through another
// unit's hard link to the file. Every save and load succeeds, no load sees
// a mix of versions or a pair nobody set, and no saved change is lost.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "api/design_fixture.h"
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

constexpr int kProcesses = 3;
constexpr int kEdits = 100;       // per process and round
constexpr int kShared = 16;       // pages 1 to kShared, edited by every process
constexpr int kUntouched = 2000;  // pages from kUntouchedFirst, edited by none
constexpr int kUntouchedFirst = 900000;

// Edit i of process p sets its own page ownPage(p, i) and one shared page.
int ownPage(int p, int i) {
    return 1000 * (p + 1) + i;
}
int32_t ownValue(int p, int i) {
    return -(1000000 + 10000 * p + i);
}
int sharedPage(int p, int i) {
    return 1 + (5 * i + 3 * p) % kShared;
}
int32_t sharedValue(int p, int i) {
    return -(2000000 + 10000 * p + i);
}
// The value of shared and untouched pages in the first file.
int32_t firstValue(int page) {
    return -(3000000 + page);
}

// What the processes tell each other and the parent, in shared memory.
struct Board {
    std::atomic<unsigned> ticket{0};  // numbers the start and end of every save, in order
    std::atomic<int> ready{0};
    struct Process {
        int saves, failedSaves, loads, failedLoads, faultyLoads, lostPages;
        // Per shared page, the last save that carried a change of it here.
        unsigned lastStart[kShared + 1], lastEnd[kShared + 1];
        int32_t lastValue[kShared + 1];  // 0: never changed here
        char problem[200];               // the first one
    } process[kProcesses] = {};
};
static_assert(std::atomic<unsigned>::is_always_lock_free, "shared between processes");

// Checks the pairs the unit's page map holds as one version of the file:
// every pair is one some process set or the file began with, and each
// process's pages are a prefix of the order it set them in, since each save
// publishes all its earlier ones. `held` gets the length of each prefix.
// Empty when so, else what is wrong.
std::string checkVersion(const char *cell, int held[kProcesses]) {
    int shared = 0;
    int untouched = 0;
    std::string fault;
    for (int p = 0; p < kProcesses; ++p)
        held[p] = 0;
    const trel::PageMap *map = trel::Registry::instance().lookup({"work", cell, "sch"});
    if (map == nullptr) return "no page map";
    map->forEachPair([&](int32_t page, int32_t mapped) {
        if (!fault.empty()) return;
        const std::string pair = std::to_string(page) + " " + std::to_string(mapped);
        if (page >= 1 && page <= kShared) {
            const int n = -mapped - 2000000;
            const int p = n / 10000;
            const int i = n % 10000;
            const bool set = n >= 0 && p < kProcesses && i < kEdits && sharedPage(p, i) == page;
            if (!set && mapped != firstValue(page)) fault = "a pair nobody set: " + pair;
            ++shared;
        } else if (page >= kUntouchedFirst && page < kUntouchedFirst + kUntouched) {
            if (mapped != firstValue(page)) fault = "a pair nobody set: " + pair;
            ++untouched;
        } else {
            const int p = page / 1000 - 1;
            const int i = page % 1000;
            if (p < 0 || p >= kProcesses || i >= kEdits || mapped != ownValue(p, i)) {
                fault = "a pair nobody set: " + pair;
            } else if (i != held[p]) {
                fault = pair + " without the pages set before it (lost, or a mix of versions)";
            } else {
                ++held[p];
            }
        }
    });
    if (fault.empty() && (shared != kShared || untouched != kUntouched))
        fault = std::to_string(shared) + " shared and " + std::to_string(untouched) +
                " untouched pairs";
    return fault;
}

std::string lastError() {
    char *text = nullptr;
    trelGetLastError(&text);
    return text;
}

// One editing process: edits, saves after each edit, reloads after every
// third, and checks each version it loads.
int edit(Board *board, int p, const char *cell) {
    alarm(120);  // a save that never returns ends the process
    Board::Process &me = board->process[p];
    auto note = [&me](const std::string &problem) {
        if (me.problem[0] == '\0')
            std::snprintf(me.problem, sizeof me.problem, "%s", problem.c_str());
    };
    trelReset();
    ++me.loads;
    if (trelloadMapFile("work", cell, "sch", 0) != TREL_OK) {
        ++me.failedLoads;
        note("the first load: " + lastError());
    }
    ++board->ready;
    while (board->ready < kProcesses)
        sched_yield();
    for (int i = 0; i < kEdits; ++i) {
        const int page = sharedPage(p, i);
        trelSetPageMapping("work", cell, "sch", ownPage(p, i), ownValue(p, i));
        trelSetPageMapping("work", cell, "sch", page, sharedValue(p, i));
        const unsigned start = board->ticket++;
        const int status = trelSavePageMap("work", cell, "sch");
        const unsigned end = board->ticket++;
        ++me.saves;
        if (status != TREL_OK) {
            ++me.failedSaves;
            note("save " + std::to_string(i) + " returned " + std::to_string(status) + ": " +
                 lastError());
            continue;
        }
        me.lastStart[page] = start;
        me.lastEnd[page] = end;
        me.lastValue[page] = sharedValue(p, i);
        if (i % 3 != 2) continue;
        ++me.loads;
        if (trelloadMapFile("work", cell, "sch", 1) != TREL_OK) {
            ++me.failedLoads;
            note("load after edit " + std::to_string(i) + ": " + lastError());
            continue;
        }
        int held[kProcesses];
        const std::string fault = checkVersion(cell, held);
        if (!fault.empty()) {
            ++me.faultyLoads;
            note("load after edit " + std::to_string(i) + ": " + fault);
        } else if (held[p] < i + 1) {
            me.lostPages += i + 1 - held[p];
            note("load after edit " + std::to_string(i) + ": only " + std::to_string(held[p]) +
                 " of this process's pages");
        }
    }
    return 0;
}

// Per shared page, the value it must end with: the last change some process
// saved. A change wins when no other process's last change of the page was
// saved wholly after it; the count of pages that hold anything else.
int sharedPagesLost(const Board &board, const char *cell) {
    int lost = 0;
    for (int page = 1; page <= kShared; ++page) {
        int32_t value = 0;
        trelGetPageMapping("work", cell, "sch", page, &value);
        int writer = -1;
        for (int p = 0; p < kProcesses; ++p)
            if (board.process[p].lastValue[page] != 0 && board.process[p].lastValue[page] == value)
                writer = p;
        bool right = writer >= 0;
        for (int q = 0; q < kProcesses && right; ++q) {
            const Board::Process &other = board.process[q];
            right = q == writer || other.lastValue[page] == 0 ||
                    other.lastStart[page] < board.process[writer].lastEnd[page];
        }
        bool nobodyChangedIt = true;
        for (const Board::Process &process : board.process)
            nobodyChangedIt = nobodyChangedIt && process.lastValue[page] == 0;
        if (!right && !(nobodyChangedIt && value == firstValue(page))) ++lost;
    }
    return lost;
}

using ContentionTest = DesignTest;

TEST_F(ContentionTest, ThreeProcessesSavingOneUnitLoseNothing) {
    const std::string dir = makeUnit("work", "alu", "sch");
    const std::string linkDir = makeUnit("work", "lnk", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    const std::string link = mapPath("work", "lnk", "sch");
    // The last process is the ordinary user where this process may switch.
    const bool asUser = testing_design::shareWithOrdinaryUser(root_, dir);
    struct Round {
        const char *name;
        const char *cells[kProcesses];  // the unit each process edits
    };
    const Round rounds[] = {
        {"by rename and in place", {"alu", "alu", "alu"}},
        {"through a hard link too", {"alu", "lnk", "alu"}},
    };
    std::string first;
    for (int page = 1; page <= kShared; ++page)
        first += std::to_string(page) + " " + std::to_string(firstValue(page)) + "\n";
    for (int page = kUntouchedFirst; page < kUntouchedFirst + kUntouched; ++page)
        first += std::to_string(page) + " " + std::to_string(firstValue(page)) + "\n";

    for (const Round &round : rounds) {
        SCOPED_TRACE(round.name);
        const bool linked = std::string(round.cells[1]) == "lnk";
        ::unlink(link.c_str());
        writeFile(path, first);
        ::chmod(path.c_str(), 0666);  // root's: the ordinary user rewrites it in place
        if (linked) {
            ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
        }
        void *memory =
            mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(memory, MAP_FAILED);
        Board *board = new (memory) Board;

        const auto started = std::chrono::steady_clock::now();
        std::vector<pid_t> children;
        for (int p = 0; p < kProcesses; ++p) {
            const char *cell = round.cells[p];
            children.push_back(
                startChild([=] { return edit(board, p, cell); }, asUser && p == kProcesses - 1));
        }
        for (int p = 0; p < kProcesses; ++p)
            EXPECT_EQ(exitStatusOf(children[static_cast<size_t>(p)]), 0) << "process " << p;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

        int saves = 0;
        int loads = 0;
        int lost = 0;
        for (int p = 0; p < kProcesses; ++p) {
            const Board::Process &process = board->process[p];
            SCOPED_TRACE(testing::Message() << "process " << p << ": " << process.problem);
            EXPECT_EQ(process.failedSaves, 0);
            EXPECT_EQ(process.failedLoads, 0);
            EXPECT_EQ(process.faultyLoads, 0);
            EXPECT_EQ(process.lostPages, 0);
            saves += process.saves;
            loads += process.loads;
        }

        // The file as it was left: the last version, whole.
        trelReset();
        EXPECT_EQ(trelloadMapFile("work", "alu", "sch", 0), TREL_OK) << lastError();
        int held[kProcesses];
        EXPECT_EQ(checkVersion("alu", held), "");
        for (int p = 0; p < kProcesses; ++p) {
            for (int i = 0; i < kEdits; ++i) {
                int32_t value = 0;
                trelGetPageMapping("work", "alu", "sch", ownPage(p, i), &value);
                lost += value != ownValue(p, i);
            }
        }
        lost += sharedPagesLost(*board, "alu");
        EXPECT_EQ(lost, 0);
        EXPECT_EQ(readFile(path), pairsText("work", "alu", "sch"));
        EXPECT_EQ(statOf(path).st_uid, geteuid());
        EXPECT_EQ(statOf(path).st_mode & 07777, 0666u);
        EXPECT_EQ(listDirectory(dir), std::vector<std::string>{"page.map"});
        if (linked) {
            EXPECT_EQ(statOf(link).st_ino, statOf(path).st_ino);
            EXPECT_EQ(listDirectory(linkDir), std::vector<std::string>{"page.map"});
        }
        std::printf("contention, %s%s: %d saves (%.0f/s), %d loads (%.0f/s), %d pages lost\n",
                    round.name, asUser ? "" : " (one user)", saves, saves / seconds, loads,
                    loads / seconds, lost);
        munmap(memory, sizeof(Board));
    }
}

// Eight processes save one unit rewritten in place (it has a second name)
// while six others reload it without pause: loads let a waiting rewrite in,
// and savers take turns, so no save gives up. The 99th percentile of the
// saves' times is reported, not checked.
TEST_F(ContentionTest, SaversAmongLoadersAllGetTheirTurn) {
    constexpr int kSavers = 8;
    constexpr int kLoaders = 6;
    constexpr int kSaves = 15;  // per saver
    makeUnit("work", "alu", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    writeFile(path, "1 2\n");
    ASSERT_EQ(::link(path.c_str(), (path + ".link").c_str()), 0);
    struct Shared {
        std::atomic<int> saversLeft{kSavers};
        std::atomic<int> failedSaves{0};
        std::atomic<int> failedLoads{0};
        int64_t waitUs[kSavers][kSaves];
    };
    void *memory =
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    Shared *shared = new (memory) Shared;
    std::vector<pid_t> children;
    for (int p = 0; p < kSavers; ++p) {
        children.push_back(startChild([=] {
            alarm(120);
            trelReset();
            trelloadMapFile("work", "alu", "sch", 0);
            for (int i = 0; i < kSaves; ++i) {
                trelSetPageMapping("work", "alu", "sch", 100 * (p + 1) + i, -1);
                const auto start = std::chrono::steady_clock::now();
                if (trelSavePageMap("work", "alu", "sch") != TREL_OK) ++shared->failedSaves;
                shared->waitUs[p][i] = std::chrono::duration_cast<std::chrono::microseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count();
            }
            --shared->saversLeft;
            return 0;
        }));
    }
    for (int l = 0; l < kLoaders; ++l) {
        children.push_back(startChild([=] {
            alarm(120);
            trelReset();
            while (shared->saversLeft > 0)
                if (trelloadMapFile("work", "alu", "sch", 1) != TREL_OK) ++shared->failedLoads;
            return 0;
        }));
    }
    for (pid_t child : children)
        EXPECT_EQ(exitStatusOf(child), 0);
    EXPECT_EQ(shared->failedSaves, 0);
    EXPECT_EQ(shared->failedLoads, 0);
    std::vector<int64_t> waits(&shared->waitUs[0][0], &shared->waitUs[0][0] + kSavers * kSaves);
    std::sort(waits.begin(), waits.end());
    std::printf("saves among %d loaders: p50 %.1f ms, p99 %.1f ms, longest %.1f ms\n", kLoaders,
                waits[waits.size() / 2] / 1e3, waits[waits.size() * 99 / 100] / 1e3,
                waits.back() / 1e3);
    munmap(memory, sizeof(Shared));
}

}  // namespace
