// Byte and text comparison, the default compare functions of lists.
#include "list/klmem.h"

namespace {

int byteAt(const unsigned char *p, uint32_t i) { return p == nullptr ? 0 : p[i]; }

template <bool StopAtNul> int32_t compare(const void *a, const void *b, uint32_t n) {
    if (n == 0) return 0;
    const auto *x = static_cast<const unsigned char *>(a);
    const auto *y = static_cast<const unsigned char *>(b);
    if (!StopAtNul && x != nullptr && y != nullptr) {
        // Ids and dates are compared far more often than anything else.
        uint32_t i = 0;
        while (i + 1 < n && x[i] == y[i])
            ++i;
        return x[i] - y[i];
    }
    uint32_t i = 0;
    for (; i + 1 < n; ++i) {
        const int cx = byteAt(x, i);
        const int cy = byteAt(y, i);
        if (cx != cy) break;
        // A null pointer reads as an empty text, so it stops here too.
        if (StopAtNul && cx == 0) break;
    }
    return byteAt(x, i) - byteAt(y, i);
}

} // namespace

int32_t KL_MemCompare(const void *a, const void *b, uint32_t n) { return compare<false>(a, b, n); }

int32_t KL_StrNCompare(const void *a, const void *b, uint32_t n) { return compare<true>(a, b, n); }
