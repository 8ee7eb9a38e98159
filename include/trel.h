/*
 * trel.h - page maps of design units and page-label relabelling.
 *
 * A design unit is named by its library, cell and view ("lib.cell:view"). For
 * each unit the library keeps a page map: pairs that send an original page
 * number to a mapped page number, stored in the text file "page.map" in the
 * unit's directory (as told by the library-path service, dreeGetPath). The
 * library also rewrites hierarchical instance names so that their page labels
 * follow those maps.
 *
 * Every function returns a status code (TREL_OK on success) unless noted.
 * Failures that carry a message write it into the last-error text, which
 * trelGetLastError hands out; successes never clear it.
 *
 * The first call that names a unit with success registers it: the library
 * asks the library-path service for the unit's directory and loads its map
 * file, and the page map lives until trelReset. Only trelloadMapFile reports
 * what that load found. Any other call (a lookup, an edit, relabelling) that
 * loads a damaged file goes on with the pairs read before the damage, or with
 * none from a file that cannot be read, and says nothing of it; mode-0 saves
 * of that page map are then refused. A host that must know loads each unit
 * with trelloadMapFile before anything else names it (or checks its libraries
 * with `pagemap check`).
 *
 * The library is not thread-safe: all state is process-wide, so call it from
 * one thread at a time.
 *
 * Two names keep their historical spelling on purpose, and always will:
 * trelloadMapFile (lower-case "l") and trelGetMapeedCnameLastPathElem
 * ("Mapeed"). Hosts link them by these names; they are not typos to fix.
 */
#ifndef TREL_H
#define TREL_H

/* The version of this header and of the library built with it (the build
 * takes its version from here), for tests at compile time, e.g.
 * #if TREL_VERSION_MAJOR == 1 && TREL_VERSION_MINOR >= 1. The major version
 * changes only when the interface below changes incompatibly. */
#define TREL_VERSION_MAJOR 1
#define TREL_VERSION_MINOR 1
#define TREL_VERSION_PATCH 0

#if defined(_WIN32)
#if defined(TREL_BUILDING)
#define TREL_EXPORT __declspec(dllexport)
#else
#define TREL_EXPORT __declspec(dllimport)
#endif
#define TREL_CALL __cdecl
#else
#define TREL_EXPORT __attribute__((visibility("default")))
#define TREL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. The values 1 and 3 are not used. */
#define TREL_OK 0
/* trelloadMapFile without reload: the unit was registered already. */
#define TREL_ALREADY_LOADED 2
/* The map file does not exist, or cannot be read to its end. A file that
 * exists but cannot be read in full gets a message naming it (for a damaged
 * file, the line where reading stopped). */
#define TREL_CANNOT_READ 4
/* The map file cannot be written: "Failed to open map file %s for write";
 * or a mode-0 save would lose pairs the file holds (it was damaged, not read
 * in mode 0, or unreadable), another process's save held the file's lock for
 * longer than the wait, or the file cannot be rewritten safely: a message
 * saying why, the file untouched. The one exception says so: the new pairs
 * are in place but the folder sync failed ("... may not be durable"). */
#define TREL_CANNOT_WRITE 5
/* Unknown unit, null name, or key or path too long:
 * "Wrong lib.cell:view specification (%s.%s:%s)", a null name shown as
 * "(null)". Never from trelSavePageMap, which answers TREL_NOT_LOADED instead. */
#define TREL_BAD_SPEC 6
/* An active-map call with no active page map: "No active page map present". */
#define TREL_NO_ACTIVE_MAP 7
/* trelSavePageMap: the unit has no registered page map (no call has named
 * it, or a name is null, or its key is too long); no message. */
#define TREL_NOT_LOADED 8
/* A hierarchical name cannot be relabelled. */
#define TREL_BAD_CNAME 9
/* Reverse lookup: no pair has that mapped page. */
#define TREL_NO_ORIGINAL_PAGE 10
/* Lookup: no pair has that original page. */
#define TREL_NO_MAPPING 11

/* Map file modes for trelSetFileMode. */
#define TREL_FILE_MODE_TEXT 0 /* pairs are read from and written to page.map */
/* Any other value (the initial mode is 1) opens the map file but transfers no pairs. */

/* Stores the opaque context handed to the library-path service on every
 * directory lookup. Returns 0. */
