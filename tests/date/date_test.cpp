// Day-number dates against an independent count of every day in range, the
// calendar operations' edge cases, and series generation.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "date/kldate.h"
#include "support/alloc_hook.h"

namespace {

struct Ymd {
    int year, month, day; // month 0-based
    bool operator==(const Ymd &o) const {
        return year == o.year && month == o.month && day == o.day;
    }
};

KL_DATE date(int day, int month, int year) {
    KL_DATE d{};
    EXPECT_EQ(KL_DateSet(&d, static_cast<uint32_t>(day), static_cast<uint32_t>(month),
                         static_cast<uint32_t>(year)),
              0);
    return d;
}

Ymd ymd(const KL_DATE &d) { return Ymd{d.year, d.month, d.day}; }

uint16_t idOf(KL_DATE d) {
    uint16_t id = 0;
    EXPECT_EQ(KL_DateGetDayId(&d, &id), 0);
    return id;
}

// Every day from 1 January 1991 to 4 July 2170, counted one by one with
// this library's calendar (every fourth year a leap year).
std::vector<Ymd> everyDay() {
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::vector<Ymd> days;
    for (int y = 1991; y <= 2170; ++y)
        for (int m = 0; m < 12; ++m)
            for (int d = 1; d <= lengths[m] + (m == 1 && y % 4 == 0 ? 1 : 0); ++d) {
                days.push_back(Ymd{y, m, d});
                if (days.back() == Ymd{2170, 6, 4}) return days;
            }
    return days;
}

// Day numbers are 16-bit: counted this way, 65535 is 4 June 2170, and the
// month after it has no number.
TEST(Date, EveryDayInRangeHasTheCountedNumber) {
    const std::vector<Ymd> days = everyDay();
    ASSERT_EQ(days[65534], (Ymd{2170, 5, 4}));
    KL_DATE walking = date(1, 0, 1991);
    for (size_t i = 0; i < days.size(); ++i) {
        const Ymd &e = days[i];
        KL_DATE d = date(e.day, e.month, e.year);
        uint16_t id = 0;
        uint16_t weekday = 9;
        ASSERT_EQ(ymd(walking), e);
        if (i + 1 < days.size()) {
            ASSERT_EQ(KL_DateIncrement(&walking), 0);
        }
        if (i >= 65535) {
            ASSERT_EQ(KL_DateGetDayId(&d, &id), KL_DATE_E_RANGE);
            ASSERT_EQ(KL_DateGetDayOfWeek(&d, &weekday), KL_DATE_E_RANGE);
            continue;
        }
        ASSERT_EQ(KL_DateGetDayId(&d, &id), 0);
        ASSERT_EQ(id, i + 1) << e.year << "-" << e.month + 1 << "-" << e.day;
        ASSERT_EQ(d.flags, KL_DATE_ID_VALID);
        ASSERT_EQ(KL_DateGetDayOfWeek(&d, &weekday), 0);
        ASSERT_EQ(weekday, (i + 2) % 7) << "1 January 1991 was a Tuesday";
    }
    // Long moves either way land on the day counted that far away.
    std::mt19937 rng(3);
    for (size_t i = 0; i < days.size(); i += 61) {
        const int n = std::uniform_int_distribution<int>(-32768, 32767)(rng);
        const long target = static_cast<long>(i) + n;
        if (target < 0 || target >= 65535) continue;
        KL_DATE d = date(days[i].day, days[i].month, days[i].year);
        ASSERT_EQ(KL_DateOffset(&d, static_cast<int16_t>(n)), 0);
        ASSERT_EQ(ymd(d), days[static_cast<size_t>(target)]) << "from day " << i + 1 << " by " << n;
        const KL_DATE from = date(days[i].day, days[i].month, days[i].year);
        KL_DATE w{};
        const int weeks = n / 7;
        ASSERT_EQ(KL_DateAddUnits(&from, weeks, KL_DATE_UNIT_WEEKS, &w), 0);
        ASSERT_EQ(idOf(w), i + 1 + static_cast<size_t>(weeks * 7));
    }
}

TEST(Date, OutsideTheRangeThereIsNoDayNumber) {
    KL_DATE before = date(31, 11, 1990);
    uint16_t id = 7;
    EXPECT_EQ(KL_DateGetDayId(&before, &id), KL_DATE_E_RANGE);
    EXPECT_EQ(id, 7) << "the output is left alone";
    KL_DATE bad{0, 30, 1, 2000, 0, 0}; // 30 February, written directly
    EXPECT_EQ(KL_DateGetDayId(&bad, nullptr), KL_DATE_E_DAY_IN_MONTH);
    EXPECT_EQ(KL_DateGetDayId(nullptr, nullptr), KL_DATE_E_NULL);
}

TEST(Date, SetAndCalendarEdges) {
    const struct {
        uint32_t day, month, year;
        int32_t rc;
    } sets[] = {{29, 1, 2000, 0},
                {29, 1, 1999, 0x15604},
                {1, 12, 1999, 0x15602},
                {32, 0, 1999, 0x15601},
                {0, 0, 1999, 0x15601},
                {31, 3, 1999, 0x15604},
                {0, 12, 1999, 0x15602}, // the month is tested first
                {1, 0, 70000, KL_DATE_E_RANGE}};
    for (const auto &s : sets)
        EXPECT_EQ(KL_DateSet(nullptr, s.day, s.month, s.year), s.rc) << s.day;

    EXPECT_EQ(idOf(date(1, 0, 1992)), 366);
    const struct {
        KL_DATE from;
        int32_t n;
        uint32_t unit;
        int32_t rc;
        Ymd to;
    } adds[] = {{date(31, 0, 1999), 1, KL_DATE_UNIT_MONTHS, 0, {1999, 1, 28}},
                {date(31, 0, 2000), 1, KL_DATE_UNIT_MONTHS, 0, {2000, 1, 29}},
                {date(15, 10, 1999), 14, KL_DATE_UNIT_MONTHS, 0, {2001, 0, 15}},
                {date(15, 1, 1999), -3, KL_DATE_UNIT_MONTHS, 0, {1998, 10, 15}},
                {date(29, 1, 2000), 4, KL_DATE_UNIT_YEARS, 0, {2004, 1, 29}},
                {date(29, 1, 2000), 1, KL_DATE_UNIT_YEARS, 0x15604, {2000, 1, 29}},
                {date(1, 0, 1999), 10, KL_DATE_UNIT_DAYS, 0, {1999, 0, 11}},
                {date(1, 0, 1999), 1, 5, 0x15606, {0, 0, 0}}};
    for (const auto &a : adds) {
        KL_DATE out{};
        EXPECT_EQ(KL_DateAddUnits(&a.from, a.n, a.unit, &out), a.rc) << a.n << "/" << a.unit;
        if (a.rc != 0x15606) {
            EXPECT_EQ(ymd(out), a.to) << a.n << "/" << a.unit;
        }
    }

    int16_t order = 0;
    const KL_DATE march = date(1, 2, 1999), february = date(28, 1, 1999);
    EXPECT_EQ(KL_DateCompare(&march, &february, &order), 0);
    EXPECT_EQ(order, 1) << "the months differ by 1";
    const KL_DATE far = date(1, 0, 65000), near = date(1, 0, 0);
    EXPECT_EQ(KL_DateCompare(&far, &near, &order), 0);
    EXPECT_GT(order, 0) << "far-apart years keep the sign";

    KL_DATE d = date(1, 0, 2000);
    EXPECT_EQ(KL_DateDecrement(&d), 0);
    EXPECT_EQ(ymd(d), (Ymd{1999, 11, 31}));
    d = date(31, 2, 2001);
    EXPECT_EQ(KL_DatePrevMonth(&d), 0);
    EXPECT_EQ(ymd(d), (Ymd{2001, 1, 28}));
    idOf(d);
    KL_DATE cached = d;
    (void)KL_DateGetDayId(&cached, nullptr);
    EXPECT_EQ(KL_DateSetToLastDayOfMonth(&cached), 0);
    EXPECT_EQ(cached.flags, 0u) << "a changed date drops its cached number";
    uint16_t days = 0;
    EXPECT_EQ(KL_DateDaysInMonth(12, 2000, &days), 0x15603);
    EXPECT_EQ(KL_DateDaysInMonth(1, 2100, &days), 0);
    EXPECT_EQ(days, 29);
    EXPECT_EQ(KL_DateDaysInYear(2100, &days), 0);
    EXPECT_EQ(days, 366);
}

struct Produced {
    uint16_t seq;
    Ymd day;
    bool operator==(const Produced &o) const { return seq == o.seq && day == o.day; }
};

std::vector<Produced> series(KL_HLIST list) {
    std::vector<Produced> out;
    uint16_t id = 0;
    KL_DATE d{};
    for (int rc = KL_ListGetFirst(list, &id, &d); rc == 0; rc = KL_ListGetNext(list, &id, &d))
        out.push_back(Produced{id, ymd(d)});
    return out;
}

std::vector<Ymd> daysOf(KL_HLIST list) {
    std::vector<Ymd> out;
    for (const Produced &p : series(list))
        out.push_back(p.day);
    return out;
}

KL_HLIST shorts(std::initializer_list<uint16_t> values) {
    KL_HLIST list = nullptr;
    EXPECT_EQ(KL_ListCreate(&list, 2, 0, KL_LIST_FLAG_08, nullptr, nullptr), 0);
    for (uint16_t v : values)
        KL_ListAddTo(list, &v, nullptr);
    return list;
}

KL_RECURPARAM params(uint16_t rule, uint16_t interval, KL_DATE start, KL_DATE end,
                     KL_HLIST days = nullptr) {
    KL_RECURPARAM p{};
    p.interval = interval;
    p.ruleCode = rule;
    p.dayList = days;
    p.start = start;
    p.end = end;
    return p;
}

TEST(DateSeries, ExclusionsExceptionsAndLimits) {
    KL_HLIST weekend = shorts({0, 6});
    KL_HLIST exceptions = nullptr;
    KL_ListCreate(&exceptions, 2, sizeof(KL_DATE), KL_LIST_FLAG_08, nullptr, nullptr);
    const uint16_t one = 1;
    const KL_DATE fifth = date(5, 0, 1999);
    KL_ListAddTo(exceptions, &one, &fifth);
    KL_RECURPARAM p = params(1, 1, date(1, 0, 1999), date(8, 0, 1999));
    p.weekdayExclusions = weekend;
    p.exceptions = exceptions;
    KL_HLIST list = nullptr;
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_CREATE | KL_RECUR_EXCEPTIONS, &p, &list, 0), 0);
    EXPECT_EQ(series(list), (std::vector<Produced>{{1, {1999, 0, 1}},
                                                   {2, {1999, 0, 4}},
                                                   {3, {1999, 0, 6}},
                                                   {4, {1999, 0, 7}},
                                                   {5, {1999, 0, 8}}}));
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &list, 3), 0);
    EXPECT_EQ(daysOf(list), (std::vector<Ymd>{{1999, 0, 1}, {1999, 0, 4}, {1999, 0, 5}}))
        << "exceptions only with mode bit 0x04";

    // Interval 0 repeats its period up to the maximum, and ends without one.
    p = params(1, 0, date(1, 0, 1999), date(8, 0, 1999));
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &list, 3), 0);
    EXPECT_EQ(daysOf(list), (std::vector<Ymd>(3, Ymd{1999, 0, 1})));
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &list, 0), 0);
    EXPECT_EQ(daysOf(list), (std::vector<Ymd>{{1999, 0, 1}}));
    p.weekdayExclusions = shorts({5}); // Friday: nothing to produce, ever
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &list, 3), 0);
    EXPECT_TRUE(daysOf(list).empty());
    KL_ListDestroy(&p.weekdayExclusions);
    for (KL_HLIST *l : {&list, &weekend, &exceptions})
        KL_ListDestroy(l);
}

