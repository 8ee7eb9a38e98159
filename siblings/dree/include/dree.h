/*
 * dree.h - the library-path service: where the design units of each library live.
 *
 * A library is a named directory; a design unit lib.cell:view lives in the
 * directory <library directory>/<cell>/<view>. Libraries are defined one by one
 * (dreeDefineLibrary) or from a definitions file (dreeReadDefinitions), and
 * dreeGetPath answers a unit's directory once that directory exists.
 *
 * Paths are separated by '/' and, on Windows, also by '\'; there a directory
 * that starts with a drive letter (C:\designs, C:/designs) or is a UNC path
 * (\\server\share) is absolute, as one that starts with a separator is
 * everywhere. A unit's directory joins its parts with one '/'.
 *
 * Names of libraries, cells and views are refused when they are empty, "." or
 * "..", or contain a path separator ('/' or '\'), so a unit's directory always
 * lies inside its library's directory.
 *
 * Every function returns DREE_OK (0) on success or one of the non-zero codes
 * below; a failure also records a message that dreeLastError hands out. Null
 * arguments are refused, never followed. The state is process-wide and not
 * locked: call from one thread at a time.
 */
#ifndef DREE_H
#define DREE_H

#if defined(_WIN32)
#if defined(DREE_BUILDING)
#define DREE_EXPORT __declspec(dllexport)
#else
#define DREE_EXPORT __declspec(dllimport)
#endif
#define DREE_CALL __cdecl
#else
#define DREE_EXPORT __attribute__((visibility("default")))
#define DREE_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define DREE_OK 0
#define DREE_BAD_ARGUMENT 1    /* a null pointer, or a buffer size below 1 */
#define DREE_BAD_NAME 2        /* empty, ".", "..", or holding a path separator */
#define DREE_UNKNOWN_LIBRARY 3 /* no library of that name is defined */
#define DREE_NO_DIRECTORY 4    /* the unit's directory does not exist */
#define DREE_TOO_LONG 5        /* the directory does not fit the caller's buffer */
#define DREE_CANNOT_READ 6     /* the definitions file cannot be opened or read */
#define DREE_BAD_DEFINITION 7  /* a line of the definitions file is malformed */
#define DREE_NO_MEMORY 8       /* the table of libraries could not grow */

/* Writes the directory of the unit lib.cell:view, "<library dir>/<cell>/<view>",
 * NUL-terminated into dir, which holds size bytes. Returns DREE_OK only when the
 * library is defined, every name is acceptable, the directory exists and the
 * text with its NUL fits size bytes; on any failure dir is left untouched.
 * context, zero1 and zero2 are accepted for the caller's convenience and not used. */
DREE_EXPORT int DREE_CALL dreeGetPath(int context, int zero1, const char *lib, const char *cell,
                                      const char *view, int zero2, char *dir, int size);

/* Defines library lib as the directory dir, replacing an earlier definition of
 * the same name. dir must not be empty; trailing separators are dropped. A
 * relative dir is kept relative (to the working directory of later lookups).
 * The directory need not exist yet: lookups check units when they are asked. */
DREE_EXPORT int DREE_CALL dreeDefineLibrary(const char *lib, const char *dir);

/* Reads library definitions from a text file: one library a line, its name,
 * white space, then its directory (the rest of the line, trailing white space
 * dropped). A '#' at the start of a line or after white space begins a comment
 * that runs to the end of the line; blank lines are skipped. A relative
 * directory is taken relative to the folder that holds the file, whichever
 * separators name it, and is resolved when the file is read: a file named by
 * a relative path is found from the working directory of that moment, so
 * changing the working directory afterwards moves none of its libraries. The
 * file is taken whole or not at all: when any line is malformed nothing is
 * defined and the message names the file and the line number; a file that
 * cannot be opened or read gets the system's reason in the message. */
DREE_EXPORT int DREE_CALL dreeReadDefinitions(const char *file);

/* Calls visit(lib, dir, data) once for each defined library, in ascending
 * order of name, with the directory as stored (trailing separators dropped;
 * relative only when defined relative by dreeDefineLibrary). visit must not
 * define or forget libraries. DREE_BAD_ARGUMENT when visit is null. */
typedef void(DREE_CALL *dreeLibraryVisitor)(const char *lib, const char *dir, void *data);
DREE_EXPORT int DREE_CALL dreeForEachLibrary(dreeLibraryVisitor visit, void *data);

/* Forgets every library definition. */
DREE_EXPORT void DREE_CALL dreeClearLibraries(void);

/* The message of the latest failure ("" before any), valid until the next
 * failure replaces it. Successes leave it as it was. */
DREE_EXPORT const char *DREE_CALL dreeLastError(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* DREE_H */
