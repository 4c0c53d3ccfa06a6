// Physical lines of a text as tolerant readers meet them: any of CR LF,
// LF or a lone CR ends a line, lines are numbered from 1, and the tests
// that decide what a line is (a property's start, a BEGIN or END line,
// data that continues a value) look at the raw bytes without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ascii.h"

namespace interop {

struct Line {
    std::string_view text; // without its line break
    uint64_t number = 0;
    size_t start = 0;      // offset of the line in the whole text
    size_t end = 0;        // offset after its line break
    bool nul = false;      // the line holds a NUL byte
    bool eightBit = false; // a byte of the line has its high bit set
};

class LineCursor {
  public:
    LineCursor(const char *text, size_t length) : text_(text), length_(length) {}

    // The next line; false at the end of the text.
    bool next(Line &line);
    // Where the next line starts, and its number.
    size_t offset() const { return at_; }
    uint64_t number() const { return number_ + 1; }
    // True when every line has been read.
    bool atEnd() const { return at_ >= length_; }
    // The lines up to `end` (`count` of them) were read by other means:
    // the next starts there.
    void passed(size_t end, uint64_t count = 1) {
        at_ = end;
        number_ += count;
    }
    // Goes back to the line just read: it is read again next.
    void rewind(const Line &line) { resume(line, line.start); }
    // Goes back into the line just read: what it holds from `offset` on is
    // read next, as a line of the same number.
    void resume(const Line &line, size_t offset) {
#if !defined(__SSE2__)
        // A break found ahead of the old place may lie beyond one nearer
        // an earlier place.
        if (offset < at_) searched_ = false;
#endif
        at_ = offset;
        number_ = line.number - 1;
    }

  private:
    const char *text_;
    size_t length_;
    size_t at_ = 0;
    uint64_t number_ = 0;
#if !defined(__SSE2__)
    size_t next(size_t &found, char c) const;

    // Where the next LF, CR and NUL stand (length_ for none): each search
    // covers as many lines as it passes over, so text without one of them
    // (CR or LF only, no NUL) is searched once, not once a line.
    size_t lf_ = 0;
    size_t cr_ = 0;
    size_t nul_ = 0;
    bool searched_ = false;
#endif
};

// A line whose first word is `keyword` (any case), blanks allowed before
// the word and before the ":" after it; `rest` (optional) gets what
// follows the ":", trimmed of blanks.
bool isKeywordLine(std::string_view line, std::string_view keyword, std::string_view *rest);

// The shape of a property's start: an optional group ("home."), a name
// without blanks, "=" or delimiters, optional blanks, then ":" or ";" with
// a ":" later on the line. *name gets the name without its group.
bool hasPropertyShape(std::string_view line, std::string_view *name);

// The name at the start of a property line, group included: where it ends,
// and in *nameStart where the name proper starts (after the group's last
// "."). Writers use more than letters, digits and "-" in names
// ("X-messaging/aim-All"); what no name holds is a blank, "=", or a
// delimiter.
size_t scanPropertyName(std::string_view line, size_t *nameStart);

// True for a line of blanks only (or nothing).
bool isBlankLine(std::string_view line);

// True when `a` and `b` are equal without regard to ASCII case. Inline:
// every line of a card is compared with a few keywords.
inline bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii::upper(a[i]) != ascii::upper(b[i])) return false;
    }
    return true;
}

} // namespace interop
