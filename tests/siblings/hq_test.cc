// The hierarchical-name library: which texts it refuses, the edits libtrel
// makes, and what generated names parse into and print back as.
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

TEST(HqPath, RefusesTextsThatAreNoHierarchicalName) {
    const auto expectRefused = [](const char *text) {
        hqPath path(text);
        EXPECT_EQ(path.valid, 0) << '"' << text << '"';
        EXPECT_EQ(path.parsePathElem(1), nullptr) << text;
        EXPECT_EQ(path.breakPath(), nullptr) << text;
        EXPECT_EQ(printed(path), "") << text;
    };
    // Empty elements, parentheses, units and white space.
    for (const char *text :
         {"", "/", "a/", "/a", "a//b", "()", "a(b.c:d", "a(b.c:d))", "a)(b.c:d)", "a(b.c:d)(e.f:g)",
          "a(b.c)", "a(b:c)", "a(b.c.d:e)", "a(b.:c)", "a(.b:c)", "a b", " a", "(b. c:d)"}) {
        expectRefused(text);
    }
    // Pages, characters outside extended identifiers, extended ones cut short.
    for (const char *text : {"a@", "a@0", "a@07", "a@3x", "a@3@4", "@3", "a@2147483648", "a.b",
                             "a:b", "\\", "\\a", "\\\\", "\\a\\x(b.c:d)", "x(\\l.c:v)"}) {
        expectRefused(text);
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

// Random names from parts that use every character the syntax allows: basic
// identifiers, extended ones with doubled backslashes, labels, instances with
// pages up to INT_MAX, and units; each element with what it must read as.
TEST(HqPath, GeneratedNamesParseIntoTheirPartsAndPrintBack) {
    std::mt19937 random(20240607);
    const auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const auto last = [](const std::string &text) { return static_cast<int>(text.size()) - 1; };
    const auto identifier = [&pick, &last] {
        static const std::string kExtended = "aZ9_/().:@ \t-", kBasic = "abcXYZ019_-$#+!\\";
        if (pick(0, 3) == 0) {
            std::string text = "\\";
            for (int n = pick(1, 6); n > 0; --n) {
                text += pick(0, 5) == 0 ? std::string("\\\\")
                                        : std::string(1, kExtended[pick(0, last(kExtended))]);
            }
            return text + '\\';
        }
        std::string text(1, kBasic[pick(0, last(kBasic) - 1)]);  // not the backslash
        for (int n = pick(0, 7); n > 0; --n) {
            text += kBasic[pick(0, last(kBasic))];
        }
        return text;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        std::vector<std::string> want, got;
        for (int depth = pick(1, 8); depth > 0; --depth) {
            const int head = pick(0, 2);  // none, label, instance
            std::string element, label = "<none>", inst = "<none>", page = "0";
            if (head == 1) element = label = identifier();
            if (head == 2) {
                inst = identifier();
                page = std::to_string(pick(0, 9) == 0 ? INT_MAX - pick(0, 9) : pick(1, 500));
                element = inst + '@' + page;
            }
            std::string unit = "<none>.<none>:<none>";
            if (head == 0 || pick(0, 1) == 1) {
                unit = identifier() + '.' + identifier() + ':' + identifier();
                element += '(' + unit + ')';
            }
            text += (text.empty() ? "" : "/") + element;
            want.push_back(label + '|' + inst + '@' + page + '|' + unit);
        }
        hqPath path(text.c_str());
        ASSERT_EQ(path.valid, 1) << text;
        for (hqPathElem *e = path.parsePathElem(1); e != nullptr; e = path.parsePathElem(0)) {
            got.push_back(describe(*e));
        }
        ASSERT_EQ(got, want) << text;
        ASSERT_EQ(printed(path), text);
    }
}

}  // namespace
