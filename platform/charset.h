// Text in a named character set into UTF-8, through the system's own
// converter: the C library's iconv on POSIX, the code pages of Windows.
#pragma once

#include <cstddef>

namespace charset {

enum class Outcome {
    Converted,      // every byte was read as the charset says
    Replaced,       // some bytes were not valid there: each became U+FFFD
    UnknownCharset, // the system knows no charset of that name
    NoMemory,
};

// Converts the `length` bytes at `in`, read in the charset `name` (as a
// CHARSET parameter gives it), into a malloc'ed NUL-terminated UTF-8 text
// in *out (*outLength bytes before the NUL). *out is null unless the
// outcome is Converted or Replaced.
Outcome toUtf8(const char *name, const char *in, size_t length, char **out, size_t *outLength);

} // namespace charset
