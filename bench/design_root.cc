// The temporary design tree and the program's own library-path service.
#include "design_root.h"

#include "support/temp_folder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

namespace bench {
namespace {

// The root the service answers from; empty while no DesignRoot exists.
std::string &serviceRoot() {
    static std::string root;
    return root;
}

}  // namespace

DesignRoot::DesignRoot() {
    path_ = test_support::makeTempFolder("trel-bench");
    if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
    serviceRoot() = path_;
}

DesignRoot::~DesignRoot() {
    if (serviceRoot() == path_) serviceRoot().clear();
    test_support::removeFolder(path_);
}

std::string DesignRoot::mapFile(const std::string &lib, const std::string &cell,
                                const std::string &view) const {
    const std::string directory = path_ + "/" + lib + "/" + cell + "/" + view;
    std::filesystem::create_directories(directory);
    return directory + "/page.map";
}

}  // namespace bench

// The library asks this service, not the stand-in library, for unit folders.
extern "C" int dreeGetPath(int /*context*/, int /*zero1*/, const char *lib, const char *cell,
                           const char *view, int /*zero2*/, char *dir, int size) {
    const std::string &root = bench::serviceRoot();
    if (root.empty() || lib == nullptr || cell == nullptr || view == nullptr || dir == nullptr ||
        size < 1) {
        return 1;
    }
    const std::string directory = root + "/" + lib + "/" + cell + "/" + view;
    if (directory.size() >= static_cast<size_t>(size)) return 1;
    std::memcpy(dir, directory.c_str(), directory.size() + 1);
    return 0;
}