TREL_EXPORT int TREL_CALL trelInit(int context);

/* Forgets every page map (nothing is saved) and the active one. Saved key
 * texts, the file mode, the context and the last-error text are kept. Returns 0. */
TREL_EXPORT int TREL_CALL trelReset(void);

/* Removes every pair of the unit's page map and marks it modified. The host
 * asked for an empty map, so a later save may replace the damaged or unread
 * map file that the page map last read with it. A file another process saved
 * since is merged as usual (see trelSavePageMap), and one that is damaged by
 * then is not saved over. */
TREL_EXPORT int TREL_CALL trelResetPageMap(const char *lib, const char *cell, const char *view);

/* Sets the file mode for later loads and saves and returns it. Mode 0 reads and
 * writes pairs; any other mode (1 initially) opens the map file, transfers no
 * pairs and never empties it. */
TREL_EXPORT int TREL_CALL trelSetFileMode(int mode);

/* The unit's map file path, "<unit directory>/page.map", as a new char array
 * the caller releases with delete[] (from C: trelReleaseMapFilePath in
 * trel_release.h). Null when the unit is unknown, a name is null, or the path
 * would not fit 259 characters; the last-error text is then left as it was
 * (the library-path service's own error, dreeLastError, says why a unit is
 * unknown). Registers nothing and loads nothing. */
TREL_EXPORT char *TREL_CALL trelMapFilePath(const char *lib, const char *cell, const char *view);

/* Registers the unit's page map (loading its map file) and makes it the active
 * page map. Without reload: TREL_ALREADY_LOADED when it was registered already,
 * otherwise the load status (0 or TREL_CANNOT_READ). With reload: discards the
 * pairs, loads the file again and returns the load status.
 *
 * In mode 0 the file is read as fscanf's "%d" reads numbers, one after the
 * other, whatever white space (or none) separates them: "1-2" is the two
 * numbers 1 and -2, and "1x" is the number 1 followed by "x". Reading stops at
 * the first text that does not begin a number ("x"), at a number beyond 32
 * bits, or at a lone final number; the file is then damaged: TREL_CANNOT_READ,
 * a message naming the line, and the pairs before it. While the file stays as
 * it was, mode-0 saves of the page map are refused, until a reload reads the
 * whole file or trelResetPageMap; once another process has saved the file,
 * a save merges into it as into any changed file (see trelSavePageMap).
 *
 * Every mode opens the file: a missing one gives TREL_CANNOT_READ without a
 * message, one that cannot be opened (no permission) TREL_CANNOT_READ with the
 * system's reason. Only mode 0 then reads it, so a folder in place of page.map,
 * which POSIX systems open but cannot read, gives TREL_CANNOT_READ with a
 * message in mode 0 and 0 in any other mode (Windows refuses to open it in
 * every mode). */
/* The lower-case "l" is the interface's spelling: kept on purpose. */
TREL_EXPORT int TREL_CALL trelloadMapFile(const char *lib, const char *cell, const char *view,
                                          int reload);

/* Looks up the mapped page of an original page. TREL_NO_MAPPING when there is
 * no pair; *mapped then receives the page itself (the identity mapping). The
 * first call naming a unit loads its map file without reporting damage: see
 * the top of this file. */
TREL_EXPORT int TREL_CALL trelGetPageMapping(const char *lib, const char *cell, const char *view,
                                             int page, int *mapped);

/* Removes the pair of an original page. Returns 0 whether or not it existed. */
TREL_EXPORT int TREL_CALL trelDeletePageMapping(const char *lib, const char *cell, const char *view,
                                                int page);

/* Stores page -> mapped, replacing an earlier pair; equal numbers remove the pair. */
TREL_EXPORT int TREL_CALL trelSetPageMapping(const char *lib, const char *cell, const char *view,
                                             int page, int mapped);

/* Reverse lookup: the lowest (unsigned) original page whose mapped page is
 * `mapped`. TREL_NO_ORIGINAL_PAGE when none; *original then receives `mapped`.
 * `original` may be null. */
TREL_EXPORT int TREL_CALL trelGetMapPage(const char *lib, const char *cell, const char *view,
                                         int mapped, int *original);

/* Lookup in the active page map (see trelloadMapFile); TREL_NO_ACTIVE_MAP when
 * there is none. */
