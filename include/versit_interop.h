/*
 * versit_interop.h - the versit interop library: what clients of libversit
 * need beside its exact interface.
 *
 * libversit keeps its interface and behaviour exactly as they are fixed;
 * this second library (libversit_interop, linked with -lversit_interop
 * -lversit) is built from the same sources and offers what every client
 * ends up writing for itself. It holds its own copy of libversit's code
 * and shares no state with libversit: records made by either are plain
 * malloc'ed records that either releases. Functions return 0 or a result
 * code of versit_result.h.
 *
 * Client forms: the records libversit hands out, walked and released in
 * one place.
 *   - Taking calendar items: VI_takeItem walks the events or to-dos of a
 *     calendar, VI_releaseItem releases what a taken item owns.
 *   - Writing them back: VI_itemToWriterForm turns an item as the reader
 *     hands it out into the form the writer takes.
 *   - Reading cards: VI_CardReader walks every card of a text buffer.
 */
#ifndef VERSIT_INTEROP_H
#define VERSIT_INTEROP_H

#include <stddef.h>
#include <stdint.h>

#include "versit_export.h"
#include "versit_vcal.h"
#include "versit_vcard.h"

/* VERSIT_INTEROP_API marks what libversit_interop exports, as VERSIT_API
 * does for libversit. Programs that link the static library define
 * VERSIT_INTEROP_STATIC (the CMake target does so for them). */
#if defined(VERSIT_INTEROP_STATIC)
#define VERSIT_INTEROP_API
#elif defined(_WIN32)
#if defined(VERSIT_INTEROP_BUILDING)
#define VERSIT_INTEROP_API /* exported through the module-definition file */
#else
#define VERSIT_INTEROP_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VERSIT_INTEROP_API __attribute__((visibility("default")))
#else
#define VERSIT_INTEROP_API
#endif

VERSIT_BEGIN_DECLS

/* ------------------------------------------------------------------------
 * Calendar items.
 */

/* Reads the `length` bytes of `text` (no NUL needed) as
 * vCal_ParseTreeFromStreamGet reads a byte source that hands them out and
 * then ends, without its progress callback: the same tree, results, error
 * and warning texts and logged messages, but without a call per byte. A
 * NUL or 255 byte ends the text there, as it ends a stream. A null `text`
 * with a non-zero length is reported as a null stream
 * (VCAL_ERR_NULL_STREAM). The texts come from malloc; free them. Destroy the tree with
 * vCal_DestroyParseTree. */
VERSIT_INTEROP_API int32_t VI_readCalendarText(ParseTreeHandle **phandle, const char *text,
                                               size_t length, char **errmesgptr, char **warningptr);

/* Takes the first (`first` nonzero) or the next event (`type`
 * VCAL_ITEM_EVENT) or to-do (VCAL_ITEM_TODO) of `calendar` into `item`, as
 * vCal_GetFirstEvent / vCal_GetNextEvent and the to-do pair do with no
 * default zone. *lines (optional) receives the first property line of the
 * item's node, null when none was taken. Release the item with
 * VI_releaseItem before taking the next one into the same record: the
 * walk overwrites it. Results: those of the walk functions
 * (VCAL_ERR_NO_MORE_ENTITIES at the end); VCAL_ERR_BAD_ITEM_TYPE for
 * another type. */
VERSIT_INTEROP_API int32_t VI_takeItem(VCalendarNode *calendar, uint16_t type, int first,
                                       PropertyParam *item, const PropertyNode **lines);

/* Releases everything a taken item owns: its texts and date chains
 * (vCal_FreePropertyParam) and its two occurrence lists, whose handles
 * become null. The record can then be reused. A null item is ignored. */
VERSIT_INTEROP_API void VI_releaseItem(PropertyParam *item);

/* Rewrites `item` (type VCAL_ITEM_EVENT or VCAL_ITEM_TODO), taken from an
 * entity whose property lines start at `lines`, so that writing it with
 * vCal_AddxItemInfoToPTree and reading it back gives the same item:
 *  - attachment and attendee values, joined by CR LF, are joined by
 *    "*^?", each attendee value after a ":" (it is written right after
 *    the ATTENDEE keyword); resources are separated by ";";
 *  - an event's priority, counted from 0, is counted from 1 again;
 *  - the first exception date moves into the record, where the writer
 *    takes the first one from;
 *  - the UID is taken from the entity's UID line (the reader does not);
 *  - each "=" of the description, which the writer puts in quoted-printable
 *    form as it stands, is given as "=3D";
 *  - a flagged text that is empty, or only blanks and line breaks, loses
 *    its flag, as the writer would write a line the reader refuses.
 * 0; VCAL_ERR_NULL_PROPERTY_PARAM for a null item; VCAL_ERR_NO_MEMORY
 * (the item still belongs to the caller; release it as usual). */
