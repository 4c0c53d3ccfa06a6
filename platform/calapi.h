// The parts of the client library (CALAPI32) that the library relies on.
// On the client's machine these come from CALAPI32 itself; elsewhere the
// stand-ins in calapi_posix.cpp take their place.
#pragma once

namespace calapi {

// 0 exactly when the two texts are equal without regard to the case of
// ASCII letters; otherwise the sign of the first difference. Bytes from
// 0x80 up compare as they are, whatever the host's locale.
int strcasecmp(const char *a, const char *b);
// The same over at most `n` bytes.
int strncasecmp(const char *a, const char *b, unsigned long n);

// Number of the calling process, printed in log records.
int QVT_Getpid();

} // namespace calapi
