// Recurrence rules (RRULE, EXRULE) into lists of dates, and those lists with
// the explicit dates (RDATE, EXDATE) into the list of occurrence times.
//
// Choices of this implementation:
//  - Blanks and tabs separate the words of a rule alike, as the reader's
//    rule check accepts both.
//  - FindRecurEndDate looks past characters that begin no word ("+", "-",
//    "#"): an end date written after the ordinals of a monthly-by-position
//    rule ("MP2 2+ WE 20090708T000000") or the days of a monthly-by-day
//    rule ("MD2 13+ 20100713T140000") is then honoured instead of falling
//    back to the default of two occurrences.
//  - A "#" followed by any number of digits counts as a given count, so a
//    rule that gives one never falls back to the count of 2 ("#0" and
//    "#100" both mean the kind's maximum).
//  - The weekday exclusions and exceptions of KL_RECURPARAM stay null.
#include "recur/vcalrcur.h"

#include <cstring>

#include "diag/errlog.h"
#include "list/klguard.h"
#include "platform/ascii.h"

namespace {

// Counts of periods a rule may produce at most, by rule kind.
constexpr uint16_t kRecurMaxDaily = 60;
constexpr uint16_t kRecurMaxWeekly = 52;
constexpr uint16_t kRecurMaxMonthly = 24;
constexpr uint16_t kRecurMaxYearly = 10;

constexpr uint32_t kMinutesPerDay = 1440;
constexpr uint32_t kLastEndYear = 2036;
constexpr const char *kWeekdays[7] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

using ascii::isAlnum;
using ascii::isBlank;
using ascii::isDigit;
using ascii::isLetter;
using ascii::isLineEnd;
using ascii::upper;

const char *skipDigits(const char *p) {
    while (isDigit(*p))
        ++p;
    return p;
}

using errlog::fail;

using klist::ListGuard;

// Zero-based day of the year; the date is valid.
uint16_t dayOfYear(const KL_DATE &date) {
    uint16_t days = date.day - 1;
    for (uint16_t m = 0; m < date.month; ++m) {
        uint16_t length = 0;
        KL_DateDaysInMonth(m, date.year, &length);
        days = static_cast<uint16_t>(days + length);
    }
    return days;
}

// Adds `date` at the front of `list` when start <= date <= end. Sets
// *afterEnd when the date lies after the end.
struct RangedAdder {
    KL_HLIST list;
    const KL_RECURPARAM *p;
    const char *compareMessage;
    const char *addMessage;
    uint16_t id = 0;

