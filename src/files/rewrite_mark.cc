// The rewrite mark's text.
#include "files/rewrite_mark.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>

#include "files/file_system.h"

namespace trel {
namespace {

constexpr char kPrefix[] = "rewrite 1 ";
constexpr size_t kIdDigits = 16;

}  // namespace

std::string markText(uint64_t id, const std::string &fullName) {
    char digits[kIdDigits + 2];
    std::snprintf(digits, sizeof digits, "%016" PRIx64 " ", id);
    return kPrefix + std::string(digits) + fullName;
}

RewriteMark parseMark(const std::string &value) {
    RewriteMark mark;
    const size_t prefix = sizeof kPrefix - 1;
    if (value.size() > prefix + kIdDigits + 1 && value.compare(0, prefix, kPrefix) == 0 &&
        value[prefix + kIdDigits] == ' ' &&
        std::sscanf(value.c_str() + prefix, "%16" SCNx64, &mark.id) == 1) {
        mark.knowsId = true;
        mark.name = value.substr(prefix + kIdDigits + 1);
        return mark;
    }
    mark.name = value;  // an earlier build's: the name alone
    return mark;
}

uint64_t newRewriteId() {
    // The system's randomness where it has some, with the clocks and this
    // process's memory mixed in, where its randomness is a fixed sequence.
    static std::random_device device;
    static uint64_t counter = 0;
    const auto here = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&counter));
    uint64_t id = (uint64_t{device()} << 32 | device()) ^ static_cast<uint64_t>(clock().wallNs()) ^
                  static_cast<uint64_t>(clock().monotonicNs()) * 0x9E3779B97F4A7C15ULL ^
                  here << 17 ^ ++counter * 0xBF58476D1CE4E5B9ULL;
    id ^= id >> 31;
    return id != 0 ? id : 1;
}

}  // namespace trel
