// The stream reader: lines, states, messages, results.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "vcal/vcalline.h"
#include "vcal/vcalptin.h"
#include "vcal/vcaltree.h"
#include "vcal_support.h"
#include "versit_vcal.h"

using vcaltest::ByteSource;
using vcaltest::crlf;
using vcaltest::Reading;
using vcaltest::value;

namespace {

using Lines = std::vector<std::string>;

Lines lines(const PropertyNode *node) {
    Lines out;
    for (; node != nullptr; node = node->next)
        out.push_back(value(node->line));
    return out;
}

const VCalendarNode *calendar(const Reading &r) {
    return r.tree != nullptr ? r.tree->firstCalendar : nullptr;
}

template <class Node> size_t count(const Node *node) {
    size_t n = 0;
    for (; node != nullptr; node = node->next)
        ++n;
    return n;
}

// A calendar holding one event made of `body`, raw text with its own line
// ends; the event starts on line 3.
std::string inEvent(const std::string &body) {
    return "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\n" + body +
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

const std::string kTimes = "DTSTART:19980101T100000Z\r\nDTEND:19980101T110000Z\r\n";

// A stream's lines joined by "|", as the tables write them.
std::string bar(const std::string &text) {
    std::string out = text;
    for (size_t at; (at = out.find("\r\n")) != std::string::npos;)
        out.replace(at, 2, "|");
    if (!out.empty() && out.back() == '|') out.pop_back();
    return out;
}

// `calendars` calendars, each with two events and a to-do.
void readCalendars(vcaltest::Reading &r, int calendars) {
    std::string text;
    const std::string event = "BEGIN:VEVENT|DTSTART:19980101T100000Z|DTEND:19980101T110000Z|"
                              "SUMMARY:a|END:VEVENT|";
    for (int i = 0; i < calendars; ++i)
        text += "BEGIN:VCALENDAR|VERSION:1.0|PRODID:x|" + event + event +
                "BEGIN:VTODO|END:VTODO|END:VCALENDAR|";
    vcaltest::read(r, vcaltest::crlf(text));
    ASSERT_EQ(r.rc, 0) << r.errors;
}

} // namespace

TEST(VcalReader, LogicalLines) {
    // The event's lines after DTSTART and DTEND, joined by "|".
    const struct {
        const char *what, *body, *stored;
    } cases[] = {
        {"folded over three lines", "SUMMARY:a\r\n b\r\n\tc\r\n", "SUMMARY:a b\tc\r\r"},
        {"quoted-printable soft break", "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:ab=\r\ncd=\r\n\r\n",
         "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:abcd\r\r"},
        {"soft breaks need the parameter", "DESCRIPTION;QUOTED-PRINTABLE:ab=\r\n cd\r\n",
         "DESCRIPTION;QUOTED-PRINTABLE:ab= cd\r\r"},
        {"the parameter in any case", "SUMMARY;Encoding=quoted-printable;X=1:ab=\r\ncd\r\n",
         "SUMMARY;Encoding=quoted-printable;X=1:abcd\r\r"},
        {"bare line feeds", "SUMMARY:x\nLOCATION:y\n", "SUMMARY:x\r\r|LOCATION:y\r\r"},
        {"bare CRs", "SUMMARY:x\rLOCATION:y\r", "SUMMARY:x\r\r|LOCATION:y\r\r"},
        {"empty bare-LF lines melt away", "SUMMARY:x\r\n\n\nLOCATION:y\r\n",
         "SUMMARY:x\r\r|LOCATION:y\r\r"},
        {"trailing white space", "SUMMARY:x \t \r\n", "SUMMARY:x\r\r\r\r\r"},
        {"unfolding keeps the blanks", "SUMMARY:x\r\n  y\r\n", "SUMMARY:x  y\r\r"}};
    for (const auto &c : cases) {
        Reading r;
        vcaltest::read(r, inEvent(kTimes + c.body));
        ASSERT_EQ(r.rc, 0) << c.what << "\n" << r.errors;
        ASSERT_NE(value(calendar(r)->events), nullptr) << c.what;
        Lines stored = lines(calendar(r)->events->properties);
        std::string joined;
        for (size_t i = 2; i < stored.size(); ++i)
            joined += (i > 2 ? "|" : "") + stored[i];
        EXPECT_EQ(joined, c.stored) << c.what;
    }
}

// Each stream (lines joined by "|" unless it has line ends of its own)
// with the result, the texts handed out (lines joined by "|") and the
// tree: "-" for none, else calendars, then the events and to-dos kept in
// the first one. Line numbers count line feeds.
TEST(VcalReader, StreamsAndResults) {
    const std::string event = "BEGIN:VEVENT|" + bar(kTimes) + "|END:VEVENT";
    const struct {
        const char *what;
        std::string text;
        int32_t rc;
        const char *errors, *warnings, *tree;
    } cases[] = {
        {"empty stream", "", VCAL_ERR_NO_VCALENDAR, "", "", "-"},
        {"255 ends the stream", "\xff|BEGIN:VCALENDAR", VCAL_ERR_NO_VCALENDAR, "", "", "-"},
        {"no calendar at all", "SUMMARY:x", VCAL_ERR_NO_VCALENDAR, "", "", "-"},
        {"a calendar without components", "BEGIN:VCALENDAR|END:VCALENDAR", 0, "",
         "Warning: \"VERSION\" property is missing|"
         "Warning, line 2: no VEVENT or VTODO in VCALENDAR",
         "1 0 0"},
        {"text before a calendar is skipped", "junk||more junk|" + bar(inEvent(kTimes)), 0, "", "",
         "1 1 0"},
        {"events and to-dos in input order, blank lines between",
         "BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VTODO|SUMMARY:1|END:VTODO||" + event +
             "|  |BEGIN:VTODO|END:VTODO|END:VCALENDAR",
         0, "", "", "1 1 2"},
        {"a duplicate DTSTART drops the event",
         bar(inEvent(kTimes + "DTSTART:19980101T100000Z\r\nSUMMARY:x\r\n") + inEvent(kTimes)),
         VCAL_ERR_READ_WITH_ERRORS, "Error, line 6: duplicate property", "", "2 0 0"},
        {"a refused warning-class value keeps the event",
         bar(inEvent(kTimes + "RNUM:x\r\nUNKNOWN:y\r\n")), 0, "",
         "Warning, line 6: missing property value at position 5|"
         "Warning, line 7: unknown property",
         "1 1 0"},
        {"a warning leaves the event in", bar(inEvent(kTimes + "X-A:1\r\nX-B:2\r\n")), 0, "",
         "Warning, line 7: duplicate property", "1 1 0"},
        {"a remark on an accepted value is not appended inside an event",
         bar(inEvent("DTSTART:19980101T100000Z trailing\r\nDTEND:19980101T110000Z\r\n")), 0, "", "",
         "1 1 0"},
        {"a TZ line inside an event drops it", bar(inEvent(kTimes + "TZ:-05\r\n")),
         VCAL_ERR_READ_WITH_ERRORS, "Error, line 7: VCALENDAR properties inside VEVENT properties",
         "", "1 0 0"},
        {"an event needs its times", bar(inEvent("SUMMARY:x\r\n")), VCAL_ERR_READ_WITH_ERRORS,
         "Error, line 5: start date and time is missing; can't create VEVENT|"
         "Error, line 5: end date and time is missing; can't create VEVENT",
         "", "1 0 0"},
        {"a property between two events cannot be recovered from",
         "BEGIN:VCALENDAR|VERSION:1.0|" + event + "|PRODID:x|" + event + "|END:VCALENDAR",
         VCAL_ERR_UNRECOVERABLE,
         "Error, line 7: unknown BEGIN|Error, line 7: cannot recover from previous errors", "",
         "1 1 0"},
        {"a BEGIN inside an event", bar(inEvent(kTimes + "BEGIN:VALARM\r\nEND:VALARM\r\n")),
         VCAL_ERR_UNRECOVERABLE,
         "Error, line 6: \"END:VEVENT\" expected|"
         "Error, line 6: cannot recover from previous errors",
         "", "1 0 0"},
        {"END:VTODO expected", "BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VTODO|END:VEVENT|END:VCALENDAR",
         VCAL_ERR_UNRECOVERABLE,
         "Error, line 4: \"END:VTODO\" expected|"
         "Error, line 4: cannot recover from previous errors",
         "", "1 0 0"},
        {"the stream ends after an event", "BEGIN:VCALENDAR|VERSION:1.0|" + event,
         VCAL_ERR_UNTERMINATED, "", "", "1 1 0"},
        {"the stream ends inside an event",
         "BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT|DTSTART:19980101T100000Z", VCAL_ERR_UNTERMINATED,
         "", "", "1 0 0"},
        {"the stream ends among the calendar's lines", "BEGIN:VCALENDAR|VERSION:1.0",
         VCAL_ERR_UNTERMINATED, "", "", "1 0 0"},
        {"BEGIN and END lines of bad form are remarked on",
         "BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT:|" + bar(kTimes) +
             "|END : VEVENT x|END:VCALENDAR;",
         0, "",
         "Warning, line 3: illegal character at position 12 in \"BEGIN:VEVENT:\"|"
         "Warning, line 6: illegal character at position 13 in \"END : VEVENT x\"|"
         "Warning, line 7: illegal character at position 13 in \"END:VCALENDAR;\"",
         "1 1 0"},
        {"a bad VERSION", "BEGIN:VCALENDAR|VERSION:2.0|END:VCALENDAR", 0, "",
         "Warning, line 2: VERSION not valid|Warning: \"VERSION\" property is missing|"
         "Warning, line 3: no VEVENT or VTODO in VCALENDAR",
         "1 0 0"},
        {"event properties at calendar level",
         "BEGIN:VCALENDAR|VERSION:1.0|DTSTART:19980101T100000Z x|X-WR-NAME:a|END:VCALENDAR",
         VCAL_ERR_READ_WITH_ERRORS,
         "Error, line 3: illegal character at position 24|"
         "Error, line 5: VEVENT or VTODO properties inside VCALENDAR properties",
         "Warning, line 5: no VEVENT or VTODO in VCALENDAR", "1 0 0"},
        {"a folded line has the number of its last physical line",
         inEvent(kTimes + "SUMMARY:a\r\n b\r\nFOO:a\r\n b\r\n c\r\n"), 0, "",
         "Warning, line 10: unknown property", "1 1 0"},
        {"bare line feeds count", inEvent(kTimes + "\n\nFOO\n"), 0, "",
         "Warning, line 8: unknown property", "1 1 0"},
        {"bare CRs do not", "BEGIN:VCALENDAR\rVERSION:1.0\rFOO\rEND:VCALENDAR\r", 0, "",
         "Warning, line 0: unknown property|Warning, line 0: no VEVENT or VTODO in VCALENDAR",
         "1 0 0"},
        {"soft breaks count",
         inEvent(kTimes + "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:a=\r\nb=\r\nc\r\nFOO\r\n"), 0, "",
         "Warning, line 9: unknown property", "1 1 0"},
        {"the last line needs no line end",
         "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nFOO\r\nEND:VCALENDAR", 0, "",
         "Warning, line 3: unknown property|Warning, line 3: no VEVENT or VTODO in VCALENDAR",
         "1 0 0"}};
    for (const auto &c : cases) {
        Reading r;
        vcaltest::read(r,
                       c.text.find_first_of("\r\n") == std::string::npos ? crlf(c.text) : c.text);
        EXPECT_EQ(r.rc, c.rc) << c.what;
        EXPECT_EQ(r.errors, crlf(c.errors)) << c.what;
        EXPECT_EQ(r.warnings, crlf(c.warnings)) << c.what;
        EXPECT_EQ(r.hadErrors, c.errors[0] != '\0') << c.what;
        EXPECT_EQ(r.hadWarnings, c.warnings[0] != '\0') << c.what;
        std::string tree = "-";
        if (const VCalendarNode *first = calendar(r)) {
            tree = std::to_string(count(first)) + " " + std::to_string(count(first->events)) + " " +
                   std::to_string(count(first->todos));
            EXPECT_EQ(first->eventCount, count(first->events)) << c.what;
            EXPECT_EQ(first->todoCount, count(first->todos)) << c.what;
        }
        EXPECT_EQ(tree, c.tree) << c.what;
    }
}

TEST(VcalReader, ArgumentsAreCheckedInOrderWithPhandleLast) {
    ByteSource source{"BEGIN:VCALENDAR\r\n"};
    ParseTreeHandle *tree = reinterpret_cast<ParseTreeHandle *>(8);
    char *errors = nullptr;
    char *warnings = nullptr;
    uint8_t ok = 0;
    char version[9];
    uint32_t lines = 10;
    auto progress = [](uint32_t, uint32_t, uint32_t, uint32_t) -> int32_t { return 0; };
    const struct {
        ParseTreeHandle **phandle;
        void *stream;
        vCalStreamNextByteGet get;
        char **errors;
        char **warnings;
        vCalProgressFct progress;
        uint32_t *lines;
        uint8_t *ok;
        char *version;
        int32_t rc;
        const char *log;
    } cases[] = {{nullptr, nullptr, nullptr, nullptr, nullptr, progress, nullptr, nullptr, nullptr,
                  VCAL_ERR_NULL_STREAM, "(streamptr)"},
                 {&tree, &source, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                  VCAL_ERR_NULL_GET_CALLBACK, "(NextByteGet)"},
                 {&tree, &source, ByteSource::next, nullptr, &warnings, nullptr, &lines, &ok,
                  version, VCAL_ERR_NULL_ERROR_TEXT, "(errmesgptr)"},
                 {&tree, &source, ByteSource::next, &errors, nullptr, nullptr, &lines, &ok, version,
                  VCAL_ERR_NULL_WARNING_TEXT, "(warningptr)"},
                 {&tree, &source, ByteSource::next, &errors, &warnings, progress, nullptr, &ok,
                  version, VCAL_ERR_NO_LINE_COUNT, "(warningptr)"},
                 {&tree, &source, ByteSource::next, &errors, &warnings, nullptr, nullptr, nullptr,
                  version, VCAL_ERR_VERSION_BUFFER, "(warningptr)"},
                 {&tree, &source, ByteSource::next, &errors, &warnings, nullptr, nullptr, &ok,
                  nullptr, VCAL_ERR_VERSION_BUFFER, "(warningptr)"},
                 {nullptr, &source, ByteSource::next, &errors, &warnings, nullptr, nullptr, &ok,
                  version, VCAL_ERR_NULL_HANDLE, "(phandle)"}};
    for (const auto &c : cases) {
        LogCapture log;
        tree = reinterpret_cast<ParseTreeHandle *>(8);
        EXPECT_EQ(vCal_ParseTreeFromStreamGet(c.phandle, c.stream, c.get, c.errors, c.warnings,
                                              c.progress, c.lines, c.ok, c.version, 0),
                  c.rc);
        EXPECT_EQ(log.errors(),
                  std::vector<std::string>{"vCal_ParseTreeFromStreamGet " + std::string(c.log)});
        if (c.phandle != nullptr) {
            EXPECT_EQ(tree, nullptr) << "cleared at once";
        }
        EXPECT_EQ(source.calls, 0u) << "nothing is read";
        EXPECT_EQ(errors, nullptr);
        EXPECT_EQ(warnings, nullptr);
    }
}

TEST(VcalReader, CallbackFailureEndsTheReading) {
    for (size_t at : {0u, 20u, 60u, 90u}) {
        ByteSource source{inEvent(kTimes + "FOO:x\r\n")};
        source.failAt = at;
        source.failCode = 4242;
        Reading r;
        LogCapture log;
        vcaltest::read(r, source);
        EXPECT_EQ(r.rc, 4242) << at;
        EXPECT_EQ(r.tree, nullptr) << at;
        EXPECT_EQ(log.errors().front(), "vCal_GetALineFromStream: vCalStreamNextByteGet") << at;
        EXPECT_EQ(source.calls, at + 1) << "nothing is read after the failure";
    }
    // A failure within a long line ends it there too.
    for (size_t at : {130u, 131u, 137u, 300u}) {
        ByteSource source{inEvent("FOO:" + std::string(400, 'x') + "\r\n")};
        source.failAt = source.text.find("FOO") + at;
        source.failCode = 77;
        Reading r;
        vcaltest::read(r, source);
        EXPECT_EQ(r.rc, 77) << at;
        EXPECT_EQ(source.calls, source.failAt + 1) << at;
    }
    // The warnings found before the failure are still handed out.
    ByteSource source{inEvent(kTimes + "FOO:x\r\nSUMMARY:y\r\n")};
    source.failAt = source.text.find("SUMMARY") + 3;
    source.failCode = 9;
    Reading r;
    vcaltest::read(r, source);
    EXPECT_EQ(r.rc, 9);
    EXPECT_EQ(r.warnings, "Warning, line 6: unknown property\r\n");
}

// Without packing the 64-bit records would have gaps; with it every
// pointer adds exactly its growth over the 32-bit four bytes.
TEST(VcalRecords, PackedOnEveryBuild) {
    const size_t growth = sizeof(void *) - 4;
    EXPECT_EQ(sizeof(PropertyParam), 179 + 15 * growth);
    EXPECT_EQ(sizeof(VCalendarNode), 74 + 8 * growth);
    EXPECT_EQ(sizeof(VEventNode), 53 + 2 * growth);
    EXPECT_EQ(sizeof(KRproperty), 17 + 3 * growth);
    EXPECT_EQ(offsetof(PropertyParam, attachment), 52 + growth);
}

TEST(VcalTree, CalendarWalkAndValidEntities) {
    vcaltest::Reading r;
    readCalendars(r, 2);
    ParseTreeHandle *handle = r.tree;
    VCalendarNode *c = nullptr;
    LogCapture log;
    ASSERT_EQ(vCal_GetFirstCalendar(handle, &c), 0);
    EXPECT_EQ(c, value(handle->firstCalendar));
    EXPECT_EQ(value(handle->currentCalendar), c);
    ASSERT_EQ(vCal_GetNextCalendar(handle, &c), 0);
    EXPECT_EQ(c, value(handle->firstCalendar->next));
    EXPECT_EQ(value(handle->currentCalendar), c);
    VCalendarNode *out = c;
    EXPECT_EQ(vCal_GetNextCalendar(handle, &out), VCAL_ERR_NO_MORE_ENTITIES);
    EXPECT_EQ(out, c) << "left as it was";
    EXPECT_TRUE(log.records().empty()) << "the end of the chain is not a failure";

    EXPECT_EQ(vCal_GetFirstCalendar(nullptr, &c), VCAL_ERR_NULL_HANDLE);
    EXPECT_EQ(vCal_GetFirstCalendar(handle, nullptr), VCAL_ERR_NULL_CALENDAR);
    EXPECT_EQ(vCal_GetNextCalendar(nullptr, &c), VCAL_ERR_NULL_HANDLE);
    EXPECT_EQ(vCal_GetNextCalendar(handle, nullptr), VCAL_ERR_NULL_CALENDAR);
    EXPECT_EQ(log.errors(), (std::vector<std::string>{
                                "vCal_GetFirstCalendar (phandle)",
                                "vCal_GetFirstCalendar (FirstCalendarPtrPtr)",
                                "vCal_GetNextCalendar (phandle)",
                                "vCal_GetNextCalendar (NextCalendarPtrPtr)",
                            }));

    EXPECT_EQ(vCal_AnyValidEntityInPTree(nullptr), 0);
    EXPECT_EQ(vCal_AnyValidEntityInPTree(handle), 1);
    for (VCalendarNode *k = handle->firstCalendar; k != nullptr; k = k->next) {
        for (VEventNode *e = k->events; e != nullptr; e = e->next)
            e->valid = 0;
        k->todos->valid = 0;
    }
    EXPECT_EQ(vCal_AnyValidEntityInPTree(handle), 0);
    handle->firstCalendar->next->todos->valid = 1;
    EXPECT_EQ(vCal_AnyValidEntityInPTree(handle), 1) << "a to-do of a later calendar counts";

    ParseTreeHandle none{};
    EXPECT_EQ(vCal_GetFirstCalendar(&none, &c), VCAL_ERR_NO_MORE_ENTITIES);
    EXPECT_EQ(vCal_AnyValidEntityInPTree(&none), 0);
}

// An entity's lines stand right behind its node in one block, whether the
// block was copied from the reader's collection (most entities) or is that
// collection itself (a large one); the entity after a large one starts a
// collection of its own.
TEST(VcalTree, LargeEntitiesKeepTheirLinesBehindTheNode) {
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:1.0\r\n";
    std::vector<std::string> descriptions;
    for (const size_t size : {100, 65400, 65536, 70000, 200000, 10, 131072}) {
        std::string d(size, 'x');
        for (size_t i = 0; i < size; i += 7)
            d[i] = static_cast<char>('a' + i % 26);
        descriptions.push_back(d);
        text += "BEGIN:VEVENT\r\n" + kTimes + "DESCRIPTION:" + d + "\r\nSUMMARY:s" +
                std::to_string(size) + "\r\nEND:VEVENT\r\nBEGIN:VTODO\r\nSUMMARY:t" +
                std::to_string(size) + "\r\nEND:VTODO\r\n";
    }
    text += "END:VCALENDAR\r\n";
    vcaltest::Reading r;
    vcaltest::read(r, text);
    ASSERT_EQ(r.rc, 0) << r.errors;
    const VCalendarNode *c = calendar(r);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(count(c->events), descriptions.size());
    ASSERT_EQ(count(c->todos), descriptions.size());
    const VEventNode *e = c->events;
    const VTodoNode *t = c->todos;
    for (const std::string &d : descriptions) {
        SCOPED_TRACE(d.size());
        const std::string size = std::to_string(d.size());
        EXPECT_EQ(lines(e->properties),
                  (Lines{"DTSTART:19980101T100000Z\r\r", "DTEND:19980101T110000Z\r\r",
                         "DESCRIPTION:" + d + "\r\r", "SUMMARY:s" + size + "\r\r"}));
        EXPECT_EQ(reinterpret_cast<const char *>(e->properties),
                  reinterpret_cast<const char *>(e) + sizeof(VEventNode));
        EXPECT_EQ(lines(t->properties), (Lines{"SUMMARY:t" + size + "\r\r"}));
        EXPECT_EQ(reinterpret_cast<const char *>(t->properties),
                  reinterpret_cast<const char *>(t) + sizeof(VTodoNode));
        e = e->next;
        t = t->next;
    }
}

// The pieces of a tree are destroyed one by one too; null arguments are refused.
TEST(VcalTree, DestroyPiecesAndRefuseNulls) {
    PropertyNode *node = nullptr;
    ASSERT_EQ(vcal::vCal_CreatePropertyNode(&node), 0);
    EXPECT_EQ(vCal_DestroyPropertyList(&node), 0);
    EXPECT_EQ(DestroyParseTree(nullptr), VCAL_ERR_NULL_HANDLE);
    EXPECT_EQ(vCal_DestroyVCalendarList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_DestroyVEventList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_DestroyVTodoList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_DestroyPropertyList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_InitializePropertyParam(nullptr), VCAL_ERR_NULL_PROPERTY_PARAM);
    EXPECT_EQ(vCal_FreePropertyParam(nullptr), VCAL_ERR_NULL_PROPERTY_PARAM);
}

// A text in memory is read by a path of its own, without the callback;
// it must give the same lines, line numbers and stream ends as the
// callback does, on the awkward texts and on random ones.
TEST(VcalReader, TextInMemoryReadAsThroughTheCallback) {
    std::vector<std::string> texts = {
        "",
        "A",
        "\r\n\r\nX:1",
        "SUMMARY:a\r\n b\r\n\tc\r\n",
        "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:ab=\r\ncd=\r\n\r\nX:y\r\n",
        "S:x\rL:y\r\r\n",
        "S:x\n\n\n \nL:y",
        std::string("S:a\0b\r\nL:c\r\n", 12),
        "S:a\r\n\xffL:b\r\n",
        "S:a \t \r\n",
        std::string(16, 'x') + "\r\n" + std::string(15, 'y') + "\n" + std::string(300, 'z'),
        "Q;QUOTED-PRINTABLE=\r\n:a=\r\n=\r\n",
    };
    // Random texts of the bytes that steer the reader.
    static constexpr char kBytes[] = {'a', ' ', '\t', '\r', '\n', '=', ':', ';', 'Q', '\0'};
    uint32_t seed = 12345;
    for (int n = 0; n < 400; ++n) {
        std::string t;
        const int length = 1 + n % 97;
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            t += kBytes[(seed >> 16) % sizeof kBytes];
        }
        if (n % 7 == 0) t = "X;ENCODING=QUOTED-PRINTABLE:" + t;
        texts.push_back(t);
    }
    // Lines that end at every place around the points where the line's
    // room grows, so that the callback's bytes end a line at each offset
    // within its steps.
    for (size_t length : {120u, 248u, 504u, 1016u}) {
        for (size_t more = 0; more < 17; ++more) {
            const std::string line(length + more, 'x');
            texts.push_back(line + "\r\n " + line + "\r\nY:1\r\n");
            texts.push_back("Q;ENCODING=QUOTED-PRINTABLE:" + line + "=\r\n" + line + "\n");
        }
    }
    for (const std::string &text : texts) {
        vcal::MemoryStream memory{text.data(), text.data() + text.size()};
        ByteSource bytes{text};
        vcal::LineReader inMemory(&memory, vcal::memoryNextByte);
        vcal::LineReader byCallback(&bytes, ByteSource::next);
        for (int line = 0;; ++line) {
            const int32_t a = inMemory.next();
            const int32_t b = byCallback.next();
            ASSERT_EQ(a, b) << bar(text) << " line " << line;
            if (a != 0) break;
            ASSERT_EQ(std::string(inMemory.text(), inMemory.length()),
                      std::string(byCallback.text(), byCallback.length()))
                << bar(text) << " line " << line;
            EXPECT_EQ(inMemory.lineNumber(), byCallback.lineNumber()) << bar(text);
            EXPECT_EQ(inMemory.firstLineNumber(), byCallback.firstLineNumber()) << bar(text);
            ASSERT_NE(inMemory.start(), nullptr);
            // (A line that starts blank may have begun as an empty line
            // folded onto the next.)
            const char first = inMemory.length() > 0 ? inMemory.text()[0] : '\r';
            if (first != '\r' && first != ' ' && first != '\t') {
                EXPECT_EQ(*inMemory.start(), inMemory.text()[0]) << bar(text);
            }
        }
    }
}

