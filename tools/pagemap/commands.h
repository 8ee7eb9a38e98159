// The one table of pagemap's commands: each command's name, what runs it,
// its operands and its help. --help, each command's help, the usage hints and
// the dispatch in main all read it, so a command is added in one place.
#pragma once

#include <cstdint>
#include <string_view>

struct MapAction;  // map_commands.h

struct Command {
    enum class Kind : uint8_t { map, relabel, relabelLast, check, journal };

    std::string_view name;
    Kind kind;
    std::string_view operands;
    std::string_view summary;  // one line in the list of commands
    std::string_view details;  // the rest of the command's own help
    std::string_view more;     // details after those its kind shares
    const MapAction *map;      // map commands: what the command does with the page map

    // Whether the command reads the unit's map file, or edits the page map
    // and saves it: what the help's closing paragraph and --mode turn on.
    bool readsMapFile() const;
    bool edits() const;
};

// The command named `name`, or null.
const Command *findCommand(std::string_view name);

// Every command, in the order --help lists them.
struct CommandList {
    const Command *first;
    const Command *last;
    const Command *begin() const { return first; }
    const Command *end() const { return last; }
};
CommandList allCommands();
