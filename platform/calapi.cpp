#include "platform/calapi.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

// The client library is not on this machine on any system: these stand in
// for it everywhere.
namespace calapi {
namespace {

// The C library's tolower follows the locale; the names we compare are
// ASCII keywords and must match the same way everywhere.
constexpr unsigned char asciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

} // namespace

int strncasecmp(const char *a, const char *b, unsigned long n) {
    const auto *p = reinterpret_cast<const unsigned char *>(a);
    const auto *q = reinterpret_cast<const unsigned char *>(b);
    for (; n > 0; --n, ++p, ++q) {
        const int d = asciiLower(*p) - asciiLower(*q);
        if (d != 0 || *p == 0) return d;
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
