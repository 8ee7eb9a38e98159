// The relabel commands end to end: names given as operands and streamed from
// standard input, through page maps two levels deep.
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "tool_run.h"

using ::testing::HasSubstr;

// work.top:sch places alu on its pages; work.alu:sch places reg on its pages.
class Relabel : public ToolDesign {
  protected:
    void SetUp() override {
        ToolDesign::SetUp();
        writeMap("work", "top", "sch", "3 5\n4 8\n");
        writeMap("work", "alu", "sch", "2 4\n");
        makeUnit("work", "reg", "sch");
    }
};

constexpr const char kTwoLevels[] = "top(work.top:sch)/U1@3(work.alu:sch)/U7@2(work.reg:sch)";
constexpr const char kBothRelabelled[] =
    "top(work.top:sch)/page5_U1(work.alu:sch)/page4_U7(work.reg:sch)\n";

TEST_F(Relabel, WholePathRelabelsEveryElementAndLastOnlyTheLast) {
    const ToolResult whole =
        runWithLibs({"relabel", kTwoLevels, "top(work.top:sch)/page4", "top(work.top:sch)/U@9"});
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(whole.out, std::string(kBothRelabelled) +
                             "top(work.top:sch)/page8\n"
                             "top(work.top:sch)/U@9\n");  // no pair: left as it is
    const ToolResult last = runWithLibs({"relabel-last", kTwoLevels, "top(work.top:sch)/U@9"});
    EXPECT_EQ(last.status, 0) << last.err;
    EXPECT_EQ(last.out,
              "top(work.top:sch)/U1@3(work.alu:sch)/page4_U7(work.reg:sch)\n"
              "top(work.top:sch)/U@9\n");
}

TEST_F(Relabel, NamesThatCannotBeRelabelledArePrintedUnchangedAndReported) {
    const ToolResult bad = runWithLibs({"relabel", "top(work.top:sch", kTwoLevels});
    EXPECT_EQ(bad.status, 7);
    EXPECT_EQ(bad.out, std::string("top(work.top:sch\n") + kBothRelabelled);
    EXPECT_THAT(bad.err, HasSubstr("top(work.top:sch"));

    const ToolResult alone = runWithLibs({"relabel-last", "top(work.top:sch)"});
    EXPECT_EQ(alone.status, 7);
    EXPECT_EQ(alone.out, "top(work.top:sch)\n");

    const ToolResult unknown = runWithLibs({"relabel-last", "top(work.nowhere:sch)/U1@3"});
    EXPECT_EQ(unknown.status, 3);
    EXPECT_EQ(unknown.out, "top(work.nowhere:sch)/U1@3\n");
    EXPECT_THAT(unknown.err, HasSubstr("work.nowhere:sch"));
}

TEST_F(Relabel, StreamingKeepsOneAnswerALineAndNamesBadLines) {
    const std::string input = std::string(kTwoLevels) + "\r\n\nnot(a name\n" + kTwoLevels;
    const ToolResult result = runWithLibs({"relabel", "-"}, input);
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.out, std::string(kBothRelabelled) + "\nnot(a name\n" + kBothRelabelled);
    EXPECT_THAT(result.err, HasSubstr("line 3:"));
    // No operand at all reads standard input as well.
    EXPECT_EQ(runWithLibs({"relabel"}, kTwoLevels).out, kBothRelabelled);
}

TEST_F(Relabel, ResultsLongerThanTwiceTheNameComeOutWhole) {
    writeMap("work", "t", "s", "1 -2147483648\n");
    std::string name = "a@1(work.t:s)";
    std::string expected = name;
    for (int element = 1; element < 100; ++element) {
        name += "/a@1(work.t:s)";
        expected += "/page-2147483648_a(work.t:s)";
    }
    const ToolResult result = runWithLibs({"relabel", name});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, expected + "\n");
}

// Many streamed names, each answered from a model of the two maps.
TEST_F(Relabel, StreamedVolumeMatchesAModelOfThePageMaps) {
    std::map<int, int> topMap;
    std::map<int, int> aluMap;
    std::ostringstream topText;
    std::ostringstream aluText;
    for (int page = 1; page <= 200; page += 2) {
        topMap[page] = page + 1000;
        topText << page << ' ' << page + 1000 << '\n';
        aluMap[page + 1] = page * 3;
        aluText << page + 1 << ' ' << page * 3 << '\n';
    }
    writeMap("work", "top", "sch", topText.str());
    writeMap("work", "alu", "sch", aluText.str());
    const auto label = [](const std::map<int, int> &map, const std::string &inst, int page) {
        const auto pair = map.find(page);
        return pair == map.end() ? inst + "@" + std::to_string(page)
                                 : "page" + std::to_string(pair->second) + "_" + inst;
    };

    std::mt19937 random(20240611);
    std::string input;
    std::string expected;
    for (int name = 0; name < 20000; ++name) {
        const int aluPage = static_cast<int>(random() % 200) + 1;
        const int regPage = static_cast<int>(random() % 200) + 1;
        const std::string u = "U" + std::to_string(name);
        input += "top(work.top:sch)/" + u + "@" + std::to_string(aluPage) + "(work.alu:sch)/R@" +
                 std::to_string(regPage) + "(work.reg:sch)\n";
        expected += "top(work.top:sch)/" + label(topMap, u, aluPage) + "(work.alu:sch)/" +
                    label(aluMap, "R", regPage) + "(work.reg:sch)\n";
    }
    const ToolResult result = runWithLibs({"relabel", "-"}, input);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out == expected) << "streamed output differs from the model";
}
