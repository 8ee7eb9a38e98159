/*
 * release_path.h - hands a text that libtrel allocated back to the allocator
 * it came from.
 */
#ifndef RELEASE_PATH_H
#define RELEASE_PATH_H

#ifdef __cplusplus
extern "C" {
#endif

/* Releases a text returned by trelMapFilePath; a null text is ignored. */
void releaseMapFilePath(char *path);

#ifdef __cplusplus
}
#endif

#endif /* RELEASE_PATH_H */
