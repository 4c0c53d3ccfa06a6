/*
 * versit_dates.h - the library's date records as ISO 8601 text and as
 * struct tm, and back. Part of libversit_interop.
 *
 * The records: CalapiTime (versit_vcal.h), minutes since 1 January 1991,
 * 00:00 UTC, which reaches 15 February 10157, 04:15 UTC; vDateTime
 * (versit_core.h), a date and a time as a value said it, with its zone
 * (an offset, "Z", or none); ABDate (versit_abx.h), a date of an
 * address-book entry.
 *
 * ISO 8601 text is read in the extended form ("2024-06-03T07:00:00Z") and
 * the basic one ("20240603T070000Z"), the date and the time in the same
 * form; it is written in the extended form. What is read:
 *   - a date YYYY-MM-DD (YYYYMMDD), or a year of five digits after a sign
 *     (+YYYYY-MM-DD), as ISO 8601's expanded form has it; months 1 to 12,
 *     days up to the length of the month in the Gregorian calendar, also
 *     before 1582;
 *   - then, optionally, "T" and a time hh:mm, hh:mm:ss or hh:mm:ss.f...
 *     (hhmm, hhmmss, hhmmss.f...; "," may stand for "."): hours 0 to 23
 *     (24:00 is refused), minutes 0 to 59, seconds 0 to 60 (a leap second);
 *   - then, after a time only, "Z", an offset +hh, +hhmm or +hh:mm ("-"
 *     for zones west of Greenwich; hours 0 to 23, minutes 0 to 59), or
 *     nothing (a local time).
 * Nothing may follow: no blanks, no lowercase "t" or "z", no week or
 * ordinal dates, no hour without minutes.
 *
 * All functions are pure: they allocate nothing, keep no state and read
 * neither the clock nor the time zone of the system. An output record or
 * buffer is left as it was when the result is not 0. Results:
 *   0                          success;
 *   VLIB_ERR_NULL_ARGUMENT     a pointer argument was null;
 *   VCAL_ERR_BAD_DATE_TIME     the text is not a date-time of the form
 *                              above, or a record holds an impossible
 *                              field (month 13, 31 April, minute 60 ...);
 *   KL_DATE_E_RANGE            the date-time is valid but CalapiTime cannot
 *                              hold it: before 1991-01-01T00:00Z or after
 *                              +10157-02-15T04:15Z;
 *   VCAL_ERR_BUFFER_TOO_SMALL  the buffer is smaller than the text and its
 *                              NUL (VI_ISO_TEXT_SIZE is always enough).
 */
#ifndef VERSIT_DATES_H
#define VERSIT_DATES_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "versit_abx.h"
#include "versit_core.h"
#include "versit_interop.h"
#include "versit_vcal.h"

VERSIT_BEGIN_DECLS

/* Bytes enough for every text these functions write, NUL included. */
#define VI_ISO_TEXT_SIZE 32

/* ------------------------------------------------------------------------
 * CalapiTime and ISO 8601 text.
 */

/* Writes `time` as UTC, "YYYY-MM-DDThh:mm:00Z" (21 bytes with the NUL);
 * years past 9999 as "+YYYYY-..." (23 bytes). Every CalapiTime value has
 * a text. 0; VLIB_ERR_NULL_ARGUMENT; VCAL_ERR_BUFFER_TOO_SMALL. */
VERSIT_INTEROP_API int32_t VI_calapiTimeToIso(CalapiTime time, char *buffer, size_t size);

/* Reads the NUL-terminated ISO 8601 `text` into *time: a date alone is
 * its midnight UTC, an offset is taken off (10:00+02:00 is 08:00 UTC), a
 * local time (no zone) is read as UTC. Seconds and their fraction are
 * dropped, not rounded: CalapiTime counts minutes. 0;
 * VLIB_ERR_NULL_ARGUMENT; VCAL_ERR_BAD_DATE_TIME; KL_DATE_E_RANGE. */
VERSIT_INTEROP_API int32_t VI_isoToCalapiTime(const char *text, CalapiTime *time);

/* ------------------------------------------------------------------------
 * CalapiTime and struct tm.
 */

/* Fills *tm with `time` in UTC: tm_year (years since 1900), tm_mon (0 to
 * 11), tm_mday, tm_hour, tm_min, tm_sec (0), tm_wday (0 is Sunday), tm_yday
 * (0 is 1 January) and tm_isdst (0). Other members a platform adds are
 * left as they were. 0; VLIB_ERR_NULL_ARGUMENT. */
