/*
 * versit_vcal.h - vCalendar 1.0: parse trees, the stream reader and writer, calendar item records.
 *
 * A vCalendar stream is read into a parse tree: a chain of calendars, each
 * holding its own property lines, a chain of events and a chain of to-dos,
 * each of which holds its property lines. Every property line is kept as
 * the text that was read (unfolded, with trailing white space turned into
 * CR characters); values are converted only when an event or to-do is
 * taken out of the tree as a PropertyParam, the flat calendar item record.
 *
 * Every record here is byte-packed: each field directly follows the one
 * before, with no alignment gap. On the 32-bit interface pointers, list
 * handles and 32-bit numbers are 4 bytes, so the offsets in the comments
 * hold there (a PropertyParam is 179 bytes).
 *
 * Times are CalapiTime values: minutes counted from 1 January 1991, 00:00,
 * in UTC. Texts are NUL-terminated 8-bit strings from malloc; whatever the
 * library hands out is the caller's to release with the function named, or
 * with free. Functions return 0 or a result code of versit_result.h, and
 * every failure that is not the end of a chain is also written to the error
 * log. The library takes no locks: use a tree or a record from one thread
 * at a time.
 */
#ifndef VERSIT_VCAL_H
#define VERSIT_VCAL_H

#include <stdint.h>

#include "versit_export.h"
#include "versit_list.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

/* ------------------------------------------------------------------------
 * Property identifiers, item types and flag slots.
 */

/* The identifier of a property line: the place of its keyword in the
 * keyword table. A line is known by the first keyword it starts with, in
 * this order, without regard to case ("X-" takes every extension). */
enum vCalPropertyId {
    VCAL_PROP_NONE = 0, /* no known keyword; such lines are never stored */
    VCAL_PROP_AALARM = 1,
    VCAL_PROP_ATTACH = 2,
    VCAL_PROP_ATTENDEE = 3,
    VCAL_PROP_CATEGORIES = 4,
    VCAL_PROP_CLASS = 5,
    VCAL_PROP_COMPLETED = 6,
    VCAL_PROP_DALARM = 7,
    VCAL_PROP_DAYLIGHT = 8,
    VCAL_PROP_DCREATED = 9,
    VCAL_PROP_DESCRIPTION = 10,
    VCAL_PROP_DUE = 11,
    VCAL_PROP_DTEND = 12,
    VCAL_PROP_DTSTART = 13,
    VCAL_PROP_EXDATE = 14,
    VCAL_PROP_EXNUM = 15,
    VCAL_PROP_GEO = 16,
    VCAL_PROP_LAST_MODIFIED = 17,
    VCAL_PROP_LOCATION = 18,
    VCAL_PROP_MALARM = 19,
    VCAL_PROP_PALARM = 20,
    VCAL_PROP_PRIORITY = 21,
    VCAL_PROP_PRODID = 22,
    VCAL_PROP_RDATE = 23,
    VCAL_PROP_RELATED_TO = 24,
    VCAL_PROP_RESOURCES = 25,
    VCAL_PROP_RNUM = 26,
    VCAL_PROP_RRULE = 27,
    VCAL_PROP_SEQUENCE = 28,
    VCAL_PROP_STATUS = 29,
    VCAL_PROP_SUMMARY = 30,
    VCAL_PROP_TRANSP = 31,
    VCAL_PROP_TZ = 32,
    VCAL_PROP_UID = 33,
    VCAL_PROP_URL = 34,
    VCAL_PROP_VERSION = 35,
    VCAL_PROP_EXRULE = 36,
    VCAL_PROP_X = 37 /* "X-": any extension property */
};
#define VCAL_PROPERTY_COUNT 37

/* Item types of PropertyParam.itemType and of the functions that take one. */
#define VCAL_ITEM_EVENT 2
#define VCAL_ITEM_TODO 3

/* The slots of PropertyFlags. A slot is 1 when its property was taken into
 * the entity (whether or not its value passed its check). */
enum vCalFlagSlot {
    VCAL_SLOT_INVALID = 0,  /* some property failed its check or was a refused duplicate */
    VCAL_SLOT_RESERVED = 1, /* never set by the library */
    VCAL_SLOT_DAYLIGHT = 2, /* 2 to 6: the calendar-level properties */
    VCAL_SLOT_GEO = 3,
    VCAL_SLOT_PRODID = 4,
    VCAL_SLOT_TZ = 5,
    VCAL_SLOT_VERSION = 6,
    VCAL_SLOT_ATTACH = 7, /* 7 to 37: the event and to-do properties */
    VCAL_SLOT_ATTENDEE = 8,
    VCAL_SLOT_AALARM = 9,
    VCAL_SLOT_CATEGORIES = 10,
    VCAL_SLOT_CLASS = 11,
    VCAL_SLOT_DALARM = 12,
    VCAL_SLOT_DCREATED = 13,
    VCAL_SLOT_DESCRIPTION = 14,
    VCAL_SLOT_DTSTART = 15,
    VCAL_SLOT_LAST_MODIFIED = 16,
    VCAL_SLOT_LOCATION = 17,
    VCAL_SLOT_MALARM = 18,
    VCAL_SLOT_PRIORITY = 19,
    VCAL_SLOT_PALARM = 20,
    VCAL_SLOT_RELATED_TO = 21,
    VCAL_SLOT_RESOURCES = 22,
    VCAL_SLOT_SEQUENCE = 23,
    VCAL_SLOT_STATUS = 24,
    VCAL_SLOT_SUMMARY = 25,
    VCAL_SLOT_TRANSP = 26,
    VCAL_SLOT_URL = 27,
    VCAL_SLOT_UID = 28,
    VCAL_SLOT_X = 29,
    VCAL_SLOT_EXDATE = 30,
    VCAL_SLOT_EXRULE = 31,
    VCAL_SLOT_RNUM = 32,
    VCAL_SLOT_RDATE = 33,
    VCAL_SLOT_RRULE = 34,
    VCAL_SLOT_DTEND = 35,
    VCAL_SLOT_COMPLETED = 36,
    VCAL_SLOT_DUE = 37
};
#define VCAL_FLAG_SLOTS 38

