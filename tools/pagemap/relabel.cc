// Relabelling at volume: input through a large buffer with getline, output
// collected by fwrite in a large buffer and flushed per line only when a
// person is watching (standard output is a terminal).
#include "relabel.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/tool_interface.h"
#include "design_unit.h"
#include "diagnostics.h"
#include "library_definitions.h"
#include "name_syntax.h"
#include "trel.h"
#include "unit_load.h"

namespace {

constexpr std::size_t kStreamBuffer = std::size_t{1} << 20;

using RelabelEntry = int (*)(const char *, char *, int);

// Grows with the longest result seen, so steady streaming allocates nothing.
class Relabeller {
  public:
    explicit Relabeller(bool lastOnly)
        : entry_(lastOnly ? trelGetMapeedCnameLastPathElem : trelGetMappedCname),
          lastOnly_(lastOnly) {}
    bool lastOnly() const { return lastOnly_; }

    // Relabels `name` (NUL-terminated, `length` bytes); on success the result
    // is result() with resultLength() bytes. Returns the library's status.
    int relabel(const char *name, std::size_t length) {
        // Each relabelled element may grow by the digits of a page and a
        // "page" prefix; twice the name plus slack covers any realistic name,
        // and a cut-off result is retried with more room.
        for (std::size_t room = length * 2 + 64;; room *= 2) {
            if (room > INT_MAX) return TREL_BAD_CNAME;
            if (buffer_.size() < room) buffer_.resize(room);
            char *out = buffer_.data();
            out[room - 1] = '\0';
            const int status = entry_(name, out, static_cast<int>(room));
            // The entry points copy with strncpy semantics: the last byte of
            // the room is a NUL exactly when the whole result fitted.
            if (status != TREL_OK || out[room - 1] == '\0') {
                resultLength_ = status == TREL_OK ? std::strlen(out) : 0;
                return status;
            }
        }
    }
    const char *result() const { return buffer_.data(); }
    std::size_t resultLength() const { return resultLength_; }

  private:
    RelabelEntry entry_;
    bool lastOnly_;
    std::vector<char> buffer_;
    std::size_t resultLength_ = 0;
};

// Collects the first failure; every name is still processed.
class Outcome {
  public:
    explicit Outcome(bool strict) : strict_(strict) {}
    // Whether a name with an element under an unknown unit is a failure.
    bool strict() const { return strict_; }
    void fail(ExitStatus status) {
        if (status_ == kSuccess) status_ = status;
        // Said once, after the first report: how to make units known.
        if (status == kUnknownUnit && !hinted_) {
            hinted_ = true;
            printError("a unit is known once its library is defined and its folder exists; " +
                       definitionsRead());
        }
    }
    ExitStatus status() const { return status_; }

