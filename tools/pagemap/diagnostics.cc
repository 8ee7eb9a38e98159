// Turning library statuses into messages and exit statuses.
#include "diagnostics.h"

#include <cstdio>

#include "dree.h"
#include "trel.h"

void reportError(const std::string &message) {
    std::fprintf(stderr, "pagemap: %s\n", message.c_str());
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
    if (dreeGetPath(0, 0, unit.lib.c_str(), unit.cell.c_str(), unit.view.c_str(), 0, directory,
                    sizeof directory) == DREE_OK) {
        return "";
    }
    return dreeLastError();
}

ExitStatus reportLibraryFailure(int status, const DesignUnit &unit) {
    switch (status) {
        case TREL_BAD_SPEC: {
            const std::string why = whyUnitIsUnknown(unit);
            reportError(libraryLastError() + (why.empty() ? "" : ": " + why));
            return kUnknownUnit;
        }
        case TREL_CANNOT_WRITE:
            reportError(libraryLastError());
            return kCannotWrite;
        default:
            reportError("unexpected status " + std::to_string(status) + " from the library for " +
                        unit.text());
            return kLibraryFailure;
    }
}