    int32_t offer(const KL_DATE &date, bool *afterEnd = nullptr) {
        int16_t before = 0;
        int16_t after = 0;
        int32_t rc = KL_DateCompare(&date, &p->start, &before);
        if (rc == 0) rc = KL_DateCompare(&date, &p->end, &after);
        if (rc != 0) return fail(rc, compareMessage);
        if (afterEnd != nullptr && after > 0) *afterEnd = true;
        if (before < 0 || after > 0) return 0;
        rc = KL_ListAddTo(list, &id, &date);
        if (rc != 0) return fail(rc, addMessage);
        ++id;
        return 0;
    }
};

// The messages of one monthly expander's steps.
struct MonthlySteps {
    const char *createMessage;
    const char *addMessage;
    const char *setMessage;
    const char *generateMessage;
};

// The first days of `count` months from the start's month, stepping by the
// interval, up to the end date.
int32_t monthStarts(KL_RECURPARAM &p, uint16_t count, KL_HLIST *starts, const MonthlySteps &steps) {
    ListGuard firstDay;
    int32_t rc = KL_ListCreate(firstDay.out(), 2, 0, KL_LIST_FLAG_08, nullptr, nullptr);
    if (rc != 0) return fail(rc, steps.createMessage);
    const uint16_t zero = 0;
    if ((rc = KL_ListAddTo(firstDay.get(), &zero, nullptr)) != 0) return fail(rc, steps.addMessage);
    const KL_DATE start = p.start;
    if ((rc = KL_DateSet(&p.start, 1, start.month, start.year)) != 0)
        return fail(rc, steps.setMessage);
    p.dayList = firstDay.get();
    p.ruleCode = KL_RECUR_MONTHLY;
    rc = KL_DateGenRecur(KL_RECUR_CREATE, &p, starts, count);
    p.start = start;
    p.dayList = nullptr;
    return rc != 0 ? fail(rc, steps.generateMessage) : 0;
}

// Walks a list of month starts: `each` gets every first day and its last day.
template <class Each>
int32_t forEachMonth(KL_HLIST starts, const char *firstMessage, const char *lastDayMessage,
                     const char *nextMessage, Each each) {
    KL_DATE month{};
    int32_t rc = KL_ListGetFirst(starts, nullptr, &month);
    bool first = true;
    for (; rc == 0; rc = KL_ListGetNext(starts, nullptr, &month), first = false) {
        KL_DATE last = month;
        if ((rc = KL_DateSetToLastDayOfMonth(&last)) != 0) return fail(rc, lastDayMessage);
        if ((rc = each(month, last)) != 0) return rc;
    }
    if (rc == KL_LIST_END) return 0;
    return fail(rc, first ? firstMessage : nextMessage);
}

// Year, month and day from the first 8 characters (YYYYMMDD); false when
// they are no digits or no date.
bool RecurDateStrToDate(const char *text, KL_DATE *date) {
    uint32_t value[3] = {};
    const int widths[3] = {4, 2, 2};
    const char *p = text;
    for (int part = 0; part < 3; ++part) {
        for (int i = 0; i < widths[part]; ++i, ++p) {
            if (!isDigit(*p)) return false;
            value[part] = value[part] * 10 + static_cast<uint32_t>(*p - '0');
        }
    }
    return value[1] >= 1 && KL_DateSet(date, value[2], value[1] - 1, value[0]) == 0;
}

// The first word of 15 or 16 letters and digits of the rule text, read as
// a date; false when there is none or it is no date.
bool FindRecurEndDate(const char *rule, KL_DATE *end) {
    for (const char *p = rule; !isLineEnd(*p);) {
        if (!isAlnum(*p)) {
            ++p;
            continue;
        }
        const char *word = p;
        while (isAlnum(*p))
            ++p;
        if (p - word == 15 || p - word == 16) return RecurDateStrToDate(word, end);
    }
    return false;
}

// The first day of the start's month ten years on, but never after 2036.
int32_t CopyStartIntoEndPlus10Years(const KL_DATE *start, KL_DATE *end) {
    uint32_t year = start->year + 10u;
    if (year > kLastEndYear) year = kLastEndYear;
    const int32_t rc = KL_DateSet(end, 1, start->month, year);
    return rc != 0 ? fail(rc, "CopyStartIntoEndPlus10Years: KL_DateSet") : 0;
}

// Rule texts, here and in the expanders, start right after the rule's
// letters ("1 MO #3" of "W1 MO #3"); a start text is the DTSTART value
// ("19980101T100000Z").
//
// Interval, count (at most `maximum`), start and end of a rule, into
// `parameters` (no day list, no exclusions). *valid 0: not understood.
int32_t vCal_PopulateRecurparam(const char *rule, KL_RECURPARAM *parameters, const char *start,
                                uint8_t *valid, uint16_t *count, uint16_t maximum) {
    *valid = 0;
    *count = maximum;
    uint32_t interval = 0;
    const char *p = rule;
    for (; isDigit(*p); ++p) {
        if (p - rule == 4) return 0;
        interval = interval * 10 + static_cast<uint32_t>(*p - '0');
    }
    bool counted = false;
    const char *hash = rule;
    while (!isLineEnd(*hash) && *hash != '#')
        ++hash;
    if (*hash == '#' && isDigit(hash[1])) {
        counted = true;
        // Three digits or more leave the maximum.
        const char *digits = hash + 1;
        if (skipDigits(digits) - digits <= 2) {
            uint32_t v = static_cast<uint32_t>(digits[0] - '0');
            if (isDigit(digits[1])) v = v * 10 + static_cast<uint32_t>(digits[1] - '0');
            if (v != 0 && v <= maximum) *count = static_cast<uint16_t>(v);
        }
    }
    KL_DATE first{};
    if (!RecurDateStrToDate(start, &first)) return 0;
    KL_DATE end{};
    int16_t sign = 0;
    bool present = FindRecurEndDate(rule, &end);
    if (present) {
        const int32_t rc = KL_DateCompare(&end, &first, &sign);
        if (rc != 0) return fail(rc, "vCal_PopulateRecurparam: KL_DateCompare");
        present = sign >= 0;
    }
    if (!present || end.year > first.year + 10u) {
        const int32_t rc = CopyStartIntoEndPlus10Years(&first, &end);
        if (rc != 0) return fail(rc, "vCal_PopulateRecurparam: CopyStartIntoEndPlus10Years");
    }
    if (!counted && !present) *count = 2;
    *parameters = KL_RECURPARAM{};
    parameters->interval = static_cast<uint16_t>(interval);
    parameters->start = first;
    parameters->end = end;
    *valid = 1;
    return 0;
}

// The day of week (0 Sunday ... 6 Saturday) of a two-letter code in any
// case, or -1.
int32_t GetWeekDayFromStr(const char *code) {
    if (code == nullptr || code[0] == '\0') return -1;
    for (int32_t day = 0; day < 7; ++day) {
        if (upper(code[0]) == kWeekdays[day][0] && upper(code[1]) == kWeekdays[day][1]) return day;
    }
    return -1;
}

// The weekday codes of a weekly rule as a list of 16-bit days of the week
// (null when there are none). *valid 0 for a word that is no weekday code.
int32_t PutWeeklyDayInList(KL_HLIST *list, const char *rule, uint8_t *valid) {
    *list = nullptr;
    *valid = 1;
    ListGuard days;
    for (const char *p = skipDigits(rule);;) {
        while (isBlank(*p))
            ++p;
        const char *word = p;
        while (isLetter(*p))
            ++p;
        const auto length = p - word;
        if (length == 0) break;
        if (length == 1) continue;
        const int32_t day = length == 2 ? GetWeekDayFromStr(word) : -1;
        if (day < 0) {
            *valid = 0;
            return 0;
        }
        const bool first = days.get() == nullptr;
        int32_t rc = 0;
        if (first && (rc = KL_ListCreate(days.out(), 2, 0, KL_LIST_FLAG_08, nullptr, nullptr)) != 0)
            return fail(rc, "PutWeeklyDayInList: KL_ListCreate");
        const auto id = static_cast<uint16_t>(day);
        if ((rc = KL_ListAddTo(days.get(), &id, nullptr)) != 0) {
            return fail(rc, first ? "PutWeeklyDayInList: KL_ListAddTo 1"
                                  : "PutWeeklyDayInList: KL_ListAddTo 2");
        }
    }
    *list = days.release();
    return 0;
}

// The parsers mark flags and tell whether anything was found.
bool ParseRecurNumberList(uint8_t *flags, uint16_t slots, const char *rule) {
    std::memset(flags, 0, slots);
    bool found = false;
    for (const char *p = skipDigits(rule); !isLineEnd(*p) && *p != '#';) {
        if (isBlank(*p)) {
            ++p;
        } else if (isDigit(*p)) {
            uint32_t n = 0;
            const char *number = p;
            for (; isDigit(*p) && p - number < 3; ++p)
                n = n * 10 + static_cast<uint32_t>(*p - '0');
            if (!isAlnum(*p) && n >= 1 && n <= slots) {
                flags[n - 1] = 1;
                found = true;
            }
            while (isAlnum(*p))
                ++p;
        } else if (isLetter(*p)) {
            while (isAlnum(*p))
                ++p;
        } else {
            found = false;
            ++p;
        }
    }
    return found;
}

bool ParseMonthlyDayList(const char *rule, uint8_t *days, uint8_t *fromEnd) {
    bool marked = false;
    for (const char *p = skipDigits(rule); !isLineEnd(*p) && *p != '#';) {
        if (isBlank(*p)) {
            ++p;
            continue;
        }
        if (isDigit(*p)) {
            uint32_t n = 0;
            for (const char *number = p; isDigit(*p) && p - number < 2; ++p)
                n = n * 10 + static_cast<uint32_t>(*p - '0');
            const bool inMonth = n >= 1 && n <= 31;
            if (*p == '-' && !isAlnum(p[1])) {
                if (inMonth) fromEnd[n - 1] = marked = true;
            } else if (!isAlnum(*p)) {
                if (inMonth) days[n - 1] = marked = true;
            }
        }
        while (!isBlank(*p) && !isLineEnd(*p) && *p != '#')
            ++p;
    }
    for (const char *p = rule; *p != '\0'; ++p) {
        if (p[0] == ' ' && upper(p[1]) == 'L' && upper(p[2]) == 'D') {
            fromEnd[31] = marked = true;
            break;
        }
    }
    return marked;
}

bool ParseMonthlyPosList(const char *rule, uint8_t *positions, uint8_t *fromEnd) {
    bool found = false;
    const char *p = skipDigits(rule);
    for (;;) {
        // A run of ordinals: a digit 1 to 5 just before each "+" or "-".
        uint8_t plus = 0;
        uint8_t minus = 0;
        for (;;) {
            const char *sign = p;
            while (!isLineEnd(*sign) && *sign != '+' && *sign != '-')
                ++sign;
            if (isLineEnd(*sign)) return found;
            // The character before the rule text is its last letter.
            const char digit = sign > rule ? sign[-1] : 'x';
            if (digit < '1' || digit > '5') return false;
            (*sign == '+' ? plus : minus) |= static_cast<uint8_t>(1u << (digit - '1'));
            for (p = sign + 1; !isLineEnd(*p) && !isAlnum(*p); ++p) {
            }
            if (isLineEnd(*p)) return found;
            if (isLetter(*p)) break;
        }
        // A run of weekday codes, each marking every ordinal of the run.
        for (;;) {
            const char *word = p;
            while (isLetter(*p))
                ++p;
            if (p - word != 2) return found;
            const int32_t day = GetWeekDayFromStr(word);
            for (int n = 0; day >= 0 && n < 5; ++n) {
                if ((plus >> n & 1) != 0) positions[n * 7 + day] = found = true;
                if ((minus >> n & 1) != 0) fromEnd[n * 7 + day] = found = true;
            }
            while (isBlank(*p))
                ++p;
            if (!isLetter(*p)) break;
        }
    }
}

// From a list of month starts, the dates of the marked days of each month
// within the parameters' start and end: `days` (31 flags, day n at n - 1),
// `fromEnd` (32 flags, n- at n - 1, the last day "LD" at 31).
int32_t GenvCalMonthlyDate(KL_HLIST *list, KL_HLIST monthStarts, const KL_RECURPARAM *parameters,
                           const uint8_t *days, const uint8_t *fromEnd) {
    *list = nullptr;
    ListGuard result;
    int32_t rc = KL_ListCreate(result.out(), 1, sizeof(KL_DATE), KL_LIST_FLAG_08, nullptr, nullptr);
    if (rc != 0) return fail(rc, "GenvCalMonthlyDate: KL_ListCreate");
    RangedAdder adder{result.get(), parameters, "GenvCalMonthlyDate: KL_DateCompare",
                      "GenvCalMonthlyDate: KL_ListAddTo"};
    rc = forEachMonth(monthStarts, "GenvCalMonthlyDate: KL_ListGetFirst",
                      "GenvCalMonthlyDate: KL_DateSetToLastDayOfMonth",
                      "GenvCalMonthlyDate: KL_ListGetNext",
                      [&](const KL_DATE &month, const KL_DATE &last) {
                          auto offer = [&](uint32_t day) {
                              KL_DATE date{};
                              KL_DateSet(&date, day, month.month, month.year);
                              return adder.offer(date);
                          };
                          const uint32_t length = last.day;
                          int32_t r = 0;
                          for (uint32_t i = 0; i < 31 && r == 0; ++i) {
                              if (days[i] != 0 && i + 1 <= length) r = offer(i + 1);
                              if (r == 0 && fromEnd[i] != 0 && i < length) r = offer(length - i);
                          }
                          if (r == 0 && fromEnd[31] != 0) r = offer(length);
                          return r;
                      });
    if (rc != 0) return rc;
    *list = result.release();
    return 0;
}

// The same for weekday positions: 35 flags each, index (n - 1) x 7 + day
// of week, for the nth weekday from the month's start or from its end.
int32_t GenvCalMonthlyWeekDay(KL_HLIST *list, KL_HLIST monthStarts, const KL_RECURPARAM *parameters,
                              const uint8_t *positions, const uint8_t *fromEnd) {
    *list = nullptr;
    ListGuard result;
    int32_t rc = KL_ListCreate(result.out(), 2, sizeof(KL_DATE), KL_LIST_FLAG_08, nullptr, nullptr);
    if (rc != 0) return fail(rc, "GenvCalMonthlyWeekDay: KL_ListCreate");
    RangedAdder adder{result.get(), parameters, "GenvCalMonthlyWeekDay: KL_DateCompare",
                      "GenvCalMonthlyWeekDay: KL_ListAddTo"};
    rc =
        forEachMonth(monthStarts, "GenvCalMonthlyWeekDay: KL_ListGetFirst",
                     "GenvCalMonthlyWeekDay: KL_DateSetToLastDayOfMonth",
                     "GenvCalMonthlyWeekDay: KL_ListGetNext", [&](KL_DATE month, KL_DATE last) {
                         uint16_t firstWeekday = 0;
                         uint16_t lastWeekday = 0;
                         int32_t r = KL_DateGetDayOfWeek(&month, &firstWeekday);
                         if (r == 0) r = KL_DateGetDayOfWeek(&last, &lastWeekday);
                         if (r != 0) return fail(r, "GenvCalMonthlyWeekDay:  KL_DateGetDayOfWeek");
                         // The day of the month of the first and of the last of each weekday.
                         const int32_t length = last.day;
                         int32_t firstOf[7] = {};
                         int32_t lastOf[7] = {};
                         for (int32_t k = 0; k < 7; ++k) {
                             firstOf[(firstWeekday + k) % 7] = k + 1;
                             lastOf[(lastWeekday - k + 7) % 7] = length - k;
                         }
                         auto offer = [&](int32_t day) {
                             if (day < 1 || day > length) return 0;
                             KL_DATE date{};
                             KL_DateSet(&date, static_cast<uint32_t>(day), month.month, month.year);
                             return adder.offer(date);
                         };
                         for (int32_t i = 0; i < 35 && r == 0; ++i) {
                             const int32_t weeks = i / 7 * 7;
                             if (positions[i] != 0) r = offer(weeks + firstOf[i % 7]);
                             if (r == 0 && fromEnd[i] != 0) r = offer(lastOf[i % 7] - weeks);
                         }
                         return r;
                     });
    if (rc != 0) return rc;
    *list = result.release();
    return 0;
}

// The six expanders: (list out, rule text, start text, valid out).
int32_t GenerateDateFromDailyRule(KL_HLIST *list, const char *rule, const char *start,
                                  uint8_t *valid) {
    *list = nullptr;
    KL_RECURPARAM p{};
    uint16_t count = 0;
    int32_t rc = vCal_PopulateRecurparam(rule, &p, start, valid, &count, kRecurMaxDaily);
    if (rc != 0) return fail(rc, "GenerateDateFromDailyRule: vCal_PopulateRecurparam");
    if (*valid == 0) return 0;
    p.ruleCode = KL_RECUR_DAILY;
    if ((rc = KL_DateGenRecur(KL_RECUR_CREATE, &p, list, count)) != 0) {
        *valid = 0;
        return fail(rc, "GenerateDateFromDailyRule: KL_DateGenRecur");
    }
    return 0;
}

int32_t GenerateDateFromWeeklyRule(KL_HLIST *list, const char *rule, const char *start,
                                   uint8_t *valid) {
    *list = nullptr;
    KL_RECURPARAM p{};
    uint16_t count = 0;
    int32_t rc = vCal_PopulateRecurparam(rule, &p, start, valid, &count, kRecurMaxWeekly);
    if (rc != 0) return fail(rc, "GenerateDateFromWeeklyRule: vCal_PopulateRecurparam");
    if (*valid == 0) return 0;
    ListGuard days;
    if ((rc = PutWeeklyDayInList(days.out(), rule, valid)) != 0) {
        *valid = 0;
        return fail(rc, "GenerateDateFromWeeklyRule: PutWeeklyDayInList");
    }
    if (*valid == 0) return 0;
    if (days.get() != nullptr) {
        uint32_t k = 0;
        if ((rc = KL_ListGetElemNum(days.get(), &k)) != 0) {
            *valid = 0;
            return fail(rc, "GenerateDateFromWeeklyRule: KL_ListGetElemNum");
        }
        // The count is of weeks; a week of k days gives k dates.
        if (k > 1)
            count =
                static_cast<uint16_t>(count * k > kRecurMaxWeekly ? kRecurMaxWeekly : count * k);
    }
    p.dayList = days.get();
    p.ruleCode = KL_RECUR_WEEKLY;
    if ((rc = KL_DateGenRecur(KL_RECUR_CREATE, &p, list, count)) != 0) {
        *valid = 0;
        return fail(rc, "GenerateDateFromWeeklyRule: KL_DateGenRecur");
    }
    return 0;
}

// The two monthly expanders differ in their parsers and date makers.
template <class Mark, class Make>
int32_t monthly(KL_HLIST *list, const char *rule, const char *start, uint8_t *valid,
                const char *populateMessage, const char *makeMessage, const MonthlySteps &steps,
                Mark mark, Make make) {
    *list = nullptr;
    KL_RECURPARAM p{};
    uint16_t count = 0;
    int32_t rc = vCal_PopulateRecurparam(rule, &p, start, valid, &count, kRecurMaxMonthly);
    if (rc != 0) return fail(rc, populateMessage);
    if (*valid == 0) return 0;
    ListGuard starts;
    if ((rc = mark(p)) == 0) rc = monthStarts(p, count, starts.out(), steps);
    if (rc == 0 && (rc = make(list, starts.get(), p)) != 0) fail(rc, makeMessage);
    if (rc != 0) *valid = 0;
    return rc;
}

int32_t GenerateDateFromMonthlybyday(KL_HLIST *list, const char *rule, const char *start,
                                     uint8_t *valid) {
    uint8_t days[31] = {};
    uint8_t fromEnd[32] = {};
    static constexpr MonthlySteps kSteps{"GenerateDateFromMonthlybyday: KL_ListCreate",
                                         "GenerateDateFromMonthlybyday: KL_ListAddTo",
                                         "GenerateDateFromMonthlybyday: KL_DateSet",
                                         "GenerateDateFromMonthlybyday: KL_DateGenRecur"};
    return monthly(
        list, rule, start, valid, "GenerateDateFromMonthlybyday: vCal_PopulateRecurparam",
        "GenerateDateFromMonthlybyday: GenvCalMonthlyDate", kSteps,
        [&](const KL_RECURPARAM &p) {
            if (!ParseMonthlyDayList(rule, days, fromEnd)) days[p.start.day - 1] = 1;
            return 0;
        },
        [&](KL_HLIST *out, KL_HLIST starts, const KL_RECURPARAM &p) {
            return GenvCalMonthlyDate(out, starts, &p, days, fromEnd);
        });
}

int32_t GenerateDateFromMonthlybypos(KL_HLIST *list, const char *rule, const char *start,
                                     uint8_t *valid) {
    uint8_t positions[35] = {};
    uint8_t fromEnd[35] = {};
    static constexpr MonthlySteps kSteps{"GenerateDateFromMonthlybypos: KL_ListCreate",
                                         "GenerateDateFromMonthlybypos: KL_ListAddTo",
                                         "GenerateDateFromMonthlybypos: KL_DateSet",
                                         "GenerateDateFromMonthlybypos: KL_DateGenRecur"};
    return monthly(
        list, rule, start, valid, "GenerateDateFromMonthlybypos: vCal_PopulateRecurparam",
        "GenerateDateFromMonthlybypos: GenvCalMonthlyWeekDay", kSteps,
        [&](const KL_RECURPARAM &p) {
            if (ParseMonthlyPosList(rule, positions, fromEnd)) return 0;
            // The start's own position: its ordinal from the month's start.
            KL_DATE first = p.start;
            uint16_t weekday = 0;
            const int32_t rc = KL_DateGetDayOfWeek(&first, &weekday);
            if (rc != 0) return fail(rc, "GenerateDateFromMonthlybypos: KL_DateGetDayOfWeek");
            positions[(first.day - 1) / 7 * 7 + weekday] = 1;
            return 0;
        },
        [&](KL_HLIST *out, KL_HLIST starts, const KL_RECURPARAM &p) {
            return GenvCalMonthlyWeekDay(out, starts, &p, positions, fromEnd);
        });
}

// The messages of one yearly expander's steps.
struct YearlySteps {
    const char *populate;
    const char *create;
    const char *compare;
    const char *add;
};

// `count` years from the start's, stepping by the interval. `mark` marks
// the slots of the rule once the start is known; `dates` offers the dates
// of one year and says whether one lay after the end, which ends the
// generation after that year.
template <class Mark, class Dates>
int32_t yearly(KL_HLIST *list, const char *rule, const char *start, uint8_t *valid,
               const YearlySteps &steps, Mark mark, Dates dates) {
    *list = nullptr;
    KL_RECURPARAM p{};
    uint16_t count = 0;
    int32_t rc = vCal_PopulateRecurparam(rule, &p, start, valid, &count, kRecurMaxYearly);
    if (rc != 0) return fail(rc, steps.populate);
    if (*valid == 0) return 0;
    mark(p);
    ListGuard result;
    rc = KL_ListCreate(result.out(), 2, sizeof(KL_DATE), KL_LIST_FLAG_08, nullptr, nullptr);
    if (rc != 0) {
        *valid = 0;
        return fail(rc, steps.create);
    }
    RangedAdder adder{result.get(), &p, steps.compare, steps.add};
    bool afterEnd = false;
    for (uint32_t n = 0; n < count && !afterEnd && rc == 0; ++n)
        rc = dates(p, p.start.year + n * p.interval, adder, afterEnd);
    if (rc != 0) {
        *valid = 0;
        return rc;
    }
    *list = result.release();
    return 0;
}

int32_t GenerateDateFromYearlybyday(KL_HLIST *list, const char *rule, const char *start,
                                    uint8_t *valid) {
    static constexpr YearlySteps kSteps{"GenerateDateFromYearlybyday: vCal_PopulateRecurparam",
                                        "GenerateDateFromYearlybyday: KL_ListCreate",
                                        "GenerateDateFromYearlybyday: KL_DateCompare",
                                        "GenerateDateFromYearlybyday: KL_ListAddTo"};
    uint8_t marked[366] = {};
    return yearly(
        list, rule, start, valid, kSteps,
        [&](const KL_RECURPARAM &p) {
            if (!ParseRecurNumberList(marked, 366, rule)) marked[dayOfYear(p.start)] = 1;
        },
        [&](const KL_RECURPARAM &, uint32_t year, RangedAdder &adder, bool &afterEnd) {
            KL_DATE january{};
            int32_t rc = KL_DateSet(&january, 1, 0, year);
            if (rc != 0) return fail(rc, "GenerateDateFromYearlybyday: KL_DateSet");
            // Day 366 of a common year is 1 January of the next.
            for (int16_t i = 0; i < 366 && rc == 0; ++i) {
                if (marked[i] == 0) continue;
                KL_DATE date = january;
                if ((rc = KL_DateOffset(&date, i)) != 0)
                    return fail(rc, "GenerateDateFromYearlybyday: KL_DateOffset");
                rc = adder.offer(date, &afterEnd);
            }
            return rc;
        });
}

int32_t GenerateDateFromYearlybymonth(KL_HLIST *list, const char *rule, const char *start,
                                      uint8_t *valid) {
    static constexpr YearlySteps kSteps{"GenerateDateFromYearlybymonth: vCal_PopulateRecurparam",
                                        "GenerateDateFromYearlybymonth: KL_ListCreate",
                                        "GenerateDateFromYearlybymonth: KL_DateCompare",
                                        "GenerateDateFromYearlybymonth: KL_ListAddTo"};
    uint8_t marked[12] = {};
    return yearly(
        list, rule, start, valid, kSteps,
        [&](const KL_RECURPARAM &p) {
            if (!ParseRecurNumberList(marked, 12, rule)) marked[p.start.month] = 1;
        },
        [&](const KL_RECURPARAM &p, uint32_t year, RangedAdder &adder, bool &afterEnd) {
            int32_t rc = 0;
            for (uint32_t m = 0; m < 12 && rc == 0; ++m) {
                KL_DATE date{};
                // The start's day may not exist in every month.
                if (marked[m] != 0 && KL_DateSet(&date, p.start.day, m, year) == 0)
                    rc = adder.offer(date, &afterEnd);
            }
            return rc;
        });
}

using Expander = int32_t (*)(KL_HLIST *, const char *, const char *, uint8_t *);

struct RuleKind {
    Expander expand;
    const char *message;
};

constexpr RuleKind kDaily{GenerateDateFromDailyRule,
                          "vCal_GenerateDateFromRrule: GenerateDateFromDailyRule"};
constexpr RuleKind kWeekly{GenerateDateFromWeeklyRule,
                           "vCal_GenerateDateFromRrule: GenerateDateFromWeeklyRule"};
constexpr RuleKind kMonthlyByDay{GenerateDateFromMonthlybyday,
                                 "vCal_GenerateDateFromRrule: GenerateDateFromMonthlybyday"};
constexpr RuleKind kMonthlyByPos{GenerateDateFromMonthlybypos,
                                 "vCal_GenerateDateFromRrule: GenerateDateFromMonthlybypos"};
constexpr RuleKind kYearlyByDay{GenerateDateFromYearlybyday,
                                "vCal_GenerateDateFromRrule: GenerateDateFromYearlybyday"};
constexpr RuleKind kYearlyByMonth{GenerateDateFromYearlybymonth,
                                  "vCal_GenerateDateFromRrule: GenerateDateFromYearlybymonth"};

// After the value's ":" and blanks: the rule kind and where its text
// starts, or null for a kind that does not exist.
const RuleKind *ruleKind(const char *&p) {
    const char first = upper(*p);
    if (first == 'D' || first == 'W') {
        ++p;
        return first == 'D' ? &kDaily : &kWeekly;
    }
    if (first != 'M' && first != 'Y') return nullptr;
    const char second = upper(p[1]);
    p += second != '\0' ? 2 : 1;
    if (first == 'M') return second == 'P' ? &kMonthlyByPos : &kMonthlyByDay;
    return second == 'M' ? &kYearlyByMonth : &kYearlyByDay;
}

} // namespace