/* ------------------------------------------------------------------------
 * Records. All byte-packed; offsets are those of the 32-bit interface.
 */
#pragma pack(push, 1)

/* Minutes since 1 January 1991, 00:00 UTC. Seconds are not represented. */
typedef uint32_t CalapiTime;

/* One byte per slot (vCalFlagSlot), each 0 or 1. 38 bytes. */
typedef struct PropertyFlags {
    uint8_t flag[VCAL_FLAG_SLOTS];
} PropertyFlags;

/* One property line. 10 bytes. The line belongs to the node and is
 * released with it by the destroy functions; it may share the node's
 * allocation, so it is never to be freed on its own. */
typedef struct PropertyNode {
    uint16_t propertyId;       /* 0: vCalPropertyId */
    char *line;                /* 2: the whole unfolded line */
    struct PropertyNode *next; /* 6: the next line of the same owner */
} PropertyNode;

/* An event. 53 bytes. */
typedef struct VEventNode {
    uint16_t propertyCount;   /* 0: lines read into it, unknown and refused ones too */
    uint8_t valid;            /* 2: 1 from creation; only valid entities are extracted */
    uint8_t unused[4];        /* 3: not used by the library */
    PropertyFlags flags;      /* 7 */
    PropertyNode *properties; /* 45: first line, in input order */
    struct VEventNode *next;  /* 49 */
} VEventNode;

/* A to-do: the same layout as an event. 53 bytes. */
typedef struct VTodoNode {
    uint16_t propertyCount;   /* 0 */
    uint8_t valid;            /* 2 */
    uint8_t unused[4];        /* 3 */
    PropertyFlags flags;      /* 7 */
    PropertyNode *properties; /* 45 */
    struct VTodoNode *next;   /* 49 */
} VTodoNode;

/* A calendar. 74 bytes. */
typedef struct VCalendarNode {
    uint16_t eventCount;        /* 0: events linked in (counts modulo 65536) */
    uint16_t todoCount;         /* 2: to-dos linked in */
    PropertyFlags flags;        /* 4: the calendar-level lines' flags */
    PropertyNode *properties;   /* 42: calendar-level lines, in input order */
    VEventNode *events;         /* 46 */
    VEventNode *eventCursor;    /* 50: where the next-event walk goes on */
    VEventNode *currentEvent;   /* 54: the event the walk returned last */
    VTodoNode *todos;           /* 58 */
    VTodoNode *todoCursor;      /* 62 */
    VTodoNode *currentTodo;     /* 66 */
    struct VCalendarNode *next; /* 70 */
} VCalendarNode;

/* The root of a tree. 24 bytes. The counts are kept modulo 65536; nothing
 * limits how many calendars, events or to-dos a tree holds. */
typedef struct ParseTreeHandle {
    uint16_t calendarsBegun;        /* 0: calendar nodes created */
    uint16_t calendarsEnded;        /* 2: "END:VCALENDAR" lines reached */
    uint16_t eventsRead;            /* 4: "BEGIN:VEVENT" blocks processed */
    uint16_t eventsKept;            /* 6: events linked into a calendar */
    uint16_t todosRead;             /* 8 */
    uint16_t todosKept;             /* 10 */
    VCalendarNode *firstCalendar;   /* 12 */
    VCalendarNode *calendarCursor;  /* 16: what vCal_GetNextCalendar returns next */
    VCalendarNode *currentCalendar; /* 20: the calendar returned last */
} ParseTreeHandle;

/* An element of a date chain. 8 bytes; each node is its own allocation. */
typedef struct TimeNode {
    CalapiTime time;       /* 0 */
    struct TimeNode *next; /* 4 */
} TimeNode;

/* One event or to-do in flat form. 179 bytes. A field is meaningful only
 * when the flag of its property is set. The fields named spare are the
 * client's: the library clears them and frees the spare texts, nothing
 * more. The two occurrence lists are not released by
 * vCal_FreePropertyParam: the caller destroys them with KL_ListDestroy
 * when it no longer needs them. */
