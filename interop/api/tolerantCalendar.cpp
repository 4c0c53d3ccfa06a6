// Tolerant vCalendar reading as clients hold it: the text rewritten once
// (see calendarRecover.cpp) and read by the exact reader; then every event
// and to-do taken as the exact walk takes them, except that an item is
// never the end of the walk: one whose conversion fails is reported and
// passed over, one whose recurrence rule cannot be expanded is kept
// without its repetitions, and one that ends when it starts is kept.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "interop/api/reader.h"
#include "interop/charset/utf8.h"
#include "vcal/vcalitem.h"
#include "vcal/vcalline.h"
#include "vcal/vcalptin.h"

namespace {

constexpr int32_t kMaxZone = 720; // minutes: a zone is at most twelve hours away

// Each message of the exact reader's error text from `p` on, with the line
// it names in the text read (0 for none); where the text ends.
template <class Fn> const char *forEachMessage(const char *p, Fn fn) {
    while (p != nullptr && *p != '\0') {
        const char *end = std::strpbrk(p, "\r\n");
        const size_t length = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
        // (The search stays inside the message: a text of many messages
        // without a line would be searched to its end for each.)
        const std::string_view message(p, length);
        unsigned long long line = 0;
        if (const size_t number = message.find("line "); number != std::string_view::npos)
            line = std::strtoull(p + number + 5, nullptr, 10);
        fn(message, static_cast<uint64_t>(line));
        p = end != nullptr ? end : p + length;
        while (*p == '\r' || *p == '\n')
            ++p;
    }
    return p;
}

// The original lines of the messages placed while the text was read
// (a text made as it is read forgets its lines as it goes).
struct PlacedMessages {
    static void place(void *user) {
        auto &m = *static_cast<PlacedMessages *>(user);
        if (m.sink.errors != nullptr) m.placeFrom(m.sink.errors->text);
    }
    // The messages of `text`, the error text so far, not placed yet.
    void placeFrom(const char *text) {
        if (text == nullptr) return;
        const char *const end = forEachMessage(text + done, [&](std::string_view, uint64_t line) {
            if (!lines.push(r.repaired.originalLine(line))) failed = true;
        });
        done = static_cast<size_t>(end - text);
    }

