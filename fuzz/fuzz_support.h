// What the fuzz targets share. A failed expectation aborts, which libFuzzer
// and the replay test both report as a crash with the input that caused it.
#pragma once

#include <cstdlib>

#include "versit_vcard.h"

inline void check(bool ok) {
    if (!ok) std::abort();
}

// One context for the whole run, as a client keeps one: made on first use
// and never destroyed (its names are registered once).
inline VCardContext *sharedContext() {
    static VCardContext *context = [] {
        VCardContext *created = nullptr;
        check(VCARD_createContext(&created) == 0);
        return created;
    }();
    return context;
}
