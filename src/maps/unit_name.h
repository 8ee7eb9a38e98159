// The names of a design unit, as the host passes them. Any of them may be null
// when a host passes bad arguments; the registry refuses such units.
#pragma once

namespace trel {

struct UnitName {
    const char *lib;
    const char *cell;
    const char *view;

    bool complete() const { return lib != nullptr && cell != nullptr && view != nullptr; }
};

}  // namespace trel