  private:
    bool strict_;
    bool hinted_ = false;
    ExitStatus status_ = kSuccess;
};

std::string whereFrom(long line) {
    return line > 0 ? "line " + std::to_string(line) + ": " : std::string();
}

// Loads the page maps that relabelling `name` (NUL-terminated) reads, before
// the relabelling's own lookups would load them quietly, and reports each map
// file that cannot be read to its end, with how to go on, as get does (once a
// run: only the first load of a unit tells). Returns the first of those units that is unknown: an
// element under it keeps its label, and the relabelling still succeeds.
std::optional<DesignUnit> loadParentMaps(const char *name, bool lastOnly, long line,
                                         Outcome &outcome) {
    std::optional<DesignUnit> unknown;
    trel::forEachParentUnit(name, lastOnly, [&](const trel::UnitName &parent) {
        const DesignUnit unit{parent.lib, parent.cell, parent.view};
        const UnitLoad loaded = loadUnit(unit);
        if (loaded.status == TREL_BAD_SPEC && !unknown) unknown = unit;
        if (!loaded.problem.empty()) {
            printError(whereFrom(line) + problemWithRecovery(loaded));
            outcome.fail(kCannotRead);
        }
    });
    return unknown;
}

// Relabels one name and writes its line; `line` is 0 for an operand.
void relabelOne(Relabeller &relabeller, std::string_view name, long line, Outcome &outcome) {
    int status = TREL_BAD_CNAME;
    std::optional<DesignUnit> unknown;
    if (name.find('\0') == std::string_view::npos) {
        unknown = loadParentMaps(name.data(), relabeller.lastOnly(), line, outcome);
        status = relabeller.relabel(name.data(), name.size());
    }
    if (status == TREL_OK) {
        std::fwrite(relabeller.result(), 1, relabeller.resultLength(), stdout);
    } else {
        std::fwrite(name.data(), 1, name.size(), stdout);
    }
    std::putc('\n', stdout);

    // A pair missing from the parent's map leaves the page as it is, as it
    // does for every element but the last in a whole-path relabelling.
    if ((status == TREL_OK || status == TREL_NO_MAPPING) && !outcome.strict()) return;
    const std::string shown(name.substr(0, name.find('\0')));
    if (status == TREL_OK || status == TREL_NO_MAPPING) {
        if (unknown) {
            printError(whereFrom(line) + trel::badSpecMessage(unknown->names()) + " in \"" + shown +
                       "\"");
            outcome.fail(kUnknownUnit);
        }
        return;
    }
    if (status == TREL_BAD_CNAME) {
        // A NUL byte ends the name the library sees.
        std::string why = shown.size() != name.size()
                              ? "a NUL byte at character " + std::to_string(shown.size() + 1)
                              : whyNotAName(shown);
        if (why.empty()) why = "the library does not take it for a hierarchical name";
        printError(whereFrom(line) + "cannot relabel \"" + shown + "\": " + why);
        outcome.fail(kBadName);
    } else if (status == TREL_BAD_SPEC) {
        printError(whereFrom(line) + libraryLastError() + " in \"" + shown + "\"");
        outcome.fail(kUnknownUnit);
    } else {
        printError(whereFrom(line) + "unexpected status " + std::to_string(status) +
                   " from the library for \"" + shown + "\"");
        outcome.fail(kLibraryFailure);
    }
}

void relabelStandardInput(Relabeller &relabeller, Outcome &outcome) {
    std::setvbuf(stdin, nullptr, _IOFBF, kStreamBuffer);
    char *line = nullptr;
    std::size_t capacity = 0;
    long number = 0;
    ssize_t got = 0;
    while ((got = getline(&line, &capacity, stdin)) >= 0) {
        ++number;
        std::size_t length = static_cast<std::size_t>(got);
        if (length > 0 && line[length - 1] == '\n') --length;
        if (length > 0 && line[length - 1] == '\r') --length;
        line[length] = '\0';
        if (length == 0) {  // blank lines pass through, keeping the alignment
            std::putc('\n', stdout);
            continue;
        }
        relabelOne(relabeller, std::string_view(line, length), number, outcome);
    }
    const int reason = errno;  // of the getline that ended the loop
    std::free(line);
    if (std::ferror(stdin)) {
        printError("cannot read standard input: " + std::string(std::strerror(reason)));
        outcome.fail(kStreamFailed);
    }
}

}  // namespace

ExitStatus runRelabelCommand(bool lastOnly, const std::vector<std::string> &operands, bool strict) {
    const bool fromInput = operands.empty() || (operands.size() == 1 && operands[0] == "-");
    for (const std::string &operand : operands) {
        if (operand == "-" && !fromInput) {
            printError("\"-\" (standard input) must be the only name");
            return kUsage;
        }
    }
    // Set before the first write: a terminal sees each answer as it comes,
    // anything else gets large writes.
    if (isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    } else {
        std::setvbuf(stdout, nullptr, _IOFBF, kStreamBuffer);
    }
    Relabeller relabeller(lastOnly);
    Outcome outcome(strict);
    if (fromInput) {
        relabelStandardInput(relabeller, outcome);
    } else {
        for (const std::string &operand : operands)
            relabelOne(relabeller, operand, 0, outcome);
    }
    return outcome.status();
}
