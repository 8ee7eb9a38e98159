// File identities on each platform, and the content digest.
#include "maps/sync_point.h"

#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <cstring>

namespace trel {
namespace {

#if defined(_WIN32)
// The C runtime's stat calls disagree between an open file and its path (the
// device number) and keep whole seconds only, so identities come from the
// system: volume, file index, size and the write time in 100 ns steps.
FileIdentity identityFromHandle(HANDLE handle) {
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
        return identity;
    }
    identity.exists = true;
    identity.device = info.dwVolumeSerialNumber;
    identity.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity.modifiedNs =
        static_cast<int64_t>((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                             info.ftLastWriteTime.dwLowDateTime) *
        100;
    return identity;
}
#else
using Status = struct stat;
int statusOf(std::FILE *file, Status *status) {
    return fstat(fileno(file), status);
}
int statusOfPath(const std::string &path, Status *status) {
    return ::stat(path.c_str(), status);
}
int64_t modifiedNs(const Status &status) {
    return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

FileIdentity identityFrom(int result, const Status &status) {
    FileIdentity identity;
    if (result != 0) return identity;
    identity.exists = true;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    identity.size = static_cast<uint64_t>(status.st_size);
    identity.modifiedNs = modifiedNs(status);
    return identity;
}
#endif

}  // namespace

#if defined(_WIN32)
FileIdentity identityOf(std::FILE *file) {
    return identityFromHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

FileIdentity identityOfPath(const std::string &path) {
    HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FileIdentity identity = identityFromHandle(handle);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return identity;
}
#else
FileIdentity identityOf(std::FILE *file) {
    Status status;
    const int result = statusOf(file, &status);
    return identityFrom(result, status);
}

FileIdentity identityOfPath(const std::string &path) {
    Status status;
    const int result = statusOfPath(path, &status);
    return identityFrom(result, status);
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
