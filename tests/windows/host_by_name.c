/*
 * A Windows host as the environment's own: it loads trel.dll by name, finds
 * every entry point it calls with GetProcAddress, and releases the text of
 * trelMapFilePath with free() of msvcrt.dll, the C runtime whose heap trel.dll
 * allocates from, whatever runtime the host itself was built against.
 *
 * It defines a library through the library-path stand-in (dree.dll, loaded
 * the same way), drives a unit's page map, saves over an existing page.map
 * and relabels a name. Prints each failed check and "N passed, N failed".
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "test_program.h"

typedef int(__cdecl *InitFn)(int);
typedef int(__cdecl *SetFileModeFn)(int);
typedef int(__cdecl *ResetFn)(void);
typedef int(__cdecl *UnitFn)(const char *, const char *, const char *);
typedef int(__cdecl *LoadMapFileFn)(const char *, const char *, const char *, int);
typedef int(__cdecl *GetPageMappingFn)(const char *, const char *, const char *, int, int *);
typedef int(__cdecl *SetPageMappingFn)(const char *, const char *, const char *, int, int);
typedef char *(__cdecl *MapFilePathFn)(const char *, const char *, const char *);
typedef int(__cdecl *GetLastErrorFn)(char **);
typedef int(__cdecl *CnameFn)(const char *, char *, int);
typedef int(__cdecl *DefineLibraryFn)(const char *, const char *);
typedef void(__cdecl *FreeFn)(void *);

/* The generic function pointer type, which converts to any other. */
typedef void (*Entry)(void);

static Entry entry(HMODULE module, const char *name) {
    FARPROC address = GetProcAddress(module, name);
    check(address != NULL, name);
    return (Entry)address;
}

/* The whole file, or "<missing>". */
static const char *fileText(const char *path) {
    static char text[256];
    FILE *file = fopen(path, "rb");
    if (file == NULL) return "<missing>";
    size_t size = fread(text, 1, sizeof text - 1, file);
    text[size] = '\0';
    fclose(file);
    return text;
}

static int filesIn(const char *directory) {
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s\\*", directory);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    int count = 0;
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

int main(void) {
    HMODULE trel = LoadLibraryA("trel.dll");
    HMODULE dree = LoadLibraryA("dree.dll");
    HMODULE crt = GetModuleHandleA("msvcrt.dll"); /* loaded with trel.dll */
    if (trel == NULL || dree == NULL || crt == NULL) {
        printf("cannot load trel.dll, dree.dll or msvcrt.dll\n");
        return 2;
    }
    InitFn trelInit = (InitFn)entry(trel, "trelInit");
    SetFileModeFn trelSetFileMode = (SetFileModeFn)entry(trel, "trelSetFileMode");
    ResetFn trelReset = (ResetFn)entry(trel, "trelReset");
    UnitFn trelSavePageMap = (UnitFn)entry(trel, "trelSavePageMap");
    LoadMapFileFn trelloadMapFile = (LoadMapFileFn)entry(trel, "trelloadMapFile");
    GetPageMappingFn trelGetPageMapping = (GetPageMappingFn)entry(trel, "trelGetPageMapping");
    SetPageMappingFn trelSetPageMapping = (SetPageMappingFn)entry(trel, "trelSetPageMapping");
    MapFilePathFn trelMapFilePath = (MapFilePathFn)entry(trel, "trelMapFilePath");
    GetLastErrorFn trelGetLastError = (GetLastErrorFn)entry(trel, "trelGetLastError");
    CnameFn trelGetMappedCname = (CnameFn)entry(trel, "trelGetMappedCname");
    DefineLibraryFn dreeDefineLibrary = (DefineLibraryFn)entry(dree, "dreeDefineLibrary");
    FreeFn crtFree = (FreeFn)entry(crt, "free");
    if (failed != 0) return 1;

    /* <temp>\trel-host-<pid>\work\alu\sch, holding a page.map to save over. */
    char root[MAX_PATH], library[MAX_PATH], unit[MAX_PATH], map[MAX_PATH];
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    snprintf(root, sizeof root, "%strel-host-%lu", temp, (unsigned long)GetCurrentProcessId());
    snprintf(library, sizeof library, "%s\\work", root);
    snprintf(unit, sizeof unit, "%s\\alu\\sch", library);
    CreateDirectoryA(root, NULL);
    CreateDirectoryA(library, NULL);
    snprintf(map, sizeof map, "%s\\alu", library);
    CreateDirectoryA(map, NULL);
    CreateDirectoryA(unit, NULL);
    snprintf(map, sizeof map, "%s\\page.map", unit);
    FILE *existing = fopen(map, "wb");
    if (existing == NULL) return 2;
    fputs("1 1\n9 9\n", existing);
    fclose(existing);

    /* The library directory as a Windows user writes it: backslashes, and one
     * at the end. */
    char written[MAX_PATH];
    snprintf(written, sizeof written, "%s\\", library);
    check(dreeDefineLibrary("work", written) == 0, "dreeDefineLibrary");
    check(trelInit(7) == 0, "trelInit");
    check(trelSetFileMode(0) == 0, "trelSetFileMode");

    int mapped = 0;
    check(trelGetPageMapping("work", "alu", "sch", 9, &mapped) == 0 && mapped == 9,
          "the existing page.map is loaded");
    check(trelSetPageMapping("work", "alu", "sch", 3, 5) == 0, "trelSetPageMapping 3 5");
    check(trelSetPageMapping("work", "alu", "sch", 1, 1) == 0, "trelSetPageMapping 1 1");
    check(trelSavePageMap("work", "alu", "sch") == 0, "trelSavePageMap");
    /* Line feeds only: map files are the same bytes on every platform. */
    check(strcmp(fileText(map), "3 5\n9 9\n") == 0, "page.map replaced, line feeds only");
    check(filesIn(unit) == 1, "no temporary file left beside page.map");

    char *path = trelMapFilePath("work", "alu", "sch");
    char expected[MAX_PATH];
    snprintf(expected, sizeof expected, "%s/alu/sch/page.map", library);
    check(path != NULL && strcmp(path, expected) == 0, "trelMapFilePath");
    crtFree(path); /* the documented release: msvcrt.dll's free */
    check(trelMapFilePath("nolib", "alu", "sch") == NULL, "trelMapFilePath of an unknown unit");

    char name[128];
    check(trelGetMappedCname("top(work.alu:sch)/U1@3(work.alu:sch)", name, sizeof name) == 0 &&
              strcmp(name, "top(work.alu:sch)/page5_U1(work.alu:sch)") == 0,
          "trelGetMappedCname");

    char *message = NULL;
    check(trelGetPageMapping("nolib", "alu", "sch", 1, &mapped) == 6, "unknown unit refused");
    trelGetLastError(&message);
    check(message != NULL &&
              strcmp(message, "Wrong lib.cell:view specification (nolib.alu:sch)") == 0,
          "trelGetLastError");

    /* A fresh registry reads back what was saved. */
    check(trelReset() == 0, "trelReset");
    check(trelloadMapFile("work", "alu", "sch", 1) == 0, "trelloadMapFile");
    check(trelGetPageMapping("work", "alu", "sch", 3, &mapped) == 0 && mapped == 5,
          "the saved pair is read back");

    DeleteFileA(map);
    RemoveDirectoryA(unit);
    snprintf(map, sizeof map, "%s\\alu", library);
    RemoveDirectoryA(map);
    RemoveDirectoryA(library);
    RemoveDirectoryA(root);
    FreeLibrary(trel);
    FreeLibrary(dree);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
