// Filling memory with one byte value.
#include "list/klmem.h"

void KL_MemSet(void *destination, int value, uint32_t n) {
    if (destination == nullptr) return;
    auto *d = static_cast<unsigned char *>(destination);
    for (uint32_t i = 0; i < n; ++i)
        d[i] = static_cast<unsigned char>(value);
}
