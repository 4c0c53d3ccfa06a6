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

// The lines of up to `bytes` bytes from `from`, none past `end`.
inline void prefetchText(const char *from, const char *end, size_t bytes) {
#if defined(__GNUC__)
    const size_t left = end > from ? static_cast<size_t>(end - from) : 0;
    const size_t n = bytes < left ? bytes : left;
    for (size_t i = 0; i < n; i += kCacheLine)
        __builtin_prefetch(from + i);
#else
    (void)from;
    (void)end;
    (void)bytes;
#endif
}

} // namespace platform