typedef struct PropertyParam {
    PropertyFlags flags;            /* 0 */
    uint16_t itemType;              /* 38: VCAL_ITEM_EVENT or VCAL_ITEM_TODO */
    CalapiTime audioAlarmTime;      /* 40: AALARM run time */
    uint16_t audioAlarmSpare1;      /* 44 */
    uint16_t audioAlarmSpare2;      /* 46 */
    char *audioAlarmSpareText;      /* 48: owned */
    char *attachment;               /* 52: ATTACH values joined by CR LF, owned */
    char *attendee;                 /* 56: ATTENDEE values joined by CR LF, owned */
    uint16_t category;              /* 60 */
    uint32_t classCode;             /* 62 */
    CalapiTime completedTime;       /* 66 */
    CalapiTime displayAlarmTime;    /* 70: DALARM run time */
    uint16_t displayAlarmSpare1;    /* 74 */
    uint16_t displayAlarmSpare2;    /* 76 */
    char *displayAlarmSpareText;    /* 78: owned */
    CalapiTime createdTime;         /* 82: DCREATED */
    char *description;              /* 86: owned */
    CalapiTime dueTime;             /* 90 */
    CalapiTime endTime;             /* 94: DTEND */
    CalapiTime startTime;           /* 98: DTSTART */
    TimeNode exceptionDates;        /* 102: EXDATE; the chain from .next is owned */
    char *location;                 /* 110: owned */
    uint32_t priority;              /* 114 */
    TimeNode recurrenceDates;       /* 118: RDATE; the chain from .next is owned */
    char *relatedTo;                /* 126: owned */
    char *resources;                /* 130: values separated by CR LF, owned */
    uint32_t recurrenceCount;       /* 134: RNUM */
    KL_HLIST recurrenceOccurrences; /* 138: dates of the RRULE */
    char status[16];                /* 142: STATUS value, NUL-terminated */
    char *summary;                  /* 158: owned */
    uint8_t spareByte;              /* 162: not even cleared */
    char *uniqueId;                 /* 163: owned; read by the writer */
    KL_HLIST exceptionOccurrences;  /* 167: dates of the EXRULE */
    char *spareText;                /* 171: owned */
    uint32_t spareNumber;           /* 175 */
} PropertyParam;

/* Five flags and three list handles. 17 bytes. Flag 1 (2) set says that
 * list 0 (1) is owned by the record. The other flags and list 2 are the
 * client's. */
typedef struct KRproperty {
    uint8_t flag[5];  /* 0 */
    KL_HLIST list[3]; /* 5 */
} KRproperty;

/* ------------------------------------------------------------------------
 * Records of the client's calendar store, read by vCal_EventAddToParseTree
 * and vCal_TaskAddToParseTree. Only the named fields are read; the rest
 * belongs to the client. Texts are NUL-terminated within their field; a
 * text that fills its whole field is read up to the field's end.
 */

/* An event. 472 bytes. */
typedef struct CalEventRecord {
    uint8_t clientData0[6]; /* 0 */
    uint32_t ownerId;       /* 6: compared with attendee ids */
    uint32_t organizerId;   /* 10: compared with attendee ids */
    uint8_t clientData1[20];
    uint32_t classCode; /* 34: 1 CONFIDENTIAL, 2 and 4 PRIVATE, other PUBLIC; 0 none */
    uint8_t clientData2[4];
    uint16_t
        category; /* 42: 1, 2 HOLIDAY, 3 MISCELLANEOUS, 4 SPECIAL OCCASION, other APPOINTMENT */
    uint8_t clientData3[4];
    uint16_t priority; /* 48: counted from 0; PRIORITY is one more */
    uint8_t clientData4[277];
    char summary[145]; /* 327: taken when the instance has none */
} CalEventRecord;

/* One occurrence of an event. 210 bytes. The attendee replies are keyed
 * with idPart1 and the four bytes at offset 8 (idPart2 and idPart3 read
 * as one 32-bit number). */
typedef struct CalInstanceRecord {
    uint8_t clientData0[4];
    uint32_t idPart1; /* 4 */
    uint16_t idPart2; /* 8 */
    uint16_t idPart3; /* 10 */
    uint8_t clientData1[2];
    uint8_t tentative; /* 14: non-zero gives STATUS:TENTATIVE */
    uint8_t clientData2;
    CalapiTime start;  /* 16 */
    uint32_t duration; /* 20: minutes; DTEND is start + duration */
    uint8_t clientData3[8];
    char location[33]; /* 32: empty for none */
    char summary[145]; /* 65: empty to take the event's */
} CalInstanceRecord;

/* The alarm of an event. 5 bytes. */
typedef struct CalAlarmRecord {
    uint8_t set;            /* 0: non-zero when the alarm is on */
    uint32_t minutesBefore; /* 1: the alarm runs this long before the start */
} CalAlarmRecord;

/* The data of an attendee list cell; its id is the attendee id (32 bits).
 * 726 bytes. */
typedef struct CalAttendeeRecord {
    uint8_t clientData0[10];
    uint16_t kind; /* 10: 1 for a resource, else a person */
    uint8_t clientData1[116];
    char familyName[41]; /* 128 */
    char givenName[41];  /* 169: the attendee is "givenName familyName" */
    uint8_t clientData2[475];
    char resourceName[41]; /* 685: the name of a resource */
} CalAttendeeRecord;

/* The id of an attendee reply list cell. 12 bytes. */
typedef struct CalReplyKey {
    uint32_t instancePart1; /* 0: CalInstanceRecord.idPart1 */
    uint32_t instancePart2; /* 4: the 32 bits at offset 8 of the instance */
    uint32_t attendeeId;    /* 8 */
} CalReplyKey;

/* The data of an attendee reply list cell. 56 bytes. */
typedef struct CalReplyRecord {
    uint8_t clientData0[51];
    uint8_t accepted[2]; /* 51: either non-zero: CONFIRMED */
    uint8_t clientData1[2];
    uint8_t declined; /* 55: non-zero: DECLINED (else NEEDS ACTION) */
} CalReplyRecord;

