// Recurrence rules between vCalendar's grammar and iCalendar's.
#include "interop/convert/rrule.h"

#include "interop/convert/contentLine.h"
#include "interop/recover/lines.h"
#include "platform/ascii.h"

namespace interop::convert {

namespace {

constexpr const char *kWeekdays[7] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
constexpr const char *kFreqNames[8] = {"",      "SECONDLY", "MINUTELY", "HOURLY",
                                       "DAILY", "WEEKLY",   "MONTHLY",  "YEARLY"};
// Periods our own expansion makes at most, by kind, for a count of "#0".
constexpr int32_t kMaxCount = 999;

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }

bool putInt(vcal::TextBuffer &out, long long v) { return appendDecimal(out, v); }

int weekdayCode(std::string_view word) {
    if (word.size() != 2) return -1;
    for (int i = 0; i < 7; ++i) {
        if (ascii::upper(word[0]) == kWeekdays[i][0] && ascii::upper(word[1]) == kWeekdays[i][1])
            return i;
    }
    return -1;
}

// A whole number of at most 9 digits, with an optional sign.
bool parseInt(std::string_view word, int32_t &value) {
    int32_t sign = 1;
    if (!word.empty() && (word[0] == '+' || word[0] == '-')) {
        sign = word[0] == '-' ? -1 : 1;
        word.remove_prefix(1);
    }
    if (word.empty() || word.size() > 9) return false;
    int32_t v = 0;
    for (char c : word) {
        if (!ascii::isDigit(c)) return false;
        v = v * 10 + (c - '0');
    }
    value = sign * v;
    return true;
}

// The last second of the period `periods` intervals after the start's.
DateTime periodEnd(Rule::Freq freq, const DateTime &start, int32_t periods) {
    DateTime end = start;
    end.dateOnly = false;
    end.hour = 23;
    end.minute = 59;
    end.second = 59;
    if (freq == Rule::Monthly) {
        const int32_t months = start.year * 12 + (start.month - 1) + periods;
        end.year = months / 12;
        end.month = months % 12 + 1;
        end.day = daysInMonth(end.year, end.month);
    } else {
        end.year = start.year + periods;
        end.month = 12;
        end.day = 31;
    }
    return end;
}

} // namespace

