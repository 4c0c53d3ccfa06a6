// Byte and text helpers of the list library, also used by the layers above
// for plain copies. A null source reads as zero bytes (an empty text) and a
// null destination receives nothing, so a missing part never faults.
#pragma once

#include <cstdint>

// Copies n bytes, from the last byte to the first (so a destination above
// an overlapping source is safe).
void KL_MemCopy(void *destination, const void *source, uint32_t n);

// Copies text with its NUL, at most n bytes. When n bytes held no NUL the
// last one becomes NUL; otherwise the bytes after the NUL, up to n, are 0.
void KL_StrNCopy(void *destination, const void *source, uint32_t n);

void KL_MemSet(void *destination, int value, uint32_t n);

// The difference of the unsigned bytes at the first position that differs,
// or at position n - 1; 0 for n = 0.
int32_t KL_MemCompare(const void *a, const void *b, uint32_t n);

// Like KL_MemCompare, but also stops at the first position where a or b
// holds NUL.
int32_t KL_StrNCompare(const void *a, const void *b, uint32_t n);