namespace recur {

int32_t vCal_GenerateDateFromRrule(KL_HLIST *list, const char *ruleLine, const char *startLine,
                                   uint8_t *valid) {
    *list = nullptr;
    *valid = 0;
    const char *colon = startLine != nullptr ? std::strchr(startLine, ':') : nullptr;
    if (colon == nullptr) return 0;
    const char *s = colon + 1;
    while (isBlank(*s))
        ++s;
    char start[17];
    size_t n = 0;
    for (; n < 16 && isAlnum(s[n]); ++n)
        start[n] = s[n];
    start[n] = '\0';
    colon = ruleLine != nullptr ? std::strchr(ruleLine, ':') : nullptr;
    if (colon == nullptr) return 0;
    const char *rule = colon + 1;
    while (isBlank(*rule))
        ++rule;
    const RuleKind *kind = ruleKind(rule);
    if (kind == nullptr) return 0;
    int32_t rc = kind->expand(list, rule, start, valid);
    if (rc != 0) {
        *list = nullptr;
        *valid = 0;
        return fail(rc, kind->message);
    }
    if (*valid == 0 && *list != nullptr && (rc = KL_ListDestroy(list)) != 0)
        return fail(rc, "vCal_GenerateDateFromRrule: KL_ListDestroy");
    return 0;
}

} // namespace recur

