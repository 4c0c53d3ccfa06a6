// Dates, times, offsets and durations as both calendar formats write them,
// and zones: the offset from UTC that holds at a local time, whether the
// zone came from vCalendar's TZ and DAYLIGHT or from a VTIMEZONE.
#pragma once

#include <cstdint>
#include <string_view>

#include "interop/recover/array.h"
#include "vcal/vcalmsg.h"

namespace interop::convert {

// A date or date-time as written: UTC ("Z"), local, or a date alone.
struct DateTime {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool utc = false;
    bool dateOnly = false;
};

// 8 digits, optionally "T" and 4 or 6 digits (an hour of 24 is the next
// day's midnight, as some phones write), optionally "Z"; ISO 8601's "-"
// and ":" separators are passed over. False for anything else.
bool parseDateTime(std::string_view text, DateTime &out);

int64_t daysFromCivil(int32_t year, int32_t month, int32_t day);
void civilFromDays(int64_t days, int32_t &year, int32_t &month, int32_t &day);
// 0 for Sunday ... 6 for Saturday.
int weekdayOf(int32_t year, int32_t month, int32_t day);
int32_t daysInMonth(int32_t year, int32_t month);

// Seconds since 1970 of the fields, read as if they were UTC; and back,
// keeping `utc` and clearing `dateOnly`.
int64_t toSeconds(const DateTime &t);
DateTime fromSeconds(int64_t seconds, bool utc);

// "20240102T030405Z", "20240102T030405", "20240102".
bool appendBasic(vcal::TextBuffer &out, const DateTime &t);
// jCal's forms: "2024-01-02T03:04:05Z", "2024-01-02T03:04:05", "2024-01-02".
bool appendExtended(vcal::TextBuffer &out, const DateTime &t);

// "+01", "-0500", "+05:30", "0100", "-5" (hours), in seconds east of UTC.
bool parseOffset(std::string_view text, int32_t &seconds);
// "+0100" ("+01:00" with `colon`); seconds kept when there are any.
bool appendOffset(vcal::TextBuffer &out, int32_t seconds, bool colon);

// RFC 5545 durations ("-PT15M", "P1DT2H", "P2W") in seconds.
bool parseDuration(std::string_view text, int64_t &seconds);
bool appendDuration(vcal::TextBuffer &out, int64_t seconds);

// The offsets of a zone: `base` before any onset, then each onset (a local
// time, in the offset in force before it) switching to its offset; yearly
// onsets repeat on an nth (or, negative, nth last) weekday, or a day, of
// a month from a first year.
class Zone {
  public:
    struct Onset {
        int64_t local;
        int32_t offset;
    };
    struct Yearly {
        int32_t firstYear, lastYear; // lastYear 0: no end
        int32_t month;
        int32_t week;    // 1..5, -1..-5; 0: `day` is the month's day
        int32_t weekday; // 0 Sunday
        int32_t day;
        int32_t secondOfDay;
        int32_t offset;

        // The local time of the onset in `year`; false when it has none
        // that year (outside its years, or a fifth weekday the month lacks).
        bool onsetIn(int32_t year, int64_t &local) const;
    };

    int32_t base = 0;
    Array<Onset> onsets;
    Array<Yearly> yearly;

    void clear() {
        base = 0;
        onsets.clear();
        yearly.clear();
    }
    // The offset in force at the local time (seconds as toSeconds gives).
    int32_t offsetAt(int64_t local) const;
    // UTC seconds of a local time.
    int64_t toUtc(int64_t local) const { return local - offsetAt(local); }
};

} // namespace interop::convert
