// GoogleTest hands every failure and skip it prints to OutputDebugStringA as
// well, for a debugger's window. Wine makes that call raise an exception for
// a debugger to catch, and under qemu-i386, which runs Wine's 32-bit loader
// where the kernel runs no 32-bit programs, unwinding that exception crashes
// the program: the first failing or skipped test ended the whole test
// program with no count. GoogleTest's sources are compiled for Windows with
// this header first, so the debugger's copy is dropped and standard output
// keeps everything.
#pragma once

#if defined(_WIN32) && defined(__cplusplus)
#include <windows.h>

#define OutputDebugStringA trel_no_debugger_output
inline void trel_no_debugger_output(const char *) {}
#endif
