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

namespace recur {

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

} // namespace recur
