// The tolerant front end of vCard reading: finds each card of a text,
// whatever stands between cards, and hands out its text repaired so the
// strict reader reads it as its writer meant it. A card that needs no
// repair is handed out in place, without a copy; so is one whose only
// repair joins lines the writer broke without indenting them (the parse
// is told which).
#pragma once

#include <cstddef>
#include <cstdint>

#include "interop/recover/array.h"
#include "interop/recover/lines.h"
#include "interop/recover/report.h"
#include "vcal/vcalmsg.h"
#include "versit_vcard.h"

namespace interop {

struct CardText {
    const char *text = nullptr; // the card's lines, BEGIN to END
    size_t length = 0;
    // What the exact import is given: `length`, less the last line break
    // of a card that stands in place at the very end of the caller's text.
    // The import looks at the byte after what it is given, and that byte
    // must be there: the break is, and the END line reads the same without it.
    size_t importLength = 0;
    uint64_t firstLine = 0; // the line of its BEGIN
    size_t at = 0;          // where its BEGIN stands in the text scanned
    bool eightBit = false;  // a value may hold 8-bit text once read (else all are ASCII)
    // Where its line breaks stand, from `text` on (null when not known):
    // the parse need not search for them again.
    const size_t *breaks = nullptr;
    size_t breakCount = 0;
    // The breaks after which the parse joins the next line to the line
    // before, as if a blank followed them (vparse::KnownBreaks::joins).
    const size_t *joins = nullptr;
    size_t joinCount = 0;
};

class CardScanner {
  public:
    CardScanner(const char *text, size_t length)
        : text_(text), end_(text + length), cursor_(text, length) {}

    enum class Step { Card, End, NoMemory };

    // The next card in *card, valid until the next call. Text before it is
    // reported as passed over; each repair is reported as it is made.
    // After NoMemory nothing was consumed.
    Step next(VCardContext *context, Reporter &report, CardText &card);

    // The lines the card's loop passes without a second look (see
    // classifyLine in the source).
    enum class Ordinary { None, Property, Coded, Continued, ContinuedQuoted, Joined, Empty };

    uint64_t junkLines() const { return junkLines_; }

    // Where the scan stands, to go back to when what follows a card's scan
    // runs out of memory.
    struct Mark {
        LineCursor cursor;
        uint64_t junkLines;
    };
    Mark mark() const { return {cursor_, junkLines_}; }
    void reset(const Mark &m) {
        cursor_ = m.cursor;
        junkLines_ = m.junkLines;
    }

  private:
    bool findBegin(Reporter &report, Line &begin);
    bool exactLine(std::string_view text, Line &line);
    // What a run of ordinary lines leaves: whether it held any property
    // (which ends a value's encoding) and whether the last one's value is
    // quoted-printable, whether a soft break is open at its end, whether it
    // held any 8-bit byte, whether its last line is one the card's loop
    // joins after a soft break, and false in `ok` when there was no room
    // to write a line into the card's copy or to list a join.
    struct Run {
        bool property = false;
        bool quotedPrintable = false;
        bool softBreak = false;
        bool eightBit = false;
        bool joined = false;
        bool ok = true;
    };
    Run ordinaryRun(bool afterKeyword, bool quotedPrintable, bool softBreak, Reporter &report,
                    Line &line);
    bool copyUpTo(size_t offset);
    bool put(std::string_view piece);
    bool putLine(std::string_view text);
    bool endLine();
    void noteBreak(const Line &line);

    const char *text_;
    const char *end_;
    LineCursor cursor_;
    vcal::TextBuffer repaired_;
    Array<size_t> breaks_;     // of the card in hand, from its start
    Array<size_t> joins_;      // of those, the ones the parse joins
    bool breaksKnown_ = false; // breaks_ holds every one of them so far
    bool copying_ = false;     // the card is being rebuilt in repaired_
    size_t cardStart_ = 0;
    uint64_t junkLines_ = 0;
    size_t prefetched_ = 0; // the text up to here has been asked of memory
};

} // namespace interop
