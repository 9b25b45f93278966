#pragma once
// TIVARNE_API marks what the shared library exports. The library is compiled
// with hidden visibility, so only the functions and classes of
// include/tivarne/ that carry the mark are seen from outside; the rest of the
// library stays internal and may change at any time.
#if defined(__GNUC__) || defined(__clang__)
#define TIVARNE_API __attribute__((visibility("default")))
#else
#define TIVARNE_API
#endif
