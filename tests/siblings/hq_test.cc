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

// What one element is expected to hold; null members stand for "none".
struct ExpectedElem {
    std::string label, inst, lib, cell, view;
    bool hasLabel = false, hasInst = false, hasUnit = false;
    int page = 0;
};

std::string orEmpty(const char *text) {
    return text != nullptr ? text : "";
}

void expectElem(const hqPathElem *elem, const ExpectedElem &want, const std::string &context) {
    ASSERT_NE(elem, nullptr) << context;
    EXPECT_EQ(elem->label != nullptr, want.hasLabel) << context;
    EXPECT_EQ(orEmpty(elem->label), want.label) << context;
    EXPECT_EQ(elem->inst() != nullptr, want.hasInst) << context;
    EXPECT_EQ(orEmpty(elem->inst()), want.inst) << context;
    EXPECT_EQ(elem->page(), want.page) << context;
    EXPECT_EQ(elem->lib != nullptr, want.hasUnit) << context;
    EXPECT_EQ(orEmpty(elem->lib), want.lib) << context;
    EXPECT_EQ(orEmpty(elem->cell), want.cell) << context;
    EXPECT_EQ(orEmpty(elem->view), want.view) << context;
}

std::string printed(hqPath &path) {
    return static_cast<const char *>(path);
}

TEST(HqPath, ReadsInstancePageAndUnitOfEachElement) {
    hqPath path("top(work.top:sch)/U1@3(work.alu:sch)");
    ASSERT_EQ(path.valid, 1);
    ASSERT_EQ(path.size(), 2u);

    ExpectedElem top;
    top.hasLabel = true, top.label = "top";
    top.hasUnit = true, top.lib = "work", top.cell = "top", top.view = "sch";
    expectElem(path.parsePathElem(1), top, "first");

    ExpectedElem u1;
    u1.hasInst = true, u1.inst = "U1", u1.page = 3;
    u1.hasUnit = true, u1.lib = "work", u1.cell = "alu", u1.view = "sch";
    expectElem(path.parsePathElem(0), u1, "second");

    EXPECT_EQ(path.parsePathElem(0), nullptr);
    EXPECT_EQ(path.parsePathElem(0), nullptr);
}

TEST(HqPath, PrintsEveryElementShapeBackAsWritten) {
    const char *texts[] = {
        "top",
        "U1@3",
        "(work.alu:sch)",
        "page12(work.alu:sch)",
        "U7@2147483647(a.b:c)/x/(d.e:f)",
        "\\a/b(c)\\@12(\\lib.x\\.\\cell:y\\:\\v)\\)",
        "\\back\\\\slash\\",
        "a\\b@4",  // a backslash after the first character is an ordinary one
        "r-1_$#+(l-1.c_2:v$3)",
    };
    for (const char *text : texts) {
        hqPath path(text);
        EXPECT_EQ(path.valid, 1) << text;
        EXPECT_EQ(printed(path), text);
    }
}

TEST(HqPath, KeepsExtendedIdentifiersWithTheirBackslashes) {
    hqPath path("\\U 1\\@5(\\my.lib\\.cell:\\v\\\\w\\)");
    ASSERT_EQ(path.valid, 1);
    const hqPathElem *elem = path.parsePathElem(1);
    ASSERT_NE(elem, nullptr);
    EXPECT_STREQ(elem->inst(), "\\U 1\\");
    EXPECT_EQ(elem->page(), 5);
    EXPECT_STREQ(elem->lib, "\\my.lib\\");
    EXPECT_STREQ(elem->cell, "cell");
    EXPECT_STREQ(elem->view, "\\v\\\\w\\");
}

TEST(HqPath, RefusesTextsThatAreNoHierarchicalName) {
    const char *texts[] = {
        "",                                                            // empty text
        "/", "a/", "/a", "a//b",                                       // empty elements
        "()", "a(b.c:d", "a(b.c:d))", "a)(b.c:d)", "a(b.c:d)(e.f:g)",  // parentheses
        "a(b.c)", "a(b:c)", "a(b.c.d:e)", "a(b.:c)", "a(.b:c)",
        "a(b.c:)",                       // units
        "a b", " a", "a\t", "(b. c:d)",  // white space outside extended
                                         // identifiers
        "a@", "a@0", "a@07", "a@x", "a@3x", "a@3@4", "@3", "a@2147483648", "a@-1",  // pages
        "a.b", "a:b", "a)",  // stray delimiters
        "\\", "\\a", "\\\\", "\\a\\b", "\\a\\x(b.c:d)",
        "x(\\l.c:v)",  // extended identifiers
    };
    for (const char *text : texts) {
        hqPath path(text);
        EXPECT_EQ(path.valid, 0) << '"' << text << '"';
        EXPECT_EQ(path.size(), 0u) << text;
        EXPECT_EQ(path.parsePathElem(1), nullptr) << text;
        EXPECT_EQ(path.lastPathElem(), nullptr) << text;
        EXPECT_EQ(path.breakPath(), nullptr) << text;
        EXPECT_EQ(printed(path), "") << text;
    }
    hqPath none(nullptr);
    EXPECT_EQ(none.valid, 0);
}

