// Writing a parse tree as vCalendar 1.0 text through the caller's byte
// sink. The property nodes hold finished lines; the writer adds the
// calendar and entity framing, the product and version lines and the line
// ends.
//
// Choice of this implementation: vCal_PutALineToStream refuses a null
// callback (VCAL_ERR_NULL_PUT_CALLBACK, "vCal_PutALineToStream (putfunc)")
// rather than call through it.
#include <cstdio>

#include "diag/errlog.h"
#include "vcal/vcaltree.h"
#include "versit_vcal.h"

namespace {

using errlog::fail;

// Step numbers of the failure messages, one per kind of line.
enum Step : uint8_t {
    kBeginCalendar,
    kHeader, // PRODID and VERSION
    kCalendarLine,
    kBeginEvent,
    kEventLine,
    kEndEvent,
    kBeginTodo,
    kTodoLine,
    kEndTodo,
    kEndCalendar,
};
constexpr const char *kStepNames[] = {"1", "1.1", "2", "3", "4", "5", "6", "7", "8", "9"};

// One writing of a tree: the sink, what to write, the progress.
struct Writer {
    void *stream;
    vCalStreamNextBytePut put;
    const char *function; // for the failure messages
    vCalProgressFct progress;
    float running;
    float increment;
    bool validOnly;

    int32_t line(const char *text, Step step) const {
        const int32_t rc = vCal_PutALineToStream(stream, put, text);
        return rc != 0 ? failStep(rc, step) : 0;
    }
    int32_t failStep(int32_t rc, Step step) const {
        char message[96];
        std::snprintf(message, sizeof message, "%s: (vCal_PutALineToStream) %s", function,
                      kStepNames[step]);
        return fail(rc, message);
    }
    // "PRODID:-//" or "VERSION:" and the text, as one line: the keyword's
    // bytes go first, so that no joined copy is needed.
    int32_t header(const char *keyword, const char *text) const {
        int32_t rc = 0;
        for (const char *p = keyword; *p != '\0' && rc == 0; ++p)
            rc = put(stream, static_cast<uint8_t>(*p));
        if (rc != 0) fail(rc, "vCal_PutALineToStream (vCalStreamNextBytePut)");
        return rc != 0 ? failStep(rc, kHeader) : line(text, kHeader);
    }
    int32_t lines(const PropertyNode *node, Step step) const {
        for (; node != nullptr; node = node->next) {
            const int32_t rc = line(node->line, step);
            if (rc != 0) return rc;
        }
        return 0;
    }
    void report() {
        if (progress == nullptr) return;
        progress(0, 3, 4, static_cast<uint32_t>(running));
        running += increment;
        if (running > 98.0f) running = 98.0f;
    }
    // Every event (to-do) of a chain, framed.
    template <class Entity>
    int32_t entities(const Entity *node, const char *begin, const char *end, Step first) {
        for (; node != nullptr; node = node->next) {
            if (validOnly && node->valid == 0) continue;
            report();
            int32_t rc = line(begin, first);
            if (rc == 0) rc = lines(node->properties, static_cast<Step>(first + 1));
            if (rc == 0) rc = line(end, static_cast<Step>(first + 2));
            if (rc != 0) return rc;
        }
        return 0;
    }
    int32_t calendars(ParseTreeHandle *handle, const char *version, const char *product) {
        if (progress != nullptr) {
            if (handle->eventsKept == 0) handle->eventsKept = 1;
            increment = 30.0f / static_cast<float>(handle->eventsKept);
            running = 70.0f;
        }
        for (const VCalendarNode *c = handle->firstCalendar; c != nullptr; c = c->next) {
            int32_t rc = line("BEGIN:VCALENDAR", kBeginCalendar);
            if (rc == 0 && product != nullptr) rc = header("PRODID:-//", product);
            if (rc == 0) rc = lines(c->properties, kCalendarLine);
            if (rc == 0 && version != nullptr) rc = header("VERSION:", version);
            if (rc == 0) rc = entities(c->events, "BEGIN:VEVENT", "END:VEVENT", kBeginEvent);
            if (rc == 0) rc = entities(c->todos, "BEGIN:VTODO", "END:VTODO", kBeginTodo);
            if (rc == 0) rc = line("END:VCALENDAR", kEndCalendar);
            if (rc != 0) return rc;
        }
        return 0;
    }
};

} // namespace

VERSIT_API int32_t vCal_PutALineToStream(void *stream, vCalStreamNextBytePut NextBytePut,
                                         const char *line) {
    if (line == nullptr) return fail(VCAL_ERR_NULL_LINE, "vCal_PutALineToStream (nullstr)");
    if (NextBytePut == nullptr)
        return fail(VCAL_ERR_NULL_PUT_CALLBACK, "vCal_PutALineToStream (putfunc)");
    for (const char *p = line;; ++p) {
        const uint8_t byte = *p != '\0' ? static_cast<uint8_t>(*p) : '\n';
        const int32_t rc = NextBytePut(stream, byte);
        if (rc != 0) return fail(rc, "vCal_PutALineToStream (vCalStreamNextBytePut)");
        if (*p == '\0') return 0;
    }
}

VERSIT_API int32_t vCal_ParseTreeToStreamPut(ParseTreeHandle *handle, void *stream,
                                             vCalStreamNextBytePut NextBytePut, const char *version,
                                             vCalProgressFct progress) {
    if (handle == nullptr) return fail(VCAL_ERR_NULL_HANDLE, "vCal_ParseTreeToStreamPut(pHandle)");
    if (stream == nullptr)
        return fail(VCAL_ERR_NULL_STREAM, "vCal_ParseTreeToStreamPut(streamptr)");
    if (NextBytePut == nullptr)
        return fail(VCAL_ERR_NULL_PUT_CALLBACK, "vCal_ParseTreeToStreamPut(putfunc)");
    if (version == nullptr || *version == '\0')
        return fail(VCAL_ERR_VERSION_BUFFER, "vCal_ParseTreeToStreamPut (version)");
    if (handle->firstCalendar == nullptr)
        return fail(VCAL_ERR_NO_TREE, "vCal_ParseTreeToStreamPut(vcalendar)");
    Writer w{stream, NextBytePut, "vCal_ParseTreeToStreamPut", progress, 0.0f, 0.0f, false};
    return w.calendars(handle, version, "Larkspur Calendar");
}

VERSIT_API int32_t vCal_ParseTreeToStreamPutEx(ParseTreeHandle *handle, void *stream,
                                               vCalStreamNextBytePut NextBytePut,
                                               const char *version, const char *product,
                                               vCalProgressFct progress) {
    if (handle == nullptr)
        return fail(VCAL_ERR_NULL_HANDLE, "vCal_ParseTreeToStreamPutEx(pHandle)");
    if (stream == nullptr)
        return fail(VCAL_ERR_NULL_STREAM, "vCal_ParseTreeToStreamPutEx(streamptr)");
    if (NextBytePut == nullptr)
        return fail(VCAL_ERR_NULL_PUT_CALLBACK, "vCal_ParseTreeToStreamPutEx(putfunc)");
    if (vCal_AnyValidEntityInPTree(handle) == 0) return fail(VCAL_ERR_NO_CALENDAR_CLOSED, nullptr);
    if (handle->firstCalendar == nullptr)
        return fail(VCAL_ERR_NO_TREE, "vCal_ParseTreeToStreamPutEx(vcalendar)");
    Writer w{stream, NextBytePut, "vCal_ParseTreeToStreamPutEx", progress, 0.0f, 0.0f, true};
    return w.calendars(handle, version, product);
}