bool parseRule10(std::string_view text, const DateTime &start, Rule &out, const char **why) {
    Rule r;
    *why = "it is no vCalendar rule";
    size_t at = 0;
    auto word = [&]() {
        while (at < text.size() && ascii::isSpace(text[at]))
            ++at;
        const size_t begin = at;
        while (at < text.size() && !ascii::isSpace(text[at]))
            ++at;
        return text.substr(begin, at - begin);
    };
    const std::string_view head = word();
    size_t letters = 0;
    while (letters < head.size() && ascii::isLetter(head[letters]))
        ++letters;
    const std::string_view kind = head.substr(0, letters);
    enum { D, W, MP, MD, YM, YD } k;
    if (sameWord(kind, "D"))
        k = D, r.freq = Rule::Daily;
    else if (sameWord(kind, "W"))
        k = W, r.freq = Rule::Weekly;
    else if (sameWord(kind, "MP"))
        k = MP, r.freq = Rule::Monthly;
    else if (sameWord(kind, "MD"))
        k = MD, r.freq = Rule::Monthly;
    else if (sameWord(kind, "YM"))
        k = YM, r.freq = Rule::Yearly;
    else if (sameWord(kind, "YD"))
        k = YD, r.freq = Rule::Yearly;
    else
        return false;
    if (!parseInt(head.substr(letters), r.interval) || r.interval < 0) return false;
    if (r.interval == 0) r.interval = 1;

    int32_t periods = -1; // -1: no count given
    bool ended = false;
    DateTime end;
    int16_t ordinals[10];
    size_t ordinalCount = 0;
    bool ordinalsUsed = false;
    for (std::string_view w = word(); !w.empty(); w = word()) {
        // "$" marks an occurrence the rule restarts from; the dates are
        // the same without it.
        if (w.size() > 1 && w.back() == '$') w.remove_suffix(1);
        if (w[0] == '#') {
            if (!parseInt(w.substr(1), periods) || periods < 0) return false;
            continue;
        }
        if (w.size() >= 9 && ascii::isDigit(w[0]) && parseDateTime(w, end)) {
            ended = true;
            continue;
        }
        const int day = weekdayCode(w);
        int32_t n = 0;
        if (k == W && day >= 0 && r.dayCount < 7) {
            r.byDay[r.dayCount++] = {0, static_cast<int16_t>(day)};
        } else if (k == MP && w.size() == 2 && w[0] >= '1' && w[0] <= '5' &&
                   (w[1] == '+' || w[1] == '-')) {
            if (ordinalsUsed) ordinalCount = ordinalsUsed = false;
            if (ordinalCount < 10)
                ordinals[ordinalCount++] =
                    static_cast<int16_t>(w[1] == '-' ? '0' - w[0] : w[0] - '0');
        } else if (k == MP && day >= 0) {
            ordinalsUsed = true;
            for (size_t i = 0; i < ordinalCount && r.dayCount < 64; ++i)
                r.byDay[r.dayCount++] = {ordinals[i], static_cast<int16_t>(day)};
            if (ordinalCount == 0 && r.dayCount < 64)
                r.byDay[r.dayCount++] = {0, static_cast<int16_t>(day)};
        } else if (k == MD && sameWord(w, "LD") && r.monthDayCount < 62) {
            r.byMonthDay[r.monthDayCount++] = -1;
        } else if (k == MD && (w.back() == '+' || w.back() == '-') &&
                   parseInt(w.substr(0, w.size() - 1), n) && n >= 1 && n <= 31 &&
                   r.monthDayCount < 62) {
            r.byMonthDay[r.monthDayCount++] = static_cast<int16_t>(w.back() == '-' ? -n : n);
        } else if (parseInt(w, n) && n >= 1) {
            if (k == MD && n <= 31 && r.monthDayCount < 62)
                r.byMonthDay[r.monthDayCount++] = static_cast<int16_t>(n);
            else if (k == YM && n <= 12 && r.monthCount < 12)
                r.byMonth[r.monthCount++] = static_cast<int16_t>(n);
            else if (k == YD && n <= 366 && r.yearDayCount < 366)
                r.byYearDay[r.yearDayCount++] = static_cast<int16_t>(n);
            else {
                *why = "a number out of range";
                return false;
            }
        } else {
            *why = "a word the rule's kind does not know";
            return false;
        }
    }
    // An ordinal run without weekdays after it: the start's weekday.
    if (k == MP && !ordinalsUsed) {
        const auto day = static_cast<int16_t>(weekdayOf(start.year, start.month, start.day));
        for (size_t i = 0; i < ordinalCount; ++i)
            r.byDay[r.dayCount++] = {ordinals[i], day};
    }
    // Our expansion counts a weekly rule's weeks from the start's day, not
    // from a Monday: with an interval, that is the week start that gives
    // the same days.
    if (k == W && r.interval > 1)
        r.weekStart = static_cast<int16_t>(weekdayOf(start.year, start.month, start.day));
    // A monthly-by-position rule without positions repeats on the start's.
    if (k == MP && r.dayCount == 0)
        r.byDay[r.dayCount++] = {
            static_cast<int16_t>((start.day - 1) / 7 + 1),
            static_cast<int16_t>(weekdayOf(start.year, start.month, start.day))};

    // A yearly-by-day rule without days repeats on the start's day of the
    // year, which in leap years is not the start's date.
    if (k == YD && r.yearDayCount == 0) {
        int16_t day = static_cast<int16_t>(start.day);
        for (int m = 1; m < start.month; ++m)
            day = static_cast<int16_t>(day + daysInMonth(start.year, m));
        r.byYearDay[r.yearDayCount++] = day;
    }
    if (ended) {
        // Our expansion compares dates only: the end's whole day counts;
        // it ends at the end or after the count, whichever comes first,
        // which iCalendar cannot say.
        if (periods > 0) r.inexact = "both a count and an end date";
        r.hasEnd10 = true;
        r.end10 = end;
        r.hasUntil = true;
        r.until = end;
        r.until.hour = 23;
        r.until.minute = 59;
        r.until.second = 59;
        r.until.dateOnly = false;
        r.until.utc = start.utc;
        *why = nullptr;
        out = r;
        return true;
    }
    if (periods == 0) {
        *why = nullptr;
        out = r;
        return true;
    }
    if (periods < 0) periods = 2; // vCalendar's default
    if (periods > kMaxCount) periods = kMaxCount;
    uint16_t perPeriod = 1;
    if (k == W || k == MP) perPeriod = r.dayCount;
    if (k == MD) perPeriod = r.monthDayCount;
    if (k == YM) perPeriod = r.monthCount;
    if (k == YD) perPeriod = r.yearDayCount;
    if (k == W || perPeriod <= 1) {
        r.count = periods * (perPeriod > 1 ? perPeriod : 1);
    } else {
        r.hasUntil = true;
        r.until = periodEnd(r.freq, start, (periods - 1) * r.interval);
    }
    *why = nullptr;
    out = r;
    return true;
}

