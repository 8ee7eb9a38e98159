// The hierarchical-name library: what a text parses into, which texts it
// refuses, the edits libtrel makes, and printing back.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hq.h"

namespace {

std::string orNone(const char *text) {
    return text != nullptr ? text : "<none>";
}
std::string printed(hqPath &path) {
    return static_cast<const char *>(path);
}

// One element as "label|inst@page|lib.cell:view", with <none> for what it lacks.
std::string describe(const hqPathElem &elem) {
    return orNone(elem.label) + "|" + orNone(elem.inst()) + "@" + std::to_string(elem.page()) +
           "|" + orNone(elem.lib) + "." + orNone(elem.cell) + ":" + orNone(elem.view);
}

TEST(HqPath, ReadsLabelInstancePageAndUnitOfEachElement) {
    hqPath path("top(work.top:sch)/U1@3(work.alu:sch)/(\\my.lib\\.c:v)/page12");
    ASSERT_EQ(path.valid, 1);
    std::vector<std::string> elems;
    for (hqPathElem *e = path.parsePathElem(1); e != nullptr; e = path.parsePathElem(0)) {
        elems.push_back(describe(*e));
    }
    EXPECT_EQ(elems,
              (std::vector<std::string>{"top|<none>@0|work.top:sch", "<none>|U1@3|work.alu:sch",
                                        "<none>|<none>@0|\\my.lib\\.c:v",
                                        "page12|<none>@0|<none>.<none>:<none>"}));
}

TEST(HqPath, RefusesTextsThatAreNoHierarchicalName) {
    const char *texts[] = {
        "",
        "/",
        "a/",
        "/a",
        "a//b",  // empty elements
        "()",
        "a(b.c:d",
        "a(b.c:d))",
        "a)(b.c:d)",
        "a(b.c:d)(e.f:g)",  // parentheses
        "a(b.c)",
        "a(b:c)",
        "a(b.c.d:e)",
        "a(b.:c)",
        "a(.b:c)",  // units
        "a b",
        " a",
        "(b. c:d)",  // white space
        "a@",
        "a@0",
        "a@07",
        "a@3x",
        "a@3@4",
        "@3",
        "a@2147483648",  // pages
        "a.b",
        "a:b",
        "\\",
        "\\a",
        "\\\\",
        "\\a\\x(b.c:d)",
        "x(\\l.c:v)",
    };
    for (const char *text : texts) {
        hqPath path(text);
        EXPECT_EQ(path.valid, 0) << '"' << text << '"';
        EXPECT_EQ(path.parsePathElem(1), nullptr) << text;
        EXPECT_EQ(path.breakPath(), nullptr) << text;
        EXPECT_EQ(printed(path), "") << text;
    }
    EXPECT_EQ(hqPath(nullptr).valid, 0);
}

TEST(HqPath, DetachesRelabelsAndReattachesTheLastElement) {
    hqPath path("a/b@2/c@3(w.c:v)");
    hqPathElem *c = path.breakPath();
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(path.lastPathElem()->inst(), "b");
    EXPECT_EQ(printed(path), "a/b@2");

    char buffer[16] = "page9_c";
    c->setLabel(buffer);
    std::strcpy(buffer, "overwritten");  // the element keeps its own copy
    path.appendPath(c);
    EXPECT_EQ(printed(path), "a/b@2/page9_c(w.c:v)");
    c->setLabel(nullptr);
    EXPECT_EQ(printed(path), "a/b@2/c@3(w.c:v)");

    // A detached element that is never attached again still lives with its path.
    hqPathElem *detached = path.breakPath();
    EXPECT_STREQ(detached->inst(), "c");
}

// Random names built from parts that exercise every character the syntax
// allows, with what each element must read as.
class NameGenerator {
  public:
    std::string path(std::vector<std::string> &elems) {
        elems.clear();
        std::string text;
        for (int depth = pick(1, 8); depth > 0; --depth) {
            if (!text.empty()) text += '/';
            text += element(elems);
        }
        return text;
    }

  private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string name() {
        static const char kExtended[] = "aZ9_/().:@ \t-";
        static const char kBasic[] = "abcXYZ019_-$#+!\\";
        std::string text;
        if (pick(0, 3) == 0) {
            text += '\\';
            for (int n = pick(1, 6); n > 0; --n) {
                text += pick(0, 5) == 0 ? std::string("\\\\")
                                        : std::string(1, kExtended[pick(0, sizeof kExtended - 2)]);
            }
            return text + '\\';
        }
        text += kBasic[pick(0, sizeof kBasic - 3)];  // anything but a backslash first
        for (int n = pick(0, 7); n > 0; --n)
            text += kBasic[pick(0, sizeof kBasic - 2)];
        return text;
    }

    std::string element(std::vector<std::string> &elems) {
        const int head = pick(0, 2);  // none, label, instance
        std::string text, label = "<none>", inst = "<none>", page = "0";
        if (head == 1) text = label = name();
        if (head == 2) {
            inst = name();
            page = std::to_string(pick(0, 9) == 0 ? INT_MAX - pick(0, 9) : pick(1, 500));
            text = inst + '@' + page;
        }
        std::string unit = "<none>.<none>:<none>";
        if (head == 0 || pick(0, 1) == 1) {
            unit = name() + '.' + name() + ':' + name();
            text += '(' + unit + ')';
        }
        elems.push_back(label + '|' + inst + '@' + page + '|' + unit);
        return text;
    }

    std::mt19937 random_{20240607};
};

TEST(HqPath, GeneratedNamesParseIntoTheirPartsAndPrintBack) {
    NameGenerator generator;
    std::vector<std::string> want;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = generator.path(want);
        hqPath path(text.c_str());
        ASSERT_EQ(path.valid, 1) << text;
        std::vector<std::string> got;
        for (hqPathElem *e = path.parsePathElem(1); e != nullptr; e = path.parsePathElem(0)) {
            got.push_back(describe(*e));
        }
        ASSERT_EQ(got, want) << text;
        ASSERT_EQ(printed(path), text);
    }
}

}  // namespace
