// Option parsing. Options may stand anywhere; a word that is a negative
// number (the page -1) is an operand, never an option, and "--" ends the
// options so that operands may begin with '-'.
#include "command_line.h"

#include <string_view>

#include "design_unit.h"

namespace {

// The value of an option given as "--name VALUE", "--name=VALUE" or, for a
// short option, "-nVALUE"; advances `at` past what it used.
bool optionValue(std::string_view option, int argc, char **argv, int &at, std::string &value,
                 std::string &error) {
    const std::string_view word = argv[at];
    if (word.size() > option.size()) {
        const bool isLong = option.size() > 2;
        const std::string_view rest = word.substr(option.size());
        value = std::string(isLong ? rest.substr(1) : rest);
        return true;
    }
    if (at + 1 >= argc) {
        error = "option " + std::string(option) + " needs a value";
        return false;
    }
    value = argv[++at];
    return true;
}

bool startsOption(std::string_view word, std::string_view option) {
    if (word == option) return true;
    if (word.substr(0, option.size()) != option) return false;
    return option.size() == 2 || word[option.size()] == '=';  // -LVALUE or --name=VALUE
}

// "-" (standard input) and "-5" (a page) are operands.
bool isOptionWord(std::string_view word) {
    if (word.size() < 2 || word[0] != '-') return false;
    return !(word[1] >= '0' && word[1] <= '9');
}

// Takes the option at argv[at]; false with the reason when it is malformed.
bool takeOption(int argc, char **argv, int &at, CommandLine &parsed, std::string &error) {
    const std::string_view word = argv[at];
    std::string value;
    if (word == "-h" || word == "--help") {
        parsed.help = true;
    } else if (word == "--version") {
        parsed.version = true;
    } else if (word == "--strict") {
        parsed.strict = true;
    } else if (word == "--json") {
        parsed.json = true;
    } else if (word == "--print-manual") {
        parsed.manual = true;
    } else if (word == "--print-bash-completion") {
        parsed.completion = true;
    } else if (startsOption(word, "-L")) {
        if (!optionValue("-L", argc, argv, at, value, error)) return false;
        const std::size_t equals = value.find('=');
        if (equals == std::string::npos) {
            error = "-L needs LIB=DIR, not \"" + value + "\"";
            return false;
        }
        parsed.libraries.push_back({false, value.substr(0, equals), value.substr(equals + 1)});
    } else if (startsOption(word, "--libs")) {
        if (!optionValue("--libs", argc, argv, at, value, error)) return false;
        parsed.libraries.push_back({true, {}, value});
    } else if (startsOption(word, "--mode")) {
        if (!optionValue("--mode", argc, argv, at, value, error)) return false;
        const auto mode = parseSignedNumber(value);
        if (!mode) {
            error = "--mode needs an integer, not \"" + value + "\"";
            return false;
        }
        parsed.fileMode = *mode;
    } else {
        error = "unknown option " + std::string(word);
        return false;
    }
    return true;
}

}  // namespace

bool parseCommandLine(int argc, char **argv, CommandLine &parsed, std::string &error) {
    bool optionsEnded = false;
    bool commandSeen = false;
    for (int at = 1; at < argc; ++at) {
        const std::string_view word = argv[at];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && isOptionWord(word)) {
            if (!takeOption(argc, argv, at, parsed, error)) return false;
        } else if (!commandSeen) {
            parsed.command = word;
            commandSeen = true;
        } else {
            parsed.operands.emplace_back(word);
        }
    }
    if (parsed.version && commandSeen) {
        error = "--version takes no command or operands, not \"" + parsed.command + "\"";
        return false;
    }
    if (parsed.help || parsed.version || parsed.manual || parsed.completion) return true;
    if (!commandSeen) {
        error = "no command given";
        return false;
    }
    return true;
}