TEST(DateSeries, YearlyRules) {
    KL_HLIST list = nullptr;
    KL_RECURPARAM p = params(5, 1, date(29, 1, 2000), date(1, 0, 2003));
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_CREATE, &p, &list, 0), 0);
    EXPECT_EQ(daysOf(list), (std::vector<Ymd>{{2000, 1, 29}, {2001, 1, 28}, {2002, 1, 28}}));
    KL_HLIST days = shorts({0, 59}); // 1 January; 29 February or 1 March
    p = params(4, 1, date(1, 0, 2000), date(31, 11, 2001), days);
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &list, 0), 0);
    EXPECT_EQ(daysOf(list),
              (std::vector<Ymd>{{2000, 0, 1}, {2000, 1, 29}, {2001, 0, 1}, {2001, 2, 1}}));
    KL_ListDestroy(&days);
    KL_ListDestroy(&list);
}

// Equality as bytes, but not the library's own function: such a day list
// is searched cell by cell, as any list with a comparison of its own.
int32_t sameBytes(const void *a, const void *b, uint32_t n) { return std::memcmp(a, b, n); }

// Day lists are looked up for every day a series passes; the answer must
// not depend on how: a list with its own comparison, one holding an id past
// any day of a year, and one with the library's comparison give the same
// series, weekday exclusions included.
TEST(DateSeries, DayListsAnswerAlikeHoweverLookedUp) {
    const std::initializer_list<uint16_t> monthDays = {0, 14, 30};
    const std::initializer_list<uint16_t> weekDays = {1, 3, 5};
    struct Case {
        uint16_t rule;
        std::initializer_list<uint16_t> days;
    };
    for (const Case &c : {Case{3, monthDays}, Case{2, weekDays}}) {
        std::vector<std::vector<Ymd>> got;
        for (int form = 0; form < 3; ++form) {
            KL_HLIST days = nullptr;
            ASSERT_EQ(KL_ListCreate(&days, 2, 0, KL_LIST_FLAG_08, form == 0 ? sameBytes : nullptr,
                                    nullptr),
                      0);
            for (uint16_t v : c.days)
                KL_ListAddTo(days, &v, nullptr);
            if (form == 1) {
                const uint16_t far = 600;
                KL_ListAddTo(days, &far, nullptr);
            }
            KL_HLIST excluded = form == 0 ? nullptr : shorts({3});
            KL_RECURPARAM p = params(c.rule, 1, date(1, 0, 2001), date(30, 5, 2001), days);
            p.weekdayExclusions = excluded;
            KL_HLIST list = nullptr;
            ASSERT_EQ(KL_DateGenRecur(KL_RECUR_CREATE, &p, &list, 0), 0);
            got.push_back(daysOf(list));
            if (form == 0) {
                // The same exclusion, searched.
                std::vector<Ymd> kept;
                for (const Ymd &d : got.back()) {
                    KL_DATE day = date(d.day, d.month, d.year);
                    uint16_t weekday = 0;
                    KL_DateGetDayOfWeek(&day, &weekday);
                    if (weekday != 3) kept.push_back(d);
                }
                got.back() = kept;
            }
            for (KL_HLIST *l : {&list, &days, &excluded})
                KL_ListDestroy(l);
        }
        EXPECT_FALSE(got[0].empty());
        EXPECT_EQ(got[1], got[0]) << "rule " << c.rule;
        EXPECT_EQ(got[2], got[0]) << "rule " << c.rule;
    }
}

