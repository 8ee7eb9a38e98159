/*
 * posix_stdio.h - the POSIX stdio call that the pagemap tool uses and
 * Windows' C runtime lacks: getline. Included before every source of the
 * tool's Windows build; defined in posix_stdio.c.
 */
#ifndef TREL_WIN32_POSIX_STDIO_H
#define TREL_WIN32_POSIX_STDIO_H

#include <stdio.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Reads one line, its '\n' included, into *line, growing it with realloc as
 * POSIX getline does; returns its length, or -1 at the end of input or on a
 * failure (errno tells which: ENOMEM, EINVAL, or a read error). */
ssize_t getline(char **line, size_t *capacity, FILE *stream);

#ifdef __cplusplus
}
#endif

#endif
