// Relabelling hierarchical names, in names per second, against what the call
// cannot avoid: the hierarchical-name library parsing the same name and
// printing it again, without any relabelling.
//
// Two kinds of name stream. Random names of 8 levels, every element under a
// random unit of 1e4, are the worst case: nothing one name resolves helps the
// next. A design listed in hierarchy order is what a netlister or a
// cross-prober sends: every instance name of a design, depth first, so that
// consecutive names share all but their last elements and the same few
// hundred parent units recur.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "case_report.h"
#include "cases.h"
#include "cname/relabel_shortcuts.h"
#include "design_root.h"
#include "hq.h"
#include "paired_timing.h"
#include "trel.h"

namespace bench {
namespace {

constexpr int kUnits = 10000;
constexpr int kLevels = 8;
constexpr int kPageOffset = 1000;  // every mapped page p of every unit maps to p + 1000
constexpr size_t kOutputSize = 1024;

// A name and the text its relabelling must give.
struct NameCase {
    std::string name;
    std::string relabelled;
};

using Relabel = int (*)(const char *, char *, int);

// Times `relabel` over `cases` against parsing and printing the same names,
// after checking every answer once.
void runRelabelCase(benchmark::State &state, Relabel relabel, const std::vector<NameCase> &cases,
                    const CaseGoal &goal) {
    std::vector<char> out(kOutputSize);
    for (const auto &one : cases) {
        if (relabel(one.name.c_str(), out.data(), static_cast<int>(out.size())) != TREL_OK ||
            one.relabelled != out.data()) {
            failCase(state, "wrong relabelling of " + one.name);
            return;
        }
    }
    int failures = 0;
    auto project = [&] {
        return secondsOf([&] {
            for (const auto &one : cases) {
                failures +=
                    relabel(one.name.c_str(), out.data(), static_cast<int>(out.size())) != TREL_OK;
            }
        });
    };
    auto baseline = [&] {
        return secondsOf([&] {
            for (const auto &one : cases) {
                hqPath path(one.name.c_str());
                failures += path.valid == 0;
                std::strncpy(out.data(), path, out.size());
            }
        });
    };
    runPairedCase(
        state, quickRounds(), static_cast<double>(cases.size()), project, baseline,
        [&failures] { return failures == 0; }, "a name was refused", goal);
}

std::string unitText(const char *prefix, int unit) {
    return std::string("(work.") + prefix + std::to_string(unit) + ":sch)";
}

// top(work.uA:sch)/I1@p(work.uB:sch)/.../I7@p(work.uH:sch): every element
// after the first stands on a page that its parent's page map sends to
// page + kPageOffset, so every one of them is relabelled.
constexpr int kPagesPerUnit = 8;  // pages 1..8 of every unit have a pair
constexpr size_t kRandomNames = 4096;

std::vector<NameCase> randomNames() {
    std::mt19937 random(71);
    std::uniform_int_distribution<int> unit(0, kUnits - 1);
    std::uniform_int_distribution<int> page(1, kPagesPerUnit);
    std::vector<NameCase> cases(kRandomNames);
    for (auto &one : cases) {
        const std::string top = "top" + unitText("u", unit(random));
        one.name = top;
        one.relabelled = top;
        for (int level = 1; level < kLevels; ++level) {
            const int at = page(random);
            const std::string instance = "I" + std::to_string(level);
            const std::string names = unitText("u", unit(random));
            one.name.append("/").append(instance).append("@").append(std::to_string(at));
            one.name.append(names);
            one.relabelled.append("/page").append(std::to_string(at + kPageOffset));
            one.relabelled.append("_").append(instance).append(names);
        }
    }
    return cases;
}

// A generated design of kUnits units work.c<n>:sch on kLevels levels: unit 0
// is the top, the others are spread evenly over the levels below it. Every
// unit above the last level holds 5 to 20 instances, four to a page, each of
// a random unit one level down; the last level's units are leaves. Every page
// that holds instances has a pair, page -> page + kPageOffset.
struct Instance {
    std::string name;
    int page;
    int unit;
};

struct Design {
    std::vector<std::vector<Instance>> instances;  // per unit
    std::vector<int> pages;                        // per unit: pages 1..n hold instances
};

Design generateDesign() {
    std::mt19937 random(83);
    std::uniform_int_distribution<int> count(5, 20);
    const int perLevel = (kUnits - 1) / (kLevels - 1);
    Design design;
    design.instances.resize(kUnits);
    design.pages.assign(kUnits, 0);
    auto levelOf = [perLevel](int unit) { return unit == 0 ? 0 : 1 + (unit - 1) / perLevel; };
    for (int unit = 0; unit < kUnits; ++unit) {
        const int level = levelOf(unit);
        if (level >= kLevels - 1) continue;  // a leaf
        const int first = 1 + level * perLevel;
        std::uniform_int_distribution<int> child(first, first + perLevel - 1);
        const int instances = count(random);
        const char *kind = level == kLevels - 2 ? "R" : "U";  // leaves are parts
        for (int i = 0; i < instances; ++i) {
            design.instances[unit].push_back(
                {kind + std::to_string(i + 1), 1 + i / 4, child(random)});
        }
        design.pages[unit] = 1 + (instances - 1) / 4;
    }
    return design;
}

// Every instance name of the design, depth first from the top, up to
// `limit` names; each with the text the given variant must give.
class HierarchyLister {
  public:
    HierarchyLister(const Design &design, bool lastElementOnly, size_t limit)
        : design_(design), lastOnly_(lastElementOnly), limit_(limit) {}

