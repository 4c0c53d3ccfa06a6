// Calendar items into property lines: the converters that make one
// finished line each, and the conversion of a whole item into a chain of
// property nodes. The client-store records are public (versit_vcal.h);
// their layout is pinned here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "versit_vcal.h"

// The client's records cross the interface byte by byte: no field may move.
static_assert(sizeof(CalEventRecord) == 472 && offsetof(CalEventRecord, ownerId) == 6 &&
                  offsetof(CalEventRecord, organizerId) == 10 &&
                  offsetof(CalEventRecord, classCode) == 34 &&
                  offsetof(CalEventRecord, category) == 42 &&
                  offsetof(CalEventRecord, priority) == 48 &&
                  offsetof(CalEventRecord, summary) == 327,
              "CalEventRecord layout");
static_assert(sizeof(CalInstanceRecord) == 210 && offsetof(CalInstanceRecord, idPart1) == 4 &&
                  offsetof(CalInstanceRecord, idPart2) == 8 &&
                  offsetof(CalInstanceRecord, idPart3) == 10 &&
                  offsetof(CalInstanceRecord, tentative) == 14 &&
                  offsetof(CalInstanceRecord, start) == 16 &&
                  offsetof(CalInstanceRecord, duration) == 20 &&
                  offsetof(CalInstanceRecord, location) == 32 &&
                  offsetof(CalInstanceRecord, summary) == 65,
              "CalInstanceRecord layout");
static_assert(sizeof(CalAlarmRecord) == 5 && offsetof(CalAlarmRecord, minutesBefore) == 1,
              "CalAlarmRecord layout");
static_assert(sizeof(CalAttendeeRecord) == 726 && offsetof(CalAttendeeRecord, kind) == 10 &&
                  offsetof(CalAttendeeRecord, familyName) == 128 &&
                  offsetof(CalAttendeeRecord, givenName) == 169 &&
                  offsetof(CalAttendeeRecord, resourceName) == 685,
              "CalAttendeeRecord layout");
static_assert(sizeof(CalReplyKey) == 12 && offsetof(CalReplyKey, instancePart2) == 4 &&
                  offsetof(CalReplyKey, attendeeId) == 8,
              "CalReplyKey layout");
static_assert(sizeof(CalReplyRecord) == 56 && offsetof(CalReplyRecord, accepted) == 51 &&
                  offsetof(CalReplyRecord, declined) == 55,
              "CalReplyRecord layout");
static_assert(sizeof(CalTodoRecord) == 518 && offsetof(CalTodoRecord, idPart1) == 6 &&
                  offsetof(CalTodoRecord, idPart2) == 8 &&
                  offsetof(CalTodoRecord, classCode) == 38 &&
                  offsetof(CalTodoRecord, summary) == 348 &&
                  offsetof(CalTodoRecord, priority) == 493 &&
                  offsetof(CalTodoRecord, completedTime) == 494 &&
                  offsetof(CalTodoRecord, startTime) == 498 &&
                  offsetof(CalTodoRecord, alarmSet) == 502 &&
                  offsetof(CalTodoRecord, alarmMinutes) == 503 &&
                  offsetof(CalTodoRecord, dueTime) == 507 && offsetof(CalTodoRecord, state) == 517,
              "CalTodoRecord layout");

namespace vcal {

class EntityLines;

// Kinds of vCal_ChangeFormatKRecToPTree: a calendar's own lines, an
// event's, a to-do's.
constexpr uint32_t kKindCalendar = 1;

// Separates the values of a multi-value text.
constexpr const char kMultiValueSeparator[] = "*^?";

// Each makes one line in *line (malloc'ed; null on failure) and returns 0,
// VCAL_ERR_NO_MEMORY or a date code, logged under its own name.
int32_t ConvertSingleDate(char **line, CalapiTime time, const char *keyword);
int32_t ConvertAlarm(char **line, CalapiTime time, const char *keyword);
// The embedded time of `dates` first, then its chain.
int32_t ConvertMultiDate(char **line, const TimeNode *dates, const char *keyword);
int32_t ConvertSingleNumber(char **line, uint32_t number, const char *keyword);
int32_t ConvertCategories(char **line, uint16_t code);
int32_t ConvertClass(char **line, uint32_t code, uint32_t kind);

// The short form folds the line at blanks and drops line breaks; the
// quoted-printable form keeps line breaks as soft-broken "=0D=0A". A null
// text or keyword: VCAL_ERR_NULL_STREAM.
enum class ExportForm : uint8_t { Short, QuotedPrintable };
int32_t ConvertPutStrInExportForm(char **line, const char *text, const char *keyword,
                                  ExportForm form = ExportForm::Short);

// *chain := the lines of `item` for a calendar (kind 1), an event (2) or a
// to-do (3), each node allocated with its line; all or none. An attachment
// or attendee text gives one line per "*^?"-separated value (the keyword
// followed by the value). `reserved` is not read.
int32_t vCal_ChangeFormatKRecToPTree(PropertyNode **chain, uint32_t kind, const PropertyParam *item,
                                     uint32_t reserved);
// The same lines into `lines` (emptied first; empty again on failure), to
// be laid out behind their entity.
int32_t vCal_ChangeFormatKRecToPTree(EntityLines &lines, uint32_t kind, const PropertyParam *item);

} // namespace vcal
