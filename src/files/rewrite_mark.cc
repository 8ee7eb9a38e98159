// The rewrite mark's text.
#include "files/rewrite_mark.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

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

}  // namespace trel