/* A to-do. 518 bytes. */
typedef struct CalTodoRecord {
    uint32_t idPart3; /* 0 */
    uint8_t clientData0[2];
    uint16_t idPart1; /* 6 */
    uint16_t idPart2; /* 8 */
    uint8_t clientData1[28];
    uint32_t classCode; /* 38: 3 CONFIDENTIAL, 2 and 4 PRIVATE, other PUBLIC; 0 none */
    uint8_t clientData2[306];
    char summary[145];        /* 348 */
    uint8_t priority;         /* 493: 0 none */
    CalapiTime completedTime; /* 494: 0 none */
    CalapiTime startTime;     /* 498: 0 none */
    uint8_t alarmSet;         /* 502 */
    uint32_t alarmMinutes;    /* 503: before the start; 0 no alarm */
    CalapiTime dueTime;       /* 507: 0 none */
    uint8_t clientData3[6];
    char state; /* 517: 'd' when done */
} CalTodoRecord;

#pragma pack(pop)

/* These two have no gap to pack away; they keep their natural alignment,
 * so that the address of a field is a usable pointer. */

/* One occurrence of an item: the id of a cell of an occurrence time list
 * (such a list has no data). 12 bytes. */
typedef struct TimePlace {
    CalapiTime start;  /* 0 */
    uint32_t duration; /* 4: minutes */
    uint32_t reserved; /* 8: 0 */
} TimePlace;

/* Receives an occurrence time list (vCal_GetRecurDateList). 4 bytes. */
typedef struct TimePlaceRecurList {
    KL_HLIST timeList; /* 0: TimePlace ids; null when the item does not recur */
} TimePlaceRecurList;

/* ------------------------------------------------------------------------
 * Callbacks of the stream reader.
 */

/* Stores the next byte of the stream in *byte and returns 0, or returns a
 * non-zero code for a read failure. A byte of 0 or 255 ends the stream;
 * after that the callback may be called again and must keep delivering 0
 * or 255. `stream` is the caller's pointer, handed back unchanged. */
typedef int32_t (*vCalStreamNextByteGet)(void *stream, uint8_t *byte);

/* Progress report, called as (0, 3, 1, progress) while a stream is read;
 * progress grows with the lines read. Return 0 to go on; a non-zero result
 * returned after an event or to-do stops the reading with that result. */
typedef int32_t (*vCalProgressFct)(uint32_t zero, uint32_t three, uint32_t one, uint32_t progress);

/* ------------------------------------------------------------------------
 * Reading a stream.
 */

/* Reads vCalendar 1.0 text, one byte per NextByteGet call, into a new tree.
 * Faults in the text do not stop the reading: each becomes one line of the
 * error text or of the warning text, "Error, line N: ..." or "Warning, line
 * N: ...", ending in CR LF, and an event or to-do that caused an error is
 * left out of the tree.
 *
 *   phandle      receives the tree (set to null at once)
 *   streamptr    handed back to NextByteGet
 *   errmesgptr   receives the error text when there is one
 *   warningptr   receives the warning text when there is one
 *   progress     optional progress callback
 *   lineCount    expected number of lines; needed with `progress` (0 is
 *                replaced by 1, in the caller's variable too)
 *   versionOk    receives 1 when the last calendar VERSION read was "1.0"
 *   versionText  at least 9 bytes; receives the last calendar VERSION value
 *                (at most 8 characters); its first 8 bytes are cleared first
 *   reserved     not read
 *
 * Results: 0 (tree in *phandle); VCAL_ERR_READ_WITH_ERRORS (tree in
 * *phandle, the error text is not empty); VCAL_ERR_UNRECOVERABLE (a
 * structural error stopped the reading; the tree read so far is in
 * *phandle); VCAL_ERR_UNTERMINATED (the stream ended inside a calendar;
 * tree kept). Every other result leaves *phandle null: argument faults
 * (checked in argument order, phandle last), VCAL_ERR_NO_VCALENDAR,
 * VCAL_ERR_NO_MEMORY, a failure code of NextByteGet, a non-zero progress
 * result. The texts collected are handed out whatever the result; they
 * come from malloc and the caller frees them with free. */
VERSIT_API int32_t vCal_ParseTreeFromStreamGet(ParseTreeHandle **phandle, void *streamptr,
                                               vCalStreamNextByteGet NextByteGet, char **errmesgptr,
                                               char **warningptr, vCalProgressFct progress,
                                               uint32_t *lineCount, uint8_t *versionOk,
                                               char *versionText, uint32_t reserved);

/* 1 when `line`, after leading blanks and tabs, starts with `word1`
 * (without regard to case) and, when `word2` is given, goes on after any
 * characters that are not letters (up to a CR or the end) with `word2`.
 * Both are prefix tests. A null line or an empty word1: 0. */
VERSIT_API int32_t vCal_IsWordInTheString(const char *line, const char *word1, const char *word2);

/* Reads one word of `line` from index *position: skips blanks and tabs,
 * then copies characters, upper-cased, up to a CR, LF, NUL or ";" (not
 * included), each run of blanks copied as one blank, into `word`, which
 * must hold the rest of the line. *position is left on the character that
 * stopped the copy. Returns 1 when that is the end of the line, 0 when it
 * is a ";". Null arguments: 1, nothing read. */
