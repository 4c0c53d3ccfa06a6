#include "platform/calapi.h"

#include "platform/ascii.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

// The client library is not on this machine on any system: these stand in
// for it everywhere.
namespace calapi {
int strncasecmp(const char *a, const char *b, unsigned long n) {
    const auto *p = reinterpret_cast<const unsigned char *>(a);
    const auto *q = reinterpret_cast<const unsigned char *>(b);
    for (; n > 0; --n, ++p, ++q) {
        // Keywords are mostly compared with themselves as written: equal
        // bytes need no case folding.
        if (*p == *q) {
            if (*p == 0) return 0;
            continue;
        }
        const int d = ascii::lower(*p) - ascii::lower(*q);
        if (d != 0) return d;
    }
    return 0;
}

int strcasecmp(const char *a, const char *b) { return strncasecmp(a, b, ~0UL); }

#ifdef _WIN32
int QVT_Getpid() { return _getpid(); }
#else
int QVT_Getpid() { return static_cast<int>(getpid()); }
#endif

} // namespace calapi
