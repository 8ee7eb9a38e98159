// Running the built pagemap binary in a temporary design folder per test. The
// binary starts through the shell with its three standard streams on files of
// the folder, which keeps large outputs out of pipes and deadlocks.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ToolResult {
    int status = -1;  // the exit status, or -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// One run with the design's library definitions and what it must give: the
// exit status, all of standard output, and a text within standard error.
struct ToolCase {
    std::string commandLine;
    int status;
    std::string out;
    std::string err = "";
};

// Libraries live under <root>/libs/<lib>, defined by the file <root>/libs.defs;
// the tool runs in <root> unless told otherwise.
class ToolDesign : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "pagemap-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        writeFile("libs.defs", "# test libraries\nwork libs/work\ngates libs/gates\n");
        unsetenv("PAGEMAP_LIBS");  // the tool's default definitions must not leak in
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // Runs pagemap with the words of `commandLine`, split at spaces, in
    // `directory` (the design folder when empty); `stdoutPath` replaces the
    // file that captures standard output.
    ToolResult run(const std::string &commandLine, const std::string &input = "",
                   const std::string &directory = "", const std::string &stdoutPath = "") const {
        const std::string outPath = stdoutPath.empty() ? (root_ / "run.out").string() : stdoutPath;
        const std::string errPath = root_ / "run.err";
        // Where the build's programs run under an emulator (a 32-bit build on
        // a kernel without 32-bit support), the tool runs under it as well.
        std::string command = "cd " + quoted(directory.empty() ? root_.string() : directory) +
                              " && " + shellPrefix_ + " " PAGEMAP_EMULATOR " " +
                              quoted(PAGEMAP_BIN);
        std::istringstream words(commandLine);
        for (std::string word; words >> word;)
            command += " " + quoted(word);
        command += " <" + quoted(writeFile("run.in", input)) + " >" + quoted(outPath) + " 2>" +
                   quoted(errPath);
        const int wait = std::system(command.c_str());
        ToolResult result;
        if (WIFEXITED(wait)) result.status = WEXITSTATUS(wait);
        if (stdoutPath.empty()) result.out = readFile(outPath);
        result.err = readFile(errPath);
        return result;
    }
    // Runs every case with the design's library definitions and checks what
    // it gives.
    void expectCases(const std::vector<ToolCase> &cases) const {
        for (const ToolCase &expected : cases) {
            SCOPED_TRACE("pagemap " + expected.commandLine);
            const ToolResult result = run("--libs libs.defs " + expected.commandLine);
            EXPECT_EQ(result.status, expected.status) << result.err;
            EXPECT_EQ(result.out, expected.out);
            EXPECT_THAT(result.err, ::testing::HasSubstr(expected.err));
        }
    }

    // Makes the unit folder <root>/libs/<unit> ("work/alu/sch"); returns the
    // path of its page.map.
    std::string makeUnit(const std::string &unit) const {
        std::filesystem::create_directories(root_ / "libs" / unit);
        return root_ / "libs" / unit / "page.map";
    }
    // Writes `text` to `path`, relative to the design folder or absolute.
    std::string writeFile(const std::string &path, const std::string &text) const {
        std::filesystem::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path, std::ios::binary) << text;
        return root_ / path;
    }
    static std::string readFile(const std::string &path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    // A word the shell passes on as it is, whatever characters it holds.
    static std::string quoted(const std::string &word) {
        std::string text = "'";
        for (char c : word)
            text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return text + "'";
    }

    std::filesystem::path root_;
    // Shell words run before the tool: "ulimit -f 8;", or a command that
    // runs it as another user.
    std::string shellPrefix_;
};
