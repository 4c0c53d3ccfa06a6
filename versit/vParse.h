// The parser for callers inside the libraries that have found the line
// breaks of their text already: the tolerant card reader looks at every
// line before it hands a card to the parse, and the parse then takes the
// breaks from its list instead of searching the text for them again. What
// the parse builds and returns is exactly what VLIB_buildComponentFromBuffer
// builds and returns for the same text, with a blank after each break the
// caller joins (see KnownBreaks).
#pragma once

#include <cstddef>
#include <cstdint>

#include "versit_core.h"

namespace vparse {

// Where the line breaks of a text stand: the offset from `text` of every
// CR, LF or CR LF pair (one entry for the pair, at its CR), ascending, up
// to the last entry; no NUL byte stands before the last entry. Past it the
// parse searches the text itself.
// `joins` (ascending, `joinCount` of them, offsets from `text` like the
// breaks) are breaks that continue the line before them, as if a blank
// followed each: the reader that joins a line to the one before it says so
// here, instead of copying the text to put the blank in. The byte after a
// joined break is neither a blank nor a break.
struct KnownBreaks {
    const char *text;
    const size_t *offsets;
    size_t count;
    const size_t *joins = nullptr;
    size_t joinCount = 0;
};

// VLIB_buildComponentFromBuffer, with the breaks of `buffer` (which starts
// at or after breaks->text) known; null `breaks` is the exported call.
int32_t buildComponentFromBuffer(vComponent **componentOut, const char *buffer, int32_t flags,
                                 int32_t *remainingInOut, char **restOut,
                                 const KnownBreaks *breaks);

} // namespace vparse
