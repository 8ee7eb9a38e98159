// pagemap: looks at and edits page maps from a shell or a script. Sets up the
// library-path service and the file mode from the options, then hands the
// command to the page-map, relabel or check commands.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "check.h"
#include "command_line.h"
#include "commands.h"
#include "diagnostics.h"
#include "exit_status.h"
#include "journal_command.h"
#include "library_definitions.h"
#include "map_commands.h"
#include "relabel.h"
#include "trel.h"
#include "usage.h"
#include "version.h"

namespace {

ExitStatus usageError(const std::string &message, const std::string &command = "") {
    printError(message);
    printCommandUsage(command, stderr);
    return kUsage;
}

ExitStatus run(int argc, char **argv) {
    CommandLine commandLine;
    std::string error;
    if (!parseCommandLine(argc, argv, commandLine, error)) return usageError(error);
    if (commandLine.version) {
        printVersion(stdout);
        return kSuccess;
    }
    if (commandLine.manual || commandLine.completion) {
        (commandLine.manual ? printManual : printBashCompletion)(stdout);
        return kSuccess;
    }
    if (commandLine.help) {
        if (commandLine.command.empty()) {
            printHelp(stdout);
            return kSuccess;
        }
        if (printCommandHelp(commandLine.command, stdout)) return kSuccess;
        return usageError("unknown command \"" + commandLine.command + "\"");
    }
    const Command *command = findCommand(commandLine.command);
    if (command == nullptr) return usageError("unknown command \"" + commandLine.command + "\"");
    const bool isRelabel =
        command->kind == Command::Kind::relabel || command->kind == Command::Kind::relabelLast;
    if (commandLine.strict && !isRelabel) {
        return usageError("--strict applies to relabel and relabel-last only", commandLine.command);
    }
    if (commandLine.json && command->kind != Command::Kind::check) {
        return usageError("--json applies to check only", commandLine.command);
    }
    // In any other mode the map file keeps no pairs: an edit would be lost
    // the moment it was made, so it is refused before anything is read.
    if (commandLine.fileMode != TREL_FILE_MODE_TEXT && command->edits()) {
        return usageError("--mode " + std::to_string(commandLine.fileMode) +
                              " keeps no pairs in the map file, so " + commandLine.command +
                              " would not be kept; edits need --mode 0",
                          commandLine.command);
    }
    if (const ExitStatus status = defineLibraries(commandLine.libraries); status != kSuccess) {
        return status;
    }
    trelSetFileMode(commandLine.fileMode);
    switch (command->kind) {
        case Command::Kind::map:
            return runMapCommand(*command, commandLine.operands, commandLine.fileMode);
        case Command::Kind::relabel:
        case Command::Kind::relabelLast:
            return runRelabelCommand(command->kind == Command::Kind::relabelLast,
                                     commandLine.operands, commandLine.strict);
        case Command::Kind::journal:
            return runJournalCommand(commandLine.operands);
        case Command::Kind::check:
            break;
    }
    return runCheckCommand(commandLine.operands, commandLine.json);
}

}  // namespace

int main(int argc, char **argv) {
    // A save that reaches the file-size limit then fails with EFBIG, which the
    // library reports and survives with the old file in place, instead of the
    // signal ending the tool in the middle of it. Windows has neither.
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    ExitStatus status = kLibraryFailure;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc &) {
        printError("out of memory");
    }
    // Output that never arrived is a failure even when the command worked.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int reason = errno;
        printError(std::string("cannot write standard output") +
                   (reason != 0 ? ": " + std::string(std::strerror(reason)) : ""));
        if (status == kSuccess) status = kStreamFailed;
    }
    return status;
}
