// Copies: bytes and bounded text.
#include "list/klmem.h"

void KL_MemCopy(void *destination, const void *source, uint32_t n) {
    if (destination == nullptr) return;
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    while (n > 0) {
        --n;
        d[n] = s == nullptr ? 0 : s[n];
    }
}

void KL_StrNCopy(void *destination, const void *source, uint32_t n) {
    if (destination == nullptr || n == 0) return;
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    uint32_t i = 0;
    if (s != nullptr)
        while (i < n && s[i] != 0) {
            d[i] = s[i];
            ++i;
        }
    if (i == n) {
        d[n - 1] = 0;
        return;
    }
    while (i < n)
        d[i++] = 0;
}