bool parseRule5545(std::string_view text, Rule &out, const char **why) {
    Rule r;
    *why = "it has no FREQ";
    bool ok = true;
    forEachEscapedPiece(text, ';', [&](std::string_view part) {
        const size_t eq = part.find('=');
        if (eq == std::string_view::npos) return true;
        const std::string_view name = part.substr(0, eq);
        const std::string_view value = part.substr(eq + 1);
        int32_t n = 0;
        if (sameWord(name, "FREQ")) {
            for (int i = 1; i < 8; ++i)
                if (sameWord(value, kFreqNames[i])) r.freq = static_cast<Rule::Freq>(i);
        } else if (sameWord(name, "INTERVAL")) {
            if (parseInt(value, n) && n > 0) r.interval = n;
        } else if (sameWord(name, "COUNT")) {
            if (parseInt(value, n) && n > 0) r.count = n;
        } else if (sameWord(name, "UNTIL")) {
            r.hasUntil = parseDateTime(value, r.until);
        } else if (sameWord(name, "WKST")) {
            const int d = weekdayCode(value);
            if (d >= 0) r.weekStart = static_cast<int16_t>(d);
        } else if (sameWord(name, "BYDAY")) {
            forEachEscapedPiece(value, ',', [&](std::string_view item) {
                if (item.size() < 2 || r.dayCount >= 64) return true;
                const int d = weekdayCode(item.substr(item.size() - 2));
                int32_t ord = 0;
                if (d < 0 || (item.size() > 2 && !parseInt(item.substr(0, item.size() - 2), ord)) ||
                    ord < -53 || ord > 53) {
                    ok = false;
                    *why = "a BYDAY item is no weekday";
                    return false;
                }
                r.byDay[r.dayCount++] = {static_cast<int16_t>(ord), static_cast<int16_t>(d)};
                return true;
            });
        } else if (sameWord(name, "BYMONTHDAY")) {
            forEachEscapedPiece(value, ',', [&](std::string_view item) {
                if (parseInt(item, n) && n != 0 && n >= -31 && n <= 31 && r.monthDayCount < 62)
                    r.byMonthDay[r.monthDayCount++] = static_cast<int16_t>(n);
                return true;
            });
        } else if (sameWord(name, "BYMONTH")) {
            forEachEscapedPiece(value, ',', [&](std::string_view item) {
                if (parseInt(item, n) && n >= 1 && n <= 12 && r.monthCount < 12)
                    r.byMonth[r.monthCount++] = static_cast<int16_t>(n);
                return true;
            });
        } else if (sameWord(name, "BYYEARDAY")) {
            forEachEscapedPiece(value, ',', [&](std::string_view item) {
                if (parseInt(item, n) && n != 0 && n >= -366 && n <= 366 && r.yearDayCount < 366)
                    r.byYearDay[r.yearDayCount++] = static_cast<int16_t>(n);
                return true;
            });
        } else if (r.otherPart.empty()) {
            r.otherPart = part;
        }
        return true;
    });
    if (!ok) return false;
    if (r.freq == Rule::None) return false;
    *why = nullptr;
    out = r;
    return true;
}

