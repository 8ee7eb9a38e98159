// Fuzzes the hierarchical-name parser. For any text it accepts:
//   - printing the path gives the text back, byte for byte;
//   - detaching the last element and attaching it again changes nothing;
//   - a label set with setLabel shows in the printed text;
//   - every design-unit name converts through the name mapper, or fails
//     cleanly, never writing past the mapper's buffer.
// Run: hq_parse_fuzzer [corpus dir]  (e.g. seeded with examples/names.txt lines).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hq.h"
#include "kelt.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkConversion(const char *name) {
    // Guard bytes after the mapper's buffer must stay as they are.
    std::vector<char> out(keltBufferSize + 32, '#');
    const char *converted = keltMapper(keltVHDLToIdent, keltIdentToLibraryNT, name, 0, out.data());
    if (converted != nullptr) require(std::strlen(converted) < keltBufferSize);
    for (std::size_t i = keltBufferSize; i < out.size(); ++i)
        require(out[i] == '#');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    hqPath path(text.c_str());
    if (path.valid == 0) {
        require(path.size() == 0 && path.lastPathElem() == nullptr);
        return 0;
    }
    // The text stops at the first NUL the input may hold.
    const std::string written(text.c_str());
    require(std::string(static_cast<const char *>(path)) == written);

    for (hqPathElem *elem = path.parsePathElem(1); elem != nullptr; elem = path.parsePathElem(0)) {
        require(elem->page() >= 0);
        require((elem->lib == nullptr) == (elem->cell == nullptr));
        require((elem->lib == nullptr) == (elem->view == nullptr));
        if (elem->lib != nullptr) {
            checkConversion(elem->lib);
            checkConversion(elem->cell);
            checkConversion(elem->view);
        }
    }

    hqPathElem *last = path.breakPath();
    require(last != nullptr);
    path.appendPath(last);
    require(std::string(static_cast<const char *>(path)) == written);

    last->setLabel("page1_x");
    const std::string relabelled(static_cast<const char *>(path));
    require(relabelled.find("page1_x") != std::string::npos);
    return 0;
}
