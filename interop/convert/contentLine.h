// Content lines of vCard 3.0/4.0 and iCalendar (RFC 2425, 6350, 5545):
// reading them unfolded and split, writing them escaped and folded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "interop/recover/array.h"
#include "interop/recover/lines.h"
#include "vcal/vcalmsg.h"

namespace interop::convert {

struct Parameter {
    std::string_view name;  // empty for a bare parameter (TEL;CELL: of older writers)
    std::string_view value; // as written, quotes and commas included
};

struct ContentLine {
    uint64_t number = 0; // line of the text where it starts
    size_t start = 0;    // and its offset there
    std::string_view group;
    std::string_view name;
    Array<Parameter> parameters;
    std::string_view value; // escaped as written

    // The first parameter of that name (case-insensitive), or null.
    const Parameter *find(std::string_view parameterName) const;
};

// Reads the logical lines of a text: a line break followed by a blank or
// a tab continues the line (both removed), CR LF and bare LF end lines.
// A line with no colon is reported to the caller as malformed (`ok`
// false) with its number, and reading goes on.
class ContentReader {
  public:
    ContentReader(const char *text, size_t length) : cursor_(text, length) {}

    enum class Step { Line, Malformed, End, NoMemory };
    // The views of `line` stay valid until the next call.
    Step next(ContentLine &line);
    // Reads on from a line read before (its start and number), as if the
    // lines after it had not been read.
    void restart(size_t start, uint64_t number) {
        Line at;
        at.number = number;
        cursor_.resume(at, start);
        hasPending_ = false;
    }

  private:
    LineCursor cursor_;
    Line pending_;
    bool hasPending_ = false;
    vcal::TextBuffer unfolded_;
};

// Case-insensitive ASCII comparison.
bool sameName(std::string_view a, std::string_view b);

// Calls fn(item) for each comma-separated item of a parameter value, with
// the quotes of a quoted item removed; stops at the first false.
template <class Fn> bool forEachParameterItem(std::string_view value, Fn fn) {
    size_t i = 0;
    for (;;) {
        size_t start = i;
        size_t end;
        if (i < value.size() && value[i] == '"') {
            const size_t close = value.find('"', i + 1);
            start = i + 1;
            end = close == std::string_view::npos ? value.size() : close;
            i = close == std::string_view::npos ? value.size() : value.find(',', close);
        } else {
            i = value.find(',', i);
            end = i == std::string_view::npos ? value.size() : i;
        }
        if (!fn(value.substr(start, end - start))) return false;
        if (i == std::string_view::npos || i >= value.size()) return true;
        ++i;
    }
}

// Calls fn(piece) for each piece of an escaped value between unescaped
// `separator`s (';' for the fields of N or ADR, ',' for list items); the
// pieces stay escaped. Stops at the first false.
template <class Fn> bool forEachEscapedPiece(std::string_view value, char separator, Fn fn) {
    size_t start = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\') {
            ++i;
            continue;
        }
        if (value[i] == separator) {
            if (!fn(value.substr(start, i - start))) return false;
            start = i + 1;
        }
    }
    return fn(value.substr(start));
}

// Appends the text of an escaped value: \n and \N a line break, \\ \, \;
// (and \: of some writers) the character; a lone backslash stays.
bool appendUnescaped(vcal::TextBuffer &out, std::string_view escaped);
// Appends ASCII text in lower (or upper) case; other bytes as they are.
bool appendCased(vcal::TextBuffer &out, std::string_view text, bool lower);
// Appends `value` in decimal, as printf's "%0*lld" with `width` writes it:
// at least `width` characters, zeros after a minus sign. Numbers go into
// every date, duration and rule of a calendar, and printf costs more than
// the rest of their conversion.
bool appendDecimal(vcal::TextBuffer &out, long long value, int width = 1);
// The same text in `room`, returned as a view of it.
std::string_view decimal(char (&room)[32], long long value, int width = 1);
// Appends text escaped for a value: backslash, comma, semicolon and line
// breaks (CR LF, CR, LF become \n). `keepCommas` leaves commas alone
// (where a property's value is not a list, RFC 6350 allows that; iCalendar
// TEXT escapes them always).
bool appendEscaped(vcal::TextBuffer &out, std::string_view text, bool keepCommas = false);

// Folds the logical line that stands at the end of `out` from `start`
// (written there directly, without its break) at 75 octets where it
// stands, and ends it with CR LF: no line longer than 75 octets, a
// continuation starting with one blank, a UTF-8 sequence never split, and
// no copy of a long line made. `steps`: room for where the line is cut.
bool foldFrom(vcal::TextBuffer &out, size_t start, Array<uint8_t> &steps);

} // namespace interop::convert