bool appendRule5545(vcal::TextBuffer &out, const Rule &rule) {
    if (!put(out, "FREQ=") || !put(out, kFreqNames[rule.freq])) return false;
    if (rule.hasUntil && (!put(out, ";UNTIL=") || !appendBasic(out, rule.until))) return false;
    if (rule.count > 0 && (!put(out, ";COUNT=") || !putInt(out, rule.count))) return false;
    if (rule.interval > 1 && (!put(out, ";INTERVAL=") || !putInt(out, rule.interval))) return false;
    auto list = [&](const char *name, size_t count, auto item) {
        if (count == 0) return true;
        if (!put(out, name)) return false;
        for (size_t i = 0; i < count; ++i)
            if ((i > 0 && !put(out, ",")) || !item(i)) return false;
        return true;
    };
    return list(";BYDAY=", rule.dayCount,
                [&](size_t i) {
                    return (rule.byDay[i].ordinal == 0 || putInt(out, rule.byDay[i].ordinal)) &&
                           put(out, kWeekdays[rule.byDay[i].weekday]);
                }) &&
           list(";BYMONTHDAY=", rule.monthDayCount,
                [&](size_t i) { return putInt(out, rule.byMonthDay[i]); }) &&
           list(";BYYEARDAY=", rule.yearDayCount,
                [&](size_t i) { return putInt(out, rule.byYearDay[i]); }) &&
           list(";BYMONTH=", rule.monthCount,
                [&](size_t i) { return putInt(out, rule.byMonth[i]); }) &&
           (rule.weekStart == 1 || (put(out, ";WKST=") && put(out, kWeekdays[rule.weekStart])));
}

bool appendRuleJson(vcal::TextBuffer &out, const Rule &rule) {
    if (!put(out, "{\"freq\":\"") || !put(out, kFreqNames[rule.freq]) || !put(out, "\""))
        return false;
    if (rule.hasUntil &&
        (!put(out, ",\"until\":\"") || !appendExtended(out, rule.until) || !put(out, "\"")))
        return false;
    if (rule.count > 0 && (!put(out, ",\"count\":") || !putInt(out, rule.count))) return false;
    if (rule.interval > 1 && (!put(out, ",\"interval\":") || !putInt(out, rule.interval)))
        return false;
    // One value stands alone, several make an array (RFC 7265, 3.6.10).
    auto list = [&](const char *name, size_t count, auto item) {
        if (count == 0) return true;
        if (!put(out, name) || (count > 1 && !put(out, "["))) return false;
        for (size_t i = 0; i < count; ++i)
            if ((i > 0 && !put(out, ",")) || !item(i)) return false;
        return count == 1 || put(out, "]");
    };
    return list(",\"byday\":", rule.dayCount,
                [&](size_t i) {
                    return put(out, "\"") &&
                           (rule.byDay[i].ordinal == 0 || putInt(out, rule.byDay[i].ordinal)) &&
                           put(out, kWeekdays[rule.byDay[i].weekday]) && put(out, "\"");
                }) &&
           list(",\"bymonthday\":", rule.monthDayCount,
                [&](size_t i) { return putInt(out, rule.byMonthDay[i]); }) &&
           list(",\"byyearday\":", rule.yearDayCount,
                [&](size_t i) { return putInt(out, rule.byYearDay[i]); }) &&
           list(",\"bymonth\":", rule.monthCount,
                [&](size_t i) { return putInt(out, rule.byMonth[i]); }) &&
           (rule.weekStart == 1 ||
            (put(out, ",\"wkst\":\"") && put(out, kWeekdays[rule.weekStart]) && put(out, "\""))) &&
           put(out, "}");
}

