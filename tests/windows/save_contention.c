/*
 * Saves of one unit by several Windows processes at once, and the cases where
 * a save must refuse. The program is its own helper: run without arguments it
 * makes a design folder, starts copies of itself as savers, and checks what
 * they leave; run as "save N FOLDER" it sets its own pages of work.alu:sch and
 * saves after each, reloading now and then. Saves that wait for another
 * program until the wait runs out are tested over the test clock, in
 * tests/api/between_calls_test.cc.
 *
 * Prints each failed check and "N passed, N failed".
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "dree.h"
#include "test_program.h"
#include "trel.h"

enum { kSavers = 3, kPages = 40, kShared = 5 };

static const char *lastError(void) {
    char *text = NULL;
    trelGetLastError(&text);
    return text;
}

static void pathOf(char *path, const char *folder, const char *name) {
    snprintf(path, MAX_PATH, "%s\\work\\%s", folder, name);
}

/* The number of names in a folder, "." and ".." aside. */
static int namesIn(const char *folder) {
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    int count = 0;
    snprintf(pattern, sizeof pattern, "%s\\*", folder);
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

static void defineLibrary(const char *folder) {
    char work[MAX_PATH];
    snprintf(work, sizeof work, "%s\\work", folder);
    dreeDefineLibrary("work", work);
    trelSetFileMode(0);
}

/* A saver: pages N*100+1.. of its own, and the shared pages 1..kShared. */
static int saver(int n, const char *folder) {
    defineLibrary(folder);
    for (int i = 1; i <= kPages; ++i) {
        trelSetPageMapping("work", "alu", "sch", n * 100 + i, -i);
        if (i <= kShared) trelSetPageMapping("work", "alu", "sch", i, -(n * 100 + i));
        if (trelSavePageMap("work", "alu", "sch") != TREL_OK) {
            printf("saver %d: save %d failed: %s (%s)\n", n, i, lastError(), strerror(errno));
            return 1;
        }
        if (i % 4 == 0) {
            /* A whole version holds every page this saver saved so far. */
            if (trelloadMapFile("work", "alu", "sch", 1) != TREL_OK) {
                printf("saver %d: load failed: %s\n", n, lastError());
                return 2;
            }
            for (int j = 1; j <= i; ++j) {
                int mapped = 0;
                if (trelGetPageMapping("work", "alu", "sch", n * 100 + j, &mapped) != TREL_OK ||
                    mapped != -j) {
                    printf("saver %d: page %d lost after save %d\n", n, n * 100 + j, i);
                    return 3;
                }
            }
        }
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 4 && strcmp(argv[1], "save") == 0) return saver(atoi(argv[2]), argv[3]);

    char temp[MAX_PATH];
    char folder[MAX_PATH];
    char unit[MAX_PATH];
    char path[MAX_PATH];
    char link[MAX_PATH];
    char arguments[2 * MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    snprintf(folder, sizeof folder, "%strel-contention-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(folder, NULL);
    pathOf(path, folder, "");
    CreateDirectoryA(path, NULL);
    pathOf(path, folder, "alu");
    CreateDirectoryA(path, NULL);
    pathOf(unit, folder, "alu\\sch");
    CreateDirectoryA(unit, NULL);
    pathOf(path, folder, "alu\\sch\\page.map");
    defineLibrary(folder);

    /* Three savers side by side, and a second name for the file, so that
     * every name must see every save. */
    FILE *seed = fopen(path, "wb");
    fputs("9999 1\n", seed);
    fclose(seed);
    pathOf(link, folder, "alu\\other.map");
    check(CreateHardLinkA(link, path, NULL) != 0, "a second name for page.map");
    ULONGLONG started = GetTickCount64();
    HANDLE savers[kSavers];
    for (int n = 0; n < kSavers; ++n) {
        snprintf(arguments, sizeof arguments, "save %d \"%s\"", n + 1, folder);
        savers[n] = startSelf(arguments);
        check(savers[n] != NULL, "a saver starts");
    }
    int allSaved = 1;
    for (int n = 0; n < kSavers; ++n)
        if (savers[n] != NULL) allSaved = finish(savers[n]) == 0 && allSaved;
    check(allSaved, "every save and load of every saver succeeded");
    double seconds = (double)(GetTickCount64() - started) / 1000.0;
    int lost = 0;
    trelloadMapFile("work", "alu", "sch", 1);
    for (int n = 1; n <= kSavers; ++n) {
        for (int i = 1; i <= kPages; ++i) {
            int mapped = 0;
            if (trelGetPageMapping("work", "alu", "sch", n * 100 + i, &mapped) != TREL_OK ||
                mapped != -i)
                ++lost;
        }
    }
    for (int i = 1; i <= kShared; ++i) {
        int mapped = 0;
        trelGetPageMapping("work", "alu", "sch", i, &mapped);
        check(mapped == -(100 + i) || mapped == -(200 + i) || mapped == -(300 + i),
              "a shared page holds what one saver set");
    }
    printf("%d savers, %d saves in %.1f s, %d pages lost\n", kSavers, kSavers * kPages, seconds,
           lost);
    check(lost == 0, "no page lost");
    check(namesIn(unit) == 1, "the folder holds page.map alone");
    {
        FILE *a = fopen(path, "rb");
        FILE *b = fopen(link, "rb");
        char one[64] = "", two[64] = "";
        fread(one, 1, sizeof one - 1, a);
        fread(two, 1, sizeof two - 1, b);
        fclose(a);
        fclose(b);
        check(strcmp(one, two) == 0, "both names of the file see the same pairs");
    }

    /* A read-only file is refused with the reason; a folder in place of
     * page.map is refused as what it is. */
    SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY);
    trelSetPageMapping("work", "alu", "sch", 7778, 2);
    HANDLE writer = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (writer == INVALID_HANDLE_VALUE) {
        check(trelSavePageMap("work", "alu", "sch") == TREL_CANNOT_WRITE && errno == EACCES,
              "a read-only page.map is refused with EACCES");
    } else {
        /* Wine run by root opens it for writing all the same. */
        CloseHandle(writer);
        printf("read-only page.map: not checked, the system lets this process write it\n");
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(link);
    DeleteFileA(path);
    CreateDirectoryA(path, NULL);
    check(trelSavePageMap("work", "alu", "sch") == TREL_CANNOT_WRITE && errno == EISDIR,
          "a folder named page.map is refused with EISDIR");
    RemoveDirectoryA(path);

    pathOf(path, folder, "alu\\sch");
    RemoveDirectoryA(path);
    pathOf(path, folder, "alu");
    RemoveDirectoryA(path);
    pathOf(path, folder, "");
    RemoveDirectoryA(path);
    RemoveDirectoryA(folder);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
