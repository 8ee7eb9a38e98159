// A host with ten thousand units of 100 pairs: what loading them costs
// against an fopen + fscanf loop over the same files, what the first bulk
// save after loading costs when ten of them were edited against ten single
// saves of those units, the fixed memory of a unit against its floor, and a
// save rewritten in place through a hard link against the same save by rename,
// and N processes saving one unit in turn against one process alone.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "case_report.h"
#include "cases.h"
#include "design_root.h"
#include "maps/registry.h"
#include "paired_timing.h"
#include "trel.h"
#include "unit_memory.h"

namespace bench {
namespace {

constexpr int kUnits = 10000;
constexpr int kPairsPerUnit = 100;
constexpr int kEdited = 10;

std::string cellName(int unit) {
    char cell[16];
    std::snprintf(cell, sizeof cell, "u%05d", unit);
    return cell;
}

// 1e4 units "bench.uNNNNN:sch", each with a map file of 100 pairs as the
// library writes them (ascending pages); returns the map file paths.
std::vector<std::string> writeUnits(const DesignRoot &root) {
    std::vector<std::string> paths;
    paths.reserve(kUnits);
    for (int unit = 0; unit < kUnits; ++unit) {
        paths.push_back(root.mapFile("bench", cellName(unit), "sch"));
        std::string text;
        for (int page = 0; page < kPairsPerUnit; ++page)
            text += std::to_string(3 * page + unit % 3) + " " + std::to_string(unit + page) + "\n";
        std::ofstream(paths.back(), std::ios::binary) << text;
    }
    return paths;
}

ino_t inodeOf(const std::string &path) {
    struct stat info = {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

std::string fileText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

size_t registeredPairs() {
    size_t pairs = 0;
    trel::Registry::instance().forEach(
        [&pairs](trel::PageMap &map) { map.forEachPair([&pairs](int32_t, int32_t) { ++pairs; }); });
    return pairs;
}

std::string &unitMemory32Program() {
    static std::string path;
    return path;
}

// Runs the 32-bit build's trel_unit_memory: false when there is none or its
// output is not two figures.
bool unitMemory32(UnitMemory *memory) {
    if (unitMemory32Program().empty()) return false;
    std::FILE *output = ::popen(unitMemory32Program().c_str(), "r");
    if (output == nullptr) return false;
    const bool read = std::fscanf(output, "%lf %lf", &memory->measured, &memory->floor) == 2;
    return ::pclose(output) == 0 && read;
}

}  // namespace

void setUnitMemory32Program(const std::string &path) {
    unitMemory32Program() = path;
}

void largeLoad(benchmark::State &state) {
    DesignRoot root;
    writeUnits(root);
    trelSetFileMode(0);
    size_t projectPairs = 0;
    size_t baselinePairs = 0;
    auto project = [&] {
        trelReset();
        int failures = 0;
        const double seconds = secondsOf([&] {
            for (int unit = 0; unit < kUnits; ++unit) {
                const std::string cell = cellName(unit);
                failures += trelloadMapFile("bench", cell.c_str(), "sch", 0) != TREL_OK;
            }
        });
        projectPairs = failures == 0 ? registeredPairs() : 0;
        trelReset();
        return seconds;
    };
    auto baseline = [&] {
        // Plain arrays: the file lists its pages in order, each once.
        std::vector<std::vector<std::pair<int32_t, int32_t>>> units(kUnits);
        const double seconds = secondsOf([&] {
            char path[260];
            for (int unit = 0; unit < kUnits; ++unit) {
                std::snprintf(path, sizeof path, "%s/bench/u%05d/sch/page.map", root.path().c_str(),
                              unit);
                std::FILE *file = std::fopen(path, "rb");
                if (file == nullptr) continue;
                int page;
                int mapped;
                while (std::fscanf(file, "%d %d", &page, &mapped) == 2)  // NOLINT(cert-err34-c)
                    units[unit].emplace_back(page, mapped);
                std::fclose(file);
            }
        });
        baselinePairs = 0;
        for (const auto &pairs : units)
            baselinePairs += pairs.size();
        return seconds;
    };
    runPairedCase(
        state, rounds(), kUnits, project, baseline,
        [&] {
            return projectPairs == size_t{kUnits} * kPairsPerUnit && baselinePairs == projectPairs;
        },
        "a side did not load every pair",
        {"load of 1e4 units of 100 pairs (mode 0)", "fopen and fscanf loop into an array each",
         "ns/unit", GoalKind::ratioAtMost, 1.3});
    trelSetFileMode(1);
}

void largeFirstBulkSave(benchmark::State &state) {
    DesignRoot root;
    const std::vector<std::string> paths = writeUnits(root);
    trelSetFileMode(0);
    int round = 0;
    bool agree = true;
    // Loads every unit afresh and edits ten of them, spread over the units.
    auto loadAndEdit = [&](int mapped) {
        trelReset();
        for (int unit = 0; unit < kUnits; ++unit) {
            const std::string cell = cellName(unit);
            agree = agree && trelloadMapFile("bench", cell.c_str(), "sch", 0) == TREL_OK;
        }
        for (int i = 0; i < kEdited; ++i) {
            const std::string cell = cellName(i * (kUnits / kEdited));
            trelSetPageMapping("bench", cell.c_str(), "sch", 1, mapped);
        }
    };
    // Only the edited units' files are new, and they hold the edit.
    auto check = [&](int mapped) {
        std::vector<ino_t> inodes;
        inodes.reserve(paths.size());
        for (const std::string &path : paths)
            inodes.push_back(inodeOf(path));
        return [&, inodes, mapped] {
            for (int unit = 0; unit < kUnits; ++unit) {
                const bool edited = unit % (kUnits / kEdited) == 0;
                agree = agree && (inodeOf(paths[unit]) != inodes[unit]) == edited;
                if (edited) {
                    const std::string line = "\n1 " + std::to_string(mapped) + "\n";
                    agree = agree && ("\n" + fileText(paths[unit])).find(line) != std::string::npos;
                }
            }
        };
    };
    auto project = [&] {
        const int mapped = 1000000 + ++round;
        loadAndEdit(mapped);
        auto verify = check(mapped);
        const double seconds = secondsOf([&] { agree = agree && trelSavePageMaps(0) == TREL_OK; });
        verify();
        return seconds;
    };
    auto baseline = [&] {
        const int mapped = 1000000 + ++round;
        loadAndEdit(mapped);
        auto verify = check(mapped);
        const double seconds = secondsOf([&] {
            for (int i = 0; i < kEdited; ++i) {
                const std::string cell = cellName(i * (kUnits / kEdited));
                agree = agree && trelSavePageMap("bench", cell.c_str(), "sch") == TREL_OK;
            }
        });
        verify();
        return seconds;
    };
    runPairedCase(
        state, rounds(), kEdited, project, baseline, [&] { return agree; },
        "a save wrote other files than the edited ones, or not their edits",
        {"first trelSavePageMaps(0) after loading 1e4 units, 10 edited",
         "10 trelSavePageMap of the edited units", "ns/save", GoalKind::ratioAtMost, 1.2});
    trelReset();
    trelSetFileMode(1);
}

void unitFixedMemory(benchmark::State &state) {
    for (auto _ : state) {
        const UnitMemory memory = unitMemory(kUnits);
        reportCase(state, {"fixed memory of a unit (no pairs), 1e4 units, 64-bit",
                           "its floor: list record and header, page map, texts", "bytes/unit",
                           memory.measured, memory.floor, memory.measured / memory.floor,
                           GoalKind::ratioAtMost, 1.25});
        UnitMemory memory32;
        if (unitMemory32(&memory32)) {
            reportCase(state, {"fixed memory of a unit (no pairs), 1e4 units, 32-bit",
                               "its floor: list record and header, page map, texts", "bytes/unit",
                               memory32.measured, memory32.floor,
                               memory32.measured / memory32.floor, GoalKind::ratioAtMost, 1.25});
        }
    }
}

void inPlaceSave(benchmark::State &state) {
    DesignRoot root;
    const std::string linked = root.mapFile("bench", "linked", "sch");
    const std::string renamed = root.mapFile("bench", "renamed", "sch");
    trelSetFileMode(0);
    trelReset();
    for (const char *cell : {"linked", "renamed"}) {
        for (int page = 0; page < 10000; ++page)
            trelSetPageMapping("bench", cell, "sch", page, page + 7);
        trelSavePageMap("bench", cell, "sch");
    }
    // A second name makes the save rewrite the file in place.
    const std::string link = root.path() + "/linked.map";
    if (::link(linked.c_str(), link.c_str()) != 0) {
        failCase(state, "cannot make the hard link");
        return;
    }
    bool saved = true;
    int edits = 0;
    auto saveOne = [&](const char *cell) {
        const int page = (edits++ * 37) % 10000;
        trelSetPageMapping("bench", cell, "sch", page, edits);
        return secondsOf([&] { saved = saved && trelSavePageMap("bench", cell, "sch") == 0; });
    };
    auto project = [&] {
        trelSetPageMapping("bench", "renamed", "sch", (edits * 37) % 10000, edits + 1);
        return saveOne("linked");
    };
    auto baseline = [&] {
        trelSetPageMapping("bench", "linked", "sch", (edits * 37) % 10000, edits + 1);
        return saveOne("renamed");
    };
    runPairedCase(state, quickRounds(), 1, project, baseline,
                  [&] {
                      // Both units got the same edits; the linked one kept its inode.
                      trelSavePageMap("bench", "linked", "sch");
                      trelSavePageMap("bench", "renamed", "sch");
                      return saved && fileText(linked) == fileText(renamed) &&
                             inodeOf(linked) == inodeOf(link);
                  },
                  "the saves wrote different files, or the linked file was replaced",
                  {"one changed page, then a save through a hard link (in place), 1e4 pairs",
                   "the same save by rename", "ns/save", GoalKind::ratioAtMost, 1.3});
    trelReset();
    trelSetFileMode(1);
}

namespace {

constexpr int kSharedPairs = 10000;
constexpr double kSharingSeconds = 5;

struct SharingFigures {
    double savesPerSecond = 0;
    double p50 = 0;  // seconds a save took, over every save of every process
    double p99 = 0;
    bool failed = false;
};

// N processes, each setting 5 pages of one unit of 1e4 pairs and saving it,
// over and over for 5 s; each save merges what the others saved since.
SharingFigures shareOneUnit(int processes) {
    std::vector<int> pipes;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        int ends[2];
        if (::pipe(ends) != 0) return {0, 0, 0, true};
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ends[0]);
            trelReset();
            trelSetFileMode(0);
            std::vector<double> times;
            uint32_t seed = 17u * static_cast<uint32_t>(p + 1);
            const auto end =
                std::chrono::steady_clock::now() + std::chrono::duration<double>(kSharingSeconds);
            int failures = 0;
            while (std::chrono::steady_clock::now() < end) {
                for (int i = 0; i < 5; ++i) {
                    seed = seed * 1103515245u + 12345u;
                    const int page = static_cast<int>((seed >> 8) % kSharedPairs);
                    trelSetPageMapping("bench", "shared", "sch", page, page + p + 1);
                }
                times.push_back(secondsOf(
                    [&] { failures += trelSavePageMap("bench", "shared", "sch") != TREL_OK; }));
            }
            times.push_back(failures);  // the last figure: the failed saves
            const auto bytes = static_cast<ssize_t>(times.size() * sizeof(double));
            const bool sent = ::write(ends[1], times.data(), static_cast<size_t>(bytes)) == bytes;
            _exit(sent ? 0 : 1);
        }
        ::close(ends[1]);
        pipes.push_back(ends[0]);
        children.push_back(child);
    }
    SharingFigures figures;
    std::vector<double> all;
    for (int p = 0; p < processes; ++p) {
        std::vector<double> times;
        double value;
        while (::read(pipes[p], &value, sizeof value) == static_cast<ssize_t>(sizeof value))
            times.push_back(value);
        ::close(pipes[p]);
        int status = 0;
        ::waitpid(children[p], &status, 0);
        if (times.empty() || times.back() != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            figures.failed = true;
            continue;
        }
        all.insert(all.end(), times.begin(), times.end() - 1);
    }
    if (all.empty()) return {0, 0, 0, true};
    std::sort(all.begin(), all.end());
    figures.savesPerSecond = static_cast<double>(all.size()) / kSharingSeconds;
    figures.p50 = all[all.size() / 2];
    figures.p99 = all[all.size() * 99 / 100];
    return figures;
}

}  // namespace