VERSIT_API int32_t vCal_GetOneWordFromLine(char *word, const char *line, uint32_t *position);

/* 1 when `word` equals (case-sensitively) one of the first `count` texts of
 * `table`, which may end early with a null entry; else 0. */
VERSIT_API int32_t vCal_SearchStrInTable(const char *const *table, const char *word, int32_t count);

/* ------------------------------------------------------------------------
 * Trees.
 */

/* Destroys the tree in *phandle and sets *phandle to null.
 * VCAL_ERR_NULL_HANDLE for a null phandle; VCAL_ERR_NO_TREE when *phandle
 * is null. DestroyParseTree is the same function under its older name. */
VERSIT_API int32_t vCal_DestroyParseTree(ParseTreeHandle **phandle);
VERSIT_API int32_t DestroyParseTree(ParseTreeHandle **phandle);

/* Destroy a chain and everything it owns, and set *list to null.
 * VCAL_ERR_NULL_ARGUMENT for a null list pointer; an empty chain is fine. */
VERSIT_API int32_t vCal_DestroyVCalendarList(VCalendarNode **list);
VERSIT_API int32_t vCal_DestroyVEventList(VEventNode **list);
VERSIT_API int32_t vCal_DestroyVTodoList(VTodoNode **list);
VERSIT_API int32_t vCal_DestroyPropertyList(PropertyNode **list);

/* The first calendar of the tree; the walk goes on from there with
 * vCal_GetNextCalendar. VCAL_ERR_NULL_HANDLE, VCAL_ERR_NULL_CALENDAR for a
 * null `out`, VCAL_ERR_NO_MORE_ENTITIES (not logged) for a tree without
 * calendars. */
VERSIT_API int32_t vCal_GetFirstCalendar(ParseTreeHandle *handle, VCalendarNode **out);

/* The calendar after the one returned last. VCAL_ERR_NO_MORE_ENTITIES (not
 * logged, *out untouched) after the last one. */
VERSIT_API int32_t vCal_GetNextCalendar(ParseTreeHandle *handle, VCalendarNode **out);

/* 1 when some event or to-do of the tree is valid, else 0 (also for a null
 * handle). */
VERSIT_API int32_t vCal_AnyValidEntityInPTree(const ParseTreeHandle *handle);

/* Clears all 38 slots. */
VERSIT_API void vCal_PropertyFlagSetFalse(PropertyFlags *flags);

/* ------------------------------------------------------------------------
 * Records.
 */

/* Clears every field from itemType on (texts and chains to null, the
 * status text to ""), leaving the flags and spareByte as they are.
 * VCAL_ERR_NULL_PROPERTY_PARAM for a null record. */
VERSIT_API int32_t vCal_InitializePropertyParam(PropertyParam *p);

/* Frees the record's texts and date chains and nulls them; the record
 * itself and the two occurrence lists are left to the caller. Harmless to
 * call twice. VCAL_ERR_NULL_PROPERTY_PARAM for a null record. */
VERSIT_API int32_t vCal_FreePropertyParam(PropertyParam *p);

/* Clears the five flags and the three handles. VCAL_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t vCal_InitializeKRproperty(KRproperty *p);

/* Destroys list 0 when flag 1 is set and list 1 when flag 2 is set, and
 * nulls those handles; the flags stay. Returns 0, VCAL_ERR_NULL_ARGUMENT,
 * or the list library's code when a destruction fails. */
VERSIT_API int32_t vCal_FreeKRproperty(KRproperty *p);

/* ------------------------------------------------------------------------
 * Date and time strings.
 */

/* Converts a date-time text (after any non-digits: 8 date digits, "T", 6
 * time digits, an optional "Z" for UTC; what follows is ignored) to
 * *minutes. The year must lie in 1991 to 2036. For a local time (no "Z")
 * the zone offset (local = UTC + *zone minutes; `zone` may be null) is
 * subtracted. `unused` is not read. Results: VCAL_ERR_NULL_ARGUMENT,
 * VCAL_ERR_BAD_DATE_TIME, VCAL_ERR_BAD_YEAR, VCAL_ERR_BAD_HOUR,
 * VCAL_ERR_BAD_MINUTE, VCAL_ERR_BAD_MONTH, VCAL_ERR_BAD_DAY; *minutes is
 * written only on success. */
VERSIT_API int32_t vCal_ConvertDateStrToMinute(const char *text, uint32_t *minutes, uint32_t unused,
                                               const int32_t *zone);

/* Converts "month<sep>day<sep>year" (1 to 3 digits each for month and day;
 * a year of 2 digits, 91 to 99 for 1991 to 1999 and 00 to 90 for 2000 on,
 * or of 4 digits, 1991 to 2036) to the minutes of that day's midnight.
 * *valid tells whether the text was good (*minutes is written only then);
 * the result is 0, VCAL_ERR_NULL_ARGUMENT, or the date library's code for a
 * day its month does not have. */
VERSIT_API int32_t vCal_DateStrToCalapiTime(const char *text, uint32_t *minutes, uint32_t separator,
                                            uint8_t *valid);

