// Fuzzes the library-path stand-in's definitions file with any bytes (the text
// "%R" in the input stands for the scratch folder, so that absolute
// directories can point into it). The file is read over one library defined
// beforehand, and then:
//   - the status is the one a reference reading of the format gives, and a
//     refused file names its first bad line and defines nothing;
//   - every library the file defines (and the one defined before) answers
//     <its directory>/<cell>/<view> for a unit that exists, never another
//     directory, and refuses cell and view names that would leave it;
//   - a lookup never writes past the caller's buffer, and writes nothing at
//     all when it fails.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dree.h"
#include "fuzz_support.h"

namespace {

struct Scratch {
    std::string root;    // absolute
    std::string folder;  // holds the definitions file
    std::string file;
};

// root/defs/libraries.defs, with units c/v under root/defs/d, root/defs/e and root/abs.
const Scratch &scratch() {
    static const Scratch made = [] {
        Scratch s;
        s.root = fuzzing::scratchFolder("trel-definitions-fuzz");
        s.folder = s.root + "/defs/";
        s.file = s.folder + "libraries.defs";
        for (const char *unit : {"/defs/d/c/v", "/defs/e/c/v", "/abs/c/v"})
            fuzzing::makeDirectories(s.root + unit);
        return s;
    }();
    return made;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string trimmed(std::string text) {
    std::size_t begin = 0;
    while (begin < text.size() && isBlank(text[begin]))
        ++begin;
    std::size_t end = text.size();
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool acceptableName(const std::string &name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

using Table = std::map<std::string, std::string>;

// The reference reading: the definitions in order, or the number of the first
// malformed line.
struct Reading {
    std::vector<std::pair<std::string, std::string>> definitions;
    int badLine = 0;
};

Reading readReference(const std::string &text, const std::string &folder) {
    Reading reading;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        for (std::size_t at = 0; at < line.size(); ++at) {
            if (line[at] == '#' && (at == 0 || isBlank(line[at - 1]))) {
                line.resize(at);
                break;
            }
        }
        line = trimmed(line);
        if (line.empty()) continue;
        std::size_t nameEnd = 0;
        while (nameEnd < line.size() && !isBlank(line[nameEnd]))
            ++nameEnd;
        const std::string name = line.substr(0, nameEnd);
        std::string directory = trimmed(line.substr(nameEnd));
        while (directory.size() > 1 && directory.back() == '/')
            directory.pop_back();
        if (directory.empty() || !acceptableName(name) ||
            directory.find('\0') != std::string::npos) {
            reading.badLine = number;
            reading.definitions.clear();
            return reading;
        }
        if (directory.front() != '/') directory.insert(0, folder);
        reading.definitions.emplace_back(name, directory);
    }
    return reading;
}

bool isDirectory(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

constexpr std::size_t kGuard = 16;
constexpr char kFill = '\x5a';

// One lookup with `size` bytes of room, checked against the table.
void checkLookup(const Table &table, const std::string &lib, const char *cell, const char *view,
                 int size) {
    std::vector<char> buffer(static_cast<std::size_t>(size) + kGuard, kFill);
    const std::vector<char> before = buffer;
    const int status = dreeGetPath(0, 0, lib.c_str(), cell, view, 0, buffer.data(), size);

    int expected = DREE_OK;
    std::string answer;
    const auto library = table.find(lib);
    if (!acceptableName(lib) || !acceptableName(cell) || !acceptableName(view)) {
        expected = DREE_BAD_NAME;
    } else if (library == table.end()) {
        expected = DREE_UNKNOWN_LIBRARY;
    } else {
        answer = library->second;
        if (answer.back() != '/') answer += '/';
        answer = answer + cell + "/" + view;
        if (!isDirectory(answer)) {
            expected = DREE_NO_DIRECTORY;
        } else if (answer.size() >= static_cast<std::size_t>(size)) {
            expected = DREE_TOO_LONG;
        }
    }
    FUZZ_REQUIRE(status == expected);
    if (status != DREE_OK) {
        FUZZ_REQUIRE(buffer == before);
        return;
    }
    FUZZ_REQUIRE(std::memcmp(buffer.data(), answer.c_str(), answer.size() + 1) == 0);
    for (std::size_t at = answer.size() + 1; at < buffer.size(); ++at)
        FUZZ_REQUIRE(buffer[at] == kFill);
}

// Every unit name that could lead out of the library's folder is refused; a
// unit that exists is answered in full, and refused by a buffer one byte short.
void checkLibrary(const Table &table, const std::string &lib) {
    static const std::pair<const char *, const char *> units[] = {
        {"c", "v"},       {"..", "v"},  {"c", ".."}, {".", "v"}, {"c/..", "v"},
        {"c", "v/../.."}, {"c", "\\v"}, {"", "v"},   {"c", "x"},
    };
    for (const auto &[cell, view] : units)
        checkLookup(table, lib, cell, view, 260);
    const auto library = table.find(lib);
    if (library == table.end()) return;
    const std::size_t answer = library->second.size() + (library->second.back() == '/' ? 3 : 4);
    for (std::size_t size : {answer + 1, answer, std::size_t{1}})
        checkLookup(table, lib, "c", "v", static_cast<int>(size));
}

std::string withRoot(const std::string &input, const std::string &root) {
    std::string text;
    for (std::size_t at = 0; at < input.size(); ++at) {
        if (input.compare(at, 2, "%R") == 0) {
            text += root;
            ++at;
        } else {
            text += input[at];
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size > 4096) return 0;
    const Scratch &s = scratch();
    const std::string text =
        withRoot(std::string(reinterpret_cast<const char *>(data), size), s.root);
    fuzzing::writeFile(s.file, text);

    dreeClearLibraries();
    FUZZ_REQUIRE(dreeDefineLibrary("kept", (s.folder + "d").c_str()) == DREE_OK);
    Table table = {{"kept", s.folder + "d"}};

    const Reading reading = readReference(text, s.folder);
    const int status = dreeReadDefinitions(s.file.c_str());
    if (reading.badLine != 0) {
        FUZZ_REQUIRE(status == DREE_BAD_DEFINITION);
        const std::string where = s.file + ":" + std::to_string(reading.badLine) + ":";
        FUZZ_REQUIRE(std::strncmp(dreeLastError(), where.c_str(), where.size()) == 0);
    } else {
        FUZZ_REQUIRE(status == DREE_OK);
        for (const auto &[lib, directory] : reading.definitions)
            table[lib] = directory;
    }

    checkLibrary(table, "kept");
    checkLibrary(table, "undefined");
    // The libraries the file names, defined or (in a refused file) not.
    for (const auto &[lib, directory] : readReference(text, s.folder).definitions)
        checkLibrary(table, lib);
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t nameEnd = lineStart;
        while (nameEnd < text.size() && !isBlank(text[nameEnd]) && text[nameEnd] != '\n')
            ++nameEnd;
        const std::string name = text.substr(lineStart, nameEnd - lineStart);
        if (acceptableName(name) && name.find('#') != 0) checkLibrary(table, name);
        const std::size_t next = text.find('\n', lineStart);
        if (next == std::string::npos) break;
        lineStart = next + 1;
    }
    return 0;
}
