// The two shortcuts relabelling takes, neither of which changes an answer,
// each with a switch so that a test can compare the answers with and without
// it and a benchmark can show what it gains. Both are on in the library.
#pragma once

namespace trel {

struct RelabelShortcuts {
    // Keep, from one call to the next, the page maps the parents' names led
    // to and the labels each element came to; off, every name is resolved
    // from scratch: converted, looked up as trelGetPageMapping looks up.
    bool reuse = true;
    // Start fetching the parents' page maps from memory side by side before
    // looking pages up in them (with reuse only).
    bool prefetch = true;
};

RelabelShortcuts &relabelShortcuts();

}  // namespace trel
