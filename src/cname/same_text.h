// Equality of the short texts relabelling compares for every element: unit
// and instance names, a few bytes long, too short for a library call to pay
// off and compared several times a name.
#pragma once

namespace trel {

inline bool sameText(const char *a, const char *b) {
    // Four bytes a turn, so that the loop turns a quarter as often. A byte of
    // either text is read only after the one before it matched and was not
    // the end.
    for (;; a += 4, b += 4) {
        if (a[0] != b[0]) return false;
        if (a[0] == '\0') return true;
        if (a[1] != b[1]) return false;
        if (a[1] == '\0') return true;
        if (a[2] != b[2]) return false;
        if (a[2] == '\0') return true;
        if (a[3] != b[3]) return false;
        if (a[3] == '\0') return true;
    }
}

}  // namespace trel
