// Running the built pagemap binary in a temporary design folder per test. The
// binary starts through the shell with its three standard streams on files of
// the folder, which keeps large outputs out of pipes and deadlocks.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

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
        root_ = test_support::makeTempFolder("pagemap");
        ASSERT_FALSE(root_.empty());
        writeFile("libs.defs", "# test libraries\nwork libs/work\ngates libs/gates\n");
        unsetenv("PAGEMAP_LIBS");  // the tool's default definitions must not leak in
    }
    void TearDown() override { test_support::removeFolder(root_.string()); }

    // Runs pagemap with the words of `commandLine`, split at spaces, in
    // `directory` (the design folder when empty); `stdoutPath` replaces the
    // file that captures standard output, `stdinPath` the file of `input`.
    ToolResult run(const std::string &commandLine, const std::string &input = "",
                   const std::string &directory = "", const std::string &stdoutPath = "",
                   const std::string &stdinPath = "") const {
        const std::string outPath = stdoutPath.empty() ? (root_ / "run.out").string() : stdoutPath;
        const std::string errPath = (root_ / "run.err").string();
        const std::string inPath = stdinPath.empty() ? writeFile("run.in", input) : stdinPath;
#if defined(_WIN32)
        ToolResult result;
        result.status = runOnWindows(commandLine, directory.empty() ? root_.string() : directory,
                                     inPath, outPath, errPath);
#else
        // Where the build's programs run under an emulator (a 32-bit build on
        // a kernel without 32-bit support), the tool runs under it as well.
        std::string command = "cd " + quoted(directory.empty() ? root_.string() : directory) +
                              " && " + shellPrefix_ + " " PAGEMAP_EMULATOR " " +
                              quoted(PAGEMAP_BIN);
        std::istringstream words(commandLine);
        for (std::string word; words >> word;)
            command += " " + quoted(word);
        command += " <" + quoted(inPath) + " >" + quoted(outPath) + " 2>" + quoted(errPath);
        const int wait = std::system(command.c_str());
        ToolResult result;
        if (WIFEXITED(wait)) result.status = WEXITSTATUS(wait);
#endif
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
        return (root_ / "libs" / unit / "page.map").string();
    }
    // Writes `text` to `path`, relative to the design folder or absolute.
    std::string writeFile(const std::string &path, const std::string &text) const {
        std::filesystem::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path, std::ios::binary) << text;
        return (root_ / path).string();
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

#if defined(_WIN32)
    // Windows has no POSIX shell: the tool starts directly, its standard
    // streams on the files, its arguments quoted as the C runtime splits them.
    // pagemap.exe lies beside the test program.
    static int runOnWindows(const std::string &commandLine, const std::string &directory,
                            const std::string &inPath, const std::string &outPath,
                            const std::string &errPath) {
        char self[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string program(self, length);
        program = program.substr(0, program.find_last_of("\\/") + 1) + "pagemap.exe";
        std::string line = windowsQuoted(program);
        std::istringstream words(commandLine);
        for (std::string word; words >> word;)
            line += " " + windowsQuoted(word);

        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        auto open = [&](const std::string &path, bool write) {
            return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        };
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = open(inPath, false);
        startup.hStdOutput = open(outPath, true);
        startup.hStdError = open(errPath, true);
        PROCESS_INFORMATION process{};
        DWORD status = static_cast<DWORD>(-1);
        if (CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           directory.c_str(), &startup, &process)) {
            WaitForSingleObject(process.hProcess, INFINITE);
            GetExitCodeProcess(process.hProcess, &status);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        }
        return static_cast<int>(status);
    }
    // One argument as the C runtime's command-line splitting gives it back.
    static std::string windowsQuoted(const std::string &word) {
        if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
        std::string text = "\"";
        std::size_t backslashes = 0;
        for (char c : word) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            // Backslashes before a quote are doubled, and the quote escaped.
            text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            text += c;
        }
        return text.append(2 * backslashes, '\\') + "\"";
    }
#endif

    std::filesystem::path root_;
    // Shell words run before the tool: "ulimit -f 8;", or a command that
    // runs it as another user.
    std::string shellPrefix_;
};