// A weekly series counts each day's number from the one before; every
// number it stores is the day's own, and a number the caller left in the
// start record speaks for the start alone.
TEST(DateSeries, WeeklyDayNumbersAreTheDays) {
    KL_HLIST days = shorts({1, 3, 5});
    KL_DATE start = date(1, 0, 2001); // a Monday
    start.flags = KL_DATE_ID_VALID;
    start.dayId = 9; // says Wednesday
    KL_RECURPARAM p = params(2, 1, start, date(7, 0, 2001), days);
    KL_HLIST list = nullptr;
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_CREATE, &p, &list, 0), 0);
    EXPECT_EQ(daysOf(list), (std::vector<Ymd>{{2001, 0, 1}, {2001, 0, 3}, {2001, 0, 5}}));
    p = params(2, 1, date(29, 11, 2003), date(31, 2, 2004), days);
    ASSERT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &list, 0), 0);
    uint16_t seq = 0;
    KL_DATE d{};
    int numbered = 0;
    for (int rc = KL_ListGetFirst(list, &seq, &d); rc == 0; rc = KL_ListGetNext(list, &seq, &d)) {
        if ((d.flags & KL_DATE_ID_VALID) == 0) continue;
        ++numbered;
        EXPECT_EQ(d.dayId, idOf(date(d.day, d.month, d.year)))
            << d.year << "-" << d.month << "-" << d.day;
    }
    EXPECT_GT(numbered, 30);
    KL_ListDestroy(&list);
    KL_ListDestroy(&days);
}

