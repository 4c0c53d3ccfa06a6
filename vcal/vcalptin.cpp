// The vCalendar stream reader: lines from a byte source into a parse tree,
// every fault a line-numbered message in the error or the warning text.
//
// Every non-zero result is logged. The messages of the reader's own steps:
//   "vCal_ParseTreeFromStreamGet (malloc)"              the handle
//   "vCal_ParseTreeFromStreamGet: vCal_GetALineFromStream 1|2|3"
//                         seeking a calendar | calendar lines | components
//   "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 1|2|3"
//                         calendar BEGIN/END form | calendar lines | components
//   "vCal_ParseTreeFromStreamGet: vCal_VerifyAllProperty 1|2|3"
//                         calendar | event | to-do
//   "vCal_ParseTreeFromStreamGet: vCal_CreateVCalendarNode", "...:
//   vCal_GetPropertyFromLine", "...: vCal_GetVEventFromStream" (or VTodo)
//   "vCal_ParseTreeFromStreamGet (unexpected end of stream)"  95785
//   "vCal_ParseTreeFromStreamGet (unknown BEGIN)"       95747 in the components
//   "vCal_ParseTreeFromStreamGet (progress)"            a progress result
//   "vCal_ParseTreeFromStreamGet (no BEGIN:VCALENDAR)"  95766
//   "vCal_ParseTreeFromStreamGet (no END:VCALENDAR)"    95765
//   "vCal_ParseTreeFromStreamGet (error messages)"      95772
//   "vCal_GetVEventFromStream (cannot recover)"         95747 in an event,
//   "vCal_GetVEventFromStream: vCal_GetALineFromStream|vCal_GetPropertyFromLine|
//   vCal_AppendErrMesg", and the same for the to-do reader.
//
// A BEGIN or END line of bad form gets its message followed by the line
// itself, quoted: `Warning, line 4: illegal character at position 12 in
// "BEGIN:VEVENT:"`. The message alone would not show which of several
// such lines it was, the line alone would not say what is wrong with it.
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "diag/errlog.h"
#include "vcal/vcalcheck.h"
#include "vcal/vcalline.h"
#include "vcal/vcalmsg.h"
#include "vcal/vcalptin.h"
#include "vcal/vcaltree.h"
#include "versit_vcal.h"

namespace {

using vcal::ChainTail;
using vcal::TextBuffer;

using errlog::fail;

bool startsBlockLine(const char *line) {
    // Most lines are properties: one look at the first letter settles it.
    const char *p = line;
    while (*p == ' ' || *p == '\t')
        ++p;
    const char first = vcal::upper(*p);
    if (first != 'B' && first != 'E') return false;
    return vcal::isWordLine(line, "BEGIN", nullptr) || vcal::isWordLine(line, "END", nullptr);
}

// What differs between reading an event and reading a to-do.
template <class Entity> struct EntityKind;

template <> struct EntityKind<VEventNode> {
    static constexpr const char *kName = "VEVENT";
    static constexpr uint16_t kFormCode = vcal::kCodeEventForm;
    static constexpr uint16_t kEndExpected = vcal::kMsgEndEvent;
    static constexpr uint16_t kBlock = vcal::kBlockEvent;
    static constexpr const char *kLineFailed = "vCal_GetVEventFromStream: vCal_GetALineFromStream";
    static constexpr const char *kCreateFailed = "vCal_CreateVEventNode (malloc)";
    static constexpr const char *kPropertyFailed =
        "vCal_GetVEventFromStream: vCal_GetPropertyFromLine";
    static constexpr const char *kAppendFailed = "vCal_GetVEventFromStream: vCal_AppendErrMesg";
    static constexpr const char *kCannotRecover = "vCal_GetVEventFromStream (cannot recover)";
    static constexpr const char *kReadFailed =
        "vCal_ParseTreeFromStreamGet: vCal_GetVEventFromStream";
    static constexpr const char *kVerifyFailed =
        "vCal_ParseTreeFromStreamGet: vCal_VerifyAllProperty 2";
};

template <> struct EntityKind<VTodoNode> {
    static constexpr const char *kName = "VTODO";
    static constexpr uint16_t kFormCode = vcal::kCodeTodoForm;
    static constexpr uint16_t kEndExpected = vcal::kMsgEndTodo;
    static constexpr uint16_t kBlock = vcal::kBlockTodo;
    static constexpr const char *kLineFailed = "vCal_GetVTodoFromStream: vCal_GetALineFromStream";
    static constexpr const char *kCreateFailed = "vCal_CreateVTodoNode (malloc)";
    static constexpr const char *kPropertyFailed =
        "vCal_GetVTodoFromStream: vCal_GetPropertyFromLine";
    static constexpr const char *kAppendFailed = "vCal_GetVTodoFromStream: vCal_AppendErrMesg";
    static constexpr const char *kCannotRecover = "vCal_GetVTodoFromStream (cannot recover)";
    static constexpr const char *kReadFailed =
        "vCal_ParseTreeFromStreamGet: vCal_GetVTodoFromStream";
    static constexpr const char *kVerifyFailed =
        "vCal_ParseTreeFromStreamGet: vCal_VerifyAllProperty 3";
};

// The state of one call of vCal_ParseTreeFromStreamGet.
class Reader {
  public:
    Reader(void *stream, vCalStreamNextByteGet get, vCalProgressFct progress, uint32_t lineCount,
           uint8_t *versionOk, char *versionText)
        : lines_(stream, get), progress_(progress), versionOk_(versionOk),
          versionText_(versionText) {
        if (progress_ != nullptr) {
            // Single precision, like the writer's progress.
            step_ = 30.0f / static_cast<float>(lineCount);
            running_ = step_;
        }
    }

