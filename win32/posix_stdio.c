/*
 * getline for Windows, and binary standard streams for the pagemap tool:
 * Windows' C runtime turns "\n" into "\r\n" on text-mode streams, which would
 * make the tool's output differ from other platforms byte for byte. Input
 * lines ending in "\r\n" are still read correctly; the tool drops the '\r'.
 */
#include "posix_stdio.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

ssize_t getline(char **line, size_t *capacity, FILE *stream) {
    if (line == NULL || capacity == NULL || stream == NULL) {
        errno = EINVAL;
        return -1;
    }
    size_t length = 0;
    for (;;) {
        const int c = getc(stream);
        if (c == EOF) {
            if (length == 0 || ferror(stream)) return -1;
            break;
        }
        if (*line == NULL || length + 2 > *capacity) {
            const size_t grown = *capacity < 64 ? 128 : *capacity * 2;
            char *bigger = (char *)realloc(*line, grown);
            if (bigger == NULL) {
                errno = ENOMEM;
                return -1;
            }
            *line = bigger;
            *capacity = grown;
        }
        (*line)[length++] = (char)c;
        if (c == '\n') break;
    }
    (*line)[length] = '\0';
    return (ssize_t)length;
}

/* Runs before main, so no output has been written in text mode yet. */
__attribute__((constructor)) static void useBinaryStandardStreams(void) {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