    const VI_TolerantReader &r;
    const vcal::ItemSink &sink;
    interop::Array<uint64_t> lines;
    size_t done = 0; // bytes of the error text placed
    bool failed = false;
};

// The exact reader's errors on the rewritten text, at their lines of the
// original: what the rewriting did not foresee.
void reportErrors(VI_TolerantReader &r, const char *errors,
                  const PlacedMessages *placed = nullptr) {
    size_t i = 0;
    forEachMessage(errors, [&](std::string_view message, uint64_t line) {
        const uint64_t original = placed != nullptr && i < placed->lines.size()
                                      ? placed->lines[i]
                                      : r.repaired.originalLine(line);
        ++i;
        r.report(original, VI_REPORT_LOST, "the exact reader: %.*s",
                 static_cast<int>(message.size()), message.data());
    });
}

// Whether lines the exact reader took need the rewrite all the same: a
// value of nothing but blanks (extraction refuses it), or quoted-printable
// text that decodes to 8-bit bytes (which extraction would turn into "^").
bool linesNeedRewrite(const PropertyNode *p) {
    for (; p != nullptr; p = p->next) {
        // (Most lines have no parameters: the colon comes first.)
        const char *line = p->line;
        const char *mark = vcal::nameEnd(line);
        const char *colon = mark;
        if (*mark == ';') {
            colon = std::strchr(mark, ':');
            if (colon == nullptr) continue;
        } else if (*mark == '\0') {
            continue;
        }
        const char *v = colon + 1;
        while (*v == ' ' || *v == '\t' || *v == '\r' || *v == '\n')
            ++v;
        if (*v == '\0') return true;
        if (mark == colon) continue;
        // (An escape of an 8-bit byte is looked for first: most values
        // hold none, and then the parameters need no reading.)
        bool eightBitEscape = false;
        for (const char *e = std::strchr(colon, '='); e != nullptr && !eightBitEscape;
             e = std::strchr(e + 1, '=')) {
            const char c = e[1];
            eightBitEscape =
                (c >= '8' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        }
        if (eightBitEscape && vcal::lineEncoding(line, static_cast<size_t>(colon - line)) ==
                                  vcal::LineEncoding::QuotedPrintable)
            return true;
    }
    return false;
}

bool needsRewrite(const ParseTreeHandle *tree) {
    for (const VCalendarNode *c = tree->firstCalendar; c != nullptr; c = c->next) {
        if (linesNeedRewrite(c->properties)) return true;
        for (const VEventNode *e = c->events; e != nullptr; e = e->next)
            if (linesNeedRewrite(e->properties)) return true;
        for (const VTodoNode *t = c->todos; t != nullptr; t = t->next)
            if (linesNeedRewrite(t->properties)) return true;
    }
    return false;
}

// The exact reader over `length` bytes of text into r.tree; its error text
// (malloc'ed, or null) in *errors, its warnings dropped.
int32_t readTree(VI_TolerantReader &r, const char *text, size_t length, char **errors) {
    // (The exact reader takes a text in memory a line at a time.)
    vcal::MemoryStream source{text, text + length};
    char *warnings = nullptr;
    uint8_t versionOk = 0;
    char version[9];
    const int32_t rc =
        vCal_ParseTreeFromStreamGet(&r.tree, &source, vcal::memoryNextByte, errors, &warnings,
                                    nullptr, nullptr, &versionOk, version, 0);
    std::free(warnings);
    return rc;
}

// Most files need no repair: a text of 7-bit bytes that the exact reader
// reads without an error is taken as it stands, read once, with no copy.
// Returns 1 when it was, 0 when it needs the rewrite, or a failure.
int32_t readAsWritten(VI_TolerantReader &r) {
    if (interop::hasEightBitBytes(r.text, r.length)) return 0;
    char *errors = nullptr;
    const int32_t rc = readTree(r, r.text, r.length, &errors);
    const bool clean = rc == 0 && errors == nullptr && r.tree != nullptr && !needsRewrite(r.tree);
    std::free(errors);
    if (rc == VCAL_ERR_NO_MEMORY || !clean) {
        if (r.tree != nullptr) vCal_DestroyParseTree(&r.tree);
        return rc == VCAL_ERR_NO_MEMORY ? rc : 0;
    }
    if (!interop::findItems(r.text, r.length, r.repaired)) {
        vCal_DestroyParseTree(&r.tree);
        r.repaired.clear();
        return VCAL_ERR_NO_MEMORY;
    }
    return 1;
}

int32_t readCalendars(VI_TolerantReader &r) {
    if (r.calendarsRead) return 0;
    r.report.startItem();
    r.repaired.clear();
    const int32_t asWritten = readAsWritten(r);
    if (asWritten == 1) {
        r.calendarsRead = true;
        return 0;
    }
    if (asWritten != 0) return asWritten;
    if (!interop::repairCalendars(r.text, r.length, r.report, r.repaired))
        return VCAL_ERR_NO_MEMORY;
    char *errors = nullptr;
    const int32_t rc = readTree(r, r.repaired.text.text, r.repaired.text.length, &errors);
    reportErrors(r, errors);
    std::free(errors);
    if (rc == VCAL_ERR_NO_MEMORY) {
        if (r.tree != nullptr) vCal_DestroyParseTree(&r.tree);
        return rc;
    }
    r.calendarsRead = true;
    r.counts.junkLines += r.repaired.junkLines;
    r.counts.skipped += r.repaired.skipped;
    return 0;
}

// Local times within a zone's reach of the ends of the client's years fall
// outside them once the zone is taken off: before 1991 the minutes wrap
// round to a year thousands on, after 2036 no reader takes them back. Each
// is brought to the end it passed; how many were is returned.
int fitTimes(PropertyParam *item) {
    constexpr CalapiTime kLast = 16802u * 1440u - 1u; // 2036-12-31 23:59 UTC
    int fitted = 0;
    auto fit = [&](CalapiTime t) {
        if (t <= kLast) return t;
        ++fitted;
        return t >= 0x80000000u ? 0 : kLast;
    };
    // The record is packed: its fields are read and written by value.
    item->audioAlarmTime = fit(item->audioAlarmTime);
    item->displayAlarmTime = fit(item->displayAlarmTime);
    item->completedTime = fit(item->completedTime);
    item->createdTime = fit(item->createdTime);
    item->dueTime = fit(item->dueTime);
    item->endTime = fit(item->endTime);
    item->startTime = fit(item->startTime);
    for (TimeNode *chain : {item->exceptionDates.next, item->recurrenceDates.next}) {
        for (TimeNode *n = chain; n != nullptr; n = n->next)
            n->time = fit(n->time);
    }
    return fitted;
}

// Failures of extraction that say memory ran out: the item is not
// passed over for them, the call fails and can be repeated.
bool outOfMemory(int32_t rc) {
    return rc == VCAL_ERR_NO_MEMORY || rc == KL_LIST_E_CREATE_NO_MEMORY ||
           rc == KL_LIST_E_ADD_FRONT || rc == KL_LIST_E_NO_MEMORY ||
           rc == KL_LIST_E_ALLOC_NO_MEMORY || rc == KL_LIST_E_SORTED_INSERT;
}

// The position of `calendar` among the tree's calendars, or -1.
long calendarIndex(const VI_TolerantReader &r, const VCalendarNode *calendar) {
    long i = 0;
    for (const VCalendarNode *c = r.tree != nullptr ? r.tree->firstCalendar : nullptr; c != nullptr;
         c = c->next, ++i) {
        if (c == calendar) return i;
    }
    return -1;
}

// The item's node with its RRULE and EXRULE lines set aside: converted
// again, it keeps everything but its repetitions.
template <class Entity>
int32_t withoutRules(Entity *node, uint16_t type, PropertyParam *item, int32_t zone) {
    // Two chains, each in the order of the text. The nodes are packed: a
    // `next` field is reached through its node, never through its address.
    PropertyNode *first[2] = {nullptr, nullptr}; // the other lines, the rules
    PropertyNode *last[2] = {nullptr, nullptr};
    for (PropertyNode *p = node->properties, *next = nullptr; p != nullptr; p = next) {
        next = p->next;
        p->next = nullptr;
        const int k = p->propertyId == VCAL_PROP_RRULE || p->propertyId == VCAL_PROP_EXRULE;
        if (last[k] != nullptr)
            last[k]->next = p;
        else
            first[k] = p;
        last[k] = p;
    }
    node->properties = first[0];
    PropertyFlags flags;
    std::memcpy(&flags, &node->flags, sizeof flags);
    node->flags.flag[VCAL_SLOT_RRULE] = node->flags.flag[VCAL_SLOT_EXRULE] = 0;
    const int32_t rc = vcal::ChangeFormatPTreeToKRec(node, type, item, nullptr, zone);
    std::memcpy(&node->flags, &flags, sizeof flags);
    // The rule lines go back behind the others: their order among
    // themselves and after the rest is all the reader relies on.
    if (last[0] != nullptr)
        last[0]->next = first[1];
    else
        node->properties = first[1];
    return rc;
}

template <class Entity>
int32_t takeNext(VI_TolerantReader &r, uint16_t type, PropertyParam *item,
                 const PropertyNode **lines) {
    const char *what = type == VCAL_ITEM_EVENT ? "event" : "to-do";
    for (auto *node = static_cast<Entity *>(const_cast<void *>(r.walkNode)); node != nullptr;
         node = static_cast<Entity *>(const_cast<void *>(r.walkNode))) {
        const void *const here = r.walkNode;
        const size_t hereIndex = r.walkIndex;
        auto retryLater = [&](int32_t rc) {
            vcal::releaseItem(item);
            r.walkNode = here;
            r.walkIndex = hereIndex;
            return rc;
        };
        r.walkNode = node->next;
        const interop::ItemOrigin *known = r.repaired.origin(type, r.walkIndex);
        const interop::ItemOrigin origin =
            known != nullptr ? *known : interop::ItemOrigin{0, false, false, 0, 0};
        ++r.walkIndex;
        r.report.startItem();
        if (node->valid == 0) {
            r.report(origin.line, VI_REPORT_SKIPPED, "left out an %s the exact reader refuses",
                     what);
            ++r.counts.skipped;
            continue;
        }
        int32_t rc = vcal::ChangeFormatPTreeToKRec(node, type, item, nullptr, r.walkZone);
        if (outOfMemory(rc)) return retryLater(rc);
        if (rc != 0 &&
            (node->flags.flag[VCAL_SLOT_RRULE] != 0 || node->flags.flag[VCAL_SLOT_EXRULE] != 0)) {
            vcal::releaseItem(item);
            const int32_t failed = rc;
            rc = withoutRules(node, type, item, r.walkZone);
            if (outOfMemory(rc)) return retryLater(rc);
            if (rc == 0)
                r.report(origin.line, VI_REPORT_LOST,
                         "its recurrence rule could not be expanded (%s): the %s is kept "
                         "without its repetitions",
                         VI_resultName(failed) != nullptr ? VI_resultName(failed) : "?", what);
        }
        if (rc != 0) {
            vcal::releaseItem(item);
            r.report(origin.line, VI_REPORT_SKIPPED, "left out an %s that cannot be converted (%s)",
                     what, VI_resultName(rc) != nullptr ? VI_resultName(rc) : "?");
            ++r.counts.skipped;
            continue;
        }
        if (const int fitted = fitTimes(item))
            r.report(origin.line, VI_REPORT_LOST,
                     "%d time%s outside the years 1991 to 2036 once the zone is taken off: "
                     "brought to the nearest end",
                     fitted, fitted == 1 ? "" : "s");
        // The exact walk passes over events that do not end after they
        // start; here they are kept, ending when they start at the latest.
        // What it drops besides, alarms not before the start and a to-do's
        // times before it, is lost to the client: a loss, reported.
        static constexpr struct {
            uint8_t slot;
            const char *what;
        } kDropped[] = {{VCAL_SLOT_AALARM, "AALARM: it is not before the start"},
                        {VCAL_SLOT_DALARM, "DALARM: it is not before the start"},
                        {VCAL_SLOT_DTEND, "DTEND: it lies before the start"},
                        {VCAL_SLOT_COMPLETED, "COMPLETED: it lies before the start"},
                        {VCAL_SLOT_DUE, "DUE: it lies before the start"}};
        uint8_t had[sizeof kDropped / sizeof kDropped[0]];
        for (size_t i = 0; i < sizeof had; ++i)
            had[i] = item->flags.flag[kDropped[i].slot];
        if (vcal::vCal_AcceptItem(item, nullptr, type) == 0 && type == VCAL_ITEM_EVENT &&
            item->endTime < item->startTime) {
            item->endTime = item->startTime;
            r.report(origin.line, VI_REPORT_REPAIRED,
                     "the event ends before it starts: read as ending when it starts");
        }
        for (size_t i = 0; i < sizeof had; ++i) {
            if (had[i] != 0 && item->flags.flag[kDropped[i].slot] == 0)
                r.report(origin.line, VI_REPORT_LOST, "dropped %s", kDropped[i].what);
        }
        ++r.counts.read;
        if (origin.repaired || r.report.repaired()) ++r.counts.repaired;
        if (origin.lossy || r.report.lossy()) ++r.counts.lossy;
        if (lines != nullptr) *lines = node->properties;
        return 0;
    }
    return VCAL_ERR_NO_MORE_ENTITIES;
}

const PropertyNode *linesOf(uint16_t type, const void *node) {
    return type == VCAL_ITEM_EVENT ? static_cast<const VEventNode *>(node)->properties
                                   : static_cast<const VTodoNode *>(node)->properties;
}

// Ends a first reading as soon as a line needs the rewrite.
constexpr int32_t kNeedsRewrite = INT32_MIN;

// A reading that keeps nothing: how many calendars the text has, and
// whether a line the exact reader takes needs the rewrite all the same.
class Survey final : public vcal::ItemSink {
  public:
    explicit Survey(bool stopAtRewrite) : stop_(stopAtRewrite) {}
    int32_t calendar(VCalendarNode *calendar) override {
        ++calendars;
        return note(calendar->properties);
    }
    int32_t item(uint16_t type, const void *node, uint64_t, uint64_t, const char *) override {
        return note(linesOf(type, node));
    }
    uint64_t calendars = 0;
    bool rewrite = false;

  private:
    int32_t note(const PropertyNode *lines) {
        if (rewrite || !linesNeedRewrite(lines)) return 0;
        rewrite = true;
        return stop_ ? kNeedsRewrite : 0;
    }
    bool stop_;
};

// The reading that hands each calendar and item on, with where the item
// comes from: for the text as written, its own BEGIN line; for the
// rewritten one, what the rewriting learnt of it.
class Handing final : public vcal::ItemSink {
  public:
    Handing(const VI_TolerantReader &r, interop::CalendarItems &to, const char *text)
        : r_(r), to_(to), text_(text) {}
    int32_t calendar(VCalendarNode *calendar) override { return stopped = to_.calendar(*calendar); }
    int32_t item(uint16_t type, const void *node, uint64_t ordinal, uint64_t line,
                 const char *start) override {
        if (r_.repaired.asWritten) {
            const interop::ItemOrigin origin{
                line, false, false, start != nullptr ? static_cast<size_t>(start - text_) : 0,
                line};
            return stopped = to_.item(type, linesOf(type, node), &origin);
        }
        return stopped = to_.item(type, linesOf(type, node), r_.repaired.origin(type, ordinal));
    }
    int32_t stopped = 0; // the code `to` ended the reading with

  private:
    const VI_TolerantReader &r_;
    interop::CalendarItems &to_;
    const char *text_;
};

// One reading of a text item by item; its error text (malloc'ed, or null)
// in *errors when asked for.
int32_t readPass(vcal::MemoryStream &source, vcal::ItemSink &sink, bool checks, char **errors) {
    ParseTreeHandle *tree = nullptr;
    char *found = nullptr;
    char *warnings = nullptr;
    const int32_t rc =
        vcal::readByItem(&tree, &source, vcal::memoryNextByte, &found, &warnings, sink, checks);
    std::free(warnings);
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    if (errors != nullptr)
        *errors = found;
    else
        std::free(found);
    return rc;
}

int32_t readPass(const char *text, size_t length, vcal::ItemSink &sink, bool checks,
                 char **errors) {
    vcal::MemoryStream source{text, text + length};
    return readPass(source, sink, checks, errors);
}

// The readings that hand on, as many as `to` asks for: the result of `to`,
// or of memory running out; whatever else the exact reader says is in its
// messages. The text as written is read without the checks; the rewritten
// one is made again each time, quietly.
int32_t handOn(VI_TolerantReader &r, interop::CalendarItems &to, uint64_t calendars,
               interop::CalendarHeads &heads) {
    for (int pass = 0; pass < to.passes(); ++pass) {
        int32_t rc = to.begin(calendars);
        if (rc != 0) return rc;
        Handing handing(r, to, r.text);
        if (r.repaired.asWritten) {
            rc = readPass(r.text, r.length, handing, false, nullptr);
        } else {
            interop::Reporter silent(nullptr, nullptr);
            interop::CalendarRepairFeed feed(r.text, r.length, silent, r.repaired, heads);
            rc = readPass(feed.stream(), handing, true, nullptr);
            if (feed.failed()) rc = VCAL_ERR_NO_MEMORY;
        }
        if (handing.stopped != 0) return handing.stopped;
        if (rc == VCAL_ERR_NO_MEMORY) return rc;
    }
    return 0;
}

} // namespace

namespace interop {

// As readCalendars decides, but the text is read once to decide (or, when
// rewritten, to count and report) and then once each time `to` wants the
// items, so that no more than one item is held: a rewritten text is made
// as it is read, each time. A text read as written is read again without
// the checks the first reading made.
int32_t readCalendarsByItem(VI_TolerantReader &r, CalendarItems &to) {
    r.report.startItem();
    r.repaired.clear();
    CalendarHeads heads; // of a rewritten text, from its first making
    if (!hasEightBitBytes(r.text, r.length)) {
        Survey survey(true);
        char *errors = nullptr;
        const int32_t rc = readPass(r.text, r.length, survey, true, &errors);
        const bool clean = rc == 0 && errors == nullptr && !survey.rewrite;
        std::free(errors);
        if (rc == VCAL_ERR_NO_MEMORY) return rc;
        if (clean) {
            r.repaired.asWritten = true;
            return handOn(r, to, survey.calendars, heads);
        }
    }
    Survey survey(false);
    PlacedMessages placed{r, survey, {}, 0, false};
    char *errors = nullptr;
    int32_t rc = 0;
    {
        CalendarRepairFeed feed(r.text, r.length, r.report, r.repaired, heads);
        feed.beforeForgetting(PlacedMessages::place, &placed);
        rc = readPass(feed.stream(), survey, true, &errors);
        // The exact reader may give up before the end: the rewriting
        // still reports on the rest, once the messages are placed.
        placed.placeFrom(errors);
        if (!feed.finish() || placed.failed) rc = VCAL_ERR_NO_MEMORY;
    }
    reportErrors(r, errors, &placed);
    std::free(errors);
    if (rc == VCAL_ERR_NO_MEMORY) return rc;
    r.counts.junkLines += r.repaired.junkLines;
    r.counts.skipped += r.repaired.skipped;
    return handOn(r, to, survey.calendars, heads);
}

} // namespace interop

extern "C" {

VERSIT_INTEROP_API int32_t VI_readCalendarsTolerantly(VI_TolerantReader *reader,
                                                      ParseTreeHandle **tree) {
    if (tree != nullptr) *tree = nullptr;
    if (reader == nullptr || tree == nullptr) return VCAL_ERR_NULL_ARGUMENT;
    const int32_t rc = readCalendars(*reader);
    if (rc != 0) return rc;
    *tree = reader->tree;
    return reader->tree != nullptr ? 0 : VCAL_ERR_NO_VCALENDAR;
}

VERSIT_INTEROP_API int32_t VI_takeItemTolerantly(VI_TolerantReader *reader, VCalendarNode *calendar,
                                                 uint16_t type, int first, PropertyParam *item,
                                                 const PropertyNode **lines) {
    if (lines != nullptr) *lines = nullptr;
    if (reader == nullptr || calendar == nullptr) return VCAL_ERR_NULL_CALENDAR;
    if (item == nullptr) return VCAL_ERR_NULL_PROPERTY_PARAM;
    if (type != VCAL_ITEM_EVENT && type != VCAL_ITEM_TODO) return VCAL_ERR_BAD_ITEM_TYPE;
    VI_TolerantReader &r = *reader;
    if (first != 0) {
        const long index = calendarIndex(r, calendar);
        const interop::Array<uint32_t> &bases =
            type == VCAL_ITEM_EVENT ? r.repaired.calendarEvents : r.repaired.calendarTodos;
        r.walkIndex = index >= 0 && static_cast<size_t>(index) < bases.size()
                          ? bases[static_cast<size_t>(index)]
                          : ~static_cast<size_t>(0);
        r.walkNode = type == VCAL_ITEM_EVENT ? static_cast<const void *>(calendar->events)
                                             : static_cast<const void *>(calendar->todos);
        int32_t zone = 0;
        if (calendar->properties != nullptr &&
            vcal::GetDayLightTZ(calendar->properties, &zone) != 0)
            zone = 0;
        r.walkZone = zone >= -kMaxZone && zone <= kMaxZone ? zone : 0;
    }
    return type == VCAL_ITEM_EVENT ? takeNext<VEventNode>(r, type, item, lines)
                                   : takeNext<VTodoNode>(r, type, item, lines);
}

} // extern "C"
