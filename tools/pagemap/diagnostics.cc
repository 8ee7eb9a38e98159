// Turning library statuses into messages and exit statuses.
#include "diagnostics.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "api/tool_interface.h"
#include "dree.h"
#include "library_definitions.h"
#include "trel.h"
#include "unit_load.h"

void printError(const std::string &message) {
    std::fprintf(stderr, "pagemap: %s\n", message.c_str());
}

void reportWarning(const std::string &message) {
    std::fprintf(stderr, "pagemap: warning: %s\n", message.c_str());
}

std::string libraryLastError() {
    char *text = nullptr;
    trelGetLastError(&text);
    return text != nullptr ? text : "";
}

std::string whyUnitIsUnknown(const DesignUnit &unit) {
    // Asked again rather than read from the service's last error, which may
    // belong to an older lookup when the library refused the unit for another
    // reason (a path too long for its buffers, say).
    char directory[260];
    const int status = dreeGetPath(0, 0, unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), 0,
                                   directory, sizeof directory);
    if (status == DREE_OK) return "";
    std::string why = dreeLastError();
    if (status == DREE_UNKNOWN_LIBRARY) why += " (" + definitionsRead() + ")";
    return why;
}

ExitStatus reportLibraryFailure(int status, const DesignUnit &unit, int systemError) {
    switch (status) {
        case TREL_BAD_SPEC: {
            // A load through the registry writes no last-error text.
            const std::string why = whyUnitIsUnknown(unit);
            printError(trel::badSpecMessage(unit.names()) + (why.empty() ? "" : ": " + why));
            return kUnknownUnit;
        }
        case TREL_CANNOT_WRITE: {
            // The library's message names the file; the system's reason is
            // what the user can act on (permissions, a full disk, a size
            // limit), and a link to a missing file explains a "No such file"
            // in a folder that exists.
            const std::unique_ptr<char[]> path(
                trelMapFilePath(unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str()));
            const std::string link = path ? danglingLink(path.get()) : "";
            printError(libraryLastError() +
                       (systemError != 0 ? ": " + std::string(std::strerror(systemError)) : "") +
                       (link.empty() ? "" : " (" + link + ")"));
            return kCannotWrite;
        }
        default:
            printError("unexpected status " + std::to_string(status) + " from the library for " +
                       unit.text());
            return kLibraryFailure;
    }
}