TEST(HqPath, DetachesAndReattachesTheLastElement) {
    hqPath path("a/b@2/c@3");
    hqPathElem *c = path.breakPath();
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->inst(), "c");
    ASSERT_NE(path.lastPathElem(), nullptr);
    EXPECT_STREQ(path.lastPathElem()->inst(), "b");
    EXPECT_EQ(printed(path), "a/b@2");

    c->setLabel("page9_c");
    path.appendPath(c);
    EXPECT_EQ(printed(path), "a/b@2/page9_c");
    path.appendPath(nullptr);
    EXPECT_EQ(path.size(), 3u);

    ASSERT_NE(path.breakPath(), nullptr);
    ASSERT_NE(path.breakPath(), nullptr);
    ASSERT_NE(path.breakPath(), nullptr);
    EXPECT_EQ(path.breakPath(), nullptr);
    EXPECT_EQ(path.lastPathElem(), nullptr);
    EXPECT_EQ(printed(path), "");
}

TEST(HqPath, WalksTheElementsAsTheyStandNow) {
    hqPath path("a/b/c");
    ASSERT_STREQ(path.parsePathElem(1)->label, "a");
    ASSERT_STREQ(path.parsePathElem(0)->label, "b");
    path.breakPath();                                 // c goes
    EXPECT_EQ(path.parsePathElem(0), nullptr);        // b was the last
    EXPECT_STREQ(path.parsePathElem(1)->label, "a");  // first = 1 starts again
}

TEST(HqPathElem, SetLabelKeepsItsOwnCopy) {
    hqPath path("top/U1@3/U2@4");
    char buffer[32];
    path.parsePathElem(1);
    hqPathElem *u1 = path.parsePathElem(0);
    hqPathElem *u2 = path.parsePathElem(0);
    std::strcpy(buffer, "page5_U1");
    u1->setLabel(buffer);
    std::strcpy(buffer, "page6_U2");
    u2->setLabel(buffer);
    std::strcpy(buffer, "overwritten");
    EXPECT_EQ(printed(path), "top/page5_U1/page6_U2");

    u1->setLabel(u1->label);  // its own text, as when a label is set again
    EXPECT_STREQ(u1->label, "page5_U1");
    u2->setLabel(nullptr);
    EXPECT_EQ(printed(path), "top/page5_U1/U2@4");
}

TEST(HqPathElem, LabelWrittenDirectlyIsPrintedAsItIs) {
    hqPath path("top/U1@3(w.c:v)");
    static const char kLabel[] = "page7_U1";
    path.lastPathElem()->label = kLabel;
    EXPECT_EQ(printed(path), "top/page7_U1(w.c:v)");
}

TEST(HqPath, TakesAnElementOfAnotherPath) {
    hqPath donor("x/U9@9(l.c:v)");
    hqPath path("top");
    path.appendPath(donor.breakPath());
    EXPECT_EQ(printed(path), "top/U9@9(l.c:v)");
}

// Builds random hierarchical names together with what each element must
// hold, from names that exercise every kind of character the syntax allows.
class NameGenerator {
  public:
    explicit NameGenerator(unsigned seed) : random_(seed) {}

    std::string path(std::vector<ExpectedElem> &elems) {
        elems.clear();
        std::string text;
        const int depth = pick(1, 8);
        for (int i = 0; i < depth; ++i) {
            if (i != 0) text += '/';
            elems.push_back(element(text));
        }
        return text;
    }

  private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string name() {
        std::string text;
        if (pick(0, 3) == 0) {
            static const char kInside[] = "aZ9_/().:@ \t-";
            text += '\\';
            for (int n = pick(1, 6); n > 0; --n) {
                if (pick(0, 5) == 0) {
                    text += "\\\\";
                } else {
                    text += kInside[pick(0, sizeof kInside - 2)];
                }
            }
            text += '\\';
            return text;
        }
        static const char kFirst[] = "abcXYZ019_-$#+!";
        static const char kLater[] = "abcXYZ019_-$#+!\\";
        text += kFirst[pick(0, sizeof kFirst - 2)];
        for (int n = pick(0, 7); n > 0; --n)
            text += kLater[pick(0, sizeof kLater - 2)];
        return text;
    }

    ExpectedElem element(std::string &text) {
        ExpectedElem elem;
        const int head = pick(0, 2);  // none, label, instance
        elem.hasUnit = head == 0 || pick(0, 1) == 1;
        if (head == 1) {
            elem.hasLabel = true;
            elem.label = name();
            text += elem.label;
        } else if (head == 2) {
            elem.hasInst = true;
            elem.inst = name();
            elem.page = pick(0, 9) == 0 ? INT_MAX - pick(0, 9) : pick(1, 500);
            text += elem.inst + '@' + std::to_string(elem.page);
        }
        if (elem.hasUnit) {
            elem.lib = name();
            elem.cell = name();
            elem.view = name();
            text += '(' + elem.lib + '.' + elem.cell + ':' + elem.view + ')';
        }
        return elem;
    }

    std::mt19937 random_;
};

TEST(HqPath, GeneratedNamesParseIntoTheirPartsAndPrintBack) {
    NameGenerator generator(20240607);
    std::vector<ExpectedElem> elems;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = generator.path(elems);
        hqPath path(text.c_str());
        ASSERT_EQ(path.valid, 1) << text;
        ASSERT_EQ(path.size(), elems.size()) << text;
        const hqPathElem *elem = path.parsePathElem(1);
        for (const ExpectedElem &want : elems) {
            expectElem(elem, want, text);
            elem = path.parsePathElem(0);
        }
        ASSERT_EQ(printed(path), text);
    }
}

}  // namespace
