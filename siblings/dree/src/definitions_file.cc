// dreeReadDefinitions: library definitions from a plain-text file.
//
//   # comment
//   work    designs/work
//   gates   /shared/gates     # trailing comment
//
// The whole file is checked before any definition takes effect, so a file
// with a mistake never leaves half of its libraries defined.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "dree.h"
#include "last_error.h"
#include "library_table.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The line without its comment: '#' opens one only at the start or after a
// blank, so a directory such as "lib#2" keeps its '#'.
std::string_view withoutComment(std::string_view line) {
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] == '#' && (at == 0 || isBlank(line[at - 1]))) return line.substr(0, at);
    }
    return line;
}

// The folder that relative directories of the file are taken from, with its
// trailing separator. A file named by a relative path has its folder made
// absolute now, against the working directory of this moment, so that a host
// that changes its working directory later still finds its libraries.
std::string folderOf(std::string_view file) {
    std::size_t end = file.size();
    while (end > 0 && !dree::isSeparator(file[end - 1]))
        --end;
    // "C:libs.defs" lies in drive C's working folder: "C:".
    if (end == 0 && dree::isAbsolute(file)) end = 2;
    std::string folder(file.substr(0, end));
    if (dree::isAbsolute(file)) return folder;
    std::error_code unknown;
    std::string working = std::filesystem::current_path(unknown).string();
    if (unknown || working.empty()) return folder;  // kept relative, as before
    if (!dree::isSeparator(working.back())) working += '/';
    return working + folder;
}

using Definitions = std::vector<std::pair<std::string, std::string>>;

// Parses every line into definitions; a non-zero result names the bad line.
int parseDefinitions(std::ifstream &input, const char *file, Definitions &definitions) {
    const std::string folder = folderOf(file);
    std::string line;
    for (int number = 1; std::getline(input, line); ++number) {
        const std::string_view text = trimBlanks(withoutComment(line));
        if (text.empty()) continue;
        std::size_t nameEnd = 0;
        while (nameEnd < text.size() && !isBlank(text[nameEnd]))
            ++nameEnd;
        const std::string_view name = text.substr(0, nameEnd);
        const std::string_view directory =
            dree::trimTrailingSeparators(trimBlanks(text.substr(nameEnd)));
        if (directory.empty()) {
            return dree::fail(DREE_BAD_DEFINITION, "%s:%d: library %.*s has no directory", file,
                              number, static_cast<int>(name.size()), name.data());
        }
        if (!dree::isAcceptableName(name)) {
            return dree::fail(DREE_BAD_DEFINITION, "%s:%d: bad library name \"%.*s\"", file, number,
                              static_cast<int>(name.size()), name.data());
        }
        if (directory.find('\0') != std::string_view::npos) {
            return dree::fail(DREE_BAD_DEFINITION, "%s:%d: NUL byte in the directory", file,
                              number);
        }
        std::string resolved = dree::isAbsolute(directory) ? std::string() : folder;
        resolved.append(directory);
        definitions.emplace_back(std::string(name), std::move(resolved));
    }
    if (input.bad() || !input.eof()) {
        const int reason = errno;
        return dree::fail(DREE_CANNOT_READ, "cannot read %s: %s", file,
                          reason != 0 ? std::strerror(reason) : "read error");
    }
    return DREE_OK;
}

}  // namespace

extern "C" int dreeReadDefinitions(const char *file) {
    if (file == nullptr) return dree::fail(DREE_BAD_ARGUMENT, "dreeReadDefinitions: null file");
    try {
        std::ifstream input(file, std::ios::binary);
        if (!input) {
            return dree::fail(DREE_CANNOT_READ, "cannot open %s: %s", file, std::strerror(errno));
        }
        Definitions definitions;
        errno = 0;  // a read error leaves its reason here
        if (const int status = parseDefinitions(input, file, definitions); status != DREE_OK) {
            return status;
        }
        // Applied to a copy and swapped in, so running out of memory half way
        // also leaves the table as it was.
        dree::LibraryTable updated = dree::libraries();
        for (auto &[name, directory] : definitions) {
            updated.insert_or_assign(std::move(name), std::move(directory));
        }
        dree::libraries().swap(updated);
    } catch (const std::bad_alloc &) {
        return dree::fail(DREE_NO_MEMORY, "no memory to read %s", file);
    }
    return DREE_OK;
}
