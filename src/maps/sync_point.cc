// File identities on each platform, and the content digest.
#include "maps/sync_point.h"

#include <sys/stat.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <algorithm>
#include <cstring>

namespace trel {

#if defined(_WIN32)
// The C runtime's stat calls disagree between an open file and its path (the
// device number) and keep whole seconds only, so identities come from the
// system: volume, file index, size, and the write and change times in its
// 100 ns ticks.
FileIdentity identityOfFile(NativeFile handle) {
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(static_cast<HANDLE>(handle), &info)) {
        return identity;
    }
    identity.exists = true;
    identity.device = info.dwVolumeSerialNumber;
    identity.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity.modifiedNs = static_cast<int64_t>(
        (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime);
    FILE_BASIC_INFO times;
    if (GetFileInformationByHandleEx(static_cast<HANDLE>(handle), FileBasicInfo, &times,
                                     sizeof times)) {
        identity.changedNs = times.ChangeTime.QuadPart;
    }
    return identity;
}
#else
namespace {

int64_t nanoseconds(const timespec &time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

FileIdentity identityOfFile(NativeFile fd) {
    FileIdentity identity;
    struct stat status;
    if (fstat(fd, &status) != 0) return identity;
    identity.exists = true;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    identity.size = static_cast<uint64_t>(status.st_size);
    identity.modifiedNs = nanoseconds(status.st_mtim);
    identity.changedNs = nanoseconds(status.st_ctim);
    return identity;
}
#endif
void ContentDigest::mixStep(const char *step) {
    for (size_t lane = 0; lane < kLanes; ++lane) {
        uint64_t word;
        std::memcpy(&word, step + lane * sizeof word, sizeof word);
        lanes_[lane] = mix(lanes_[lane], word);
    }
}

void ContentDigest::add(const char *data, size_t size) {
    if (size == 0) return;  // data may then be null
    length_ += size;
    if (pendingSize_ != 0) {
        const size_t take = std::min(size, kStep - pendingSize_);
        std::memcpy(pending_ + pendingSize_, data, take);
        pendingSize_ += take;
        data += take;
        size -= take;
        if (pendingSize_ < kStep) return;
        mixStep(pending_);
        pendingSize_ = 0;
    }
    for (; size >= kStep; data += kStep, size -= kStep)
        mixStep(data);
    std::memcpy(pending_, data, size);
    pendingSize_ = size;
}

uint64_t ContentDigest::value() const {
    char tail[kStep] = {};
    std::memcpy(tail, pending_, pendingSize_);
    ContentDigest last = *this;
    last.mixStep(tail);
    uint64_t hash = length_;
    for (uint64_t lane : last.lanes_)
        hash = mix(hash, lane);
    return hash;
}

}  // namespace trel
