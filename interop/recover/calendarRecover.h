// The tolerant front end of vCalendar reading: the whole text rewritten,
// one logical line per line, so that the exact reader keeps every
// calendar, event and to-do that has a sensible reading, with its values
// in UTF-8. Each repair is reported with the line of the original text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interop/recover/array.h"
#include "interop/recover/report.h"
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
    vcal::TextBuffer text;    // the rewritten text
    Array<uint64_t> lines;    // original line of each line of `text`
    Array<ItemOrigin> events; // in the order of the text, all calendars
    Array<ItemOrigin> todos;
    Array<uint32_t> calendarEvents; // per calendar: its first entry in `events`
    Array<uint32_t> calendarTodos;
    uint64_t junkLines = 0;
    uint64_t skipped = 0; // items left out here (no usable start)

    void clear() {
        text.length = 0;
        lines.clear();
        events.clear();
        todos.clear();
        calendarEvents.clear();
        calendarTodos.clear();
        junkLines = skipped = 0;
        asWritten = false;
    }
    // The text was read as it stands: its lines are the original ones.
    bool asWritten = false;

    uint64_t originalLine(uint64_t repairedLine) const {
        if (asWritten) return repairedLine;
        return repairedLine >= 1 && repairedLine <= lines.size() ? lines[repairedLine - 1] : 0;
    }
};

// Rewrites `length` bytes of vCalendar text into `out`. False when memory
// ran out.
bool repairCalendars(const char *text, size_t length, Reporter &report, RepairedCalendars &out);

// For a text read as it stands: where its calendars, events and to-dos
// begin (`out`'s item and calendar arrays; the text itself is not copied).
// False when memory ran out.
bool findItems(const char *text, size_t length, RepairedCalendars &out);

} // namespace interop
