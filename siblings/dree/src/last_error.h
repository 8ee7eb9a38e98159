// The stand-in's last-error text: every failure formats its message here and
// returns its code, so a caller can print why a lookup or a definition failed.
#pragma once

namespace dree {

// Formats the message (printf-style, cut to the buffer) and returns code.
int fail(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace dree
