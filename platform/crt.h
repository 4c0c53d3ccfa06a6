// The Windows C runtime functions the library uses under their runtime
// names. On Windows crt_windows.cpp hands them to the runtime's own;
// elsewhere crt_posix.cpp provides them on top of POSIX. The constants and
// the time record have names of their own: the runtime's are macros.
#pragma once

#include <cstdint>
#include <ctime>

namespace crt {

// Flag values as the Windows runtime defines them; _open translates them.
constexpr int OpenWriteOnly = 0x0001;
constexpr int OpenAppend = 0x0008;
constexpr int OpenCreate = 0x0100;
constexpr int PermissionRead = 0x0100;
constexpr int PermissionWrite = 0x0080;

struct TimeB {
    time_t time;            // seconds since 1970
    unsigned short millitm; // milliseconds
    short timezone;         // minutes west of UTC
    short dstflag;
};

// A malloc'ed copy of `s`, or null when memory runs out (or s is null).
char *_strdup(const char *s);

// Opens `path` (Windows separators accepted: "\" counts as "/") with the
// runtime's flag and mode values. A descriptor, or -1.
int _open(const char *path, int flags, int mode);
int _write(int fd, const void *data, unsigned int size);
int _close(int fd);

// The time now, as the runtime's _ftime gives it.
void currentTime(TimeB *now);

} // namespace crt
