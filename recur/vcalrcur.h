// Recurrence rules into dates, and dates into occurrence times.
//
// vCal_GenerateDateFromRrule expands one RRULE or EXRULE line, with the
// DTSTART line of its item, into a list of KL_DATE records (16-bit ids, or
// 8-bit for monthly-by-day rules; no consumer reads them). Daily and weekly
// rules list their dates in ascending order; the monthly and yearly rules
// add each date at the front, so their lists run from the latest date back.
// GetRecurTimeList turns those lists and the RDATE and EXDATE chains of an
// item into a list of time places (TimePlace ids, no data).
//
// A rule that cannot be understood is not a failure: the result is 0 with
// *valid 0 and no list. Failures of the list and date libraries are
// returned unchanged and logged with the failing step.
#pragma once

#include <cstdint>

#include "date/kldate.h"
#include "versit_vcal.h"

// Counts of periods a rule may produce at most, by rule kind.
constexpr uint16_t kRecurMaxDaily = 60;
constexpr uint16_t kRecurMaxWeekly = 52;
constexpr uint16_t kRecurMaxMonthly = 24;
constexpr uint16_t kRecurMaxYearly = 10;

// *list := the dates of the rule in `ruleLine` ("RRULE:..."), counted from
// the date of `startLine` ("DTSTART:..."); *valid := 1 when the rule was
// understood and expanded. Result 0 or the failing step's code (no list).
int32_t vCal_GenerateDateFromRrule(KL_HLIST *list, const char *ruleLine, const char *startLine,
                                   uint8_t *valid);

// *result->timeList := the time places of `item`'s occurrences: the
// `occurrences` dates (when the item's RRULE flag is set) and the
// `recurrenceDates` chain (RDATE), without those equal to an
// `exceptionOccurrences` date (EXRULE) or an `exceptionDates` node
// (EXDATE). A date becomes the place ((day id - 1) x 1440 + startMinute,
// duration, 0); a chain node (its time, duration, 0). Places are added at
// the front: the list begins with the RDATE places (last node first) and
// ends with the rule's places in the reverse of their date order.
// `reserved` is not read.
int32_t GetRecurTimeList(TimePlaceRecurList *result, const PropertyParam *item,
                         KL_HLIST occurrences, KL_HLIST exceptionOccurrences,
                         const TimeNode *recurrenceDates, const TimeNode *exceptionDates,
                         uint32_t startMinute, uint32_t duration, uint32_t reserved);

// The steps, each callable on its own. Rule texts start right after the
// rule's letters ("1 MO #3" of "W1 MO #3"); a start text is the DTSTART
// value ("19980101T100000Z").

// The six expanders: (list out, rule text, start text, valid out).
int32_t GenerateDateFromDailyRule(KL_HLIST *list, const char *rule, const char *start,
                                  uint8_t *valid);
int32_t GenerateDateFromWeeklyRule(KL_HLIST *list, const char *rule, const char *start,
                                   uint8_t *valid);
int32_t GenerateDateFromMonthlybyday(KL_HLIST *list, const char *rule, const char *start,
                                     uint8_t *valid);
int32_t GenerateDateFromMonthlybypos(KL_HLIST *list, const char *rule, const char *start,
                                     uint8_t *valid);
int32_t GenerateDateFromYearlybyday(KL_HLIST *list, const char *rule, const char *start,
                                    uint8_t *valid);
int32_t GenerateDateFromYearlybymonth(KL_HLIST *list, const char *rule, const char *start,
                                      uint8_t *valid);

// Interval, count (at most `maximum`), start and end of a rule, into
// `parameters` (no day list, no exclusions). *valid 0: not understood.
int32_t vCal_PopulateRecurparam(const char *rule, KL_RECURPARAM *parameters, const char *start,
                                uint8_t *valid, uint16_t *count, uint16_t maximum);
// The first day of the start's month ten years on, but never after 2036.
int32_t CopyStartIntoEndPlus10Years(const KL_DATE *start, KL_DATE *end);
// The weekday codes of a weekly rule as a list of 16-bit days of the week
// (null when there are none). *valid 0 for a word that is no weekday code.
int32_t PutWeeklyDayInList(KL_HLIST *list, const char *rule, uint8_t *valid);

// From a list of month starts, the dates of the marked days of each month
// within the parameters' start and end: `days` (31 flags, day n at n - 1),
// `fromEnd` (32 flags, n- at n - 1, the last day "LD" at 31).
int32_t GenvCalMonthlyDate(KL_HLIST *list, KL_HLIST monthStarts, const KL_RECURPARAM *parameters,
                           const uint8_t *days, const uint8_t *fromEnd);
// The same for weekday positions: 35 flags each, index (n - 1) x 7 + day
// of week, for the nth weekday from the month's start or from its end.
int32_t GenvCalMonthlyWeekDay(KL_HLIST *list, KL_HLIST monthStarts, const KL_RECURPARAM *parameters,
                              const uint8_t *positions, const uint8_t *fromEnd);
// Deletes from `list` every time place equal to one of `exclusions`.
int32_t RemoveInvalidDataFromList(KL_HLIST list, KL_HLIST exclusions);

// The parsers mark flags and tell whether anything was found.
bool ParseRecurNumberList(uint8_t *flags, uint16_t slots, const char *rule);
bool ParseMonthlyDayList(const char *rule, uint8_t *days, uint8_t *fromEnd);
bool ParseMonthlyPosList(const char *rule, uint8_t *positions, uint8_t *fromEnd);
// The day of week (0 Sunday ... 6 Saturday) of a two-letter code in any
// case, or -1.
int32_t GetWeekDayFromStr(const char *code);
// The first word of 15 or 16 letters and digits of the rule text, read as
// a date; false when there is none or it is no date.
bool FindRecurEndDate(const char *rule, KL_DATE *end);
// Year, month and day from the first 8 characters (YYYYMMDD); false when
// they are no digits or no date.
bool RecurDateStrToDate(const char *text, KL_DATE *date);
