/* Conversion between the versit formats and today's: vCard 2.1, 3.0
 * (RFC 2426), 4.0 (RFC 6350) and jCard (RFC 7095); vCalendar 1.0,
 * iCalendar 2.0 (RFC 5545) and jCal (RFC 7265). Part of
 * libversit_interop. The old formats are read with the tolerant readers
 * of versit_interop.h, so a file that needs repairs converts too, with
 * each repair reported.
 *
 * What the target cannot hold is reported as lost (VI_REPORT_LOST, with
 * the line of the source it stood on), never dropped silently; a card or
 * calendar that cannot be read at all is reported as skipped. */
#ifndef VERSIT_CONVERT_H
#define VERSIT_CONVERT_H

#include <stddef.h>
#include <stdint.h>

#include "versit_interop.h"

VERSIT_BEGIN_DECLS

/* The formats, as read or written. */
typedef enum VI_Format {
    VI_FORMAT_UNKNOWN = 0,
    VI_FORMAT_VCARD21 = 1,
    VI_FORMAT_VCARD30 = 2,
    VI_FORMAT_VCARD40 = 3,
    VI_FORMAT_JCARD = 4, /* written only */
    VI_FORMAT_VCAL10 = 5,
    VI_FORMAT_ICAL20 = 6,
    VI_FORMAT_JCAL = 7 /* written only */
} VI_Format;

/* Results of conversion, beside those of versit_result.h. VI_resultName
 * and VI_resultText know them. */
#define VI_ERR_UNKNOWN_FORMAT 0x19001  /* the text is no card or calendar we read */
#define VI_ERR_NOT_CONVERTIBLE 0x19002 /* cards asked for as a calendar, or the other way */
#define VI_ERR_WRITE_FAILED 0x19003    /* the write function refused the output */
#define VI_ERR_NULL_ARGUMENT 0x19004   /* a required pointer was null */

/* The format of the first card or calendar of the text: its BEGIN and
 * VERSION lines decide (a byte-order mark, blank lines and text before
 * the first BEGIN are passed over). VI_FORMAT_UNKNOWN when there is none. */
VERSIT_INTEROP_API int32_t VI_detectFormat(const char *text, size_t length);

/* The name of a format as the tool spells it ("vcard21", "vcard3",
 * "vcard4", "jcard", "vcal10", "ical", "jcal"), or null. */
VERSIT_INTEROP_API const char *VI_formatName(int32_t format);

/* Takes `length` bytes of output; nonzero stops the conversion with
 * VI_ERR_WRITE_FAILED. */
typedef int (*VI_WriteFn)(void *user, const char *bytes, size_t length);

typedef struct VI_ConvertCounts {
    uint64_t read;      /* cards or calendars read */
    uint64_t written;   /* of those, written to the target */
    uint64_t lossy;     /* of those, written with something left out or changed */
    uint64_t skipped;   /* cards or calendars that could not be read */
    uint64_t junkLines; /* non-blank lines outside any card or calendar */
} VI_ConvertCounts;

/* Converts the `length` bytes of `text` from format `from`
 * (VI_FORMAT_UNKNOWN: detected) to format `to`, handing the output to
 * `write` in pieces. One card or calendar is held at a time: memory grows
 * with the largest, not with the text. Several cards (or calendars) in
 * JSON give a JSON array of jCards (jCals); one gives that one alone.
 * `report` (may be null) gets every repair and every loss, with
 * `reportUser`; `counts` (may be null) gets the counts.
 * 0; VI_ERR_UNKNOWN_FORMAT; VI_ERR_NOT_CONVERTIBLE; VI_ERR_WRITE_FAILED;
 * VI_ERR_NULL_ARGUMENT; VLIB_ERR_NO_MEMORY. */
VERSIT_INTEROP_API int32_t VI_convert(const char *text, size_t length, int32_t from, int32_t to,
                                      VI_WriteFn write, void *writeUser, VI_ReportFn report,
                                      void *reportUser, VI_ConvertCounts *counts);

VERSIT_END_DECLS

#endif /* VERSIT_CONVERT_H */
