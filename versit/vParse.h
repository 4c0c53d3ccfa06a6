// The parser for callers inside the libraries that have found the line
// breaks of their text already: the tolerant card reader looks at every
// line before it hands a card to the parse, and the parse then takes the
// breaks from its list instead of searching the text for them again. What
// the parse builds and returns is exactly what VLIB_buildComponentFromBuffer
// builds and returns for the same text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "versit_core.h"

namespace vparse {

// Where the line breaks of a text stand: the offset from `text` of every
// CR, LF or CR LF pair (one entry for the pair, at its CR), ascending, up
// to the last entry; no NUL byte stands before the last entry. Past it the
// parse searches the text itself.
struct KnownBreaks {
    const char *text;
    const size_t *offsets;
    size_t count;
};

// VLIB_buildComponentFromBuffer, with the breaks of `buffer` (which starts
// at or after breaks->text) known; null `breaks` is the exported call.
int32_t buildComponentFromBuffer(vComponent **componentOut, const char *buffer, int32_t flags,
                                 int32_t *remainingInOut, char **restOut,
                                 const KnownBreaks *breaks);

} // namespace vparse