    int32_t run();
    // Kept items to `sink` instead of the tree; without `checks`, their
    // values are taken as they stand.
    void handTo(vcal::ItemSink *sink, bool checks) {
        sink_ = sink;
        checks_ = checks;
    }

    ParseTreeHandle *handle = nullptr;
    TextBuffer errors;
    TextBuffer warnings;

  private:
    const char *line() const { return lines_.text(); }
    uint32_t lineNumber() const { return lines_.lineNumber(); }

    int32_t append(uint16_t code, const char *message, std::string_view quoted = {}) {
        return vcal::vCal_AppendErrMesg(&errors, &warnings, code, message, quoted);
    }
    // Appends a message of the plain " line: text" form.
    int32_t say(uint16_t code, uint16_t number) {
        const uint32_t at = lineNumber();
        vcal::vCal_FormatMessage(message_, number, &at, nullptr);
        return append(code, message_);
    }
    // Checks the form of the current BEGIN or END line.
    int32_t checkForm(uint16_t code) {
        if (vcal::vCal_CheckBeginEndForm(line(), message_, lineNumber()) != 0) return 0;
        std::string_view quoted(lines_.text(), lines_.length());
        while (!quoted.empty() && quoted.back() == '\r')
            quoted.remove_suffix(1);
        return append(code, message_, quoted);
    }
    int32_t propertyFromLine(PropertyNode **out);
    int32_t calendarLine(VCalendarNode *calendar, ChainTail<PropertyNode> &tail);
    int32_t readCalendar(ChainTail<VCalendarNode> &calendars);
    template <class Entity> int32_t readEntity(Entity &entity, uint32_t &linesRead);
    // Where a block begins: how many of its kind came before it, its
    // first line, where that line starts in a text in memory.
    struct Place {
        uint64_t ordinal;
        uint32_t line;
        const char *start;
    };
    template <class Entity> int32_t component(Entity **kept, const Place &place, bool &handed);
    int32_t reportProgress();

