/*
 * host.c - a small host of libtrel: the calls a host makes, in the order it
 * makes them, on the example design.
 *
 *     host LIBRARIES_FILE        e.g. host libraries.defs, in a copy of examples/
 *
 * It changes the page map of work.alu:sch, so run it on a copy of the design.
 * Build it against the installed package with examples/CMakeLists.txt, or:
 *
 *     cc host.c -o host $(pkg-config --cflags --libs trel)
 *
 * adding -Wl,-rpath,$(pkg-config --variable=libdir trel) when trel is
 * installed outside the system's library folders.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <dree.h>
#include <trel.h>
#include <trel_release.h>

/* The library's last-error text: written by failures, left alone by successes. */
static const char *lastError(void) {
    char *text = NULL;
    trelGetLastError(&text);
    return text;
}

/* Loads a unit's page map; TREL_CANNOT_READ for a page.map that is damaged
 * or cannot be read. A unit without page.map answers TREL_CANNOT_READ too,
 * with an empty map and no message: the file's absence tells it apart. */
static int load(const char *lib, const char *cell, const char *view) {
    int status = trelloadMapFile(lib, cell, view, 0);
    if (status != TREL_CANNOT_READ) return status;
    char *path = trelMapFilePath(lib, cell, view);
    errno = 0;
    FILE *file = path != NULL ? fopen(path, "rb") : NULL;
    if (file == NULL && errno == ENOENT) status = TREL_OK; /* no pairs saved yet */
    if (file != NULL) fclose(file);
    trelReleaseMapFilePath(path);
    return status;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: host LIBRARIES_FILE\n");
        return 2;
    }

    /* 1. Where the libraries live. In the environment the library-path
     * service knows this; its stand-in libdree reads definitions from a file
     * (or takes them one by one with dreeDefineLibrary). */
    if (dreeReadDefinitions(argv[1]) != DREE_OK) {
        fprintf(stderr, "host: %s\n", dreeLastError());
        return 1;
    }

    /* 2. Set-up, before the first lookup: the context the library hands to
     * the library-path service, and file mode 0. In the initial mode 1 the
     * library reads no pairs from page.map, so every lookup would miss. */
    trelInit(0);
    trelSetFileMode(TREL_FILE_MODE_TEXT);

    /* 3. Loading. The first call that names a unit loads its page.map, but
     * only trelloadMapFile reports a file that is damaged or cannot be read:
     * a lookup goes on with the pairs before the damage, and a later save is
     * refused. So load each unit before its first lookup. */
    if (load("work", "top", "sch") != TREL_OK || load("work", "alu", "sch") != TREL_OK) {
        fprintf(stderr, "host: %s\n", lastError());
        return 1;
    }

    /* 4. Lookups. A page without a pair answers TREL_NO_MAPPING and the page
     * itself. */
    int mapped = 0;
    if (trelGetPageMapping("work", "top", "sch", 2, &mapped) == TREL_OK) {
        printf("work.top:sch maps page 2 to %d\n", mapped);
    }
    if (trelGetPageMapping("work", "top", "sch", 9, &mapped) == TREL_NO_MAPPING) {
        printf("work.top:sch has no pair for page 9 (answered %d)\n", mapped);
    }

    /* 5. An edit lives in memory until it is saved. A save replaces page.map
     * only once the new file is complete: on failure the old file stays, the
     * last-error text names the file and errno holds the system's reason.
     * trelSavePageMaps(0) saves every map edited or first named since its
     * last save and reports any failure. */
    trelSetPageMapping("work", "alu", "sch", 5, 9);
    errno = 0;
    if (trelSavePageMap("work", "alu", "sch") != TREL_OK) {
        const int reason = errno;
        fprintf(stderr, "host: %s: %s\n", lastError(), strerror(reason));
        return 1;
    }
    printf("work.alu:sch now maps page 5 to 9, saved\n");

    /* 6. Relabelling. The answer is copied as strncpy does: when it has as
     * many bytes as the buffer or more, it has no terminating NUL. */
    const char *name = "cpu(work.top:sch)/ALU1@2(work.alu:sch)/R3@5(gates.reg:sch)";
    char relabelled[256];
    if (trelGetMappedCname(name, relabelled, (int)sizeof relabelled) == TREL_OK &&
        relabelled[sizeof relabelled - 1] == '\0') {
        printf("%s\n  -> %s\n", name, relabelled);
    }

    /* 7. A failure's message. A unit the library-path service does not know
     * is TREL_BAD_SPEC; the service's own message says why. */
    if (trelGetPageMapping("nolib", "cell", "view", 1, &mapped) == TREL_BAD_SPEC) {
        printf("%s: %s\n", lastError(), dreeLastError());
    }

    /* 8. The map file path is a text the host owns. libtrel allocates it with
     * C++ new[], so it goes back through delete[], which trel_release.h says
     * for C. */
    char *path = trelMapFilePath("work", "alu", "sch");
    if (path != NULL) {
        printf("work.alu:sch keeps its pairs in %s\n", path);
        trelReleaseMapFilePath(path);
    }

    /* 9. When the design is closed: trelReset forgets every page map, saving
     * nothing, so save first what must be kept. */
    trelReset();
    return 0;
}
