// pagemap: looks at and edits page maps from a shell or a script. Sets up the
// library-path service and the file mode from the options, then hands the
// command to the page-map or the relabel commands.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "command_line.h"
#include "diagnostics.h"
#include "dree.h"
#include "exit_status.h"
#include "map_commands.h"
#include "relabel.h"
#include "trel.h"
#include "usage.h"

namespace {

ExitStatus defineLibraries(const std::vector<LibrarySource> &sources) {
    for (const LibrarySource &source : sources) {
        const int status = source.fromFile
                               ? dreeReadDefinitions(source.path.c_str())
                               : dreeDefineLibrary(source.library.c_str(), source.path.c_str());
        if (status != DREE_OK) {
            reportError(std::string(source.fromFile ? "--libs: " : "-L: ") + dreeLastError());
            return kBadLibraries;
        }
    }
    return kSuccess;
}

ExitStatus run(int argc, char **argv) {
    CommandLine commandLine;
    std::string error;
    if (!parseCommandLine(argc, argv, commandLine, error)) {
        reportError(error);
        printUsageHint(stderr);
        return kUsage;
    }
    if (commandLine.help) {
        printHelp(stdout);
        return kSuccess;
    }
    const bool isMap = isMapCommand(commandLine.command);
    if (!isMap && !isRelabelCommand(commandLine.command)) {
        reportError("unknown command \"" + commandLine.command + "\"");
        printUsageHint(stderr);
        return kUsage;
    }
    if (const ExitStatus status = defineLibraries(commandLine.libraries); status != kSuccess) {
        return status;
    }
    trelSetFileMode(commandLine.fileMode);
    return isMap ? runMapCommand(commandLine.command, commandLine.operands, commandLine.fileMode)
                 : runRelabelCommand(commandLine.command, commandLine.operands);
}

}  // namespace

int main(int argc, char **argv) {
    ExitStatus status = kLibraryFailure;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc &) {
        reportError("out of memory");
    }
    // Output that never arrived is a failure even when the command worked.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        reportError("cannot write standard output");
        if (status == kSuccess) status = kStreamFailed;
    }
    return status;
}