    vcal::LineReader lines_;
    vcal::EntityLines entityLines_;
    vCalProgressFct progress_;
    float step_ = 0;
    float running_ = 0;
    uint8_t *versionOk_;
    char *versionText_;
    char message_[vcal::kMessageSize] = {};
    vcal::ItemSink *sink_ = nullptr;
    bool checks_ = true;
    uint64_t eventsSeen_ = 0;
    uint64_t todosSeen_ = 0;
};

// vCal_GetPropertyFromLine: a node holding a copy of the line when its
// keyword is known, else null.
int32_t Reader::propertyFromLine(PropertyNode **out) {
    *out = nullptr;
    const uint16_t id = vcal::vCal_LookupPropertyKeyword(line(), lines_.length());
    if (id == 0) return 0;
    *out = vcal::newPropertyNode(id, lines_.text(), lines_.length());
    return *out != nullptr ? 0 : fail(VCAL_ERR_NO_MEMORY, "vCal_GetPropertyFromLine (malloc)");
}

// One line among a calendar's own: checked, then kept when its keyword is
// known. Every message that a check produces is appended here.
int32_t Reader::calendarLine(VCalendarNode *calendar, ChainTail<PropertyNode> &tail) {
    PropertyNode *node = nullptr;
    int32_t rc = propertyFromLine(&node);
    if (rc != 0) return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_GetPropertyFromLine");
    if (node == nullptr) {
        if (vcal::isBlankLine(line())) return 0;
        rc = say(vcal::kCodeUnknownLine, vcal::kMsgUnknownProperty);
        return rc == 0 ? 0 : fail(rc, "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 2");
    }
    if (tail.append(node)) calendar->properties = node;
    PropertyFlags &flags = calendar->flags;
    if (node->propertyId == VCAL_PROP_VERSION) {
        flags.flag[VCAL_SLOT_VERSION] = 1;
        vcal::vCal_CheckVersion(node->line, message_, lineNumber(), versionText_);
        const bool good = message_[0] == '\0';
        *versionOk_ = good ? 1 : 0;
        if (!good) {
            flags.flag[VCAL_SLOT_VERSION] = 0;
            flags.flag[VCAL_SLOT_INVALID] = 1;
        }
    } else {
        vcal::vCal_CheckPropertyValue(node, &flags, message_, lineNumber());
    }
    if (message_[0] == '\0') return 0;
    rc = append(node->propertyId, message_);
    return rc == 0 ? 0 : fail(rc, "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 2");
}

// vCal_GetVEventFromStream / vCal_GetVTodoFromStream: the lines after a
// BEGIN line up to the matching END line, into `entity` (the node's own
// fields) and entityLines_ (its property lines), which component() turns
// into one block when the entity is kept. Only refusals are appended
// here: a value that passed with a remark is not worth a message inside
// an event.
template <class Entity> int32_t Reader::readEntity(Entity &entity, uint32_t &linesRead) {
    using Kind = EntityKind<Entity>;
    int32_t rc = lines_.next();
    if (rc == VCAL_END_OF_STREAM) return rc;
    if (rc != 0) return fail(rc, Kind::kLineFailed);
    ++linesRead;
    entity = Entity{};
    entity.valid = 1;
    entityLines_.clear();
    while (!startsBlockLine(line())) {
        ++entity.propertyCount;
        const uint16_t id = vcal::vCal_LookupPropertyKeyword(line(), lines_.length());
        if (id != 0) {
            const PropertyNode *node = entityLines_.add(id, lines_.text(), lines_.length());
            if (node == nullptr) {
                WriteErrLog(2, VCAL_ERR_NO_MEMORY, "vCal_GetPropertyFromLine (malloc)");
                return fail(VCAL_ERR_NO_MEMORY, Kind::kPropertyFailed);
            }
            if (checks_ &&
                vcal::vCal_CheckPropertyValue(node, &entity.flags, message_, lineNumber()) == 0)
                rc = append(id, message_);
        } else if (!vcal::isBlankLine(line())) {
            rc = say(vcal::kCodeUnknownLine, vcal::kMsgUnknownProperty);
        }
        if (rc != 0) return fail(rc, Kind::kAppendFailed);
        rc = lines_.next();
        if (rc == VCAL_END_OF_STREAM) return rc;
        if (rc != 0) return fail(rc, Kind::kLineFailed);
        ++linesRead;
    }
    if (vcal::isWordLine(line(), "END", Kind::kName)) {
        if ((rc = checkForm(Kind::kFormCode)) != 0) return fail(rc, Kind::kAppendFailed);
        return 0;
    }
    if ((rc = say(vcal::kCodeStructure, Kind::kEndExpected)) != 0 ||
        (rc = say(vcal::kCodeStructure, vcal::kMsgCannotRecover)) != 0)
        return fail(rc, Kind::kAppendFailed);
    return fail(VCAL_ERR_UNRECOVERABLE, Kind::kCannotRecover);
}

int32_t Reader::reportProgress() { return progress_(0, 3, 1, static_cast<uint32_t>(running_)); }

// A BEGIN:VEVENT or BEGIN:VTODO block of a calendar. *kept receives the
// entity when it is to be linked into the calendar: only when the error
// text did not grow while it was read and checked. A reader with a sink
// hands it on instead, where its lines stand, and sets `handed`.
template <class Entity> int32_t Reader::component(Entity **kept, const Place &place, bool &handed) {
    using Kind = EntityKind<Entity>;
    *kept = nullptr;
    handed = false;
    int32_t rc = checkForm(Kind::kFormCode);
    if (rc != 0) return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 3");
    const size_t errorsBefore = errors.length;
    uint32_t linesRead = 0; // by the entity reader, its END line included
    Entity entity{};
    rc = readEntity(entity, linesRead);
    if (rc == VCAL_END_OF_STREAM)
        return fail(VCAL_ERR_UNTERMINATED,
                    "vCal_ParseTreeFromStreamGet (unexpected end of stream)");
    if (rc != 0) return fail(rc, Kind::kReadFailed);
    if (progress_ != nullptr) {
        running_ += static_cast<float>(linesRead) * step_;
        if ((rc = reportProgress()) != 0) return fail(rc, "vCal_ParseTreeFromStreamGet (progress)");
    }
    if (checks_) {
        rc = vcal::vCal_VerifyAllProperty(&entity.flags, &errors, &warnings, lineNumber(),
                                          Kind::kBlock);
        if (rc != 0) return fail(rc, Kind::kVerifyFailed);
    }
    if (errors.length != errorsBefore) return 0; // dropped: nothing was allocated for it
    if (sink_ != nullptr) {
        handed = true;
        entity.properties = entityLines_.link();
        return sink_->item(std::is_same_v<Entity, VEventNode> ? VCAL_ITEM_EVENT : VCAL_ITEM_TODO,
                           &entity, place.ordinal, place.line, place.start);
    }
    if ((*kept = entityLines_.build(entity)) == nullptr) {
        WriteErrLog(2, VCAL_ERR_NO_MEMORY, Kind::kCreateFailed);
        return fail(VCAL_ERR_NO_MEMORY, Kind::kReadFailed);
    }
    return 0;
}

// From a BEGIN:VCALENDAR line to its END:VCALENDAR line.
int32_t Reader::readCalendar(ChainTail<VCalendarNode> &calendars) {
    VCalendarNode *calendar = nullptr;
    int32_t rc = vcal::vCal_CreateVCalendarNode(&calendar);
    if (rc != 0) return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_CreateVCalendarNode");
    if (calendars.append(calendar)) handle->firstCalendar = calendar;
    ++handle->calendarsBegun;
    if ((rc = checkForm(vcal::kCodeCalendarForm)) != 0)
        return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 1");
    auto nextLine = [&](const char *step) {
        const int32_t got = lines_.next();
        if (got == VCAL_END_OF_STREAM)
            return fail(VCAL_ERR_UNTERMINATED,
                        "vCal_ParseTreeFromStreamGet (unexpected end of stream)");
        return got == 0 ? 0 : fail(got, step);
    };

    ChainTail<PropertyNode> properties;
    for (;;) {
        if ((rc = nextLine("vCal_ParseTreeFromStreamGet: vCal_GetALineFromStream 2")) != 0) {
            if (rc == VCAL_ERR_UNTERMINATED && sink_ != nullptr) {
                const int32_t handed = sink_->calendar(calendar);
                if (handed != 0) return handed;
            }
            return rc;
        }
        if (startsBlockLine(line())) break;
        if ((rc = calendarLine(calendar, properties)) != 0) return rc;
    }
    rc = vcal::vCal_VerifyAllProperty(&calendar->flags, &errors, &warnings, lineNumber(),
                                      vcal::kBlockCalendar);
    if (rc != 0) return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_VerifyAllProperty 1");
    if (vcal::isWordLine(line(), "END", nullptr) &&
        (rc = say(vcal::kCodeCalendarForm, vcal::kMsgNoComponents)) != 0)
        return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 2");
    if (sink_ != nullptr && (rc = sink_->calendar(calendar)) != 0) return rc;

    // The events and to-dos of this calendar, a blank line here and there.
    ChainTail<VEventNode> events;
    ChainTail<VTodoNode> todos;
    for (;;) {
        if (vcal::isWordLine(line(), "END", "VCALENDAR")) {
            if ((rc = checkForm(vcal::kCodeCalendarForm)) != 0)
                return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 1");
            ++handle->calendarsEnded;
            return 0;
        }
        const uint32_t begin = lines_.firstLineNumber();
        const char *const start = lines_.start();
        if (vcal::isWordLine(line(), "BEGIN", "VEVENT")) {
            ++handle->eventsRead;
            VEventNode *event = nullptr;
            bool handed = false;
            rc = component(&event, {eventsSeen_++, begin, start}, handed);
            if (event != nullptr && events.append(event)) calendar->events = event;
            if (event != nullptr || handed) {
                ++calendar->eventCount;
                ++handle->eventsKept;
            }
        } else if (vcal::isWordLine(line(), "BEGIN", "VTODO")) {
            ++handle->todosRead;
            VTodoNode *todo = nullptr;
            bool handed = false;
            rc = component(&todo, {todosSeen_++, begin, start}, handed);
            if (todo != nullptr && todos.append(todo)) calendar->todos = todo;
            if (todo != nullptr || handed) {
                ++calendar->todoCount;
                ++handle->todosKept;
            }
        } else if (!vcal::isBlankLine(line())) {
            if ((rc = say(vcal::kCodeUnknownBegin, vcal::kMsgUnknownBegin)) != 0 ||
                (rc = say(vcal::kCodeStructure, vcal::kMsgCannotRecover)) != 0)
                return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_AppendErrMesg 3");
            return fail(VCAL_ERR_UNRECOVERABLE, "vCal_ParseTreeFromStreamGet (unknown BEGIN)");
        }
        if (rc != 0) return rc;
        if ((rc = nextLine("vCal_ParseTreeFromStreamGet: vCal_GetALineFromStream 3")) != 0)
            return rc;
    }
}

int32_t Reader::run() {
    handle = static_cast<ParseTreeHandle *>(std::calloc(1, sizeof(ParseTreeHandle)));
    if (handle == nullptr) return fail(VCAL_ERR_NO_MEMORY, "vCal_ParseTreeFromStreamGet (malloc)");
    ChainTail<VCalendarNode> calendars;
    bool ended = false; // the handle's counters wrap; this does not
    for (;;) {
        int32_t rc = lines_.next();
        if (rc == VCAL_END_OF_STREAM) break;
        if (rc != 0) return fail(rc, "vCal_ParseTreeFromStreamGet: vCal_GetALineFromStream 1");
        if (!vcal::isWordLine(line(), "BEGIN", "VCALENDAR")) {
            // Lines before a calendar are passed over; the client only
            // learns how far the reading got, and cannot stop it here.
            if (progress_ != nullptr) {
                reportProgress();
                running_ += step_;
            }
            continue;
        }
        if ((rc = readCalendar(calendars)) != 0) return rc;
        ended = true;
    }
    if (handle->firstCalendar == nullptr)
        return fail(VCAL_ERR_NO_VCALENDAR, "vCal_ParseTreeFromStreamGet (no BEGIN:VCALENDAR)");
    if (!ended)
        return fail(VCAL_ERR_NO_CALENDAR_CLOSED, "vCal_ParseTreeFromStreamGet (no END:VCALENDAR)");
    return 0;
}

// What a reading leaves to its caller: the tree when it is worth keeping,
// and the texts of its messages.
int32_t finishReading(Reader &reader, int32_t rc, ParseTreeHandle **phandle, char **errmesgptr,
                      char **warningptr) {
    if (rc == 0 && reader.errors.length > 0)
        rc = fail(VCAL_ERR_READ_WITH_ERRORS, "vCal_ParseTreeFromStreamGet (error messages)");
    const bool keep = rc == 0 || rc == VCAL_ERR_READ_WITH_ERRORS || rc == VCAL_ERR_UNRECOVERABLE ||
                      rc == VCAL_ERR_UNTERMINATED;
    if (keep) {
        *phandle = reader.handle;
    } else if (reader.handle != nullptr) {
        vCal_DestroyParseTree(&reader.handle);
    }
    if (reader.errors.text != nullptr) *errmesgptr = reader.errors.release();
    if (reader.warnings.text != nullptr) *warningptr = reader.warnings.release();
    return rc;
}

} // namespace