VERSIT_INTEROP_API int32_t VI_calapiTimeToTm(CalapiTime time, struct tm *tm);

/* Reads *tm as a UTC time into *time, normalising its fields as timegm
 * does: a month outside 0 to 11 moves the year, and day, hour, minute and
 * second outside their range move the fields above them (tm_mday 0 is the
 * last day of the month before, tm_min -1 the minute before the hour ...).
 * tm_wday, tm_yday and tm_isdst are not read, and *tm is not changed.
 * Seconds are dropped, counting down: 00:00:-1 is in the minute before.
 * 0; VLIB_ERR_NULL_ARGUMENT; KL_DATE_E_RANGE. */
VERSIT_INTEROP_API int32_t VI_tmToCalapiTime(const struct tm *tm, CalapiTime *time);

/* ------------------------------------------------------------------------
 * vDateTime and ISO 8601 text; vDateTime and CalapiTime.
 */

/* Writes *dateTime as it says it: "YYYY-MM-DDThh:mm:ss" followed by
 * nothing when `local` is 1, else by "Z" when `utc` is 1, else by the
 * offset "+hh:mm" or "-hh:mm" (as VLIB_generateAsTime decides, `local`
 * before `utc`). Years 0 to 9999 take four digits, others, down to -99999
 * and up to 99999, a sign and five. The fields are checked as the reader
 * checks them; both offset fields must have the same sign, hours up to 23.
 * At most 28 bytes. 0; VLIB_ERR_NULL_ARGUMENT; VCAL_ERR_BAD_DATE_TIME;
 * VCAL_ERR_BUFFER_TOO_SMALL. */
VERSIT_INTEROP_API int32_t VI_dateTimeToIso(const vDateTime *dateTime, char *buffer, size_t size);

/* Reads the NUL-terminated ISO 8601 `text` into *dateTime as it stands:
 * "Z" sets `utc`, an offset fills offsetHours and offsetMinutes (both
 * negative after "-"), no zone sets `local`; the fields not said are 0. A
 * date alone is its midnight, local. The fraction of a second is dropped.
 * 0; VLIB_ERR_NULL_ARGUMENT; VCAL_ERR_BAD_DATE_TIME. */
VERSIT_INTEROP_API int32_t VI_isoToDateTime(const char *text, vDateTime *dateTime);

/* Turns *dateTime into UTC minutes: its offset is taken off, a local time
 * is taken as UTC (the record does not say its zone), the seconds are
 * dropped (a leap second 60 too). The fields are checked as
 * VI_dateTimeToIso checks them, the year may be any. 0;
 * VLIB_ERR_NULL_ARGUMENT; VCAL_ERR_BAD_DATE_TIME; KL_DATE_E_RANGE. */
VERSIT_INTEROP_API int32_t VI_dateTimeToCalapiTime(const vDateTime *dateTime, CalapiTime *time);

/* Fills *dateTime with `time` in UTC: `utc` 1, `local` 0, offset and
 * seconds 0. 0; VLIB_ERR_NULL_ARGUMENT. */
VERSIT_INTEROP_API int32_t VI_calapiTimeToDateTime(CalapiTime time, vDateTime *dateTime);

/* ------------------------------------------------------------------------
 * ABDate and ISO 8601 text.
 */

/* Writes *date as "YYYY-MM-DD" (11 bytes; its month counts from 0, the
 * text's from 1), or an empty text for the record of no date (all four
 * bytes zero). Years 0 to 9999. 0; VLIB_ERR_NULL_ARGUMENT;
 * VCAL_ERR_BAD_DATE_TIME (day 0, month above 11, a day beyond its month,
 * a year past 9999); VCAL_ERR_BUFFER_TOO_SMALL. */
VERSIT_INTEROP_API int32_t VI_abDateToIso(const ABDate *date, char *buffer, size_t size);

/* Reads a date alone (YYYY-MM-DD or YYYYMMDD, years 0 to 9999) into *date;
 * an empty text gives the record of no date. A time after the date is
 * refused: the record holds none. 0; VLIB_ERR_NULL_ARGUMENT;
 * VCAL_ERR_BAD_DATE_TIME. */
VERSIT_INTEROP_API int32_t VI_isoToAbDate(const char *text, ABDate *date);

VERSIT_END_DECLS

#endif /* VERSIT_DATES_H */
