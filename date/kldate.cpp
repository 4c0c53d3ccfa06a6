// Day-number dates and recurring series of them.
#include "date/kldate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "list/klist.h"
#include "list/klmem.h"

namespace {

constexpr uint16_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr uint16_t kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr uint32_t kFirstYear = 1991;
constexpr uint32_t kLastDayId = 0xFFFF;
constexpr int32_t kLastYear = 0xFFFF;

bool isLeap(uint32_t year) { return year % 4 == 0; }

// Callers have checked month <= 11.
uint32_t monthLength(uint32_t month, uint32_t year) {
    return kMonthDays[month] + (month == 1 && isLeap(year) ? 1 : 0);
}

int32_t check(uint32_t day, uint32_t month, uint32_t year) {
    if (month > 11) return KL_DATE_E_MONTH;
    if (day == 0 || day > 31) return KL_DATE_E_DAY;
    if (year > static_cast<uint32_t>(kLastYear)) return KL_DATE_E_RANGE;
    if (day > monthLength(month, year)) return KL_DATE_E_DAY_IN_MONTH;
    return 0;
}

// Callers fill records directly too; nothing is computed from one that
// does not hold a real date.
int32_t checkDate(const KL_DATE *date) {
    if (date == nullptr) return KL_DATE_E_NULL;
    return check(date->day, date->month, date->year);
}

void store(KL_DATE *date, uint32_t day, uint32_t month, uint32_t year) {
    date->flags = 0;
    date->day = static_cast<uint16_t>(day);
    date->month = static_cast<uint16_t>(month);
    date->year = static_cast<uint16_t>(year);
}

int16_t order(const KL_DATE &a, const KL_DATE &b) {
    int16_t result = 0;
    KL_DateCompare(&a, &b, &result);
    return result;
}

} // namespace

int32_t KL_DateSet(KL_DATE *date, uint32_t day, uint32_t month, uint32_t year) {
    const int32_t rc = check(day, month, year);
    if (rc != 0) return rc;
    if (date != nullptr) store(date, day, month, year);
    return 0;
}

int32_t KL_DateGet(const KL_DATE *date, uint16_t *day, uint16_t *month, uint16_t *year) {
    if (date == nullptr) return KL_DATE_E_NULL;
    if (day != nullptr) *day = date->day;
    if (month != nullptr) *month = date->month;
    if (year != nullptr) *year = date->year;
    return 0;
}

int32_t KL_DateCopy(KL_DATE *destination, const KL_DATE *source) {
    if (destination == nullptr || source == nullptr) return KL_DATE_E_NULL;
    *destination = *source;
    return 0;
}

namespace {

// The day number of a date check() accepts, or KL_DATE_E_RANGE.
int32_t dayNumber(uint32_t day, uint32_t month, uint32_t year, uint16_t &id) {
    if (year < kFirstYear) return KL_DATE_E_RANGE;
    // Leap years from 1991 up to the year before: multiples of 4 up to
    // year - 1, less those up to 1990.
    const uint32_t leapYears = (year - 1) / 4 - (kFirstYear - 1) / 4;
    const uint32_t n = 365 * (year - kFirstYear) + leapYears + kDaysBefore[month] +
                       (month > 1 && isLeap(year) ? 1 : 0) + day;
    if (n > kLastDayId) return KL_DATE_E_RANGE;
    id = static_cast<uint16_t>(n);
    return 0;
}

} // namespace

int32_t KL_DateGetDayId(KL_DATE *date, uint16_t *id) {
    if (date == nullptr) return KL_DATE_E_NULL;
    if ((date->flags & KL_DATE_ID_VALID) == 0) {
        // (Through a local: the record is packed, its field may be unaligned.)
        uint16_t number = 0;
        int32_t rc = checkDate(date);
        if (rc == 0) rc = dayNumber(date->day, date->month, date->year, number);
        if (rc != 0) return rc;
        date->dayId = number;
        date->flags |= KL_DATE_ID_VALID;
    }
    if (id != nullptr && date->dayId != 0) *id = date->dayId;
    return 0;
}

