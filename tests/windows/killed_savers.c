/*
 * Savers through both names of a hard-linked map file, ended at random
 * moments (TerminateProcess) and started again, with loaders through both
 * names beside them: real Windows processes, as hosts sharing a design
 * library are. Each saver keeps one page of its own and sets it to a higher
 * value before every save. No save that returned 0 is lost: every load
 * holds, for each saver, at least the value of its last save acknowledged
 * before the load began, and so does the file at the end through either
 * name. Marks hold no name on Windows, so a rewrite cut short through one
 * name makes the other name refuse, naming the name that puts it back,
 * until a load or save through that one does: such refusals are counted,
 * not failures. A second run starts with a file of one name and links the
 * second halfway, kills going on: a rewrite cut short before the link is
 * found through the new name by its mark.
 *
 * The program is its own helper: "save I MEMORY FOLDER" and "load J MEMORY
 * FOLDER" run one saver or loader over the board in the named shared memory.
 * Prints each failed check and "N passed, N failed".
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "dree.h"
#include "test_program.h"
#include "trel.h"

enum { kSavers = 4, kLoaders = 2, kKills = 40, kFirstPage = 100, kFiller = 20000 };

/* What the processes tell each other and the parent. */
typedef struct {
    volatile LONG stop;
    volatile LONG next[kSavers];   /* the value saver i sets next */
    volatile LONG acked[kSavers];  /* the value of its last save that returned 0 */
    volatile LONG saving[kSavers]; /* saver i is in a save */
    volatile LONG saves, failedSaves, refusedSaves, loads, failedLoads, refusedLoads, lost;
    volatile LONG linked; /* the second name is there */
    char problem[256];
} Board;

static const char *lastError(void) {
    char *text = NULL;
    trelGetLastError(&text);
    return text != NULL ? text : "";
}

static const char *cellOf(int process) {
    return process % 2 == 0 ? "alu" : "lnk";
}

/* The name a process goes through: the first alone until the second is there. */
static const char *nameFor(const Board *board, int process) {
    return board->linked ? cellOf(process) : "alu";
}

/* Whether the last error is the refusal of a name that must wait for the
 * name whose journal puts the file back. */
static int waitsForOtherName(void) {
    return strstr(lastError(), "through the name with") != NULL;
}

static void tell(Board *board, const char *what) {
    if (board->problem[0] == '\0')
        snprintf(board->problem, sizeof board->problem, "%s: %s", what, lastError());
}

static void useLibrary(const char *folder) {
    char work[MAX_PATH];
    snprintf(work, sizeof work, "%s\\work", folder);
    dreeDefineLibrary("work", work);
    trelSetFileMode(TREL_FILE_MODE_TEXT);
}

static int saver(Board *board, int i) {
    while (!board->stop) {
        const char *cell = nameFor(board, i);
        const LONG value = InterlockedExchangeAdd(&board->next[i], 1);
        trelSetPageMapping("work", cell, "sch", kFirstPage + i, (int)value);
        board->saving[i] = 1;
        const int status = trelSavePageMap("work", cell, "sch");
        board->saving[i] = 0;
        if (status != TREL_OK) {
            if (waitsForOtherName()) {
                InterlockedIncrement(&board->refusedSaves);
                Sleep(1);
            } else {
                InterlockedIncrement(&board->failedSaves);
                tell(board, "a save failed");
            }
            continue;
        }
        /* Values only grow, so the last acknowledged is the largest. */
        for (LONG acked = board->acked[i]; acked < value; acked = board->acked[i])
            if (InterlockedCompareExchange(&board->acked[i], value, acked) == acked) break;
        InterlockedIncrement(&board->saves);
    }
    return 0;
}

/* Loaders read through the second name: after a rewrite through the first
 * is cut short, the second name's processes are then the likelier to meet
 * the torn file before the first name's put it back. */
