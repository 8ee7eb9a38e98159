// The one error value of the file protocol, carried up to the entry points:
// the system's reason as an errno value and, where that alone would mislead
// (a lock another process holds, a journal that cannot be read), a message
// saying what stopped the load or save.
#pragma once

#include <string>

namespace trel {

struct FileError {
    int error = 0;        // 0: no failure
    std::string message;  // empty: the caller words it, with the system's reason

    bool failed() const { return error != 0; }
};

}  // namespace trel
