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
 * Where each kind of call is declared, in this order:
 *   status codes, then the file modes;
 *   set-up and resets: trelInit, trelReset (forgets every page map),
 *     trelResetPageMap (empties one), trelSetFileMode;
 *   the map file's path: trelMapFilePath (released by trel_release.h);
 *   loading: trelloadMapFile - what a load reads, reports, waits for and
 *     puts back;
 *   lookups and edits: trelGetPageMapping, trelDeletePageMapping,
 *     trelSetPageMapping, trelGetMapPage, trelGetActivePageMapping,
 *     trelSetActivePageMapping, trelGetHighestPageMapping;
 *   saving: trelSavePageMaps - which page maps are saved; trelSavePageMap -
 *     how a save writes the file, refuses, merges, locks, keeps a journal,
 *     fails, and what a crash leaves;
 *   errors and output: trelGetLastError, trelDumpPageMap, trelGetErrorMessage;
 *   relabelling: trelGetMappedCname, trelGetMapeedCnameLastPathElem.
 *
 * Every function returns a status code (TREL_OK on success) unless noted.
 * Failures that carry a message write it into the last-error text, which
 * trelGetLastError hands out; successes never clear it.
 *
 * Call order: trelInit, then trelSetFileMode(TREL_FILE_MODE_TEXT) before the
 * first lookup, since the initial mode 1 reads no pairs. The first call that
 * names a unit with success registers it: the library asks the library-path
 * service for the unit's directory and loads its map file, and the page map
 * lives until trelReset. Relabelling names the units of the elements'
 * parents, and registers them as a lookup does. Only trelloadMapFile reports
 * what a load found. Any other call (a lookup, an edit, relabelling) that
 * loads a damaged file goes on with the pairs read before the damage, or with
 * none from a file that cannot be read, and says nothing of it; mode-0 saves
 * of that page map are then refused. A host that must know loads each unit
 * with trelloadMapFile before anything else names it (or checks its libraries
 * with `pagemap check`).
 *
 * Edits stay in memory until trelSavePageMap or trelSavePageMaps saves them:
 * no lookup, edit or relabelling writes a file.
 *
 * The library owns every page map and every text it hands out, but for the
 * path that trelMapFilePath returns, which the caller releases.
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
/* A load: the map file does not exist (no message, and the page map is
 * empty), cannot be opened, or in mode 0 cannot be read to its end; or a
 * rewrite of it cut short cannot be put back (see trelloadMapFile). A file
 * that exists but cannot be read in full gets a message naming it (for a
 * damaged file, the line where reading stopped). */
#define TREL_CANNOT_READ 4
/* A save failed or was refused, and the map file keeps its previous pairs:
 * "Failed to open map file %s for write" when it cannot be opened for
 * writing; otherwise a message saying why: a mode-0 save would lose pairs the
 * file holds (it was damaged, not read in mode 0, or unreadable), another
 * process's save held the file's lock for longer than the wait, or the file
 * cannot be rewritten safely. The one exception says so: "... holds the new
 * pairs, but they may not be durable" (see trelSavePageMap). */
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
 * pairs and never empties it: a save in it only creates a missing map file,
 * empty. A page map loaded in another mode holds none of its file's pairs, so
 * a mode-0 save of it is refused until a reload in mode 0 or
 * trelResetPageMap. */
TREL_EXPORT int TREL_CALL trelSetFileMode(int mode);

