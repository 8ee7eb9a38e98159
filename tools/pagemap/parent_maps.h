// The page maps a relabelling reads, loaded by the tool before the library's
// own lookups load them, so that a map file that cannot be read is reported
// rather than silently relabelled with what could be read of it.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

class hqPathElem;

class ParentMaps {
  public:
    // Loads the page map of each unit that relabelling `name` looks pages up
    // in (every parent element's unit, or with `lastOnly` the last element's
    // parent's), each unit once per run. Returns the problem of each newly
    // loaded map file that cannot be read to its end.
    std::vector<std::string> load(const char *name, bool lastOnly);

  private:
    // Units as written in names ("lib\0cell\0view"), so that a unit seen
    // before costs a set lookup and no name conversion.
    std::unordered_set<std::string> seen_;
    // Reused from name to name, so that steady streaming allocates little.
    std::string written_;
    std::vector<const hqPathElem *> elements_;
};
