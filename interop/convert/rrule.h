// Recurrence rules in both grammars: vCalendar's "W1 MO TH #10" and
// iCalendar's "FREQ=WEEKLY;BYDAY=MO,TH;COUNT=20", read into one record
// and written in either, or as jCal's recur object.
#pragma once

#include <cstdint>
#include <string_view>

#include "interop/convert/zone.h"
#include "vcal/vcalmsg.h"

namespace interop::convert {

struct Rule {
    enum Freq : uint8_t { None, Secondly, Minutely, Hourly, Daily, Weekly, Monthly, Yearly };
    struct Day {
        int16_t ordinal; // 0: every such weekday; -1 the last ...
        int16_t weekday; // 0 Sunday
    };

    Freq freq = None;
    int32_t interval = 1;
    int32_t count = 0; // 0: none
    bool hasUntil = false;
    DateTime until;
    uint16_t dayCount = 0, monthDayCount = 0, monthCount = 0, yearDayCount = 0;
    Day byDay[64];
    int16_t byMonthDay[62];
    int16_t byMonth[12];
    int16_t byYearDay[366];
    int16_t weekStart = 1;
    // The first rule part vCalendar cannot hold (BYSETPOS, BYHOUR ...),
    // or empty.
    std::string_view otherPart;
    // Read from vCalendar: the end date as written (hasEnd10), and what
    // the record cannot say of the text (null when it says it all).
    bool hasEnd10 = false;
    DateTime end10;
    const char *inexact = nullptr;
};

// Reads a vCalendar rule for an item starting at `start` (its date as
// written). vCalendar counts periods (weeks, months, years) where
// iCalendar counts occurrences, and a rule without a count or end date
// repeats twice: the record says what our own expansion gives, with a
// count of occurrences where that is exact and an end (the last period's
// last second, in the start's form) where it is not. False, with *why,
// for a rule that is not understood.
bool parseRule10(std::string_view text, const DateTime &start, Rule &out, const char **why);

// Reads an iCalendar RRULE value. False, with *why, when it is no rule.
bool parseRule5545(std::string_view text, Rule &out, const char **why);

// Writes the rule as iCalendar's RRULE value (UNTIL as the record holds it).
bool appendRule5545(vcal::TextBuffer &out, const Rule &rule);

// Writes the rule as jCal's recur object.
bool appendRuleJson(vcal::TextBuffer &out, const Rule &rule);

// Writes the rule in vCalendar's grammar, for an item starting at
// `start`. *lost is null when the rule is written as it is; otherwise it
// says what could not be said: with *written false nothing was written
// (the rule cannot be said at all), with it true an approximation was.
// False only when memory ran out.
bool appendRule10(vcal::TextBuffer &out, const Rule &rule, const DateTime &start, const char **lost,
                  bool *written);

} // namespace interop::convert
