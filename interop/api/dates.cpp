// The library's date records as ISO 8601 text and struct tm. Everything
// goes through day counts of the proleptic Gregorian calendar computed
// here: the C library's time functions depend on the system's zone, its
// time_t is 32 bits on some of our targets (CalapiTime reaches the year
// 10157), and timegm does not exist on Windows.
#include <cstdint>
#include <ctime>

#include "versit_dates.h"

namespace {

constexpr int64_t kMinutesPerDay = int64_t{24} * 60;
constexpr int64_t kLastMinute = UINT32_MAX;

constexpr int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}
constexpr int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// Days from 1970-01-01 to a date, by 400-year eras counted from 1 March so
// that the leap day is the last of its year: no table and no loop, and any
// year a record or a struct tm can hold. `day` may lie outside its month.
constexpr int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = floorDiv(year, 400);
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr int64_t kEpochDays = daysFromCivil(1991, 1, 1);
static_assert(kEpochDays == 7670, "1991-01-01 is day 7670 of the C epoch");
static_assert(daysFromCivil(2000, 3, 1) - daysFromCivil(2000, 2, 28) == 2, "2000 is a leap year");
static_assert(daysFromCivil(2100, 3, 1) - daysFromCivil(2100, 2, 28) == 1, "2100 is not");

struct Civil {
    int64_t year;
    int32_t month; // 1 to 12
    int32_t day;
};