int32_t KL_DateIdOf(uint32_t day, uint32_t month, uint32_t year, uint16_t *id, bool *setFailed) {
    const int32_t rc = check(day, month, year);
    *setFailed = rc != 0;
    return rc != 0 ? rc : dayNumber(day, month, year, *id);
}

int32_t KL_DateGetDayOfWeek(KL_DATE *date, uint16_t *dayOfWeek) {
    if (date == nullptr) return KL_DATE_E_NULL;
    uint16_t value = date->dayOfWeek;
    if ((date->flags & KL_DATE_DOW_VALID) == 0) {
        uint16_t id = 0;
        const int32_t rc = KL_DateGetDayId(date, &id);
        if (rc != 0) return rc;
        value = static_cast<uint16_t>((id + 1) % 7);
    }
    if (dayOfWeek != nullptr) *dayOfWeek = value;
    return 0;
}

// Differences of far-apart years would not fit 16 bits; they are held at
// the limit so that the sign stays right.
int32_t KL_DateCompare(const KL_DATE *a, const KL_DATE *b, int16_t *result) {
    if (a == nullptr || b == nullptr) return KL_DATE_E_NULL;
    int32_t d = int32_t{a->year} - b->year;
    if (d == 0) d = int32_t{a->month} - b->month;
    if (d == 0) d = int32_t{a->day} - b->day;
    if (d > INT16_MAX) d = INT16_MAX;
    if (d < INT16_MIN) d = INT16_MIN;
    if (result != nullptr) *result = static_cast<int16_t>(d);
    return 0;
}

int32_t KL_DateOffset(KL_DATE *date, int16_t n) {
    const int32_t rc = checkDate(date);
    if (rc != 0) return rc;
    if (n == 0) return 0;
    int32_t day = date->day;
    int32_t month = date->month;
    int32_t year = date->year;
    if (n > 0) {
        int32_t m = n;
        while (day + m > static_cast<int32_t>(monthLength(month, year))) {
            m -= static_cast<int32_t>(monthLength(month, year)) - day;
            day = 0;
            if (++month == 12) {
                month = 0;
                if (++year > kLastYear) return KL_DATE_E_RANGE;
            }
        }
        day += m;
    } else {
        int32_t m = -int32_t{n};
        while (m >= day) {
            m -= day;
            if (--month < 0) {
                month = 11;
                if (--year < 0) return KL_DATE_E_RANGE;
            }
            day = static_cast<int32_t>(monthLength(month, year));
        }
        day -= m;
    }
    return KL_DateSet(date, static_cast<uint32_t>(day), static_cast<uint32_t>(month),
                      static_cast<uint32_t>(year));
}

int32_t KL_DateIncrement(KL_DATE *date) { return KL_DateOffset(date, 1); }

int32_t KL_DateDecrement(KL_DATE *date) {
    const int32_t rc = checkDate(date);
    if (rc != 0) return rc;
    if (date->day > 1) return KL_DateSet(date, date->day - 1u, date->month, date->year);
    const int32_t back = KL_DatePrevMonth(date);
    return back != 0 ? back : KL_DateSetToLastDayOfMonth(date);
}

int32_t KL_DateSetToLastDayOfMonth(KL_DATE *date) {
    if (date == nullptr) return KL_DATE_E_NULL;
    uint16_t days = 0;
    const int32_t rc = KL_DateDaysInMonth(date->month, date->year, &days);
    if (rc != 0) return rc;
    store(date, days, date->month, date->year);
    return 0;
}

int32_t KL_DatePrevMonth(KL_DATE *date) {
    const int32_t rc = checkDate(date);
    if (rc != 0) return rc;
    uint32_t month = date->month;
    uint32_t year = date->year;
    if (month == 0) {
        if (year == 0) return KL_DATE_E_RANGE;
        month = 11;
        --year;
    } else {
        --month;
    }
    const uint32_t length = monthLength(month, year);
    store(date, date->day > length ? length : date->day, month, year);
    return 0;
}

