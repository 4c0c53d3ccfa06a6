// Copies of a few bytes without a call: most pieces a writer appends are
// a name, a separator or a short value, as are most names, values and
// lines the parse copies, and for those a call to memcpy costs more than
// the copy.
#pragma once

#include <cstddef>
#include <cstring>

namespace platform {

// `n` bytes from `from` to `to` (which do not overlap), any `n`.
inline void copyBytes(char *to, const char *from, size_t n) {
    if (n >= 8 && n <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 16) {
        std::memcpy(to, from, n);
    } else {
        for (size_t i = 0; i < n; ++i)
            to[i] = from[i];
    }
}

} // namespace platform