VERSIT_INTEROP_API int32_t VI_itemToWriterForm(PropertyParam *item, uint16_t type,
                                               const PropertyNode *lines);

/* ------------------------------------------------------------------------
 * Cards of a text buffer.
 */

/* Where a walk over the cards of a text stands. Fill it with
 * VI_cardReaderStart; the fields are the reader's own. */
typedef struct VI_CardReader {
    VCardContext *context;
    const char *next;  /* first unread byte, null at the end */
    int32_t remaining; /* bytes left from `next` */
} VI_CardReader;

/* Starts a walk over the `length` bytes of `text` (NUL-terminated), read
 * with `context` (its flags apply to every card). */
VERSIT_INTEROP_API void VI_cardReaderStart(VI_CardReader *reader, VCardContext *context,
                                           const char *text, int32_t length);

/* Reads the next card with VCARD_importObjectFromBuffer. *card receives
 * the card whenever one was read, also with a non-zero result (destroy it
 * with VI_destroyCard); it is null when the card could not be read, and
 * the walk goes on after it. Results: the import's result;
 * VCARD_ERR_NO_CARD when no card is left (also on every later call);
 * VLIB_ERR_NO_MEMORY when memory ran out before anything was read: the
 * walk then stays where it is and the call can be repeated.
 * VCARD_ERR_NULL_ARGUMENT for a null reader or card address. */
VERSIT_INTEROP_API int32_t VI_readCard(VI_CardReader *reader, vComponent **card);

/* Destroys a card this library read and clears *card, as
 * VCARD_destroyCard does (same results). Either may destroy such a card,
 * but each library keeps the records of the cards it destroys for the
 * cards it reads next on the same thread: a loop that reads with this
 * library and destroys with libversit allocates every record of every
 * card afresh. */
VERSIT_INTEROP_API int32_t VI_destroyCard(VCardContext *context, vComponent **card);

/* Writes `card` as vCard 2.1 text that every reader reads back as it is,
 * in *text (malloc'ed; free it): VCARD_exportObjectToBuffer after giving
 * every plain property whose value holds "=", a line break or 8-bit bytes
 * ENCODING=QUOTED-PRINTABLE (the card keeps the parameter) and taking out
 * named parameters without a value ("CHARSET="), which the exact reader
 * flags. Results those of the export; VLIB_ERR_NO_MEMORY;
 * VCARD_ERR_NULL_ARGUMENT. */
VERSIT_INTEROP_API int32_t VI_exportCard(VCardContext *context, vComponent *card, char **text);

/* ------------------------------------------------------------------------
 * Result codes.
 */

/* The symbolic name of any result code of versit_result.h ("VERSIT_OK",
 * "VCARD_ERR_NO_CARD" ...), or null for a code that has none. Static. */
VERSIT_INTEROP_API const char *VI_resultName(int32_t code);

/* What the code means, in a few words ("no card left ..."), or null. */
VERSIT_INTEROP_API const char *VI_resultText(int32_t code);

/* ------------------------------------------------------------------------
 * Tolerant reading: files as phones and PIMs really write them.
 *
 * The tolerant reader repairs what it can and says so: every repair, loss
 * and skipped card is reported, with the line of the text it concerns,
 * through the caller's report function. Values are handed out as UTF-8.
 *
 * Repairs: a byte-order mark (UTF-8; UTF-16 text is converted first), NUL
 * bytes, and text between cards are skipped; reading resynchronises at the
 * next BEGIN:VCARD. Inside a card, a QUOTED-PRINTABLE soft line break
 * continued by a line that starts no known property, and BASE64 data
 * continued without indentation, are joined; bare QUOTED-PRINTABLE and
 * BASE64 parameters (and ENCODING=B) select their encoding; lower-case
 * and malformed QUOTED-PRINTABLE escapes and an "=" at the very end are
 * read as meant; other lines that are no property are dropped; a card
 * without END (at the end of the text, or before the next card's BEGIN)
 * keeps what it has. CHARSET= values (and 8-bit text without one: UTF-8
 * when it is valid, else Windows-1252) are decoded to UTF-8 and the
 * property says CHARSET=UTF-8.
 */