static int loader(Board *board) {
    while (!board->stop) {
        const char *cell = nameFor(board, 1);
        LONG before[kSavers];
        for (int i = 0; i < kSavers; ++i)
            before[i] = board->acked[i];
        trelReset();
        if (trelloadMapFile("work", cell, "sch", 0) != TREL_OK) {
            if (waitsForOtherName()) {
                InterlockedIncrement(&board->refusedLoads);
                Sleep(1);
            } else {
                InterlockedIncrement(&board->failedLoads);
                tell(board, "a load failed");
            }
            continue;
        }
        for (int i = 0; i < kSavers; ++i) {
            int value = 0;
            trelGetPageMapping("work", cell, "sch", kFirstPage + i, &value);
            if (before[i] != 0 && value < before[i]) {
                InterlockedIncrement(&board->lost);
                tell(board, "a load found a page older than a save that returned 0");
            }
        }
        InterlockedIncrement(&board->loads);
    }
    return 0;
}

static HANDLE start(const char *role, int n, const char *memory, const char *folder) {
    char arguments[2 * MAX_PATH];
    snprintf(arguments, sizeof arguments, "%s %d %s \"%s\"", role, n, memory, folder);
    return startSelf(arguments);
}

static Board *boardIn(HANDLE mapping) {
    return mapping != NULL
               ? (Board *)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Board))
               : NULL;
}

