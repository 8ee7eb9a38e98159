/*
 * What the Windows test programs share: checks counted and reported, and
 * copies of the program itself started as helpers.
 */
#pragma once

#include <stdio.h>
#include <string.h>
#include <windows.h>

static int passed, failed;

/* Counts a check; prints it when it failed. The program ends by printing
 * "N passed, N failed". */
static inline void check(int ok, const char *what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED: %s\n", what);
    }
}

/* Starts this program again with `arguments`; NULL when it cannot. */
static inline HANDLE startSelf(const char *arguments) {
    char self[MAX_PATH];
    char command[3 * MAX_PATH];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    GetModuleFileNameA(NULL, self, sizeof self);
    snprintf(command, sizeof command, "\"%s\" %s", self, arguments);
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}

/* Waits for a started program to end; its exit code (99 when unknown). */
static inline DWORD finish(HANDLE process) {
    DWORD code = 99;
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}
