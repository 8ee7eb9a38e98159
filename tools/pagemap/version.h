// pagemap --version: the tool's version and that of the library built into it.
#pragma once

#include <cstdio>

// Prints "pagemap X.Y.Z" and "libtrel X.Y.Z (built into pagemap)" on `stream`.
void printVersion(std::FILE *stream);
