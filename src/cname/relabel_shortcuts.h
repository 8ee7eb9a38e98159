// The shortcut relabelling takes that a benchmark switches off to show what
// it gains; it changes no answer. On in the library.
#pragma once

namespace trel {

struct RelabelShortcuts {
    // Start fetching the parents' page maps from memory side by side before
    // looking pages up in them.
    bool prefetch = true;
};

RelabelShortcuts &relabelShortcuts();

}  // namespace trel
