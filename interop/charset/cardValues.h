// A card's text values in UTF-8, whatever charset they were written in.
#pragma once

#include <cstdint>

#include "interop/recover/report.h"
#include "versit_core.h"

namespace interop {

// Decodes every text value of `card` and of the cards nested in it (see
// decodeToUtf8) and labels each property whose value holds 8-bit text
// CHARSET=UTF-8. Guesses, replacements and unknown charsets are reported
// on `line` (the card's first). False when memory ran out (the card is
// then partly decoded, and still whole).
bool decodeCardValues(vComponent *card, Reporter &report, uint64_t line);

} // namespace interop
