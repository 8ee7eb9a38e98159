// Savers through both names of a hard-linked map file, killed at random
// moments and started again, with loaders through both names beside them:
// real processes, as hosts sharing a design library are. Each saver keeps
// one page of its own and sets it to a higher value before every save. No
// save that returned 0 is lost: every load holds, for each saver, at least
// the value of its last save acknowledged before the load began, and so
// does the file at the end through either name. A second run starts with a
// file of one name, rewritten in place (as where nothing is renamed over an
// open file), and links the second name halfway, kills going on.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>

#include "api/design_fixture.h"
#include "api/faulty_file_system.h"
#include "api/save_fixture.h"
#include "files/file_system.h"
#include "trel.h"

namespace {

using testing_design::DesignTest;
using testing_design::exitStatusOf;
using testing_design::startChild;
using testing_design::statOf;
using testing_design::writeFile;

constexpr int kSavers = 4;
constexpr int kLoaders = 2;
constexpr int kKills = 40;
constexpr int kFirstPage = 100;  // saver i keeps page kFirstPage + i
constexpr int kFiller = 3000;    // pairs no one changes, so that a rewrite takes a while

// What the processes tell each other and the parent, in shared memory.
struct Board {
    std::atomic<bool> stop{false};
    std::atomic<int> next[kSavers];   // the value saver i sets next
    std::atomic<int> acked[kSavers];  // the value of its last save that returned 0
    std::atomic<int> saves{0}, failedSaves{0}, loads{0}, failedLoads{0}, lost{0};
    std::atomic<bool> linked{true};  // the second name is there
    char problem[256] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "shared between processes");

const char *cellOf(const Board &board, int process) {
    return process % 2 == 0 || !board.linked.load() ? "alu" : "lnk";
}

void tell(Board &board, const std::string &problem) {
    if (board.problem[0] == '\0')
        std::snprintf(board.problem, sizeof board.problem, "%s", problem.c_str());
}

std::string lastError() {
    char *text = nullptr;
    trelGetLastError(&text);
    return text;
}

int saver(Board &board, int i) {
    trelSetFileMode(TREL_FILE_MODE_TEXT);
    while (!board.stop.load()) {
        const char *cell = cellOf(board, i);
        const int value = board.next[i].fetch_add(1);
        trelSetPageMapping("work", cell, "sch", kFirstPage + i, value);
        if (trelSavePageMap("work", cell, "sch") != TREL_OK) {
            ++board.failedSaves;
            tell(board, std::string("a save failed: ") + lastError());
            continue;
        }
        // Values only grow, so the last acknowledged is the largest.
        int acked = board.acked[i].load();
        while (acked < value && !board.acked[i].compare_exchange_weak(acked, value)) {
        }
        ++board.saves;
    }
    return 0;
}

int loader(Board &board, int j) {
    trelSetFileMode(TREL_FILE_MODE_TEXT);
    while (!board.stop.load()) {
        const char *cell = cellOf(board, j);
        int before[kSavers];
        for (int i = 0; i < kSavers; ++i)
            before[i] = board.acked[i].load();
        trelReset();
        if (trelloadMapFile("work", cell, "sch", 0) != TREL_OK) {
            ++board.failedLoads;
            tell(board, std::string("a load failed: ") + lastError());
            continue;
        }
        for (int i = 0; i < kSavers; ++i) {
            int value = 0;
            trelGetPageMapping("work", cell, "sch", kFirstPage + i, &value);
            if (before[i] != 0 && value < before[i]) {
                ++board.lost;
                tell(board, std::string("a load through ") + cell + " found page " +
                                std::to_string(kFirstPage + i) + " at " + std::to_string(value) +
                                " after a save of " + std::to_string(before[i]) + " returned 0");
            }
        }
        ++board.loads;
    }
    return 0;
}

struct Run {
    const char *name;
    bool linkHalfway;  // one name first, rewritten in place; the second linked halfway
};

void PrintTo(const Run &row, std::ostream *out) {
    *out << row.name;
}

class KilledSaversTest : public DesignTest, public testing::WithParamInterface<Run> {
  protected:
    void TearDown() override {
        seam::pretendCapabilities(-1);
        DesignTest::TearDown();
    }
};

TEST_P(KilledSaversTest, LoseNoSaveThatReturned) {
    const bool linkHalfway = GetParam().linkHalfway;
    makeUnit("work", "alu", "sch");
    makeUnit("work", "lnk", "sch");
    const std::string path = mapPath("work", "alu", "sch");
    const std::string link = mapPath("work", "lnk", "sch");
    std::string text;
    for (int page = 0; page < kFiller; ++page)
        text += std::to_string(10000 + page) + " " + std::to_string(-page) + "\n";
    writeFile(path, text);
    if (linkHalfway) {
        // Every save rewrites the file in place, marking it, one name or two.
        seam::pretendCapabilities(static_cast<long>(trel::systemFileSystem().capabilities() &
                                                    ~trel::kRenameOverOpenFile));
    } else {
        ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    }

    void *memory =
        mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    Board &board = *new (memory) Board();
    for (int i = 0; i < kSavers; ++i) {
        board.next[i] = 1;
        board.acked[i] = 0;
    }
    board.linked = !linkHalfway;

    pid_t savers[kSavers];
    pid_t loaders[kLoaders];
    for (int i = 0; i < kSavers; ++i)
        savers[i] = startChild([&board, i] { return saver(board, i); });
    for (int j = 0; j < kLoaders; ++j)
        loaders[j] = startChild([&board, j] { return loader(board, j); });

    // Kills at random moments, each after two more saves returned 0, so that
    // the run makes progress however slow the build: a save may be anywhere
    // in its calls.
    std::mt19937 random(7);
    const auto start = std::chrono::steady_clock::now();
    for (int kill = 0; kill < kKills; ++kill) {
        for (const int saves = board.saves.load();
             board.saves.load() < saves + 2 && board.failedSaves.load() == 0;)
            ::usleep(500);
        ::usleep(static_cast<useconds_t>(random() % 5000));
        if (kill == kKills / 2 && !board.linked.load()) {
            // Whatever the kills left, the new name reads through the mark.
            ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
            board.linked = true;
        }
        const int i = static_cast<int>(random() % kSavers);
        ::kill(savers[i], SIGKILL);
        exitStatusOf(savers[i]);
        savers[i] = startChild([&board, i] { return saver(board, i); });
    }
    board.stop = true;
    for (const pid_t child : savers)
        EXPECT_EQ(exitStatusOf(child), 0);
    for (const pid_t child : loaders)
        EXPECT_EQ(exitStatusOf(child), 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d kills; %d saves (%.0f/s), %d loads (%.0f/s), %d acknowledged saves lost\n",
                kKills, board.saves.load(), board.saves / seconds, board.loads.load(),
                board.loads / seconds, board.lost.load());

    EXPECT_EQ(board.lost, 0) << board.problem;
    EXPECT_EQ(board.failedSaves, 0) << board.problem;
    EXPECT_EQ(board.failedLoads, 0) << board.problem;
    // At the end, through either name, after a save through each that puts
    // back whatever the last kill cut short.
    trelSetFileMode(TREL_FILE_MODE_TEXT);
    for (const char *cell : {"alu", "lnk"}) {
        trelReset();
        ASSERT_EQ(trelloadMapFile("work", cell, "sch", 0), TREL_OK) << lastError();
        trelSetPageMapping("work", cell, "sch", 1, 1);
        ASSERT_EQ(trelSavePageMap("work", cell, "sch"), TREL_OK) << lastError();
        for (int i = 0; i < kSavers; ++i) {
            int value = 0;
            trelGetPageMapping("work", cell, "sch", kFirstPage + i, &value);
            EXPECT_GE(value, board.acked[i].load()) << "saver " << i << " through " << cell;
        }
    }
    EXPECT_EQ(statOf(link).st_ino, statOf(path).st_ino);
    munmap(memory, sizeof(Board));
}

INSTANTIATE_TEST_SUITE_P(KilledSavers, KilledSaversTest,
                         testing::Values(Run{"ThroughTwoNames", false},
                                         Run{"OneNameThenLinked", true}),
                         [](const testing::TestParamInfo<Run> &row) {
                             return std::string(row.param.name);
                         });

}  // namespace