namespace {

// What a reading item by item hands on, as text: "C<lines>" per calendar,
// "E<ordinal>@<line>+<offset>:<lines>" (or T) per item.
struct Handed final : vcal::ItemSink {
    explicit Handed(const std::string &text) : text_(text) {}
    int32_t calendar(VCalendarNode *calendar) override {
        got.push_back("C" + std::to_string(lines(value(calendar->properties)).size()));
        return 0;
    }
    int32_t item(uint16_t type, const void *node, uint64_t ordinal, uint64_t line,
                 const char *start) override {
        const PropertyNode *first = type == VCAL_ITEM_EVENT
                                        ? value(static_cast<const VEventNode *>(node)->properties)
                                        : value(static_cast<const VTodoNode *>(node)->properties);
        got.push_back((type == VCAL_ITEM_EVENT ? "E" : "T") + std::to_string(ordinal) + "@" +
                      std::to_string(line) + "+" + std::to_string(start - text_.data()) + ":" +
                      std::to_string(lines(first).size()));
        return 0;
    }
    std::vector<std::string> got;

  private:
    const std::string &text_;
};

} // namespace

// Read item by item, a text gives the messages and result the tree reading
// gives, its kept items in the order of the text with their places, and a
// tree that holds the calendars without them.
TEST(VcalReader, ItemByItemHandsOnWhatTheTreeWouldKeep) {
    const std::string text =
        crlf("BEGIN:VCALENDAR|VERSION:1.0|TZ:+01|BEGIN:VTODO|SUMMARY:t|END:VTODO|"
             "BEGIN:VEVENT|DTSTART:bad|END:VEVENT|"
             "BEGIN:VEVENT|DTSTART:19980101T100000Z|DTEND:19980101T110000Z|END:VEVENT|"
             "END:VCALENDAR|junk|BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT|"
             "DTSTART:19980101T100000Z|DTEND:19980101T110000Z|SUMMARY:a|END:VEVENT|"
             "END:VCALENDAR|");
    Reading whole;
    vcaltest::read(whole, text);
    for (const bool checks : {true, false}) {
        SCOPED_TRACE(checks);
        vcal::MemoryStream stream{text.data(), text.data() + text.size()};
        Handed handed(text);
        ParseTreeHandle *tree = nullptr;
        char *errors = nullptr;
        char *warnings = nullptr;
        const int32_t rc = vcal::readByItem(&tree, &stream, vcal::memoryNextByte, &errors,
                                            &warnings, handed, checks);
        const std::string errorText = errors != nullptr ? errors : "";
        std::free(errors);
        std::free(warnings);
        ASSERT_NE(tree, nullptr);
        const VCalendarNode *first = value(tree->firstCalendar);
        EXPECT_EQ(value(first->events), nullptr);
        EXPECT_EQ(value(first->todos), nullptr);
        if (checks) {
            EXPECT_EQ(rc, whole.rc);
            EXPECT_EQ(errorText, whole.errors);
            EXPECT_EQ(value(first->eventCount), value(calendar(whole)->eventCount));
            // Ordinals count through the text, the refused event too.
            EXPECT_EQ(handed.got, (Lines{"C2", "T0@4+38:1", "E1@10+112:2", "C1", "E2@18+239:3"}));
        } else {
            // Unchecked, the faulty event is kept like any other.
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(handed.got,
                      (Lines{"C2", "T0@4+38:1", "E0@7+73:1", "E1@10+112:2", "C1", "E2@18+239:3"}));
        }
        vCal_DestroyParseTree(&tree);
    }
}
