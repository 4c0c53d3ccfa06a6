// The two log writers every part of the library reports into.
//
// Both consult the process-wide enable switch first and return at once
// while it is off, which it is unless a host turns it on. Every caller in
// the library passes level 2.
#pragma once

#include <cstdint>

// Appends one error record for `code`; a null message is recorded as
// "WriteErrLog: errmesg is NULL".
void WriteErrLog(uint32_t level, int32_t code, const char *message);

// Appends one trace record whose body is `format` expanded with the
// arguments that follow.
void WriteTraceLog(uint32_t level, const char *format, ...);

namespace errlog {

// The enable switch. Nothing in the library turns it on; a host embedding
// the static library (and our tests) may.
void setEnabled(bool on);
bool enabled();

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