// ---------------------------------------------------------------------------
// Occurrence times.

namespace {

struct DateSteps {
    const char *first;
    const char *dayId;
    const char *add;
    const char *next;
};

// Adds the time place of every date of `dates` at the front of `places`.
int32_t addDates(KL_HLIST places, KL_HLIST dates, uint32_t startMinute, uint32_t duration,
                 const DateSteps &steps) {
    KL_DATE date{};
    int32_t rc = KL_ListGetFirst(dates, nullptr, &date);
    bool first = true;
    for (; rc == 0; rc = KL_ListGetNext(dates, nullptr, &date), first = false) {
        uint16_t day = 0;
        if ((rc = KL_DateGetDayId(&date, &day)) != 0) return fail(rc, steps.dayId);
        const TimePlace place{(day - 1u) * kMinutesPerDay + startMinute, duration, 0};
        if ((rc = KL_ListAddTo(places, &place, nullptr)) != 0) return fail(rc, steps.add);
    }
    if (rc == KL_LIST_END) return 0;
    return fail(rc, first ? steps.first : steps.next);
}

int32_t addChain(KL_HLIST places, const TimeNode *node, uint32_t duration, const char *message) {
    for (; node != nullptr; node = node->next) {
        const TimePlace place{node->time, duration, 0};
        const int32_t rc = KL_ListAddTo(places, &place, nullptr);
        if (rc != 0) return fail(rc, message);
    }
    return 0;
}

// Deletes from `list` every time place equal to one of `exclusions`.
int32_t RemoveInvalidDataFromList(KL_HLIST list, KL_HLIST exclusions) {
    TimePlace place{};
    int32_t rc = KL_ListGetFirst(exclusions, &place, nullptr);
    bool first = true;
    for (; rc == 0; rc = KL_ListGetNext(exclusions, &place, nullptr), first = false) {
        rc = KL_ListDeleteFrom(list, &place, nullptr);
        if (rc != 0 && rc != KL_LIST_NOT_FOUND)
            return fail(rc, "RemoveInvalidDataFromList: KL_ListDeleteFrom");
    }
    if (rc == KL_LIST_END) return 0;
    return fail(rc, first ? "RemoveInvalidDataFromList: KL_ListGetFirst"
                          : "RemoveInvalidDataFromList: KL_ListGetNext");
}

} // namespace

