// Running the built pagemap binary: a design folder per test, and a runner
// that feeds standard input and collects standard output, standard error and
// the exit status.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

struct ToolResult {
    int status = -1;  // the exit status, or -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// A temporary folder with a design in it: libraries under <root>/libs/<lib>,
// defined by the file <root>/libs.defs.
class ToolDesign : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs pagemap with `arguments` in the folder `directory` (the design
    // folder when empty). `stdoutPath` replaces the captured output file.
    ToolResult run(const std::vector<std::string> &arguments, const std::string &input = "",
                   const std::string &directory = "", const std::string &stdoutPath = "") const;
    // Runs pagemap with "--libs <root>/libs.defs" before `arguments`.
    ToolResult runWithLibs(const std::vector<std::string> &arguments,
                           const std::string &input = "") const;

    // Makes the unit's directory; returns it.
    std::string makeUnit(const std::string &lib, const std::string &cell,
                         const std::string &view) const;
    // Writes the unit's page.map (making the unit); returns its path.
    std::string writeMap(const std::string &lib, const std::string &cell, const std::string &view,
                         const std::string &text) const;
    std::string readFile(const std::string &path) const;
    std::string writeFile(const std::string &relative, const std::string &text) const;
    std::string mapPath(const std::string &lib, const std::string &cell,
                        const std::string &view) const;

    std::filesystem::path root_;
};
