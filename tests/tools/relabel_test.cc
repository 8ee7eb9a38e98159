// The relabel commands end to end: names given as operands and streamed from
// standard input, through page maps two levels deep.
#include <map>
#include <random>
#include <string>

#include "tool_run.h"

using ::testing::HasSubstr;

// work.top:sch places alu on its pages; work.alu:sch places reg on its pages.
class Relabel : public ToolDesign {
  protected:
    void SetUp() override {
        ToolDesign::SetUp();
        writeFile(makeUnit("work/top/sch"), "3 5\n4 8\n");
        writeFile(makeUnit("work/alu/sch"), "2 4\n");
        makeUnit("work/reg/sch");
    }
};

const std::string kTwoLevels = "top(work.top:sch)/U1@3(work.alu:sch)/U7@2(work.reg:sch)";
const std::string kBothRelabelled =
    "top(work.top:sch)/page5_U1(work.alu:sch)/page4_U7(work.reg:sch)\n";

// One answer a line; a name that cannot be relabelled is printed unchanged,
// and the status is that of the first failure.
TEST_F(Relabel, EveryNameIsAnsweredOnItsOwnLine) {
    expectCases({
        {"relabel " + kTwoLevels + " top(work.top:sch)/page4 top(work.top:sch)/U@9", 0,
         kBothRelabelled + "top(work.top:sch)/page8\ntop(work.top:sch)/U@9\n"},  // U@9: no pair
        {"relabel-last " + kTwoLevels, 0,
         "top(work.top:sch)/U1@3(work.alu:sch)/page4_U7(work.reg:sch)\n"},
        {"relabel top(work.top:sch " + kTwoLevels, 7, "top(work.top:sch\n" + kBothRelabelled,
         "top(work.top:sch"},
        {"relabel-last top(work.top:sch)", 7, "top(work.top:sch)\n"},
        {"relabel top(work.top:sch)/U1@03", 7, "top(work.top:sch)/U1@03\n",
         "cannot relabel \"top(work.top:sch)/U1@03\": page \"03\" of element 2 has a leading "
         "zero"},
        {"relabel-last top(work.nowhere:sch)/U1@3 top(work.top:sch", 3,
         "top(work.nowhere:sch)/U1@3\ntop(work.top:sch\n", "work.nowhere:sch"},
    });
}

// An element under a unit that is not known keeps its label; --strict names
// each name that has one and exits 3, in either relabel command.
TEST_F(Relabel, StrictReportsNamesUnderUnknownUnits) {
    const std::string unknownParent = "top(work.top:sch)/U1@3(work.nowhere:sch)/R@1";
    const std::string unchanged = "top(work.top:sch)/page5_U1(work.nowhere:sch)/R@1\n";
    expectCases({
        {"relabel " + unknownParent + " " + kTwoLevels, 0, unchanged + kBothRelabelled},
        {"relabel --strict " + unknownParent + " " + kTwoLevels + " " + unknownParent, 3,
         unchanged + kBothRelabelled + unchanged,
         "Wrong lib.cell:view specification (work.nowhere:sch) in \"" + unknownParent + "\""},
        {"relabel-last " + unknownParent + " --strict", 3, unknownParent + "\n",
         "work.nowhere:sch"},
    });
    // Both unknown names are reported, not only the first.
    const ToolResult twice =
        run("--libs libs.defs relabel --strict -", unknownParent + "\n" + unknownParent + "\n");
    EXPECT_THAT(twice.err, HasSubstr("line 1: Wrong"));
    EXPECT_THAT(twice.err, HasSubstr("line 2: Wrong"));
}

TEST_F(Relabel, ResultsLongerThanTwiceTheNameComeOutWhole) {
    writeFile(makeUnit("work/t/s"), "1 -2147483648\n");
    std::string name = "a@1(work.t:s)";
    std::string expected = name;
    for (int element = 1; element < 100; ++element) {
        name += "/a@1(work.t:s)";
        expected += "/page-2147483648_a(work.t:s)";
    }
    expectCases({{"relabel " + name, 0, expected + "\n"}});
}

// Many streamed names, an empty line, a line ending in CR LF and malformed
// names among them, the last without a line end: one answer a line, each as a
// model of the two maps says, a malformed name unchanged and its line named.
TEST_F(Relabel, StreamingAnswersEveryLineAsAModelOfThePageMapsSays) {
    // No operand at all reads standard input as well.
    EXPECT_EQ(run("--libs libs.defs relabel", kTwoLevels).out, kBothRelabelled);
    std::map<int, int> top, alu;
    std::string topText, aluText;
    for (int page = 1; page <= 200; page += 2) {
        topText += std::to_string(page) + ' ' + std::to_string(top[page] = page + 1000) + '\n';
        aluText += std::to_string(page + 1) + ' ' + std::to_string(alu[page + 1] = page * 3) + '\n';
    }
    writeFile(makeUnit("work/top/sch"), topText);
    writeFile(makeUnit("work/alu/sch"), aluText);
    const auto element = [](const std::map<int, int> &map, const std::string &inst, int page) {
        const auto pair = map.find(page);
        return pair == map.end() ? inst + "@" + std::to_string(page)
                                 : "page" + std::to_string(pair->second) + "_" + inst;
    };
    std::mt19937 random(20240611);
    std::string input = "\nnot(a name\r\n", expected = "\nnot(a name\n";
    for (int name = 0; name < 20000; ++name) {
        const int aluPage = static_cast<int>(random() % 200) + 1;
        const int regPage = static_cast<int>(random() % 200) + 1;
        const std::string u = "U" + std::to_string(name);
        input += "top(work.top:sch)/" + element({}, u, aluPage) + "(work.alu:sch)/" +
                 element({}, "R", regPage) + "(work.reg:sch)" + (name % 7 == 0 ? "\r\n" : "\n");
        expected += "top(work.top:sch)/" + element(top, u, aluPage) + "(work.alu:sch)/" +
                    element(alu, "R", regPage) + "(work.reg:sch)\n";
    }
    input.pop_back();
    const ToolResult result = run("--libs libs.defs relabel -", input);
    EXPECT_EQ(result.status, 7);
    EXPECT_THAT(result.err, HasSubstr("line 2:"));
    EXPECT_TRUE(result.out == expected) << "streamed output differs from the model";
}
