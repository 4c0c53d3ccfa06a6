// The tolerant front end of vCalendar reading: the text rewritten, one
// logical line per line, so that the exact reader keeps every calendar,
// event and to-do that has a sensible reading, with its values in UTF-8;
// whole, or made as the exact reader reads it. Each repair is reported
// with the line of the original text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interop/recover/array.h"
#include "interop/recover/report.h"
#include "vcal/vcalline.h"
#include "vcal/vcalmsg.h"

namespace interop {

// What the reader learnt of one event or to-do it wrote out.
struct ItemOrigin {
    uint64_t line; // its BEGIN line in the original text
    bool repaired;
    bool lossy;
    // Its BEGIN line in the text the exact reader reads (the rewritten one,
    // or the original read as it stands): where it starts, and its number.
    size_t at;
    uint64_t readLine;
};

struct RepairedCalendars {
    vcal::TextBuffer text;          // the rewritten text, from textBase on
    Array<uint64_t> lines;          // original line of each line of `text`
    Array<ItemOrigin> events;       // in the order of the text, all calendars
    Array<ItemOrigin> todos;        // (from eventBase and todoBase on)
    Array<uint32_t> calendarEvents; // per calendar: its first entry in `events`
    Array<uint32_t> calendarTodos;
    uint64_t junkLines = 0;
    uint64_t skipped = 0; // items left out here (no usable start)
    // What a rewriting made as it was read (CalendarRepairFeed) has
    // forgotten of its text: the bytes, lines and items before these.
    size_t textBase = 0;
    uint64_t lineBase = 0;
    size_t eventBase = 0;
    size_t todoBase = 0;

    void clear() {
        text.length = 0;
        lines.clear();
        events.clear();
        todos.clear();
        calendarEvents.clear();
        calendarTodos.clear();
        junkLines = skipped = 0;
        textBase = eventBase = todoBase = 0;
        lineBase = 0;
        asWritten = false;
    }
    // The text was read as it stands: its lines are the original ones.
    bool asWritten = false;

    // 0 for a line no longer (or never) held.
    uint64_t originalLine(uint64_t repairedLine) const {
        if (asWritten) return repairedLine;
        return repairedLine > lineBase && repairedLine - lineBase <= lines.size()
                   ? lines[repairedLine - lineBase - 1]
                   : 0;
    }
    // The `ordinal`-th event or to-do of the text, or null when not held.
    const ItemOrigin *origin(uint16_t type, uint64_t ordinal) const {
        const bool event = type == VCAL_ITEM_EVENT;
        const Array<ItemOrigin> &items = event ? events : todos;
        const size_t base = event ? eventBase : todoBase;
        return ordinal >= base && ordinal - base < items.size() ? &items[ordinal - base] : nullptr;
    }
};

// Rewrites `length` bytes of vCalendar text into `out`. False when memory
// ran out.
bool repairCalendars(const char *text, size_t length, Reporter &report, RepairedCalendars &out);

// The heads of a text's calendars (their BEGIN lines and own lines) as a
// rewriting found them, kept for the next making of the same text, which
// then need not read each calendar through for its head.
struct CalendarHeads {
    struct Line {
        size_t start; // in `text`
        size_t length;
        uint64_t number; // in the original text
    };
    vcal::TextBuffer text;
    Array<Line> lines;
    Array<size_t> ends; // per calendar: the end of its lines in `lines`
};

// The same rewriting, made as the exact reader reads it: each time the
// reader has used up what was made, the next calendar head or item (and
// whatever ends before it) is made, and what lies before the part made the
// time before is forgotten. So the text, its lines and its items are never
// held whole, while the item the reader has just finished, and the lines
// its messages name, are still at hand.
class CalendarRepairFeed {
  public:
    // Writes into `out`, which it clears; reports to `report`. The heads of
    // the calendars go into `heads` when it is empty, else are taken from
    // it (a making of the same text before this one filled it).
    CalendarRepairFeed(const char *text, size_t length, Reporter &report, RepairedCalendars &out,
                       CalendarHeads &heads);
    ~CalendarRepairFeed();
    CalendarRepairFeed(const CalendarRepairFeed &) = delete;
    CalendarRepairFeed &operator=(const CalendarRepairFeed &) = delete;

    // The exact reader's source: `stream.more` makes the next part.
    vcal::MemoryStream &stream() { return stream_; }
    // Called before anything is forgotten, with `user`: the last moment
    // the lines read so far can be placed.
    void beforeForgetting(void (*call)(void *user), void *user) {
        beforeForgetting_ = call;
        user_ = user;
    }
    // Makes the rest of the text, forgetting it, for the reports and
    // counts of a reader that stopped early; false when memory ran out.
    bool finish();
    // Memory ran out while making the text (which then ended early).
    bool failed() const { return failed_; }

  private:
    struct State;
    struct Source : vcal::MemoryStream {
        CalendarRepairFeed *feed = nullptr;
    };
    static bool more(vcal::MemoryStream &stream);
    void forget();

    Source stream_{};
    RepairedCalendars &out_;
    State *state_;
    // Where the part made the time before starts: its byte, its line.
    size_t madeBefore_ = 0;
    uint64_t linesBefore_ = 0;
    bool failed_ = false;
    void (*beforeForgetting_)(void *) = nullptr;
    void *user_ = nullptr;
};

// For a text read as it stands: where its calendars, events and to-dos
// begin (`out`'s item and calendar arrays; the text itself is not copied).
// False when memory ran out.
bool findItems(const char *text, size_t length, RepairedCalendars &out);

} // namespace interop
