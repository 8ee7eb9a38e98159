// What the platforms share: the temporary's name.
#include "maps/replacement_file.h"

namespace trel {

std::string temporaryNameFor(const std::string &file) {
    std::string name = file;
    if (!name.empty()) name.back() = name.back() == '~' ? '#' : '~';
    return name;
}

}  // namespace trel
