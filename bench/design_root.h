// A temporary design tree for the cases that go through files or through the
// entry points, and the library-path service the benchmark program answers
// lookups with: the directory of lib.cell:view is <root>/<lib>/<cell>/<view>.
//
// The service answers whether or not that directory exists, so that the
// cases can register thousands of units without creating a folder for each;
// a unit without a folder simply has no map file to load.
#pragma once

#include <string>

namespace bench {

// Creates a fresh folder under $TMPDIR (or /tmp), makes it the service's root
// and removes it, with everything in it, when the object goes.
class DesignRoot {
  public:
    DesignRoot();
    ~DesignRoot();
    DesignRoot(const DesignRoot &) = delete;
    DesignRoot &operator=(const DesignRoot &) = delete;

    const std::string &path() const { return path_; }
    // Creates <root>/<lib>/<cell>/<view> and returns the map file path in it.
    std::string mapFile(const std::string &lib, const std::string &cell,
                        const std::string &view) const;

  private:
    std::string path_;
};

}  // namespace bench
