// A missing map file and a damaged one both load with TREL_CANNOT_READ; only
// the damaged one (or one the system will not let us read) leaves a message,
// so the last-error text is emptied first to tell the two apart.
#include "map_file_load.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "diagnostics.h"
#include "trel.h"

namespace {

// The line the library's message names: "... is damaged at line N: ...".
constexpr const char kDamagedAt[] = " is damaged at line ";

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

}  // namespace

MapFileLoad loadMapFile(const DesignUnit &unit) {
    clearLibraryLastError();
    MapFileLoad load;
    load.status = trelloadMapFile(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), 0);
    if (load.status != TREL_CANNOT_READ) return load;
    load.problem = libraryLastError();
    const std::size_t at = load.problem.find(kDamagedAt);
    if (at == std::string::npos) return load;
    const std::size_t number = at + sizeof kDamagedAt - 1;
    std::size_t end = number;
    while (end < load.problem.size() && load.problem[end] >= '0' && load.problem[end] <= '9')
        ++end;
    load.damagedLine =
        std::strtoull(load.problem.substr(number, end - number).c_str(), nullptr, 10);
    const std::unique_ptr<char[]> path(
        trelMapFilePath(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str()));
    if (path) load.lineText = lineStart(path.get(), load.damagedLine);
    if (!load.lineText.empty()) load.problem.insert(end, " (" + literal(load.lineText) + ")");
    load.recovery = "mend line " + std::to_string(load.damagedLine) +
                    ", or start the page map afresh with: pagemap clear " + unit.text();
    return load;
}

std::string lineStart(const std::string &path, uint64_t line, std::size_t limit) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || line == 0) return "";
    uint64_t current = 1;
    int c = 0;
    while (current < line && (c = std::getc(file.get())) != EOF)
        current += c == '\n';
    if (current < line) return "";
    std::string text;
    while ((c = std::getc(file.get())) != EOF && c != '\n') {
        if (text.size() == limit) return text + "...";
        text += static_cast<char>(c);
    }
    return text;
}

std::string literal(const std::string &text) {
    constexpr const char kHex[] = "0123456789abcdef";
    std::string shown = "\"";
    for (const char character : text) {
        const auto c = static_cast<unsigned char>(character);
        if (c == '"' || c == '\\') {
            shown += '\\';
            shown += character;
        } else if (c >= 0x20 && c < 0x7f) {
            shown += character;
        } else {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xf];
        }
    }
    return shown + "\"";
}

std::string danglingLink(const std::string &path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)) || fs::exists(path, error)) return "";
    const fs::path target = fs::read_symlink(path, error);
    if (error) return "";
    return path + " is a link to " + target.string() + ", which does not exist";
}
