// Sync, rename and folder sync for the save baselines.
#include "synced_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace bench {

std::string temporaryFor(const std::string &path) {
    return path + "~";
}

bool syncAndRename(int fd, const std::string &temporary, const std::string &path) {
    bool done = fsync(fd) == 0;
    done = ::close(fd) == 0 && done;
    if (!done || std::rename(temporary.c_str(), path.c_str()) != 0) return false;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return false;
    done = fsync(folderFd) == 0;
    return ::close(folderFd) == 0 && done;
}

}  // namespace bench