/* How much a report weighs. */
typedef enum VI_ReportKind {
    VI_REPORT_NOTE = 0,     /* text outside any card was passed over */
    VI_REPORT_REPAIRED = 1, /* read as its writer meant it: nothing lost */
    VI_REPORT_LOST = 2,     /* read, but something of it was dropped or replaced */
    VI_REPORT_SKIPPED = 3   /* a whole card was left out */
} VI_ReportKind;

typedef struct VI_Report {
    uint64_t line;       /* 1-based line of the text the report is about */
    int32_t kind;        /* a VI_ReportKind */
    const char *message; /* what was repaired and what was kept; valid during the call */
} VI_Report;

typedef void (*VI_ReportFn)(void *user, const VI_Report *report);

/* What a tolerant reader has met so far. */
typedef struct VI_ReadCounts {
    uint64_t read;      /* cards handed out */
    uint64_t repaired;  /* of those, cards with at least one repair */
    uint64_t lossy;     /* of those, cards that lost something */
    uint64_t skipped;   /* cards left out */
    uint64_t junkLines; /* non-blank lines outside any card, passed over */
} VI_ReadCounts;

typedef struct VI_TolerantReader VI_TolerantReader;

/* A reader over the `length` bytes of `text`, which must stay unchanged
 * while the reader is used (the reader copies nothing but what it
 * repairs). `report` (may be null) is called for every report, with
 * `user`. 0; VCARD_ERR_NULL_ARGUMENT for a null reader address or text;
 * VLIB_ERR_NO_MEMORY. */
VERSIT_INTEROP_API int32_t VI_tolerantReaderCreate(VI_TolerantReader **reader, const char *text,
                                                   size_t length, VI_ReportFn report, void *user);

/* The next card, read with `context` (its flags apply) and repaired, in
 * *card (destroy it with VI_destroyCard). Cards that cannot be read at
 * all are reported as skipped and passed over. 0 with a card;
 * VCARD_ERR_NO_CARD when no card is left (also on every later call);
 * VLIB_ERR_NO_MEMORY (nothing was consumed: the call can be repeated);
 * VCARD_ERR_NULL_ARGUMENT. */
VERSIT_INTEROP_API int32_t VI_readCardTolerantly(VI_TolerantReader *reader, VCardContext *context,
                                                 vComponent **card);

/* The counts so far in *counts. */
VERSIT_INTEROP_API void VI_tolerantReaderCounts(const VI_TolerantReader *reader,
                                                VI_ReadCounts *counts);

/* Releases the reader and clears *reader. A null reader is ignored. */
VERSIT_INTEROP_API void VI_tolerantReaderDestroy(VI_TolerantReader **reader);

/* The calendars of the reader's text, read tolerantly: the text is
 * rewritten so that the exact reader keeps every calendar, event and
 * to-do with a sensible reading (values in UTF-8, dates and zones in the
 * exact form, a property given twice read once, a missing DTEND made from
 * DTSTART, lines the exact reader refuses left out instead of their item;
 * each repair reported), then read by vCal_ParseTreeFromStreamGet. *tree
 * belongs to the reader (do not destroy it); walk its calendars with
 * vCal_GetFirstCalendar / vCal_GetNextCalendar and take the items with
 * VI_takeItemTolerantly. 0; VCAL_ERR_NO_VCALENDAR when the text holds
 * none; VCAL_ERR_NO_MEMORY; VCAL_ERR_NULL_ARGUMENT. */
VERSIT_INTEROP_API int32_t VI_readCalendarsTolerantly(VI_TolerantReader *reader,
                                                      ParseTreeHandle **tree);

/* As VI_takeItem, over the reader's tree: the first (`first` nonzero) or
 * next event or to-do of `calendar`. No item ends the walk: one that
 * cannot be converted is reported as skipped and passed over, one whose
 * recurrence rule cannot be expanded is kept without its repetitions (a
 * loss, reported), an event that ends when (or before) it starts is kept.
 * Release each item with VI_releaseItem. Results: 0;
 * VCAL_ERR_NO_MORE_ENTITIES at the end; VCAL_ERR_NO_MEMORY;
 * VCAL_ERR_NULL_CALENDAR, VCAL_ERR_NULL_PROPERTY_PARAM,
 * VCAL_ERR_BAD_ITEM_TYPE. */
VERSIT_INTEROP_API int32_t VI_takeItemTolerantly(VI_TolerantReader *reader, VCalendarNode *calendar,
                                                 uint16_t type, int first, PropertyParam *item,
                                                 const PropertyNode **lines);

VERSIT_END_DECLS

#endif /* VERSIT_INTEROP_H */
