// A temporary design tree and a library-path service of the tests' own: the
// directory of lib.cell:view is <root>/<lib>/<cell>/<view> when it exists.
// The service records the context of its last call.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "trel.h"

namespace testing_design {

// The service's state, read by the dreeGetPath defined in design_fixture.cc.
struct Service {
    std::string root;
    int lastContext = -1;
    int calls = 0;
};
Service &service();

// Reads a whole file; "<missing>" when it cannot be opened.
std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &text);
bool exists(const std::string &path);
// Names in a directory, sorted.
std::vector<std::string> listDirectory(const std::string &dir);

class DesignTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the unit's directory and returns it.
    std::string makeUnit(const std::string &lib, const std::string &cell, const std::string &view);
    std::string mapPath(const std::string &lib, const std::string &cell, const std::string &view) {
        return root_ + "/" + lib + "/" + cell + "/" + view + "/page.map";
    }
    static std::string lastError() {
        char *text = nullptr;
        trelGetLastError(&text);
        return text;
    }

    std::string root_;
};

}  // namespace testing_design
