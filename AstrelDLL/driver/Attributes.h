// Compiler attributes, behind macros so that every compiler the library is
// built with reads the same source.
#pragma once

#if defined(__GNUC__)
// The function formats like printf: argument `f` is the format, `a` the first value.
#define ASTREL_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define ASTREL_PRINTF(f, a)
#endif
