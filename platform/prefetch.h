// Text asked of memory before it is read. A scan that goes through its
// text at several bytes a cycle waits on every cache line that is not
// there yet. When other work comes between two stretches of the scan and
// memory is slow to answer (as when other programs share it), the next
// stretch would start with a wait per line; asking for its lines before
// that other work starts lets them arrive meanwhile.
#pragma once

#include <cstddef>

namespace platform {

constexpr size_t kCacheLine = 64;

// The lines of the text from `from` up to `end` (not before it).
inline void prefetchText(const char *from, const char *end) {
#if defined(__GNUC__)
    const auto n = static_cast<size_t>(end - from);
    for (size_t i = 0; i < n; i += kCacheLine)
        __builtin_prefetch(from + i);
#else
    (void)from;
    (void)end;
#endif
}

} // namespace platform