namespace recur {

// The null checks are this library's own: the function is reachable from
// the exported vCal_TimePlaceListCreateFromRules.
int32_t GetRecurTimeList(TimePlaceRecurList *result, const PropertyParam *item,
                         KL_HLIST occurrences, KL_HLIST exceptionOccurrences,
                         const TimeNode *recurrenceDates, const TimeNode *exceptionDates,
                         uint32_t startMinute, uint32_t duration, uint32_t /*reserved*/) {
    if (result == nullptr)
        return fail(VCAL_ERR_NULL_LIST, "GetRecurTimeList (TimePlaceRecurListPtr)");
    if (item == nullptr)
        return fail(VCAL_ERR_NULL_PROPERTY_PARAM, "GetRecurTimeList (PropertyParamPtr)");
    const uint8_t *flag = item->flags.flag;
    const bool rrule = flag[VCAL_SLOT_RRULE] != 0;
    const bool exrule = flag[VCAL_SLOT_EXRULE] != 0;
    const bool rdate = flag[VCAL_SLOT_RDATE] != 0;
    const bool exdate = flag[VCAL_SLOT_EXDATE] != 0;
    ListGuard places;
    ListGuard exclusions;
    int32_t rc =
        KL_ListCreate(places.out(), sizeof(TimePlace), 0, KL_LIST_FLAG_08, nullptr, nullptr);
    if (rc != 0) return fail(rc, "GetRecurTimeList: KL_ListCreate 1");
    if ((exrule || exdate) && (rc = KL_ListCreate(exclusions.out(), sizeof(TimePlace), 0,
                                                  KL_LIST_FLAG_08, nullptr, nullptr)) != 0)
        return fail(rc, "GetRecurTimeList: KL_ListCreate 2");
    static constexpr DateSteps kRule{
        "GetRecurTimeList: KL_ListGetFirst 1", "GetRecurTimeList: Kl_DateGetDayId 1",
        "GetRecurTimeList: KL_ListAddTo 1", "GetRecurTimeList: KL_ListGetNext 1"};
    static constexpr DateSteps kExceptionRule{
        "GetRecurTimeList: KL_ListGetfirst 2", "GetRecurTimeList: Kl_DateGetDayId 2",
        "GetRecurTimeList: KL_ListAddTo 2", "GetRecurTimeList: KL_ListGetNext 2"};
    if (rrule && occurrences != nullptr &&
        (rc = addDates(places.get(), occurrences, startMinute, duration, kRule)) != 0)
        return rc;
    if (exrule && exceptionOccurrences != nullptr &&
        (rc = addDates(exclusions.get(), exceptionOccurrences, startMinute, duration,
                       kExceptionRule)) != 0)
        return rc;
    if (rdate && (rc = addChain(places.get(), recurrenceDates, duration,
                                "GetRecurTimeList: KL_ListAddTo 3")) != 0)
        return rc;
    if (exdate && (rc = addChain(exclusions.get(), exceptionDates, duration,
                                 "GetRecurTimeList: KL_ListAddTo 4")) != 0)
        return rc;
    if (exclusions.get() != nullptr &&
        (rc = RemoveInvalidDataFromList(places.get(), exclusions.get())) != 0)
        return rc;
    result->timeList = places.release();
    return 0;
}

} // namespace recur