/* Converts "hours:minutes" (1 to 3 digits below 24; 2 or 3 digits below
 * 60) to minutes after midnight. *valid tells whether the text was good
 * (*minutes is written only then). 0, or VCAL_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t vCal_TimeStrToCalapiTime(const char *text, uint32_t *minutes, uint8_t *valid);

/* Copies the date-time text (at most 16 letters and digits, after blanks)
 * of the first line of an event or to-do node with the given date
 * property (COMPLETED, DCREATED, DUE, DTEND, DTSTART or LAST-MODIFIED)
 * and a ":" into `out`, NUL-terminated; at most outSize - 1 characters are
 * copied. *found (optional) tells whether a line was found; `out` is left
 * alone otherwise. Results: VCAL_ERR_NULL_ARGUMENT (entity),
 * VCAL_ERR_NULL_BUFFER, VCAL_ERR_BUFFER_TOO_SMALL (outSize below 16),
 * VCAL_ERR_BAD_ITEM_TYPE, VCAL_ERR_NOT_DATE_PROPERTY. */
VERSIT_API int32_t vCal_GetOriginalDateString(const void *entity, uint32_t itemType,
                                              uint32_t propertyId, char *out, uint32_t outSize,
                                              uint8_t *found);

/* ------------------------------------------------------------------------
 * Taking events and to-dos out of a tree.
 *
 * An item comes out as a PropertyParam: times in UTC (local times have the
 * calendar's TZ subtracted), texts decoded from quoted-printable, the
 * values mapped to the client's codes:
 *   category  1 HOLIDAY; else 4 SICK DAY, SPECIAL OCCASION, TRAVEL or
 *             VACATION; else 3 MISCELLANEOUS; else 0 (the first HOLIDAY
 *             or MISCELLANEOUS ends the search)
 *   class     events: PUBLIC 3, PRIVATE 2, CONFIDENTIAL 1;
 *             to-dos: PUBLIC 1, PRIVATE 2, CONFIDENTIAL 3
 *   priority  a number, or a letter counted from 10 ("A" 10); an event's
 *             is one less (0 stays 0)
 *   status    the STATUS word, upper-cased, at most 15 characters
 * Repeated ATTACH and ATTENDEE values, and RESOURCES values, are joined
 * by CR LF. An RRULE (EXRULE) is expanded from DTSTART into
 * recurrenceOccurrences (exceptionOccurrences); a rule that cannot be
 * understood clears the RRULE and EXRULE (EXRULE) flags instead. The
 * record owns its texts, date chains and both occurrence lists: release
 * it with vCal_FreePropertyParam and KL_ListDestroy of the two lists.
 */

/* Fills `item` with the first event of the calendar that the client can
 * take, and, when `node` is given, stores its node there (null when none
 * was taken). Events that do not end after they start are passed over;
 * alarms that are not before the start lose their flag. The zone is the
 * calendar's TZ; when that is 0 or more than 720 minutes either way, the
 * default (minutes east of UTC, may be null) when it is in range, else
 * UTC. `unused` is not read.
 *
 * Results: 0; VCAL_ERR_NO_MORE_ENTITIES (not logged) when no event is
 * left; VCAL_ERR_NULL_CALENDAR, VCAL_ERR_NULL_PROPERTY_PARAM; the failure
 * of a TZ line (VCAL_ERR_NO_VALUE) or of a conversion (a date code, a
 * list code, VCAL_ERR_BAD_CLASS, VCAL_ERR_NO_MEMORY ...). After a failed
 * conversion the record holds what was converted: release it. */
VERSIT_API int32_t vCal_GetFirstEvent(VCalendarNode *calendar, PropertyParam *item,
                                      const int16_t *defaultZone, uint32_t unused,
                                      VEventNode **node);

/* The same from the event after the one taken last. */
VERSIT_API int32_t vCal_GetNextEvent(VCalendarNode *calendar, PropertyParam *item,
                                     const int16_t *defaultZone, uint32_t unused,
                                     VEventNode **node);

/* The same for to-dos. Every to-do is taken; its DTEND, COMPLETED and DUE
 * flags are cleared when those times lie before its start. */
VERSIT_API int32_t vCal_GetFirstTodo(VCalendarNode *calendar, PropertyParam *item,
                                     const int16_t *defaultZone, uint32_t unused, VTodoNode **node);
VERSIT_API int32_t vCal_GetNextTodo(VCalendarNode *calendar, PropertyParam *item,
                                    const int16_t *defaultZone, uint32_t unused, VTodoNode **node);

/* *list := a list (16-bit ids 0, 1, 2 ..., each cell's data a whole
 * PropertyParam) of the calendar's events as vCal_GetFirstEvent and
 * vCal_GetNextEvent take them, at most `maximum` (a 16-bit value) and at
 * most 25; *count (optional) := how many. A maximum of 0 makes no list.
 * The records in the list own their texts and occurrence lists: release
 * each before destroying the list. On a failure the list is destroyed
 * with all it held and *list is null. VCAL_ERR_NULL_CALENDAR,
 * VCAL_ERR_NULL_LIST, the list library's codes, the walk's failures. */
VERSIT_API int32_t vCal_CreateEventPropertyParamHList(VCalendarNode *calendar, KL_HLIST *list,
                                                      const int16_t *defaultZone, uint32_t maximum,
                                                      uint16_t *count, uint32_t unused);
/* The same for to-dos. */
VERSIT_API int32_t vCal_CreateTodoPropertyParamHList(VCalendarNode *calendar, KL_HLIST *list,
                                                     const int16_t *defaultZone, uint32_t maximum,
                                                     uint16_t *count, uint32_t unused);