TEST(DateSeries, RefusalsAndCleanUp) {
    KL_HLIST wide = nullptr;
    KL_ListCreate(&wide, 4, 0, 0, nullptr, nullptr);
    KL_HLIST wrongData = nullptr;
    KL_ListCreate(&wrongData, 2, 4, 0, nullptr, nullptr);
    const KL_DATE start = date(1, 0, 1999);
    const KL_DATE end = date(1, 2, 1999);
    const struct {
        uint32_t mode;
        KL_RECURPARAM p;
        int32_t rc;
    } cases[] = {{0, params(1, 1, start, end), KL_DATE_E_MODE},
                 {KL_RECUR_CREATE, params(2, 1, start, end), KL_DATE_E_NO_DAY_LIST},
                 {KL_RECUR_CREATE, params(3, 1, start, end, wide), KL_DATE_E_LIST_TYPE},
                 {KL_RECUR_CREATE, params(6, 1, start, end), KL_DATE_E_RULE},
                 {KL_RECUR_CREATE, params(1, 1, KL_DATE{0, 31, 1, 1999, 0, 0}, end),
                  KL_DATE_E_DAY_IN_MONTH}};
    for (const auto &c : cases) {
        KL_HLIST list = reinterpret_cast<KL_HLIST>(&wide);
        EXPECT_EQ(KL_DateGenRecur(c.mode, &c.p, &list, 0), c.rc) << c.p.ruleCode;
        if (c.mode != 0) {
            EXPECT_EQ(list, nullptr) << "the list made for the series is gone";
        }
    }
    KL_RECURPARAM p = params(1, 1, start, end);
    EXPECT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &wrongData, 0), KL_DATE_E_LIST_TYPE);
    KL_HLIST none = nullptr;
    EXPECT_EQ(KL_DateGenRecur(KL_RECUR_REUSE, &p, &none, 0), KL_DATE_E_LIST_SIZE);
    EXPECT_EQ(KL_DateGenRecur(KL_RECUR_CREATE, nullptr, &none, 0), KL_DATE_E_NULL);
    KL_ListDestroy(&wide);
    KL_ListDestroy(&wrongData);

    alloc_hook::sweep([] {
        KL_RECURPARAM q = params(1, 1, date(1, 0, 1999), date(20, 0, 1999));
        KL_HLIST list = nullptr;
        const int32_t rc = KL_DateGenRecur(KL_RECUR_CREATE, &q, &list, 0);
        if (rc != 0) {
            EXPECT_TRUE(rc == KL_LIST_E_CREATE_NO_MEMORY || rc == KL_LIST_E_NO_MEMORY) << rc;
            EXPECT_EQ(list, nullptr);
            return;
        }
        KL_ListDestroy(&list);
    });
}

} // namespace
