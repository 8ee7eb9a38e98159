// The environment's name mapper: converts design-unit names into the form that
// the environment uses for directory names, in two steps.
//
//   keltVHDLToIdent       a VHDL name becomes a plain identifier. A basic
//                         identifier (any text that does not begin with a
//                         backslash) passes unchanged. An extended identifier
//                         \...\ loses its enclosing backslashes, and each
//                         doubled backslash inside becomes one:
//                         \a.b\ -> a.b, \x\\y\ -> x\y. A text that begins with
//                         a backslash but is no well-formed extended identifier
//                         (unclosed, a lone backslash inside, text after the
//                         closing one, nothing between the two) has no result.
//   keltIdentToLibraryNT  an identifier becomes a name that can stand as a
//                         Windows file name: each of < > : " / \ | ? *, each
//                         control character (bytes 0x01 to 0x1F and 0x7F) and
//                         % itself become %XX with two upper-case hex digits;
//                         every other byte is kept. a/b -> a%2Fb, 50% -> 50%25.
//
// Plain names such as work, alu or sch convert to themselves under both steps.
// Every step writes a NUL-terminated text into a buffer of a size it is given
// and never writes past it: a result that does not fit, like any other failure,
// returns null and leaves the empty text in the buffer.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#if defined(KELT_BUILDING)
#define KELT_EXPORT __declspec(dllexport)
#else
#define KELT_EXPORT __declspec(dllimport)
#endif
#else
#define KELT_EXPORT __attribute__((visibility("default")))
#endif

// Size of the output buffer that keltMapper writes into, terminating NUL included.
constexpr std::size_t keltBufferSize = 2048;

// One conversion step: converts `name` into `out` (`size` bytes) and returns
// `out`, or null when the name has no conversion or the result does not fit.
using keltStep = const char *(*)(const char *name, char *out, std::size_t size);

KELT_EXPORT const char *keltVHDLToIdent(const char *name, char *out, std::size_t size);
KELT_EXPORT const char *keltIdentToLibraryNT(const char *name, char *out, std::size_t size);

// Converts `name` by `first`, then by `second`, into `out`, which must hold
// keltBufferSize bytes. Returns `out`, or null (with the empty text in `out`)
// for a null or empty name, a null step, a `reserved` other than 0, a step
// that fails, or a result that does not fit. `out` may be the buffer that
// holds `name`: the name is read completely before `out` is written.
KELT_EXPORT const char *keltMapper(keltStep first, keltStep second, const char *name, int reserved,
                                   char *out);
