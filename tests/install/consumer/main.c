/* Uses the installed header and library from plain C. */
#include <stdio.h>

#include <trel.h>

int main(void) {
    char *text = NULL;
    int mapped = 0;
    if (trelGetErrorMessage() != TREL_OK || trelSetFileMode(0) != 0) return 1;
    if (trelMapFilePath("nolib", "cell", "view") != NULL) return 2;
    if (trelGetPageMapping("nolib", "cell", "view", 3, &mapped) != TREL_BAD_SPEC) return 3;
    trelGetLastError(&text);
    printf("%s\n", text);
    return mapped == 0 ? 0 : 4;
}
