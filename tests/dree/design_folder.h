// A temporary folder for one test, removed with everything in it afterwards,
// with helpers to make directories and write files inside it; no library is
// defined when a test starts or after it ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dree.h"
#include "support/temp_folder.h"

class DesignFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        root = test_support::makeTempFolder("dree");
        ASSERT_FALSE(root.empty());
        dreeClearLibraries();
    }
    void TearDown() override {
        dreeClearLibraries();
        test_support::removeFolder(root);
    }

    // Creates <root>/<relative> with its parents; returns its full path.
    std::string makeDirectory(const std::string &relative) const {
        std::filesystem::create_directories(root + "/" + relative);
        return root + "/" + relative;
    }
    std::string writeFile(const std::string &relative, const std::string &text) const {
        std::ofstream(root + "/" + relative, std::ios::binary) << text;
        return root + "/" + relative;
    }

    std::string root;
};

// The directory dreeGetPath answers, or the status text "status N".
inline std::string unitDirectory(const char *lib, const char *cell, const char *view) {
    char dir[260];
    const int status = dreeGetPath(0, 0, lib, cell, view, 0, dir, sizeof dir);
    return status == DREE_OK ? std::string(dir) : "status " + std::to_string(status);
}
