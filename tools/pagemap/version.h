// pagemap --version: the tool's version and that of the library it runs on.
#pragma once

#include <cstdio>

// Prints "pagemap X.Y.Z" and "libtrel X.Y.Z (file)" on `stream`.
void printVersion(std::FILE *stream);