void processesSharingUnit(benchmark::State &state) {
    DesignRoot root;
    root.mapFile("bench", "shared", "sch");
    trelSetFileMode(0);
    trelReset();
    for (int page = 0; page < kSharedPairs; ++page)
        trelSetPageMapping("bench", "shared", "sch", page, page);
    const bool written = trelSavePageMap("bench", "shared", "sch") == TREL_OK;
    trelReset();
    trelSetFileMode(1);
    if (!written) {
        failCase(state, "cannot write the shared unit");
        return;
    }
    for (auto _ : state) {
        const SharingFigures one = shareOneUnit(1);
        for (int processes : {1, 2, 4, 8}) {
            const SharingFigures many = processes == 1 ? one : shareOneUnit(processes);
            if (many.failed || one.failed) {
                failCase(state, "a process's save failed");
                return;
            }
            const std::string name =
                std::to_string(processes) + (processes == 1 ? " process" : " processes");
            if (processes > 1) {
                reportCase(state,
                           {name + " setting 5 pages of one 1e4-pair unit and saving, 5 s",
                            "one process", "saves/s", many.savesPerSecond, one.savesPerSecond,
                            one.savesPerSecond / many.savesPerSecond, GoalKind::ratioAtMost, 1.0});
            }
            reportCase(state, {name + ": slowest 1% of saves against the median", "the median save",
                               "ms", many.p99 * 1e3, many.p50 * 1e3, many.p99 / many.p50,
                               GoalKind::ratioAtMost, 10});
        }
    }
}

}  // namespace bench