// Day counts go to KL_DateOffset in pieces it can take, so long steps
// (7 x a large interval) are not cut short by its 16-bit count.
int32_t KL_DateAddUnits(const KL_DATE *source, int32_t n, uint32_t unit, KL_DATE *destination) {
    if (source == nullptr || destination == nullptr) return KL_DATE_E_NULL;
    if (unit < KL_DATE_UNIT_DAYS || unit > KL_DATE_UNIT_YEARS) return KL_DATE_E_UNIT;
    int32_t rc = checkDate(source);
    if (rc != 0) return rc;
    KL_DateCopy(destination, source);
    if (unit == KL_DATE_UNIT_DAYS || unit == KL_DATE_UNIT_WEEKS) {
        int64_t days = unit == KL_DATE_UNIT_WEEKS ? int64_t{n} * 7 : n;
        while (days != 0) {
            const int64_t step = days > INT16_MAX ? INT16_MAX : days < INT16_MIN ? INT16_MIN : days;
            if ((rc = KL_DateOffset(destination, static_cast<int16_t>(step))) != 0) return rc;
            days -= step;
        }
        return 0;
    }
    int64_t year = destination->year;
    int64_t month = destination->month;
    if (unit == KL_DATE_UNIT_MONTHS) {
        const int64_t total = month + n;
        const int64_t carry = total >= 0 ? total / 12 : -((-total + 11) / 12);
        year += carry;
        month = total - carry * 12;
    } else {
        year += n;
    }
    if (year < 0 || year > kLastYear) return KL_DATE_E_RANGE;
    const uint32_t length = monthLength(static_cast<uint32_t>(month), static_cast<uint32_t>(year));
    uint32_t day = destination->day;
    if (day > length) {
        if (unit == KL_DATE_UNIT_YEARS) return KL_DATE_E_DAY_IN_MONTH;
        day = length;
    }
    store(destination, day, static_cast<uint32_t>(month), static_cast<uint32_t>(year));
    return 0;
}

int32_t KL_DateDaysInMonth(uint32_t month, uint32_t year, uint16_t *days) {
    if (month > 11) return KL_DATE_E_MONTH_INDEX;
    if (days != nullptr) *days = static_cast<uint16_t>(monthLength(month, year));
    return 0;
}

int32_t KL_DateDaysInYear(uint32_t year, uint16_t *days) {
    if (days != nullptr) *days = isLeap(year) ? 366 : 365;
    return 0;
}

int32_t KL_DateIsLeapYear(uint32_t year, uint16_t *leap) {
    if (leap != nullptr) *leap = isLeap(year) ? 1 : 0;
    return 0;
}

// ---------------------------------------------------------------------------
// Series.
//
// Rule codes 4 and 5, which nothing in the library asks for, extend the
// monthly and daily rules to years: 4 is yearly periods, producing each
// day of the period whose day of the year (counted from 0) is in the day
// list; 5 produces the running date once a year. Both step by 12 months
// with KL_DateAddUnits, so a series begun on 29 February continues on
// 28 February as the monthly rule does on the 31st. Rule 4 tests each day
// against the exceptions; the monthly rule keeps testing its period's first
// day.
//
// An interval of 0 never moves the running date, so every period is the
// same: the series repeats it only while it produces dates and a maximum
// bounds the repetition; otherwise the first period ends it.

namespace {

// The ids of a day list as a set of bits, looked up for every day a series
// passes through instead of a search of the list. Only for a list whose
// ids are 16-bit numbers compared as bytes, all below 512 (days of a year,
// of a month, of a week), and that the series does not fill itself;
// `usable` is false for any other, which is searched as before.
struct IdSet {
    bool usable = false;
    uint64_t bits[8] = {};