/* One run: savers and loaders, kills, and the checks at the end. */
static void run(int linkHalfway) {
    char temp[MAX_PATH], folder[MAX_PATH], memory[64], path[MAX_PATH], link[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    snprintf(folder, sizeof folder, "%strel-killed-%lu-%d", temp, GetCurrentProcessId(),
             linkHalfway);
    snprintf(memory, sizeof memory, "Local\\trel-killed-%lu-%d", GetCurrentProcessId(),
             linkHalfway);
    const char *const folders[] = {
        "", "\\work", "\\work\\alu", "\\work\\alu\\sch", "\\work\\lnk", "\\work\\lnk\\sch"};
    for (int f = 0; f < 6; ++f) {
        snprintf(path, sizeof path, "%s%s", folder, folders[f]);
        CreateDirectoryA(path, NULL);
    }
    snprintf(path, sizeof path, "%s\\work\\alu\\sch\\page.map", folder);
    snprintf(link, sizeof link, "%s\\work\\lnk\\sch\\page.map", folder);
    /* Pairs no one changes, so that a rewrite takes a while. */
    FILE *seed = fopen(path, "wb");
    for (int page = 0; page < kFiller; ++page)
        fprintf(seed, "%d %d\n", 10000 + page, -page);
    fclose(seed);
    if (!linkHalfway) check(CreateHardLinkA(link, path, NULL) != 0, "a second name for page.map");
    useLibrary(folder);

    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(Board), memory);
    Board *board = boardIn(mapping);
    check(board != NULL, "shared memory for the board");
    if (board == NULL) return;
    memset(board, 0, sizeof *board);
    board->linked = !linkHalfway;
    for (int i = 0; i < kSavers; ++i)
        board->next[i] = 1;

    HANDLE savers[kSavers], loaders[kLoaders];
    for (int i = 0; i < kSavers; ++i)
        savers[i] = start("save", i, memory, folder);
    for (int j = 0; j < kLoaders; ++j)
        loaders[j] = start("load", j, memory, folder);

    /* Each kill after two more saves returned 0. Every other kill waits for
     * a rewrite under way (a complete journal beside a name: the moment a
     * kill leaves a torn file) and ends a saver of that name that is in a
     * save; the others end a random saver at a random moment of a save. */
    char journals[2][MAX_PATH];
    for (int c = 0; c < 2; ++c)
        snprintf(journals[c], MAX_PATH, "%s\\work\\%s\\sch\\page.ma~", folder, cellOf(c));
    ULONGLONG started = GetTickCount64();
    int torn = 0;
    srand(7);
    for (int kill = 0; kill < kKills; ++kill) {
        for (LONG saves = board->saves;
             board->saves < saves + 2 && board->failedSaves == 0 && board->failedLoads == 0;)
            Sleep(1);
        if (kill == kKills / 2 && !board->linked) {
            check(CreateHardLinkA(link, path, NULL) != 0, "a second name for page.map, halfway");
            board->linked = 1;
        }
        int i = rand() % kSavers;
        for (int look = 0; kill % 2 == 1 && look < 20000; ++look) {
            const int c = look % 2;
            WIN32_FILE_ATTRIBUTE_DATA journal;
            if (!GetFileAttributesExA(journals[c], GetFileExInfoStandard, &journal) ||
                journal.nFileSizeLow <= 128)
                continue;
            i = board->saving[c] ? c : c + 2; /* savers c and c + 2 save through that name */
            ++torn;
            break;
        }
        while (!board->saving[i] && board->failedSaves == 0)
            Sleep(0);
        if (kill % 2 == 0) Sleep((DWORD)(rand() % 5));
        TerminateProcess(savers[i], 9);
        finish(savers[i]);
        savers[i] = start("save", i, memory, folder);
        printf("kill %d: saver %d, %ld saves so far\n", kill + 1, i, (long)board->saves);
        fflush(stdout);
    }
    board->stop = 1;
    int ended = 1;
    for (int i = 0; i < kSavers; ++i)
        ended = savers[i] != NULL && finish(savers[i]) == 0 && ended;
    for (int j = 0; j < kLoaders; ++j)
        ended = loaders[j] != NULL && finish(loaders[j]) == 0 && ended;
    check(ended, "every saver and loader ran and ended");
    const double seconds = (double)(GetTickCount64() - started) / 1000.0;
    printf(
        "%s: %d kills (%d during a rewrite); %ld saves (%.0f/s), %ld loads (%.0f/s), %ld "
        "acknowledged "
        "saves lost; "
        "refused while the other name's journal waited: %ld saves, %ld loads\n",
        linkHalfway ? "one name, then linked" : "two names", kKills, torn, (long)board->saves,
        board->saves / seconds, (long)board->loads, board->loads / seconds, (long)board->lost,
        (long)board->refusedSaves, (long)board->refusedLoads);
    if (board->problem[0] != '\0') printf("first problem: %s\n", board->problem);
    check(board->lost == 0, "no save that returned 0 is lost");
    check(board->failedSaves == 0, "no save fails but for the other name's journal");
    check(board->failedLoads == 0, "no load fails but for the other name's journal");

    /* At the end, through either name, after a save through each that puts
     * back whatever the last kill cut short (the first name first, beside
     * which a journal of its own may lie; then the other). */
    for (int pass = 0; pass < 2; ++pass) {
        for (int c = 0; c < 2; ++c) {
            const char *cell = c == 0 ? "alu" : "lnk";
            trelReset();
            if (trelloadMapFile("work", cell, "sch", 0) != TREL_OK) continue;
            trelSetPageMapping("work", cell, "sch", 1, 1);
            if (trelSavePageMap("work", cell, "sch") != TREL_OK) continue;
        }
    }
    for (int c = 0; c < 2; ++c) {
        const char *cell = c == 0 ? "alu" : "lnk";
        trelReset();
        check(trelloadMapFile("work", cell, "sch", 0) == TREL_OK, "a last load through each name");
        for (int i = 0; i < kSavers; ++i) {
            int value = 0;
            trelGetPageMapping("work", cell, "sch", kFirstPage + i, &value);
            check(value >= board->acked[i], "each saver's last acknowledged save is there");
        }
    }

    UnmapViewOfFile(board);
    CloseHandle(mapping);
    DeleteFileA(link);
    DeleteFileA(path);
    for (int f = 5; f >= 0; --f) {
        char leftover[MAX_PATH];
        snprintf(path, sizeof path, "%s%s", folder, folders[f]);
        snprintf(leftover, sizeof leftover, "%s\\page.ma~", path);
        DeleteFileA(leftover);
        RemoveDirectoryA(path);
    }
}

int main(int argc, char **argv) {
    if (argc == 5) {
        Board *board = boardIn(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, argv[3]));
        if (board == NULL) return 90;
        useLibrary(argv[4]);
        if (strcmp(argv[1], "save") == 0) return saver(board, atoi(argv[2]));
        if (strcmp(argv[1], "load") == 0) return loader(board);
        return 91;
    }
    run(0);
    run(1);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
