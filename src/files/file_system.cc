// Which file system and clock the protocol uses, and the folder of a path.
#include "files/file_system.h"

namespace trel {
namespace {

FileSystem *currentFileSystem = nullptr;
Clock *currentClock = nullptr;

}  // namespace

FileSystem &fileSystem() {
    return currentFileSystem != nullptr ? *currentFileSystem : systemFileSystem();
}

Clock &clock() {
    return currentClock != nullptr ? *currentClock : systemClock();
}

void useFileSystem(FileSystem *fileSystem) {
    currentFileSystem = fileSystem;
}

void useClock(Clock *clock) {
    currentClock = clock;
}

namespace {

size_t lastSeparator(const std::string &file) {
#if defined(_WIN32)
    return file.find_last_of("/\\");  // Windows takes either
#else
    return file.rfind('/');
#endif
}

}  // namespace

std::string folderOf(const std::string &file) {
    const size_t slash = lastSeparator(file);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? file.substr(0, 1) : file.substr(0, slash);
}

std::string fileNameOf(const std::string &file) {
    const size_t slash = lastSeparator(file);
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

}  // namespace trel
