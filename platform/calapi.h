// The parts of the client library (CALAPI32) that the rest of the library
// relies on besides the address book: case-insensitive comparison and the
// process number. They live in the client library's stand-in (calapi32),
// which libversit links without exporting them.
#pragma once

#include "calapi32.h"

namespace calapi {

// 0 exactly when the two texts are equal without regard to the case of
// ASCII letters; otherwise the sign of the first difference. Bytes from
// 0x80 up compare as they are, whatever the host's locale.
CALAPI_API int strcasecmp(const char *a, const char *b);
// The same over at most `n` bytes.
CALAPI_API int strncasecmp(const char *a, const char *b, unsigned long n);

// Number of the calling process, printed in log records.
CALAPI_API int QVT_Getpid();

} // namespace calapi