    IdSet(KL_HLIST list, KL_HLIST output) {
        if (list == nullptr || list == output || list->idCompare != KL_MemCompare ||
            list->idSize != 2 || klist::has(list, KL_LIST_STRING_ID))
            return;
        // The cells are read directly: a walk with KL_ListGetFirst would
        // count towards the list library's yields.
        for (KL_ListCell *c = list->first; c != nullptr; c = c->next) {
            uint16_t id = 0;
            std::memcpy(&id, klist::idOf(list, c), sizeof id);
            if (id >= 512) return;
            bits[id >> 6] |= uint64_t{1} << (id & 63);
        }
        usable = true;
    }
    bool has(uint16_t id) const { return id < 512 && ((bits[id >> 6] >> (id & 63)) & 1) != 0; }
    // The first id from `from` to `to` (both below 512) in the set, or
    // to + 1.
    uint32_t firstFrom(uint32_t from, uint32_t to) const {
        for (uint32_t id = from; id <= to; id = (id | 63) + 1) {
            const uint64_t word = bits[id >> 6] >> (id & 63);
            if (word != 0) {
                const uint32_t found = id + static_cast<uint32_t>(__builtin_ctzll(word));
                return found <= to ? found : to + 1;
            }
        }
        return to + 1;
    }
};

struct Series {
    const KL_RECURPARAM *p;
    KL_HLIST list;
    bool exceptions;
    uint16_t sequence;
    uint32_t produced;
    IdSet days;
    IdSet weekdays; // the excluded ones
};

// Whether a list of 16-bit ids holds `value`.
int32_t holds(KL_HLIST list, uint16_t value, bool *found) {
    const int32_t rc = KL_ListAlwaysGet(list, &value, nullptr);
    *found = rc == 0;
    return rc == KL_LIST_NOT_FOUND ? 0 : rc;
}

// Whether the day list holds `day`.
int32_t isListed(const Series &s, uint16_t day, bool *listed) {
    if (!s.days.usable) return holds(s.p->dayList, day, listed);
    *listed = s.days.has(day);
    return 0;
}

int32_t isException(const Series &s, const KL_DATE &date, bool *found) {
    *found = false;
    if (!s.exceptions) return 0;
    KL_DATE cell{};
    int32_t rc = KL_ListGetFirst(s.p->exceptions, nullptr, &cell);
    for (; rc == 0; rc = KL_ListGetNext(s.p->exceptions, nullptr, &cell)) {
        if (order(cell, date) == 0) {
            *found = true;
            return 0;
        }
    }
    return rc == KL_LIST_END ? 0 : rc;
}

int32_t isExcludedDay(const Series &s, KL_DATE &date, bool *excluded) {
    *excluded = false;
    if (s.p->weekdayExclusions == nullptr) return 0;
    uint16_t dayOfWeek = 0;
    const int32_t rc = KL_DateGetDayOfWeek(&date, &dayOfWeek);
    if (rc != 0) return rc;
    if (s.weekdays.usable) {
        *excluded = s.weekdays.has(dayOfWeek);
        return 0;
    }
    return holds(s.p->weekdayExclusions, dayOfWeek, excluded);
}

int32_t produce(Series &s, const KL_DATE &date) {
    const int32_t rc = KL_ListAddLast(s.list, &s.sequence, &date);
    if (rc != 0) return rc;
    ++s.sequence;
    ++s.produced;
    return 0;
}

// Produces `date` unless its weekday is excluded or, when `checkException`,
// it is an exception.
int32_t offer(Series &s, KL_DATE &date, bool checkException) {
    bool skip = false;
    int32_t rc = isExcludedDay(s, date, &skip);
    if (rc != 0 || skip) return rc;
    if (checkException) {
        rc = isException(s, date, &skip);
        if (rc != 0 || skip) return rc;
    }
    return produce(s, date);
}

// KL_DateIncrement, with the common case (a valid date that is not the
// last of its month) done here: a month's period steps through every day.
int32_t nextDay(KL_DATE &date) {
    if (check(date.day, date.month, date.year) == 0 &&
        date.day < monthLength(date.month, date.year)) {
        store(&date, date.day + 1u, date.month, date.year);
        return 0;
    }
    return KL_DateIncrement(&date);
}

int32_t weeklyPeriod(Series &s, const KL_DATE &running) {
    KL_DATE day = running;
    for (int k = 0; k < 7 && order(day, s.p->end) <= 0; ++k) {
        uint16_t dayOfWeek = 0;
        bool listed = false;
        int32_t rc = KL_DateGetDayOfWeek(&day, &dayOfWeek);
        if (rc == 0) rc = isListed(s, dayOfWeek, &listed);
        if (rc == 0 && listed) rc = offer(s, day, true);
        if (rc == 0 && k < 6) {
            // The next day's number is this one's plus one, as
            // KL_DateGetDayId would count it (once the number is ours: the
            // running date's may be the caller's).
            const uint16_t id = day.dayId;
            const bool known = k > 0 && (day.flags & KL_DATE_ID_VALID) != 0 && id < kLastDayId;
            rc = nextDay(day);
            if (rc == 0 && known) {
                day.dayId = static_cast<uint16_t>(id + 1);
                day.flags |= KL_DATE_ID_VALID;
            }
        }
        if (rc != 0) return rc;
    }
    return 0;
}

uint16_t dayOfYear(const KL_DATE &d) {
    return static_cast<uint16_t>(kDaysBefore[d.month] + (d.month > 1 && isLeap(d.year) ? 1 : 0) +
                                 d.day - 1);
}

// A period of `months` months from the running date, cut at the end date.
int32_t periodOfMonths(Series &s, const KL_DATE &running, int32_t months) {
    KL_DATE last{};
    int32_t rc = KL_DateAddUnits(&running, months, KL_DATE_UNIT_MONTHS, &last);
    if (rc == 0) rc = KL_DateDecrement(&last);
    if (rc != 0) return rc;
    if (order(last, s.p->end) > 0) last = s.p->end;
    const bool monthly = s.p->ruleCode == KL_RECUR_MONTHLY;
    bool skipPeriod = false;
    if (monthly && (rc = isException(s, running, &skipPeriod)) != 0) return rc;
    for (KL_DATE day = running; order(day, last) <= 0;) {
        if (s.days.usable && check(day.day, day.month, day.year) == 0) {
            // The days of this month before the next listed one (or before
            // its last, or `last`) would only be passed: straight to it.
            const uint32_t end = last.year == day.year && last.month == day.month
                                     ? last.day
                                     : monthLength(day.month, day.year);
            const uint32_t base = monthly ? 0u : dayOfYear(day) - (day.day - 1u);
            const uint32_t to =
                skipPeriod ? end
                           : std::min(end, s.days.firstFrom(base + day.day - 1u, base + end - 1u) -
                                               base + 1u);
            if (to > day.day) store(&day, to, day.month, day.year);
        }
        const uint16_t index = monthly ? static_cast<uint16_t>(day.day - 1) : dayOfYear(day);
        bool listed = false;
        rc = isListed(s, index, &listed);
        if (rc == 0 && listed && !skipPeriod) rc = offer(s, day, !monthly);
        if (rc == 0) rc = nextDay(day);
        if (rc != 0) return rc;
    }
    return 0;
}

int32_t period(Series &s, KL_DATE &running) {
    switch (s.p->ruleCode) {
    case KL_RECUR_WEEKLY:
        return weeklyPeriod(s, running);
    case KL_RECUR_MONTHLY:
        return periodOfMonths(s, running, 1);
    case KL_RECUR_YEARLY_DAYS:
        return periodOfMonths(s, running, 12);
    default: // daily, yearly
        return offer(s, running, true);
    }
}

int32_t idSizeIs(KL_HLIST list, uint32_t wanted) {
    uint32_t size = 0;
    if (KL_ListGetIdSize(list, &size) != 0) return KL_DATE_E_LIST_SIZE;
    return size == wanted ? 0 : KL_DATE_E_LIST_TYPE;
}

int32_t dataSizeIs(KL_HLIST list, uint32_t wanted) {
    uint32_t size = 0;
    if (KL_ListGetDataSize(list, &size) != 0) return KL_DATE_E_LIST_SIZE;
    return size == wanted ? 0 : KL_DATE_E_LIST_TYPE;
}

// The list is the one to fill; the parameter block must make sense.
int32_t validate(const KL_RECURPARAM *p, bool exceptions) {
    int32_t rc = 0;
    switch (p->ruleCode) {
    case KL_RECUR_DAILY:
    case KL_RECUR_YEARLY:
        break;
    case KL_RECUR_WEEKLY:
    case KL_RECUR_MONTHLY:
    case KL_RECUR_YEARLY_DAYS:
        if (p->dayList == nullptr) return KL_DATE_E_NO_DAY_LIST;
        if ((rc = idSizeIs(p->dayList, 2)) != 0) return rc;
        break;
    default:
        return KL_DATE_E_RULE;
    }
    // The optional lists are read with 16-bit ids and whole dates as data.
    if (p->weekdayExclusions != nullptr && (rc = idSizeIs(p->weekdayExclusions, 2)) != 0) return rc;
    if (exceptions && (rc = dataSizeIs(p->exceptions, sizeof(KL_DATE))) != 0) return rc;
    if ((rc = checkDate(&p->start)) != 0) return rc;
    return checkDate(&p->end);
}

int32_t generate(Series &s, uint32_t maximum) {
    const KL_RECURPARAM *p = s.p;
    uint32_t unit = KL_DATE_UNIT_MONTHS;
    int32_t step = int32_t{p->interval} * 12;
    if (p->ruleCode == KL_RECUR_DAILY || p->ruleCode == KL_RECUR_WEEKLY ||
        p->ruleCode == KL_RECUR_MONTHLY) {
        unit = p->ruleCode; // the rule codes 1 to 3 are the units 1 to 3
        step = p->interval;
    }
    KL_DATE running = p->start;
    do {
        const uint32_t before = s.produced;
        int32_t rc = period(s, running);
        if (rc != 0) return rc;
        if (p->interval == 0 && (maximum == 0 || s.produced == before)) return 0;
        if ((rc = KL_DateAddUnits(&running, step, unit, &running)) != 0) return rc;
        if (order(running, p->end) > 0) return 0;
    } while (maximum == 0 || s.produced < maximum);
    return 0;
}

// A list of the right type to fill: a new one, or the caller's emptied.
int32_t prepareList(uint32_t mode, KL_HLIST *list) {
    if ((mode & KL_RECUR_CREATE) != 0)
        return KL_ListCreate(list, 2, sizeof(KL_DATE), KL_LIST_FLAG_08, nullptr, nullptr);
    int32_t rc = dataSizeIs(*list, sizeof(KL_DATE));
    if (rc != 0) return rc;
    // Ids are the 16-bit sequence numbers; a wider id would be read past them.
    uint32_t idSize = 0;
    if (KL_ListGetIdSize(*list, &idSize) != 0) return KL_DATE_E_LIST_SIZE;
    if (idSize > 2) return KL_DATE_E_LIST_TYPE;
    return KL_ListDeleteAll(*list);
}

} // namespace

int32_t KL_DateGenRecur(uint32_t mode, const KL_RECURPARAM *parameters, KL_HLIST *list,
                        uint32_t maximum) {
    if ((mode & (KL_RECUR_CREATE | KL_RECUR_REUSE)) == 0) return KL_DATE_E_MODE;
    if (parameters == nullptr || list == nullptr) return KL_DATE_E_NULL;
    int32_t rc = prepareList(mode, list);
    if (rc != 0) return rc;
    const bool exceptions = (mode & KL_RECUR_EXCEPTIONS) != 0 && parameters->exceptions != nullptr;
    Series s{parameters,
             *list,
             exceptions,
             1,
             0,
             IdSet(parameters->dayList, *list),
             IdSet(parameters->weekdayExclusions, *list)};
    rc = validate(parameters, exceptions);
    if (rc == 0) rc = generate(s, maximum);
    if (rc != 0 && (mode & KL_RECUR_CREATE) != 0) KL_ListDestroy(list);
    return rc;
}
