// Dates, offsets, durations and zone offsets of both calendar formats.
#include "interop/convert/zone.h"

#include "interop/convert/contentLine.h"
#include "platform/ascii.h"

namespace interop::convert {

using namespace std::string_view_literals;

namespace {

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }

// Reads `count` digits at `at` into `value`.
bool digits(std::string_view text, size_t &at, int count, int32_t &value) {
    value = 0;
    for (int i = 0; i < count; ++i, ++at) {
        if (at >= text.size() || !ascii::isDigit(text[at])) return false;
        value = value * 10 + (text[at] - '0');
    }
    return true;
}

constexpr int64_t kDay = 86400;

} // namespace

int64_t daysFromCivil(int32_t year, int32_t month, int32_t day) {
    // Days from 1970-01-01 in the proleptic Gregorian calendar, counted in
    // 400-year eras that start on 1 March so the leap day ends an era.
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t days, int32_t &year, int32_t &month, int32_t &day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int32_t>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int weekdayOf(int32_t year, int32_t month, int32_t day) {
    const int64_t days = daysFromCivil(year, month, day);
    return static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
}

int32_t daysInMonth(int32_t year, int32_t month) {
    static constexpr int32_t kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kLength[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool parseDateTime(std::string_view text, DateTime &out) {
    while (!text.empty() && (ascii::isBlank(text.back()) || ascii::isBreak(text.back())))
        text.remove_suffix(1);
    while (!text.empty() && ascii::isBlank(text.front()))
        text.remove_prefix(1);
    // The parts in scalars, not in a DateTime: one made field by field and
    // then copied whole is read back in wider pieces than its stores,
    // which the processor cannot forward.
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool utc = false;
    bool dateOnly = false;
    size_t at = 0;
    auto skip = [&](char c) {
        if (at < text.size() && text[at] == c) ++at;
    };
    if (!digits(text, at, 4, year)) return false;
    skip('-');
    if (!digits(text, at, 2, month)) return false;
    skip('-');
    if (!digits(text, at, 2, day)) return false;
    if (at == text.size()) {
        dateOnly = true;
    } else {
        if (ascii::upper(text[at]) != 'T') return false;
        ++at;
        if (!digits(text, at, 2, hour)) return false;
        skip(':');
        if (!digits(text, at, 2, minute)) return false;
        skip(':');
        if (at < text.size() && ascii::isDigit(text[at]) && !digits(text, at, 2, second))
            return false;
        if (at < text.size() && ascii::upper(text[at]) == 'Z') {
            utc = true;
            ++at;
        }
        if (at != text.size()) return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 24 ||
        minute > 59 || second > 60)
        return false;
    if (hour == 24 && (minute != 0 || second != 0)) return false;
    out.year = year;
    out.month = month;
    out.day = day;
    out.hour = hour;
    out.minute = minute;
    out.second = second;
    out.utc = utc;
    out.dateOnly = dateOnly;
    if (hour == 24) out = fromSeconds(toSeconds(out), utc); // the next day's midnight
    return true;
}

int64_t toSeconds(const DateTime &t) {
    return daysFromCivil(t.year, t.month, t.day) * kDay + int64_t{t.hour} * 3600 +
           int64_t{t.minute} * 60 + t.second;
}

DateTime fromSeconds(int64_t seconds, bool utc) {
    DateTime t;
    int64_t days = seconds / kDay;
    int64_t rest = seconds % kDay;
    if (rest < 0) {
        rest += kDay;
        --days;
    }
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int32_t>(rest / 3600);
    t.minute = static_cast<int32_t>(rest / 60 % 60);
    t.second = static_cast<int32_t>(rest % 60);
    t.utc = utc;
    return t;
}

namespace {

// Writes `value` as `width` digits at p (the caller keeps it in range).
char *fixed(char *p, int32_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
        p[i] = static_cast<char>('0' + value % 10);
    return p + width;
}

// Dates are written for every item of a calendar: by hand, not through
// printf, which costs more than the rest of the conversion.
bool appendDate(vcal::TextBuffer &out, const DateTime &t, bool extended) {
    const bool inRange = t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 &&
                         t.day >= 0 && t.day <= 99 && t.hour >= 0 && t.hour <= 99 &&
                         t.minute >= 0 && t.minute <= 99 && t.second >= 0 && t.second <= 99;
    if (!inRange) {
        // Nothing the readers give; kept whole rather than cut.
        const std::string_view dash = extended ? "-"sv : ""sv;
        const std::string_view colon = extended ? ":"sv : ""sv;
        return appendDecimal(out, t.year, 4) && put(out, dash) && appendDecimal(out, t.month, 2) &&
               put(out, dash) && appendDecimal(out, t.day, 2) &&
               (t.dateOnly || (put(out, "T") && appendDecimal(out, t.hour, 2) && put(out, colon) &&
                               appendDecimal(out, t.minute, 2) && put(out, colon) &&
                               appendDecimal(out, t.second, 2))) &&
               (t.dateOnly || !t.utc || put(out, "Z"));
    }
    char text[24];
    char *p = fixed(text, t.year, 4);
    if (extended) *p++ = '-';
    p = fixed(p, t.month, 2);
    if (extended) *p++ = '-';
    p = fixed(p, t.day, 2);
    if (!t.dateOnly) {
        *p++ = 'T';
        p = fixed(p, t.hour, 2);
        if (extended) *p++ = ':';
        p = fixed(p, t.minute, 2);
        if (extended) *p++ = ':';
        p = fixed(p, t.second, 2);
        if (t.utc) *p++ = 'Z';
    }
    return put(out, std::string_view(text, static_cast<size_t>(p - text)));
}

} // namespace

bool appendBasic(vcal::TextBuffer &out, const DateTime &t) { return appendDate(out, t, false); }

bool appendExtended(vcal::TextBuffer &out, const DateTime &t) { return appendDate(out, t, true); }

bool parseOffset(std::string_view text, int32_t &seconds) {
    while (!text.empty() && (ascii::isBlank(text.back()) || ascii::isBreak(text.back())))
        text.remove_suffix(1);
    while (!text.empty() && ascii::isBlank(text.front()))
        text.remove_prefix(1);
    int sign = 1;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        sign = text[0] == '-' ? -1 : 1;
        text.remove_prefix(1);
    }
    int32_t parts[3] = {0, 0, 0};
    size_t at = 0;
    int part = 0;
    for (; part < 3 && at < text.size(); ++part) {
        const size_t start = at;
        int32_t v = 0;
        while (at < text.size() && ascii::isDigit(text[at]) && at - start < 2)
            v = v * 10 + (text[at++] - '0');
        if (at == start) return false;
        parts[part] = v;
        if (at < text.size() && text[at] == ':') ++at;
    }
    if (at != text.size() || part == 0 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return false;
    seconds = sign * (parts[0] * 3600 + parts[1] * 60 + parts[2]);
    return true;
}

bool appendOffset(vcal::TextBuffer &out, int32_t seconds, bool colon) {
    const char sign = seconds < 0 ? '-' : '+';
    const int32_t a = seconds < 0 ? -seconds : seconds;
    if (!put(out, std::string_view(&sign, 1))) return false;
    const std::string_view separator = colon ? ":"sv : ""sv;
    if (!appendDecimal(out, a / 3600, 2) || !put(out, separator) ||
        !appendDecimal(out, a / 60 % 60, 2))
        return false;
    return a % 60 == 0 || (put(out, separator) && appendDecimal(out, a % 60, 2));
}

bool parseDuration(std::string_view text, int64_t &seconds) {
    while (!text.empty() && (ascii::isBlank(text.back()) || ascii::isBreak(text.back())))
        text.remove_suffix(1);
    size_t at = 0;
    int64_t sign = 1;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) sign = text[at++] == '-' ? -1 : 1;
    if (at >= text.size() || ascii::upper(text[at]) != 'P') return false;
    ++at;
    bool inTime = false;
    bool any = false;
    int64_t total = 0;
    while (at < text.size()) {
        if (ascii::upper(text[at]) == 'T') {
            inTime = true;
            ++at;
            continue;
        }
        int64_t n = 0;
        const size_t start = at;
        while (at < text.size() && ascii::isDigit(text[at]) && at - start < 9)
            n = n * 10 + (text[at++] - '0');
        if (at == start || at >= text.size()) return false;
        const char unit = ascii::upper(text[at++]);
        if (unit == 'W' && !inTime)
            total += n * 7 * kDay;
        else if (unit == 'D' && !inTime)
            total += n * kDay;
        else if (unit == 'H' && inTime)
            total += n * 3600;
        else if (unit == 'M' && inTime)
            total += n * 60;
        else if (unit == 'S' && inTime)
            total += n;
        else
            return false;
        any = true;
    }
    if (!any) return false;
    seconds = sign * total;
    return true;
}

bool appendDuration(vcal::TextBuffer &out, int64_t seconds) {
    if (seconds < 0 && !put(out, "-")) return false;
    int64_t a = seconds < 0 ? -seconds : seconds;
    if (!put(out, "P")) return false;
    if (a >= kDay && (!appendDecimal(out, a / kDay) || !put(out, "D"))) return false;
    a %= kDay;
    if (a == 0) return seconds != 0 || put(out, "T0S");
    if (!put(out, "T")) return false;
    if (a >= 3600 && (!appendDecimal(out, a / 3600) || !put(out, "H"))) return false;
    if (a % 3600 >= 60 && (!appendDecimal(out, a % 3600 / 60) || !put(out, "M"))) return false;
    return a % 60 == 0 || (appendDecimal(out, a % 60) && put(out, "S"));
}

bool Zone::Yearly::onsetIn(int32_t year, int64_t &local) const {
    if (year < firstYear || (lastYear != 0 && year > lastYear)) return false;
    int32_t d = day;
    if (week > 0) {
        const int first = weekdayOf(year, month, 1);
        d = 1 + (weekday - first + 7) % 7 + (week - 1) * 7;
    } else if (week < 0) {
        const int32_t lastDay = daysInMonth(year, month);
        const int last = weekdayOf(year, month, lastDay);
        d = lastDay - (last - weekday + 7) % 7 + (week + 1) * 7;
    } else if (d < 0) {
        d = daysInMonth(year, month) + 1 + d;
    }
    if (d < 1 || d > daysInMonth(year, month)) return false;
    local = daysFromCivil(year, month, d) * kDay + secondOfDay;
    return true;
}

int32_t Zone::offsetAt(int64_t local) const {
    // The latest onset at or before the time wins; yearly ones are looked
    // for in the time's year and the one before.
    bool found = false;
    int64_t latest = 0;
    int32_t offset = base;
    auto offer = [&](int64_t when, int32_t to) {
        if (when <= local && (!found || when >= latest)) {
            found = true;
            latest = when;
            offset = to;
        }
    };
    for (size_t i = 0; i < onsets.size(); ++i)
        offer(onsets[i].local, onsets[i].offset);
    int32_t year = 0, month = 0, day = 0;
    civilFromDays(local / kDay - (local % kDay < 0 ? 1 : 0), year, month, day);
    for (size_t i = 0; i < yearly.size(); ++i) {
        for (int32_t y = year - 1; y <= year; ++y) {
            int64_t when = 0;
            if (yearly[i].onsetIn(y, when)) offer(when, yearly[i].offset);
        }
    }
    return offset;
}

} // namespace interop::convert