VERSIT_API int32_t vCal_ParseTreeFromStreamGet(ParseTreeHandle **phandle, void *streamptr,
                                               vCalStreamNextByteGet NextByteGet, char **errmesgptr,
                                               char **warningptr, vCalProgressFct progress,
                                               uint32_t *lineCount, uint8_t *versionOk,
                                               char *versionText, uint32_t /*reserved*/) {
    if (phandle != nullptr) *phandle = nullptr;
    // The first fault among the other arguments wins; a missing phandle is
    // reported only when they are all fine.
    if (streamptr == nullptr)
        return fail(VCAL_ERR_NULL_STREAM, "vCal_ParseTreeFromStreamGet (streamptr)");
    if (NextByteGet == nullptr)
        return fail(VCAL_ERR_NULL_GET_CALLBACK, "vCal_ParseTreeFromStreamGet (NextByteGet)");
    if (errmesgptr == nullptr)
        return fail(VCAL_ERR_NULL_ERROR_TEXT, "vCal_ParseTreeFromStreamGet (errmesgptr)");
    if (warningptr == nullptr)
        return fail(VCAL_ERR_NULL_WARNING_TEXT, "vCal_ParseTreeFromStreamGet (warningptr)");
    if (progress != nullptr && lineCount == nullptr)
        return fail(VCAL_ERR_NO_LINE_COUNT, "vCal_ParseTreeFromStreamGet (warningptr)");
    if (versionOk == nullptr || versionText == nullptr)
        return fail(VCAL_ERR_VERSION_BUFFER, "vCal_ParseTreeFromStreamGet (warningptr)");
    if (phandle == nullptr)
        return fail(VCAL_ERR_NULL_HANDLE, "vCal_ParseTreeFromStreamGet (phandle)");

    if (lineCount != nullptr && *lineCount == 0) *lineCount = 1;
    *versionOk = 0;
    std::memset(versionText, 0, 8);
    Reader reader(streamptr, NextByteGet, progress, lineCount != nullptr ? *lineCount : 1,
                  versionOk, versionText);
    return finishReading(reader, reader.run(), phandle, errmesgptr, warningptr);
}

namespace vcal {

int32_t readByItem(ParseTreeHandle **handle, void *stream, vCalStreamNextByteGet get, char **errors,
                   char **warnings, ItemSink &sink, bool checks) {
    *handle = nullptr;
    uint8_t versionOk = 0;
    char versionText[9] = {};
    Reader reader(stream, get, nullptr, 1, &versionOk, versionText);
    reader.handTo(&sink, checks);
    sink.errors = &reader.errors;
    const int32_t rc = reader.run();
    sink.errors = nullptr;
    return finishReading(reader, rc, handle, errors, warnings);
}

} // namespace vcal
