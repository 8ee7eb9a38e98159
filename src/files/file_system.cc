// Which file system and clock the protocol uses.
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

}  // namespace trel
