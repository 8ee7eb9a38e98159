/* trelReleaseMapFilePath on Windows. trel.dll carries its C++ runtime inside,
 * and its new[] takes the text of trelMapFilePath from the heap of msvcrt.dll,
 * the C runtime it imports; so the text goes back to that runtime's free,
 * found by name. That holds whatever runtime the host was built against (a
 * host's own free or delete[] may manage another heap), and keeps this file
 * plain C: a C host links it with no C++ runtime. */
#include <windows.h>

#include "trel_release.h"

typedef void(__cdecl *FreeFunction)(void *);

void trelReleaseMapFilePath(char *path) {
    if (path == NULL) return;
    /* msvcrt.dll is loaded as long as trel.dll is, and a text exists only then. */
    FARPROC address = GetProcAddress(GetModuleHandleA("msvcrt.dll"), "free");
    /* Through the generic function pointer type, which converts to any other. */
    FreeFunction release = (FreeFunction)(void (*)(void))address;
    release(path);
}