bool appendRule10(vcal::TextBuffer &out, const Rule &rule, const DateTime &start, const char **lost,
                  bool *written) {
    *lost = nullptr;
    *written = false;
    auto refuse = [&](const char *why) {
        *lost = why;
        return true;
    };
    if (!rule.otherPart.empty()) return refuse("it has a rule part vCalendar lacks");
    const bool days = rule.dayCount > 0, monthDays = rule.monthDayCount > 0,
               months = rule.monthCount > 0, yearDays = rule.yearDayCount > 0;
    const char *kind = nullptr;
    size_t perPeriod = 1;
    switch (rule.freq) {
    case Rule::Daily:
        if (days || monthDays || months || yearDays) return refuse("a daily rule with BY parts");
        kind = "D";
        break;
    case Rule::Weekly:
        if (monthDays || months || yearDays) return refuse("a weekly rule with BY parts");
        for (size_t i = 0; i < rule.dayCount; ++i)
            if (rule.byDay[i].ordinal != 0) return refuse("a weekly rule with ordinal days");
        kind = "W";
        perPeriod = rule.dayCount;
        break;
    case Rule::Monthly:
        if (months || yearDays || (days && monthDays))
            return refuse("a monthly rule with several BY parts");
        for (size_t i = 0; i < rule.dayCount; ++i) {
            const int o = rule.byDay[i].ordinal;
            if (o > 5 || o < -5) return refuse("a weekday beyond the fifth of a month");
            perPeriod += o == 0 ? 5 : 1;
        }
        for (size_t i = 0; i < rule.monthDayCount; ++i)
            if (rule.byMonthDay[i] < 0) return refuse("a day counted from the month's end");
        kind = days ? "MP" : "MD";
        perPeriod = days ? perPeriod - 1 : rule.monthDayCount;
        break;
    case Rule::Yearly:
        if (days || monthDays || (months && yearDays))
            return refuse("a yearly rule with BY parts vCalendar lacks");
        for (size_t i = 0; i < rule.yearDayCount; ++i)
            if (rule.byYearDay[i] < 0) return refuse("a day counted from the year's end");
        kind = yearDays ? "YD" : "YM";
        perPeriod = yearDays ? rule.yearDayCount : rule.monthCount;
        break;
    default:
        return refuse("a rule repeating within a day");
    }
    if (rule.freq == Rule::Weekly && rule.interval > 1 &&
        rule.weekStart != weekdayOf(start.year, start.month, start.day))
        *lost = "its week start";
    if (!put(out, kind) || !putInt(out, rule.interval)) return false;
    for (size_t i = 0; i < rule.dayCount; ++i) {
        const int o = rule.byDay[i].ordinal;
        char ordinal[4] = {' ', static_cast<char>('0' + (o < 0 ? -o : o)), o < 0 ? '-' : '+', 0};
        if (o == 0 && rule.freq == Rule::Monthly) {
            if (!put(out, " 1+ 2+ 3+ 4+ 5+")) return false;
        } else if (o != 0 && !put(out, ordinal)) {
            return false;
        }
        if (!put(out, " ") || !put(out, kWeekdays[rule.byDay[i].weekday])) return false;
    }
    for (size_t i = 0; i < rule.monthDayCount; ++i)
        if (!put(out, " ") || !putInt(out, rule.byMonthDay[i])) return false;
    for (size_t i = 0; i < rule.monthCount; ++i)
        if (!put(out, " ") || !putInt(out, rule.byMonth[i])) return false;
    for (size_t i = 0; i < rule.yearDayCount; ++i)
        if (!put(out, " ") || !putInt(out, rule.byYearDay[i])) return false;
    if (rule.hasUntil) {
        // Our expansion takes every occurrence on the end's date: the end
        // is the date of the last occurrence UNTIL lets in, at the start's
        // time of day.
        DateTime end = rule.until;
        end.dateOnly = false;
        const int32_t startTime = start.hour * 3600 + start.minute * 60 + start.second;
        if (!start.dateOnly && end.hour * 3600 + end.minute * 60 + end.second < startTime)
            end = fromSeconds(toSeconds(end) - 86400, end.utc);
        if (!start.dateOnly) {
            end.hour = start.hour;
            end.minute = start.minute;
            end.second = start.second;
        }
        if (!put(out, " ") || !appendBasic(out, end)) return false;
    } else if (rule.count > 0) {
        // vCalendar counts periods: exact when each gives the same number.
        const size_t k = perPeriod > 1 ? perPeriod : 1;
        const size_t periods = (static_cast<size_t>(rule.count) + k - 1) / k;
        if (static_cast<size_t>(rule.count) % k != 0)
            *lost = "its count, which is no whole number of periods (rounded up)";
        if (!put(out, " #") || !putInt(out, static_cast<long long>(periods))) return false;
    } else if (!put(out, " #0")) {
        return false;
    }
    *written = true;
    return true;
}

} // namespace interop::convert
