// The buckets of the symbol tables' own hash functions, for code that
// looks a name up in a table it knows was made with them (the vCard token
// table, once per property a card has) without a call through the
// table's function pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/ascii.h"

namespace vhash {

// h = (h << 8) + byte over the key, each byte read as a signed char, so
// only the last four bytes survive. Callers have always relied on these
// exact bucket numbers (TEL lands in 85 of 173).
template <class Fold> int32_t foldHash(const char *key, int32_t bucketCount, Fold fold) {
    if (key == nullptr || bucketCount <= 0) return 0;
    // A byte four or more places from the end adds a multiple of 2^32,
    // whatever its sign: only the last four are folded in. (Finding the
    // end first costs less than folding every byte of a longer name.)
    const size_t length = std::strlen(key);
    uint32_t h = 0;
    for (const char *p = key + (length > 4 ? length - 4 : 0); *p != '\0'; ++p)
        h = (h << 8) + static_cast<uint32_t>(static_cast<int32_t>(fold(*p)));
    const int32_t r = static_cast<int32_t>(h) % bucketCount;
    // Keys with bytes from 0x80 up can leave a negative remainder; folding
    // it into range keeps each key in one bucket.
    return r < 0 ? r + bucketCount : r;
}

// VLIB_symbolCaseHash: upper case as the "C" locale has it, whatever
// locale the client set. The names compared are ASCII, and a locale's own
// case pairs (Turkish raises i to a dotted capital I) would send a name to
// another bucket than its capitals.
inline int32_t caseHash(const char *key, int32_t bucketCount) {
    return foldHash(key, bucketCount,
                    [](char c) { return static_cast<signed char>(ascii::upper(c)); });
}

} // namespace vhash
