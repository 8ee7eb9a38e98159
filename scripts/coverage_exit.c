/*
 * Preloaded by scripts/coverage: a forked test child that ends with _exit
 * ends through exit() instead, so that the coverage counters it gathered are
 * written (exit runs the handler that writes them; _exit does not). Only
 * calls from outside the C library are redirected: its own internal _exit
 * calls, such as a spawned child's after a failed exec, are not.
 */
#include <stdlib.h>

void _exit(int status) {
    exit(status);
}
