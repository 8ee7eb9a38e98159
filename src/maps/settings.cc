// Process-wide configuration, constant-initialised so it holds its initial
// values before any load-time code runs.
#include "maps/settings.h"

namespace trel {
namespace {
Settings current;
}

Settings &settings() {
    return current;
}

}  // namespace trel
