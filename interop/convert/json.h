// The little JSON that jCard and jCal need: strings escaped as RFC 8259
// says, everything else written by the caller.
#pragma once

#include <string_view>

#include "vcal/vcalmsg.h"

namespace interop::convert {

// Appends `text` as a JSON string, quotes included. Text that is not
// valid UTF-8 has each bad byte replaced by U+FFFD.
bool appendJsonString(vcal::TextBuffer &out, std::string_view text);

// Appends `text` in lower case as a JSON string: names and type words,
// which come from the text as they stand and so are escaped like any other
// string.
bool appendJsonLower(vcal::TextBuffer &out, std::string_view text);

} // namespace interop::convert
