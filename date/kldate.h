// Day-number dates: a calendar date record, its day number counted from
// 1 January 1991 (day 1), and series of recurring dates put into lists.
//
// The calendar of this library: every year divisible by 4 is a leap year
// (2100 too). Day numbers are 16-bit, so the last date that has one is
// 4 June 2170 (day 65535). Every function returns 0 or a KL_DATE_E_ code
// of versit_result.h (list codes pass through from KL_DateGenRecur) and
// logs nothing: callers log.
#pragma once

#include <cstddef>
#include <cstdint>

#include "versit_list.h"

constexpr uint32_t KL_DATE_ID_VALID = 0x04;  // dayId holds the day number
constexpr uint32_t KL_DATE_DOW_VALID = 0x02; // dayOfWeek holds the day of week

// Byte-packed: lists of dates carry whole records as data and compare them
// byte by byte, so no padding byte may stand in them.
#pragma pack(push, 1)
struct KL_DATE {
    uint32_t flags;
    uint16_t day;   // 1 ... 31
    uint16_t month; // 0 = January ... 11 = December
    uint16_t year;  // e.g. 1998
    uint16_t dayId;
    uint16_t dayOfWeek; // 0 = Sunday ... 6 = Saturday
};
#pragma pack(pop)
static_assert(sizeof(KL_DATE) == 14, "KL_DATE is packed");
static_assert(offsetof(KL_DATE, day) == 4 && offsetof(KL_DATE, month) == 6 &&
                  offsetof(KL_DATE, year) == 8 && offsetof(KL_DATE, dayId) == 10 &&
                  offsetof(KL_DATE, dayOfWeek) == 12,
              "KL_DATE layout");

// Rule codes of KL_DateGenRecur.
constexpr uint16_t KL_RECUR_DAILY = 1;
constexpr uint16_t KL_RECUR_WEEKLY = 2;
constexpr uint16_t KL_RECUR_MONTHLY = 3;
constexpr uint16_t KL_RECUR_YEARLY_DAYS = 4;
constexpr uint16_t KL_RECUR_YEARLY = 5;

// Mode bits of KL_DateGenRecur.
constexpr uint32_t KL_RECUR_CREATE = 0x01;
constexpr uint32_t KL_RECUR_REUSE = 0x02;
constexpr uint32_t KL_RECUR_EXCEPTIONS = 0x04;

// Units of KL_DateAddUnits.
constexpr uint32_t KL_DATE_UNIT_DAYS = 1;
constexpr uint32_t KL_DATE_UNIT_WEEKS = 2;
constexpr uint32_t KL_DATE_UNIT_MONTHS = 3;
constexpr uint32_t KL_DATE_UNIT_YEARS = 4;

struct KL_RECURPARAM {
    uint16_t interval; // periods between produced periods, in the rule's unit
    uint16_t ruleCode;
    KL_HLIST dayList;           // 16-bit ids, no data (rules 2 to 4)
    KL_DATE start;              // first date of the series
    KL_DATE end;                // last date allowed
    KL_HLIST weekdayExclusions; // optional: 16-bit days of the week never produced
    KL_HLIST exceptions;        // optional: dates never produced (mode bit 0x04)
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(KL_RECURPARAM) == 44, "KL_RECURPARAM layout");
#endif

// Validates and stores (flags cleared). Checks, in order: month above 11
// (KL_DATE_E_MONTH), day 0 or above 31 (KL_DATE_E_DAY), year above 65535
// (KL_DATE_E_RANGE), day beyond its month (KL_DATE_E_DAY_IN_MONTH). A null
// date only validates.
int32_t KL_DateSet(KL_DATE *date, uint32_t day, uint32_t month, uint32_t year);
// Each output may be null. KL_DATE_E_NULL.
int32_t KL_DateGet(const KL_DATE *date, uint16_t *day, uint16_t *month, uint16_t *year);
int32_t KL_DateCopy(KL_DATE *destination, const KL_DATE *source);

// The day number, cached in the record. A date before 1 January 1991 or
// after 4 June 2170 has none: KL_DATE_E_RANGE (a fault a caller can
// report, where a wrapped number would be a wrong time). An impossible
// date gives KL_DateSet's codes. The output may be null.
int32_t KL_DateGetDayId(KL_DATE *date, uint16_t *id);
// KL_DateSet and then KL_DateGetDayId of the date set, without a record:
// their codes, *setFailed telling whether it was KL_DateSet that refused.
int32_t KL_DateIdOf(uint32_t day, uint32_t month, uint32_t year, uint16_t *id, bool *setFailed);
// (day id + 1) mod 7; needs a day id.
int32_t KL_DateGetDayOfWeek(KL_DATE *date, uint16_t *dayOfWeek);

// By year, then month, then day: only the sign and 0 mean anything.
int32_t KL_DateCompare(const KL_DATE *a, const KL_DATE *b, int16_t *result);

// Moves the date by n days. Any year from 0 to 65535 works; leaving it
// gives KL_DATE_E_RANGE with the date unchanged.
int32_t KL_DateOffset(KL_DATE *date, int16_t n);
int32_t KL_DateIncrement(KL_DATE *date);
int32_t KL_DateDecrement(KL_DATE *date);
int32_t KL_DateSetToLastDayOfMonth(KL_DATE *date);
// The month before, the day lowered to that month's length if needed.
int32_t KL_DatePrevMonth(KL_DATE *date);
// destination = source moved by n units: days, weeks (7 n days), months
// (day lowered to the month's length) or years (29 February into a common
// year: KL_DATE_E_DAY_IN_MONTH). KL_DATE_E_UNIT.
int32_t KL_DateAddUnits(const KL_DATE *source, int32_t n, uint32_t unit, KL_DATE *destination);

int32_t KL_DateDaysInMonth(uint32_t month, uint32_t year, uint16_t *days);
int32_t KL_DateDaysInYear(uint32_t year, uint16_t *days);
int32_t KL_DateIsLeapYear(uint32_t year, uint16_t *leap);

// Generates the series `parameters` describe into *list (mode: create a
// list, or reuse and empty *list; bit 0x04 applies the exceptions), cell
// ids numbering the dates from 1 and each cell's data the date. A maximum
// of 0 means no limit; it is tested between periods only. On failure a
// list this call created is destroyed and *list is null.
int32_t KL_DateGenRecur(uint32_t mode, const KL_RECURPARAM *parameters, KL_HLIST *list,
                        uint32_t maximum);