TREL_EXPORT int TREL_CALL trelGetActivePageMapping(int page, int *mapped);

/* Store or remove (equal numbers) a pair in the active page map. */
TREL_EXPORT int TREL_CALL trelSetActivePageMapping(int page, int mapped);

/* The highest original page that has a pair, compared unsigned (so -1 is the
 * highest of all); 0 for an empty page map. `highest` may be null. */
TREL_EXPORT int TREL_CALL trelGetHighestPageMapping(const char *lib, const char *cell,
                                                    const char *view, int *highest);

/* Saves every registered page map (all != 0) or only the modified ones. A
 * page map counts as modified after each edit, and from its registration when
 * its unit has no map file or the file could not be read whole; a successful
 * mode-0 save, or the load that registers the unit when it reads the whole
 * file in mode 0, clears the flag (a reload by trelloadMapFile leaves it).
 * So with all == 0 the edited units are saved, and units named since without
 * a map file (relabelling names the units of the parent elements) get one.
 * Each save is trelSavePageMap's and writes only when the file would change:
 * an existing map file that holds the pairs is left untouched (inode and
 * times), while a unit without one gets its map file (empty when the map has
 * no pairs, and in any mode other than 0). Saves go
 * in the order the units were registered (a failed lookup registers nothing)
 * and on past failures. Returns 0 when every save succeeded, else
 * TREL_CANNOT_WRITE with the last failure's message. */
TREL_EXPORT int TREL_CALL trelSavePageMaps(int all);

/* Saves one registered page map. It looks the unit up without registering it,
 * so a unit no call has named, a null name or a key too long give
 * TREL_NOT_LOADED, with no message. TREL_CANNOT_WRITE when the file cannot be
 * written (errno then tells the system's reason; a folder in place of page.map
 * is refused in every mode) or when saving would lose pairs the file holds. In
 * mode 0 the save holds the file's lock against other processes' saves, and
 * the new content replaces page.map only once it is completely written and
 * synced, or, where the file is rewritten in place, once its old content is
 * kept to fall back on; so a failed or killed save leaves the previous pairs.
 * When another process saved the file since this page map last read or wrote
 * it, the save reads that file and keeps its pairs except for the pages
 * changed here (a changed file that cannot be read to its end is not saved
 * over). A successful mode-0 save always leaves the file and clears the
 * modified flag; a save in another mode writes no pairs and leaves the flag
 * set. */
TREL_EXPORT int TREL_CALL trelSavePageMap(const char *lib, const char *cell, const char *view);

/* Stores the address of the last-error text (NUL-terminated, at most 1023
 * characters) into *text when text is not null. The text stays valid until the
 * next failure overwrites it. Returns 0. */
TREL_EXPORT int TREL_CALL trelGetLastError(char **text);

/* Prints every pair on standard output, one line each:
 * "    Original Page : <page> Mapped Page : <mapped>" (numbers unsigned). */
TREL_EXPORT int TREL_CALL trelDumpPageMap(const char *lib, const char *cell, const char *view);

/* Returns 0 and does nothing else. */
TREL_EXPORT int TREL_CALL trelGetErrorMessage(void);

/* Relabels every element of the hierarchical name `src` after its parent's
 * page map and copies the result into `out` with strncpy semantics (`length`
 * bytes, NUL-padded, unterminated when the text has `length` bytes or more).
 * TREL_BAD_CNAME when `src` is not a hierarchical name (the source is copied),
 * or when src or out is null or length <= 0 (nothing is written). */
TREL_EXPORT int TREL_CALL trelGetMappedCname(const char *src, char *out, int length);

/* Relabels the last element of `src` only, with the same output semantics.
 * TREL_BAD_CNAME, with the source copied, when `src` is not a hierarchical
 * name, has no parent element, or the parent's cell or view name cannot be
 * converted; TREL_BAD_CNAME with nothing written when src or out is null,
 * length <= 0, or the parent's library name cannot be converted. A failed
 * page lookup returns its status (TREL_NO_MAPPING, TREL_BAD_SPEC) with the
 * source copied unchanged. */
/* "Mapeed" is the interface's spelling: kept on purpose. */
TREL_EXPORT int TREL_CALL trelGetMapeedCnameLastPathElem(const char *src, char *out, int length);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TREL_H */
