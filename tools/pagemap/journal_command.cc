// The journal command: the library's report of a unit's journal and mark, and
// its two ways out, each asked for and confirmed.
#include "journal_command.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "api/tool_interface.h"
#include "design_unit.h"
#include "diagnostics.h"
#include "trel.h"
#include "unit_load.h"

namespace {

void printReport(const trel::RewriteReport &report) {
    if (report.fileExists) {
        std::printf("map file: %s (inode %llu, names: %u)\n", report.mapFile.c_str(),
                    static_cast<unsigned long long>(report.inode), report.links);
    } else {
        std::printf("map file: %s (none)\n", report.mapFile.c_str());
    }
    if (!report.marked) {
        std::printf("mark: none\n");
    } else if (report.mark.empty()) {
        std::printf("mark: without a name (the rewrite's journal lies beside one of its names)\n");
    } else {
        std::printf("mark: %s\n", report.mark.c_str());
    }
    if (!report.journalExists) {
        std::printf("journal: %s: none\n", report.journalFile.c_str());
    } else if (report.journalComplete) {
        std::printf("journal: %s: complete, keeps %llu bytes of inode %llu, made by user %u\n",
                    report.journalFile.c_str(), static_cast<unsigned long long>(report.oldSize),
                    static_cast<unsigned long long>(report.journalNames), report.journalOwner);
    } else {
        std::printf("journal: %s: no complete journal (a leftover)\n", report.journalFile.c_str());
    }
    std::printf("state: %s\n",
                report.verdict.empty() ? "loads and saves read the file" : report.verdict.c_str());
}

bool confirmed(const std::string &question) {
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "yes";
}

}  // namespace

ExitStatus runJournalCommand(const std::vector<std::string> &operands) {
    const std::optional<DesignUnit> unit =
        operands.empty() ? std::nullopt : parseDesignUnit(operands[0]);
    const std::string action = operands.size() > 1 ? operands[1] : "";
    if (!unit || operands.size() > 2 ||
        !(action.empty() || action == "put-back" || action == "discard")) {
        printError("journal takes UNIT and, to resolve it, put-back or discard");
        return kUsage;
    }
    const std::unique_ptr<char[]> path(
        trelMapFilePath(unit->lib.c_str(), unit->cell.c_str(), unit->view.c_str()));
    if (!path) {
        const std::string why = whyUnitIsUnknown(*unit);
        printError("no map file path for " + unit->text() + (why.empty() ? "" : ": " + why));
        return kUnknownUnit;
    }
    const trel::RewriteReport report = trel::reportRewrite(path.get());
    printReport(report);
    if (action.empty()) {
        const bool resolved = !report.marked && !report.journalComplete && report.verdict.empty();
        return resolved ? kSuccess : kNeedsResolving;
    }
    const bool putBack = action == "put-back";
    const std::string question =
        putBack ? "Write the journal's old content into " + report.mapFile +
                      ", then remove the journal and the mark?"
                : "Remove the journal " + report.journalFile + " and the mark of " +
                      report.mapFile + ", leaving the file as it is?";
    if (!confirmed(question)) {
        printError("nothing done");
        return kNeedsResolving;
    }
    const trel::FileError error =
        putBack ? trel::putJournalBack(path.get()) : trel::discardJournal(path.get());
    if (error.failed()) {
        printError(error.message);
        return kCannotWrite;
    }
    std::printf("%s\n", putBack ? "put back" : "discarded");
    return kSuccess;
}