/* result->timeList := the occurrences of an item with an RRULE or RDATE
 * flag, as vCal_TimePlaceListCreateFromRules makes them, with the item's
 * start minute of the day and its duration (end - start; 60 when that is
 * more than a day, or when there is no end). *recurs (optional) := 1 when
 * a list was made. Without either flag: no list, *recurs 0.
 * VCAL_ERR_NULL_PROPERTY_PARAM, VCAL_ERR_NULL_LIST, the list library's
 * codes. The caller destroys the list with KL_ListDestroy. */
VERSIT_API int32_t vCal_GetRecurDateList(const PropertyParam *item, uint8_t *recurs,
                                         TimePlaceRecurList *result);

/* result->timeList := a list of TimePlace ids, no data: the dates of
 * `occurrences` (KL_DATE records, as an RRULE expands) when the item's
 * RRULE flag is set, each at (day - 1) x 1440 + startMinute, and the
 * `recurrenceDates` chain when its RDATE flag is set, each for `duration`
 * minutes; without the places equal to one of `exceptionOccurrences`
 * (EXRULE flag) or of the `exceptionDates` chain (EXDATE flag). Each
 * place is added at the front: the RDATE places come first (last node
 * first), then the rule's in the reverse of their list order.
 * VCAL_ERR_NULL_LIST, VCAL_ERR_NULL_PROPERTY_PARAM, the list and date
 * libraries' codes. */
VERSIT_API int32_t vCal_TimePlaceListCreateFromRules(
    TimePlaceRecurList *result, const PropertyParam *item, KL_HLIST occurrences,
    KL_HLIST exceptionOccurrences, const TimeNode *recurrenceDates, const TimeNode *exceptionDates,
    uint32_t startMinute, uint32_t duration);

/* Copies the value of the calendar's first VERSION line (letters, digits
 * and "." only, at most 7) into `version`, whose first 8 bytes are
 * cleared first; *found (optional) := 1 when something was copied.
 * VCAL_ERR_NULL_CALENDAR; VCAL_ERR_VERSION_BUFFER for a null buffer or a
 * size (a 16-bit value) below 8. */
VERSIT_API int32_t vCal_GetThisCalendarVersion(const VCalendarNode *calendar, char *version,
                                               uint32_t size, uint8_t *found);

/* Replaces *text (may hold null) by a new malloc'ed text of *text and
 * `second` followed by `extra` (a 16-bit value) spare bytes. Nothing
 * happens for an empty `second` without extra bytes.
 * VCAL_ERR_NULL_ARGUMENT, VCAL_ERR_NO_MEMORY (*text unchanged). */
VERSIT_API int32_t vCal_mallocAppend2ndStrInFirst(char **text, const char *second, uint32_t extra);

/* Puts the value of a property line (after its first ":" and blanks, up
 * to CR or LF) into *field, a malloc'ed text; when *field already holds
 * text, the value is appended after CR LF. VCAL_ERR_NULL_ARGUMENT;
 * VCAL_ERR_NO_VALUE for a line without ":" or with nothing after it;
 * VCAL_ERR_NO_MEMORY (*field unchanged). */
VERSIT_API int32_t vCal_mallocCopy2ndStrValueInFirst(char **field, const char *line);

/* ------------------------------------------------------------------------
 * Writing: calendar items into a tree, and a tree out as a stream.
 *
 * The first item added to a null handle variable makes a tree with one
 * calendar; every later item goes into that calendar. Each event or to-do
 * node holds finished lines (property id 0): keyword, value in vCalendar
 * 1.0 form, folding applied. Times are written as UTC ("...Z") unchanged.
 * Written are ATTACH, ATTENDEE, AALARM, CATEGORIES, CLASS, DALARM,
 * DCREATED, DTSTART, DTEND, DUE, COMPLETED, SUMMARY, LOCATION, RESOURCES,
 * DESCRIPTION (quoted-printable), PRIORITY, STATUS, EXDATE and UID, in
 * that order, each when its flag is set; rules and the other properties
 * are not. Line breaks in the short texts are dropped; a DESCRIPTION keeps
 * them as CR LF. The tree is released with vCal_DestroyParseTree.
 */

/* Accepts the next byte of the stream and returns 0, or returns a non-zero
 * code that stops the writing. `stream` is the caller's pointer, handed
 * back unchanged. */
typedef int32_t (*vCalStreamNextBytePut)(void *stream, uint8_t byte);

/* Adds one item (a PropertyParam whose fields are read where their flags
 * are set) to the tree in *phandle, making the tree first when *phandle
 * is null; itemType is VCAL_ITEM_EVENT or VCAL_ITEM_TODO. Multi-value
 * texts: attachment and attendee values are joined with "*^?" (each
 * attendee value starts with the text that follows the ATTENDEE keyword,
 * ";ROLE=..." or ":"), resources with ";". The exception dates are the
 * embedded time of exceptionDates followed by its chain. `reserved` is
 * not read. The item stays the caller's. The new node becomes the
 * calendar's currentEvent (currentTodo), where the next add finds the end
 * of the chain; the walk's cursors are not touched.
 *
 * Results: 0; VCAL_ERR_NULL_HANDLE, VCAL_ERR_NULL_ARGUMENT (item),
 * VCAL_ERR_BAD_ITEM_TYPE; VCAL_ERR_NO_MEMORY; VCAL_ERR_NULL_STREAM for a
 * flagged text that is null. When an item's lines cannot be made, its
 * node is still added (without lines) to an existing tree; a tree made by
 * this call is released again and *phandle stays null. */