// The inverse of daysFromCivil.
constexpr Civil civilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = floorDiv(days, 146097);
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153; // 0 is March
    const auto day = static_cast<int32_t>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    const auto month = static_cast<int32_t>(shifted < 10 ? shifted + 3 : shifted - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr bool isLeap(int64_t year) {
    return floorMod(year, 4) == 0 && (floorMod(year, 100) != 0 || floorMod(year, 400) == 0);
}

constexpr int32_t daysInMonth(int64_t year, int32_t month) {
    constexpr int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

bool validDate(int64_t year, int32_t month, int32_t day) {
    return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

bool validOffset(int32_t hours, int32_t minutes) {
    const bool sameSign = !(hours > 0 && minutes < 0) && !(hours < 0 && minutes > 0);
    return sameSign && hours >= -23 && hours <= 23 && minutes >= -59 && minutes <= 59;
}

// A record's fields as the reader would have accepted them; the offset
// counts only when the record says the time has one.
bool validRecord(const vDateTime &value) {
    const vTime &t = value.time;
    if (!validDate(value.date.year, value.date.month, value.date.day)) return false;
    if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59) return false;
    if (t.second < 0 || t.second > 60) return false;
    return t.local == 1 || t.utc == 1 || validOffset(t.offsetHours, t.offsetMinutes);
}

// The minutes of `value` from the CalapiTime epoch, on the UTC line.
int64_t minutesOf(const vDateTime &value) {
    const vTime &t = value.time;
    int64_t minutes =
        (daysFromCivil(value.date.year, value.date.month, value.date.day) - kEpochDays) *
            kMinutesPerDay +
        int64_t{t.hour} * 60 + t.minute;
    if (t.local != 1 && t.utc != 1) minutes -= int64_t{t.offsetHours} * 60 + t.offsetMinutes;
    return minutes;
}

int32_t storeMinutes(int64_t minutes, CalapiTime *time) {
    if (minutes < 0 || minutes > kLastMinute) return KL_DATE_E_RANGE;
    *time = static_cast<CalapiTime>(minutes);
    return 0;
}

vDateTime utcOf(CalapiTime time) {
    const Civil c = civilFromDays(time / kMinutesPerDay + kEpochDays);
    const auto minuteOfDay = static_cast<int32_t>(time % kMinutesPerDay);
    vDateTime value{};
    value.date = {static_cast<int32_t>(c.year), c.month, c.day};
    value.time.hour = minuteOfDay / 60;
    value.time.minute = minuteOfDay % 60;
    value.time.utc = 1;
    return value;
}

// ------------------------------------------------------------------------
// Reading.

class Scanner {
  public:
    explicit Scanner(const char *text) : at_(text) {}

    bool atEnd() const { return *at_ == '\0'; }
    char peek() const { return *at_; }
    bool peekDigit() const { return *at_ >= '0' && *at_ <= '9'; }

    bool take(char c) {
        if (*at_ != c) return false;
        ++at_;
        return true;
    }

    // Exactly `count` digits.
    bool number(int count, int32_t &value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (!peekDigit()) return false;
            value = value * 10 + (*at_++ - '0');
        }
        return true;
    }

    void skipDigits() {
        while (peekDigit())
            ++at_;
    }

  private:
    const char *at_;
};

// Four digits, or a sign and five: ISO 8601's expanded years, which the
// last CalapiTime minutes need.
bool readYear(Scanner &in, int32_t &year) {
    const bool negative = in.peek() == '-';
    if (!negative && !in.take('+')) return in.number(4, year);
    in.take('-');
    if (!in.number(5, year)) return false;
    if (negative) year = -year;
    return true;
}

bool readZone(Scanner &in, vTime &t) {
    if (in.atEnd()) {
        t.local = 1;
        return true;
    }
    if (in.take('Z')) {
        t.utc = 1;
        return true;
    }
    const int32_t sign = in.take('+') ? 1 : in.take('-') ? -1 : 0;
    int32_t hours = 0;
    int32_t minutes = 0;
    if (sign == 0 || !in.number(2, hours)) return false;
    // The offset's own separator, whatever the form of the rest: both are
    // common in what clients hand over.
    const bool colon = in.take(':');
    if ((colon || in.peekDigit()) && !in.number(2, minutes)) return false;
    if (hours > 23 || minutes > 59) return false;
    t.offsetHours = sign * hours;
    t.offsetMinutes = sign * minutes;
    return true;
}

// The time after "T", in the date's form.
bool readTime(Scanner &in, bool extended, vTime &t) {
    if (!in.number(2, t.hour)) return false;
    if (extended && !in.take(':')) return false;
    if (!in.number(2, t.minute)) return false;
    const bool seconds = extended ? in.take(':') : in.peekDigit();
    if (seconds) {
        if (!in.number(2, t.second)) return false;
        if (in.take('.') || in.take(',')) {
            if (!in.peekDigit()) return false;
            in.skipDigits();
        }
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 60) return false;
    return readZone(in, t);
}

// The whole text, into *value; *dateOnly tells a date without a time.
bool readIso(const char *text, vDateTime &value, bool &dateOnly) {
    Scanner in(text);
    value = vDateTime{};
    vDate &d = value.date;
    if (!readYear(in, d.year)) return false;
    const bool extended = in.take('-');
    if (!in.number(2, d.month)) return false;
    if (extended && !in.take('-')) return false;
    if (!in.number(2, d.day) || !validDate(d.year, d.month, d.day)) return false;
    dateOnly = in.atEnd();
    if (dateOnly) {
        value.time.local = 1;
        return true;
    }
    return in.take('T') && readTime(in, extended, value.time) && in.atEnd();
}

// ------------------------------------------------------------------------
// Writing: into a scratch text first, so that the caller's buffer is
// either filled whole or left alone.

class Text {
  public:
    void put(char c) { text_[length_++] = c; }

    void number(int64_t value, int width) {
        char digits[8];
        for (int i = width - 1; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        for (int i = 0; i < width; ++i)
            put(digits[i]);
    }

    void year(int64_t year) {
        if (year >= 0 && year <= 9999) return number(year, 4);
        put(year < 0 ? '-' : '+');
        number(year < 0 ? -year : year, 5);
    }

    void date(int64_t year, int32_t month, int32_t day) {
        this->year(year);
        put('-');
        number(month, 2);
        put('-');
        number(day, 2);
    }

    int32_t copyTo(char *buffer, size_t size) const {
        if (buffer == nullptr) return VLIB_ERR_NULL_ARGUMENT;
        if (size < length_ + 1) return VCAL_ERR_BUFFER_TOO_SMALL;
        for (size_t i = 0; i < length_; ++i)
            buffer[i] = text_[i];
        buffer[length_] = '\0';
        return 0;
    }

  private:
    char text_[VI_ISO_TEXT_SIZE] = {};
    size_t length_ = 0;
};

void putDateTime(Text &out, const vDateTime &value) {
    const vTime &t = value.time;
    out.date(value.date.year, value.date.month, value.date.day);
    out.put('T');
    out.number(t.hour, 2);
    out.put(':');
    out.number(t.minute, 2);
    out.put(':');
    out.number(t.second, 2);
    if (t.local == 1) return;
    if (t.utc == 1) return out.put('Z');
    const bool west = t.offsetHours < 0 || t.offsetMinutes < 0;
    out.put(west ? '-' : '+');
    out.number(west ? -t.offsetHours : t.offsetHours, 2);
    out.put(':');
    out.number(west ? -t.offsetMinutes : t.offsetMinutes, 2);
}

} // namespace

extern "C" {

VERSIT_INTEROP_API int32_t VI_calapiTimeToIso(CalapiTime time, char *buffer, size_t size) {
    Text out;
    putDateTime(out, utcOf(time));
    return out.copyTo(buffer, size);
}

VERSIT_INTEROP_API int32_t VI_isoToCalapiTime(const char *text, CalapiTime *time) {
    if (text == nullptr || time == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    vDateTime value;
    bool dateOnly = false;
    if (!readIso(text, value, dateOnly)) return VCAL_ERR_BAD_DATE_TIME;
    return storeMinutes(minutesOf(value), time);
}

VERSIT_INTEROP_API int32_t VI_calapiTimeToTm(CalapiTime time, struct tm *tm) {
    if (tm == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const int64_t days = time / kMinutesPerDay + kEpochDays;
    const vDateTime value = utcOf(time);
    tm->tm_year = value.date.year - 1900;
    tm->tm_mon = value.date.month - 1;
    tm->tm_mday = value.date.day;
    tm->tm_hour = value.time.hour;
    tm->tm_min = value.time.minute;
    tm->tm_sec = 0;
    tm->tm_wday = static_cast<int>((days + 4) % 7); // 1970-01-01 was a Thursday
    tm->tm_yday = static_cast<int>(days - daysFromCivil(value.date.year, 1, 1));
    tm->tm_isdst = 0;
    return 0;
}

VERSIT_INTEROP_API int32_t VI_tmToCalapiTime(const struct tm *tm, CalapiTime *time) {
    if (tm == nullptr || time == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    // Every field is an int, so in 64 bits none of the sums below can
    // overflow, however far out of range the fields are.
    const int64_t year = int64_t{1900} + tm->tm_year + floorDiv(tm->tm_mon, 12);
    const int64_t month = floorMod(tm->tm_mon, 12) + 1;
    const int64_t days = daysFromCivil(year, month, 1) + (int64_t{tm->tm_mday} - 1) - kEpochDays;
    const int64_t seconds = ((days * 24 + tm->tm_hour) * 60 + tm->tm_min) * 60 + tm->tm_sec;
    return storeMinutes(floorDiv(seconds, 60), time);
}

VERSIT_INTEROP_API int32_t VI_dateTimeToIso(const vDateTime *dateTime, char *buffer, size_t size) {
    if (dateTime == nullptr || buffer == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (!validRecord(*dateTime) || dateTime->date.year < -99999 || dateTime->date.year > 99999)
        return VCAL_ERR_BAD_DATE_TIME;
    Text out;
    putDateTime(out, *dateTime);
    return out.copyTo(buffer, size);
}

VERSIT_INTEROP_API int32_t VI_isoToDateTime(const char *text, vDateTime *dateTime) {
    if (text == nullptr || dateTime == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    vDateTime value;
    bool dateOnly = false;
    if (!readIso(text, value, dateOnly)) return VCAL_ERR_BAD_DATE_TIME;
    *dateTime = value;
    return 0;
}

VERSIT_INTEROP_API int32_t VI_dateTimeToCalapiTime(const vDateTime *dateTime, CalapiTime *time) {
    if (dateTime == nullptr || time == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (!validRecord(*dateTime)) return VCAL_ERR_BAD_DATE_TIME;
    return storeMinutes(minutesOf(*dateTime), time);
}

VERSIT_INTEROP_API int32_t VI_calapiTimeToDateTime(CalapiTime time, vDateTime *dateTime) {
    if (dateTime == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *dateTime = utcOf(time);
    return 0;
}

VERSIT_INTEROP_API int32_t VI_abDateToIso(const ABDate *date, char *buffer, size_t size) {
    if (date == nullptr || buffer == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    Text out;
    if (date->day != 0 || date->month != 0 || date->year != 0) {
        const int32_t month = date->month + 1;
        if (date->year > 9999 || !validDate(date->year, month, date->day))
            return VCAL_ERR_BAD_DATE_TIME;
        out.date(date->year, month, date->day);
    }
    return out.copyTo(buffer, size);
}

VERSIT_INTEROP_API int32_t VI_isoToAbDate(const char *text, ABDate *date) {
    if (text == nullptr || date == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (*text == '\0') {
        *date = ABDate{};
        return 0;
    }
    vDateTime value;
    bool dateOnly = false;
    if (!readIso(text, value, dateOnly) || !dateOnly || value.date.year < 0 ||
        value.date.year > 9999)
        return VCAL_ERR_BAD_DATE_TIME;
    date->day = static_cast<uint8_t>(value.date.day);
    date->month = static_cast<uint8_t>(value.date.month - 1);
    date->year = static_cast<uint16_t>(value.date.year);
    return 0;
}

} // extern "C"
