// The two log writers every part of the library reports into.
//
// Both consult the process-wide enable switch first and return at once
// while it is off, which it is unless a host turns it on: the library
// exports nothing that does. With the switch on, each call appends one
// record to the files its level leads to (see errlog.cpp). Every caller in
// the library passes level 2.
#pragma once

#include <cstdint>

#include "versit_list.h"

// Appends one error record for `code`; a null message is recorded as
// "WriteErrLog: errmesg is NULL".
void WriteErrLog(uint32_t level, int32_t code, const char *message);

// Appends one trace record whose body is `format` expanded with the
// arguments that follow. Directives: %b %c %d %u %o %x %p, %ld %lu %lo %lx,
// %s, %f (a function `char *(*)(void *)` and its argument; the malloc'ed
// result is appended and freed), %m (a byte pointer and a length: a hex
// dump). Any other character after "%" is copied as it is.
void WriteTraceLog(uint32_t level, const char *format, ...);

// A text for a system or socket error number, in a static 128-byte buffer
// that the next call overwrites.
const char *ErrnoText(int number);

namespace errlog {

// Records `code` and `message` at level 2 and hands the code back, so a
// failing path reads `return fail(code, "...")`.
inline int32_t fail(int32_t code, const char *message) {
    WriteErrLog(2, code, message);
    return code;
}

// The settings below are the host's, not the library's: nothing in the
// library changes them, and none of them is exported. A host that links the
// library statically (and our tests) may set them.

// The enable switch; off at start.
void setEnabled(bool on);
bool enabled();

// One destination of the log: the cell data of the destination list, whose
// 4-byte ids are the keys (levels, and the shared keys 2, 3 and 4).
struct Destination {
    uint32_t key;
    char fileName[260];
    int32_t active; // nonzero: write to this file
};
// The destination list (a list of Destination data keyed by 4-byte ids), or
// null for none, which is the start state. The list stays the caller's.
void setDestinations(KL_HLIST list);

// Option bits: 2 sends levels above 4 to key 3 (key 4 from 0x1000000 on)
// as well; 4 sends levels 3 and above to key 2 as well. Starts as 4.
constexpr uint32_t kCopyHighLevels = 2;
constexpr uint32_t kCopyToKey2 = 4;
void setOptions(uint32_t options);

// Where records go when no destination opens: "\console.log", a file in
// the root of the current drive (on POSIX, "/console.log"). The text is
// kept, not copied; null restores the default.
void setFallbackFile(const char *path);

// Sees every record handed to the writers, whatever the switch, so a host
// can route the messages elsewhere and tests can check them.
struct Observer {
    void (*error)(void *user, uint32_t level, int32_t code, const char *message);
    void (*trace)(void *user, uint32_t level, const char *format);
    void *user;
};
// Installs `observer` (null removes it) and returns the previous one.
const Observer *setObserver(const Observer *observer);

} // namespace errlog