    std::vector<NameCase> list() {
        const std::string top = "top" + unitText("c", 0);
        visit(0, top, top);
        return std::move(cases_);
    }

  private:
    void visit(int unit, const std::string &name, const std::string &relabelled) {
        for (const Instance &instance : design_.instances[unit]) {
            if (cases_.size() == limit_) return;
            const std::string names = unitText("c", instance.unit);
            const std::string element =
                "/" + instance.name + "@" + std::to_string(instance.page) + names;
            const std::string mapped =
                "/page" + std::to_string(instance.page + kPageOffset) + "_" + instance.name + names;
            cases_.push_back({name + element, (lastOnly_ ? name : relabelled) + mapped});
            visit(instance.unit, name + element, relabelled + mapped);
        }
    }

    const Design &design_;
    bool lastOnly_;
    size_t limit_;
    std::vector<NameCase> cases_;
};

constexpr size_t kHierarchyNames = 16384;

void hierarchyOrder(benchmark::State &state, Relabel relabel, bool lastElementOnly,
                    const CaseGoal &goal) {
    DesignRoot root;
    const Design design = generateDesign();
    for (int unit = 0; unit < kUnits; ++unit) {
        const std::string cell = "c" + std::to_string(unit);
        for (int page = 1; page <= design.pages[unit]; ++page) {
            trelSetPageMapping("work", cell.c_str(), "sch", page, page + kPageOffset);
        }
    }
    const auto cases = HierarchyLister(design, lastElementOnly, kHierarchyNames).list();
    runRelabelCase(state, relabel, cases, goal);
    trelReset();
}

// Registers the random names' 1e4 units, kPagesPerUnit pairs each.
void registerRandomUnits() {
    for (int unit = 0; unit < kUnits; ++unit) {
        const std::string cell = "u" + std::to_string(unit);
        for (int page = 1; page <= kPagesPerUnit; ++page) {
            trelSetPageMapping("work", cell.c_str(), "sch", page, page + kPageOffset);
        }
    }
}

}  // namespace

void mappedCname(benchmark::State &state) {
    DesignRoot root;
    registerRandomUnits();
    runRelabelCase(state, trelGetMappedCname, randomNames(),
                   {"trelGetMappedCname, 8 levels over 1e4 units",
                    "hqPath parse and print of the name", "names/s", GoalKind::ratioAtMost, 2.5,
                    /*perSecond=*/true});
    trelReset();
}

// The same random names relabelled with the parents' page maps fetched side
// by side and without: what the prefetch gains, where nothing one name
// resolves helps the next.
void mappedCnamePrefetch(benchmark::State &state) {
    DesignRoot root;
    registerRandomUnits();
    const auto cases = randomNames();
    std::vector<char> out(kOutputSize);
    int failures = 0;
    auto relabelAll = [&](bool prefetch) {
        trel::relabelShortcuts().prefetch = prefetch;
        const double seconds = secondsOf([&] {
            for (const auto &one : cases) {
                failures += trelGetMappedCname(one.name.c_str(), out.data(),
                                               static_cast<int>(out.size())) != TREL_OK;
            }
        });
        trel::relabelShortcuts().prefetch = true;
        return seconds;
    };
    runPairedCase(
        state, quickRounds(), static_cast<double>(cases.size()), [&] { return relabelAll(true); },
        [&] { return relabelAll(false); }, [&failures] { return failures == 0; },
        "a name was refused",
        {"trelGetMappedCname, 8 levels over 1e4 units, parents' page maps prefetched",
         "the same without the prefetch", "names/s", GoalKind::ratioAtMost, 0.95,
         /*perSecond=*/true});
    trelReset();
}

void mappedCnameInHierarchyOrder(benchmark::State &state) {
    hierarchyOrder(state, trelGetMappedCname, false,
                   {"trelGetMappedCname, design of 1e4 units in hierarchy order",
                    "hqPath parse and print of the name", "names/s", GoalKind::ratioAtMost, 1.25,
                    /*perSecond=*/true});
}

void lastElementInHierarchyOrder(benchmark::State &state) {
    hierarchyOrder(state, trelGetMapeedCnameLastPathElem, true,
                   {"trelGetMapeedCnameLastPathElem, design of 1e4 units in hierarchy order",
                    "hqPath parse and print of the name", "names/s", GoalKind::ratioAtMost, 1.25,
                    /*perSecond=*/true});
}

}  // namespace bench