/* The unit's map file path, "<unit directory>/page.map", as a new char array
 * (C++ new char[]) the caller releases with delete[], or from C with
 * trelReleaseMapFilePath in trel_release.h; free is a mismatch. It is the one
 * text the library hands over: every other one stays the library's. Null when
 * the unit is unknown, a name is null, or the path would not fit 259
 * characters; the last-error text is then left as it was (the library-path
 * service's own error, dreeLastError, says why a unit is unknown). Registers
 * nothing and loads nothing. */
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
 * message and an empty page map, whose file a later save creates; one that
 * cannot be opened (no permission) TREL_CANNOT_READ with the system's
 * reason. Only mode 0 then reads it, so a folder in place of page.map,
 * which POSIX systems open but cannot read, gives TREL_CANNOT_READ with a
 * message in mode 0 and 0 in any other mode (Windows refuses to open it in
 * every mode).
 *
 * A load holds a shared lock on the file while it reads, which only a save
 * rewriting the file in place excludes (see trelSavePageMap), so no load sees
 * a file while its bytes change; a rewrite waiting for that lock holds new
 * loads off. A load waits up to 10 s for such a rewrite, or for a program
 * that holds the file open without sharing it, then gives TREL_CANNOT_READ
 * saying so. Before it reads, a load looks for a rewrite in place cut short
 * (by the file's mark and the journal page.ma~) and puts the file's old
 * content back from the journal, through whichever name of the file it is
 * given; where it cannot (it may not write the file, say), it reads the old
 * pairs from the journal instead. A journal that cannot be read, one whose
 * owner could not have written the file, or a mark the load cannot follow
 * makes it give TREL_CANNOT_READ with a message naming the file and saying
 * how to go on; `pagemap journal UNIT` resolves what no load or save can. A
 * lookup's own load does all of this too, silently. */
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
 * no pairs, and in any mode other than 0). Saves go in the order the units
 * were registered (a failed lookup registers nothing) and on past failures.
 * Returns 0 when every save succeeded, else TREL_CANNOT_WRITE with the last
 * failure's message. */
TREL_EXPORT int TREL_CALL trelSavePageMaps(int all);

