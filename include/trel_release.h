/*
 * trel_release.h - releasing the text of trelMapFilePath from C.
 *
 * trelMapFilePath allocates its text with C++ new[], and only delete[]
 * releases such a text soundly: free() is a mismatch that AddressSanitizer
 * reports and that breaks a host replacing operator new. C cannot say
 * delete[], so the static library trel_release, installed with trel, says it:
 * trel::trel and `pkg-config --libs trel` link it (with the C++ runtime it
 * needs). It is compiled into the host, beside the host's own operator
 * delete[], and is not one of the library's entry points.
 *
 * On Windows trel_release is plain C and links no C++ runtime: the text comes
 * from the heap of msvcrt.dll, the C runtime trel.dll imports, and this
 * function hands it to that runtime's free, whatever runtime the host itself
 * uses (win32/README.md).
 */
#ifndef TREL_RELEASE_H
#define TREL_RELEASE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Releases a text returned by trelMapFilePath; a null text is ignored. */
void trelReleaseMapFilePath(char *path);

#ifdef __cplusplus
}
#endif

#endif /* TREL_RELEASE_H */
