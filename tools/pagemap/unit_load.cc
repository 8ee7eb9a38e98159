// The registry loads a unit's map file when it first registers the unit, and
// says what it found only then; the tool loads each unit once per run, so the
// problem of a damaged or unreadable file is reported once.
#include "unit_load.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "api/tool_interface.h"
#include "trel.h"

namespace {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

}  // namespace

UnitLoad loadUnit(const DesignUnit &unit) {
    UnitLoad load;
    const trel::UnitRegistration found = trel::registerUnit(unit.names());
    load.status = found.status;
    load.problem = found.problem;
    switch (found.file) {
        case trel::UnitRegistration::File::unreadable:
            load.reason = std::strerror(found.systemError);
            break;
        case trel::UnitRegistration::File::damaged: {
            load.damagedLine = found.damagedLine;
            const std::string line = "line " + std::to_string(load.damagedLine);
            load.lineText = lineStart(found.path, load.damagedLine);
            if (!load.lineText.empty())
                load.problem += "; " + line + " reads " + literal(load.lineText);
            load.recovery = "mend " + line + ", or start the page map afresh with: pagemap clear " +
                            unit.text();
            break;
        }
        case trel::UnitRegistration::File::whole:
            break;
    }
    return load;
}

std::string problemWithRecovery(const UnitLoad &loaded, const std::string &outcome) {
    return loaded.problem + outcome + (loaded.recovery.empty() ? "" : " (" + loaded.recovery + ")");
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
