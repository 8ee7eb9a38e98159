// The two values the host configures by call (trelInit, trelSetFileMode):
// the context handed to the library-path service, and the map file mode.
// They live beside the registry because every find, load and save of a page
// map reads them; the entry points only set them.
#pragma once

namespace trel {

struct Settings {
    int context = 0;   // opaque, passed unchanged to dreeGetPath
    int fileMode = 1;  // 0 transfers pairs; any other value opens files only
};

// The one Settings of the process. Constant-initialised, so it holds its
// initial values before any load-time code runs.
inline Settings &settings() {
    static Settings current;
    return current;
}

}  // namespace trel
