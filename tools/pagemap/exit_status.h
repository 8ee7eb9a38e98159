// The exit statuses of pagemap: one per kind of failure, so a script can tell
// a missing pair from an unknown unit from a failed save. The help text and
// the README print the same table.
#pragma once

enum ExitStatus : int {
    kSuccess = 0,
    kNoSuchPair = 1,      // get / reverse: no pair has that page
    kOnlyLeftovers = 1,   // check: leftover temporaries or dangling links, nothing damaged
    kNeedsResolving = 1,  // journal: a journal or mark is there, or nothing was done
    kUsage = 2,           // bad command line; usage printed
    kUnknownUnit = 3,     // the library-path service knows no directory for the unit
    kBadLibraries = 4,    // a -L or --libs definition was refused
    kCannotWrite = 5,     // the map file could not be saved: its previous pairs stay (see usage)
    kCannotRead = 6,      // the map file is unreadable or not a list of pairs; nothing changed
    kBadName = 7,         // a name could not be relabelled
    kStreamFailed = 8,    // reading standard input or writing standard output failed
    kLibraryFailure = 9,  // an unexpected library status, or memory ran out
};
