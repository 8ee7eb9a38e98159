// The tests' library-path service and temporary design directories.
#include "api/design_fixture.h"

#include "support/temp_folder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_design {

Service &service() {
    static Service state;
    return state;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool exists(const std::string &path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> listDirectory(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *entry = readdir(d)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
void makeDirectories(const std::string &path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') ::mkdir(path.substr(0, at).c_str(), 0755);
    }
}

}  // namespace

void DesignTest::SetUp() {
    root_ = test_support::makeTempFolder("trel-test");
    ASSERT_FALSE(root_.empty());
    service() = Service{};
    service().root = root_;
    trelReset();
    trelSetFileMode(0);
    trelInit(0);
}

void DesignTest::TearDown() {
    trelReset();
    trelSetFileMode(1);
    test_support::removeFolder(root_);
}

std::string DesignTest::makeUnit(const std::string &lib, const std::string &cell,
                                 const std::string &view) {
    std::string dir = root_ + "/" + lib + "/" + cell + "/" + view;
    makeDirectories(dir);
    return dir;
}

}  // namespace testing_design

extern "C" int dreeGetPath(int context, int /*zero1*/, const char *lib, const char *cell,
                           const char *view, int /*zero2*/, char *dir, int size) {
    auto &state = testing_design::service();
    state.lastContext = context;
    ++state.calls;
    std::string path = state.root + "/" + lib + "/" + cell + "/" + view;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 1;
    if (path.size() + 1 > static_cast<size_t>(size)) return 2;
    std::memcpy(dir, path.c_str(), path.size() + 1);
    return 0;
}

#if defined(_WIN32)
// libtrel calls dreeGetPath through the import table entry that dree.dll
// would fill; defining that entry here makes the library call the service
// above instead, as the program's own definition does on ELF platforms.
extern "C" {
decltype(&dreeGetPath) _imp__dreeGetPath = dreeGetPath;
}
#endif