/* Saves one registered page map. It looks the unit up without registering it,
 * so a unit no call has named, a null name or a key too long give
 * TREL_NOT_LOADED, with no message.
 *
 * What it writes. In mode 0, one pair a line, "original mapped" as signed
 * decimal integers separated by one space and ended by a line feed, in
 * ascending unsigned order of the original page (so "-2 4" comes after
 * "5 9"); and only when the file would change: a map file that holds these
 * pairs already is left untouched (inode and times). A successful mode-0
 * save always leaves the file and clears the modified flag. In any other mode
 * a save writes no pairs: it only creates a missing file, and leaves the flag
 * set.
 *
 * Refusals. A mode-0 save never drops pairs the file holds. After a load that
 * found the file damaged (until a reload reads it whole, or trelResetPageMap
 * empties the page map on purpose), after a load in another mode, or while
 * the file cannot be read, it is refused with TREL_CANNOT_WRITE, the file
 * left byte for byte, and errno EILSEQ for a damaged file, ENODATA for one
 * whose pairs the page map does not hold.
 *
 * Merges. When another process saved the file since this page map last read
 * or wrote it, the save reads that file and keeps its pairs except for the
 * pages changed here, which take this page map's answer (its pair, or none;
 * after trelResetPageMap every page counts as changed); the page map then
 * holds the merged pairs. So a page map only looked up never reverts another
 * host's save. A changed file that cannot be read to its end is not saved
 * over. A save knows the file changed by its identity, size and times, and
 * compares its content too where this page map read or wrote it within 2 s
 * of the file's times (by the file system's clock); a program that takes no
 * lock and restores a file's times later than that can go unnoticed.
 *
 * Locks. Every mode-0 save, from any process or user, holds a lock on the map
 * file itself (on a unit without one, on the temporary that becomes it) from
 * before it reads the file until the new content is in place, so the saves of
 * a unit take turns and each merges what the one before published. A waiting
 * save claims a turn that the other saves respect, the one that just saved
 * among them, so none waits out a host that saves back to back. POSIX and
 * Windows hosts lock the same bytes, so they exclude each other on a share
 * that passes byte-range locks on. A save waits up to 10 s for another's
 * lock, then fails with TREL_CANNOT_WRITE, saying whether the file is being
 * saved by another process or held open by another program, the file
 * unchanged.
 *
 * Replacing the file. A save writes the new pairs to the map file's temporary
 * page.ma~ beside it, syncs it, gives it the old file's mode, owner, extended
 * attributes and access control list, renames it over page.map and syncs the
 * folder; a symbolic link is followed, and the file it points to replaced.
 * Where a new file would lose something (other hard links, an owner or group,
 * attributes or an ACL it cannot be given; on Windows always, as Windows
 * renames over no file another program holds open), page.map is rewritten in
 * place instead. Its old content is first kept, synced, in page.ma~, the
 * journal (readable by whoever may read the file), and the file is marked as
 * being rewritten (an extended attribute and the Windows system attribute,
 * seen through every name and by hosts of both platforms); once the new
 * content is synced, the journal is emptied (the rewrite is committed) and the
 * mark cleared. A rewrite whose mark cannot be set stops before the file
 * changes; where the file system keeps no marks, a file with other names is
 * refused rather than rewritten. A folder where no new file can be made
 * leaves no room for the journal, and a file another program has mapped
 * cannot be rewritten: both are refused, saying why.
 *
 * Rewrites cut short. Every load and save reads the mark and puts a rewrite
 * cut short back from its journal, through any name of the file, before
 * anything reads it. A journal is applied only when its owner could have
 * written the file (its owner, root, or a user its mode or ACL lets write it;
 * on Windows, where no owner is compared, the folder's permissions decide who
 * may leave one). A journal is never removed unless it was put back, its
 * rewrite is known done, or its user decides so with `pagemap journal`; one
 * that cannot be read, or was made by a user who could not have written the
 * file, makes loads and saves refuse, naming it. On Windows the mark holds no
 * name, so after a rewrite cut short through one hard link the others refuse
 * until the unit is loaded or saved through the name with page.ma~ beside it.
 * Every refusal that no load or save can resolve by itself says so: `pagemap
 * journal UNIT` shows the journal and mark and, once confirmed, puts the
 * journal back or discards both.
 *
 * Failures. TREL_CANNOT_WRITE, with "Failed to open map file %s for write"
 * when the file cannot be opened for writing (a folder in place of page.map
 * is refused in every mode) and a message saying why otherwise; errno tells
 * the system's reason (where no system call failed: EILSEQ or ENODATA, as
 * above). A failed save leaves the file's previous pairs: untouched, or put
 * back from the journal at once, or, where even that failed, by the next load
 * or save before anything reads the file. The one exception says so: "...
 * holds the new pairs, but they may not be durable": the new pairs are in
 * place but the last sync failed (the folder's after a rename, the emptied
 * journal's after a rewrite in place); the page map then holds the file's
 * pairs and stays modified, so a later save writes them again.
 *
 * A save that returns 0 has made the new pairs durable (as far as the system
 * allows: a folder the process may not read cannot be synced). A save killed
 * at any instant, or a power cut, leaves the old pairs or the new ones, never
 * a mix, once the unit is next loaded or saved, and at most the one page.ma~,
 * which the next save removes. */
TREL_EXPORT int TREL_CALL trelSavePageMap(const char *lib, const char *cell, const char *view);

/* Stores the address of the last-error text (NUL-terminated, at most 1023
 * characters: a longer message is cut) into *text when text is not null. The
 * text is the library's own buffer, not to be released; it stays valid until
 * the next failure overwrites it. Returns 0. */
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
 * or when src or out is null or length <= 0 (nothing is written).
 *
 * A name lists instances from the top down, each followed by its unit in
 * parentheses: in "cpu(work.top:sch)/ALU1@2(work.alu:sch)", "ALU1@2" is the
 * instance ALU1 on page 2 of its parent's unit work.top:sch; where that
 * unit's page map holds the pair 2 3, the element becomes "page3_ALU1".
 * Relabelling registers the parents' units and loads their map files as a
 * lookup does (see the top of this file). Relabel original names only: a
 * label made by relabelling ("page3_U1") stands on its mapped page and loses
 * its instance name when relabelled again ("page4"). */
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