VERSIT_API int32_t vCal_AddxItemInfoToPTree(ParseTreeHandle **phandle, const PropertyParam *item,
                                            uint32_t itemType, uint32_t reserved);

/* Adds one event occurrence from the client's records, as
 * vCal_AddxItemInfoToPTree does. `idPair` holds two 16-bit numbers (low
 * half first) that begin the UID "a-b-instance part 1-instance part 3".
 * DTSTART and DTEND come from the instance; SUMMARY from the instance or
 * else the event; AALARM and DALARM from `alarm` (optional) when it is
 * set. Unless the category is 1 or 2, every cell of `attendees` (optional)
 * gives a RESOURCES value (kind 1) or an ATTENDEE line whose ROLE (OWNER,
 * ORGANIZER, ATTENDEE) comes from the event's ids and whose STATUS
 * (CONFIRMED, DECLINED, NEEDS ACTION) comes from the cell of `replies`
 * keyed by CalReplyKey; a reply that cannot be fetched ends the call with
 * the list library's code. `description` (`length` bytes) and
 * `attachment` are optional; `version` must be "1.0"; `reserved` is not
 * read. Every text is copied.
 *
 * Results: VCAL_ERR_VERSION_BUFFER (null or empty version),
 * VCAL_ERR_NULL_EVENT (no event or instance), VCAL_ERR_BAD_VERSION (these
 * three not logged, *phandle untouched); VCAL_ERR_NO_MEMORY; the list
 * library's codes; those of vCal_AddxItemInfoToPTree. */
VERSIT_API int32_t vCal_EventAddToParseTree(ParseTreeHandle **phandle, uint32_t idPair,
                                            const CalEventRecord *event,
                                            const CalInstanceRecord *instance,
                                            const CalAlarmRecord *alarm, KL_HLIST replies,
                                            KL_HLIST attendees, const char *description,
                                            uint32_t length, const char *attachment,
                                            const char *version, uint32_t reserved);

/* Adds one to-do from the client's record, as vCal_AddxItemInfoToPTree
 * does: DTSTART, DUE, PRIORITY and CLASS when not 0, AALARM and DALARM at
 * start - alarmMinutes when the alarm is set, STATUS:COMPLETED and
 * COMPLETED when the state is 'd', SUMMARY always (an empty summary makes
 * the to-do's lines fail with VCAL_ERR_NULL_STREAM), UID
 * "idPart1-idPart2-idPart3". The texts are optional and copied;
 * `version` must be "1.0"; both reserved values are not read.
 *
 * Results: VCAL_ERR_NULL_TODO, VCAL_ERR_BAD_VERSION (not logged, *phandle
 * untouched); VCAL_ERR_NO_MEMORY; those of vCal_AddxItemInfoToPTree. */
VERSIT_API int32_t vCal_TaskAddToParseTree(ParseTreeHandle **phandle, uint32_t reserved1,
                                           const CalTodoRecord *todo, const char *description,
                                           uint32_t length, const char *attachment,
                                           const char *version, uint32_t reserved2);

/* Writes `line` and a line feed through NextBytePut, one byte per call.
 * VCAL_ERR_NULL_LINE for a null line, VCAL_ERR_NULL_PUT_CALLBACK for a
 * null callback, or the callback's first non-zero result (the bytes
 * before it are written). */
VERSIT_API int32_t vCal_PutALineToStream(void *stream, vCalStreamNextBytePut NextBytePut,
                                         const char *line);

/* Writes every calendar of the tree as vCalendar 1.0 text, each line
 * ended by a single line feed: BEGIN:VCALENDAR, "PRODID:-//Larkspur
 * Calendar", the calendar's lines, "VERSION:" and `version`, every event
 * (BEGIN:VEVENT, its lines, END:VEVENT), every to-do likewise,
 * END:VCALENDAR. `progress` (optional) is called as (0, 3, 4, percent)
 * before each event and to-do, from 70 up to at most 98; it sets the
 * tree's eventsKept to 1 when it is 0. Results: VCAL_ERR_NULL_HANDLE,
 * VCAL_ERR_NULL_STREAM, VCAL_ERR_NULL_PUT_CALLBACK,
 * VCAL_ERR_VERSION_BUFFER (null or empty version), VCAL_ERR_NO_TREE (no
 * calendar), VCAL_ERR_NULL_LINE (a node without a line), or the
 * callback's code; what was written stays written. */
VERSIT_API int32_t vCal_ParseTreeToStreamPut(ParseTreeHandle *handle, void *stream,
                                             vCalStreamNextBytePut NextBytePut, const char *version,
                                             vCalProgressFct progress);

/* The same with the caller's product text after "PRODID:-//" (no PRODID
 * line when it is null), no VERSION line when `version` is null, and
 * only the events and to-dos whose valid byte is set. A tree without any
 * valid event or to-do gives VCAL_ERR_NO_CALENDAR_CLOSED and writes
 * nothing. */
VERSIT_API int32_t vCal_ParseTreeToStreamPutEx(ParseTreeHandle *handle, void *stream,
                                               vCalStreamNextBytePut NextBytePut,
                                               const char *version, const char *product,
                                               vCalProgressFct progress);

VERSIT_END_DECLS

#endif /* VERSIT_VCAL_H */
