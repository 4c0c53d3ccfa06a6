// vCalendar lines: reading one logical line from a byte source, the
// encoding a line declares, and recognising keywords at its start.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ascii.h"
#include "versit_vcal.h"

namespace vcal {

enum class LineEncoding : uint8_t { None, QuotedPrintable, Base64, EightBit };

// The encoding the line's parameters declare: the parameters are the
// segments after each ";" of the line's first `length` characters, which
// stop before its first ":"; the first one starting with ENCODING decides
// by the value after its "=". Case does not matter.
LineEncoding lineEncoding(const char *line, size_t length);

// Where the name at the start of a NUL-terminated line ends: at its first
// ":" or ";", or at the NUL. Inline, through a table: every line of a
// calendar is read up to there, by the checks and by the tolerant reader.
struct NameEnds {
    bool at[256];
};
constexpr NameEnds nameEnds() {
    NameEnds t{};
    t.at[0] = true;
    t.at[static_cast<unsigned char>(';')] = true;
    t.at[static_cast<unsigned char>(':')] = true;
    return t;
}
inline constexpr NameEnds kNameEnds = nameEnds();
inline const char *nameEnd(const char *line) {
    while (!kNameEnds.at[static_cast<unsigned char>(*line)])
        ++line;
    return line;
}

// As vCal_IsWordInTheString, for words written in capitals (the reader's
// own): only the line's letters are raised.
bool isWordLine(const char *line, const char *word1, const char *word2);

// The identifier of the first keyword of the table that the line starts
// with (after blanks and tabs), or 0.
uint16_t vCal_LookupPropertyKeyword(const char *line);
// The same for a line of `length` bytes before its NUL (a reader's own
// line, whose length it knows): a long line is compared in wide steps.
uint16_t vCal_LookupPropertyKeyword(const char *line, size_t length);

// True for a line of blanks, tabs, CRs and LFs only (or nothing).
bool isBlankLine(const char *line);

// A text in memory as the reader's byte source: memoryNextByte hands out
// its bytes as a caller's callback would (0 once it is used up). The line
// reader knows this source by its function and takes the ordinary bytes
// of a line from it in runs, without a call for each byte.
struct MemoryStream {
    const char *at;
    const char *end;
    // For a text made as it is read: called when `at` reaches `end`, sets
    // them to what was made next; false when nothing more comes. What lies
    // before `at` may be gone after it.
    bool (*more)(MemoryStream &stream) = nullptr;
};
int32_t memoryNextByte(void *stream, uint8_t *byte);

using ascii::isAlnum;
using ascii::isDigit;
using ascii::isLetter;
using ascii::isLineEnd;
using ascii::upper;

// Delivers the logical lines of a byte source one at a time (the reader's
// vCal_GetALineFromStream): continuation lines unfolded, quoted-printable
// soft breaks joined, line feeds counted, and every trailing white-space
// character turned into a CR. One buffer serves every line and grows by
// doubling, so a line of any length costs time in proportion to it.
class LineReader {
  public:
    LineReader(void *stream, vCalStreamNextByteGet get) : stream_(stream), get_(get) {}
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;
    ~LineReader();

    // 0 with the next line in text(); VCAL_END_OF_STREAM (not logged);
    // VCAL_ERR_NO_MEMORY; or the callback's failure code.
    int32_t next();

    const char *text() const { return buffer_; }
    size_t length() const { return length_; }
    // Line feeds read so far: the number of the last physical line of the
    // line just delivered.
    uint32_t lineNumber() const { return lineNumber_; }
    // The line just delivered: the number of its first physical line, and
    // where it starts in a text in memory (null for other streams, and for
    // a text made as it is read).
    uint32_t firstLineNumber() const { return firstLine_; }
    const char *start() const { return start_; }

  private:
    int32_t fetch(uint8_t &byte);
    void startLine();
    // Room for `more` characters and the NUL.
    bool reserve(size_t more = 1) { return length_ + more + 1 <= capacity_ || grow(more); }
    bool grow(size_t more);
    template <bool kMade> int32_t nextInMemory();
    bool softBreak();
    void finish();

    void *stream_;
    vCalStreamNextByteGet get_;
    uint8_t lookahead_ = 0;
    uint32_t lineNumber_ = 0;
    uint32_t firstLine_ = 0;
    const char *start_ = nullptr;
    char *buffer_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
    // Where the search for the line's first ":" goes on, and once it is
    // found, the encoding its parameters declared.
    size_t colonSearch_ = 0;
    bool colonFound_ = false;
    bool quotedPrintable_ = false;
};

} // namespace vcal
