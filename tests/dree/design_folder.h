// A temporary folder for one test, removed with everything in it afterwards,
// with helpers to make unit directories and write files inside it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dree.h"

class DesignFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "dree-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        dreeClearLibraries();
    }
    void TearDown() override {
        dreeClearLibraries();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // Creates <root>/<relative> with its parents; returns its full path.
    std::string makeDirectory(const std::string &relative) const {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path);
        return path.string();
    }

    std::string writeFile(const std::string &relative, const std::string &text) const {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    std::string root() const { return root_.string(); }

  private:
    std::filesystem::path root_;
};

// The directory dreeGetPath answers, or the status text "status N".
inline std::string unitDirectory(const char *lib, const char *cell, const char *view) {
    char dir[260];
    const int status = dreeGetPath(0, 0, lib, cell, view, 0, dir, sizeof dir);
    return status == DREE_OK ? std::string(dir) : "status " + std::to_string(status);
}
