// Tolerant calendar reading over texts as phones and PIMs write them: each
// event and to-do as taken (times in UTC, texts in UTF-8), the reports
// with their lines of the original text and kinds, and the counts.
#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interop/recover/calendarRecover.h"
#include "interop/recover/lines.h"
#include "vcal/vcal_support.h"
#include "versit_interop.h"

namespace {

using namespace std::string_literals;

// A client time as "YYYYMMDDTHHMM" (UTC).
std::string timeText(CalapiTime minutes) {
    const std::time_t seconds = static_cast<std::time_t>(minutes) * 60 + 662688000; // 1991-01-01
    char text[20];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M", std::gmtime(&seconds));
    return text;
}

std::string quoted(const char *text) {
    std::string out = "\"";
    for (const char *p = text != nullptr ? text : ""; *p != '\0'; ++p)
        out += *p == '\r' ? "\\r"s : *p == '\n' ? "\\n"s : std::string(1, *p);
    return out + "\"";
}

std::string dates(const TimeNode *node) {
    std::string out;
    for (; node != nullptr; node = node->next)
        out += timeText(vcaltest::value(node->time)) + (node->next != nullptr ? "," : "");
    return out;
}

// An item as "E|T name=value ..." with the fields whose flags are set.
std::string render(const PropertyParam &item, uint16_t type) {
    const uint8_t *flag = item.flags.flag;
    std::string out = type == VCAL_ITEM_EVENT ? "E" : "T";
    auto field = [&](uint8_t slot, const char *name, const std::string &value) {
        if (flag[slot] != 0) out += " "s + name + "=" + value;
    };
    field(VCAL_SLOT_DTSTART, "start", timeText(vcaltest::value(item.startTime)));
    field(VCAL_SLOT_DTEND, "end", timeText(vcaltest::value(item.endTime)));
    field(VCAL_SLOT_DUE, "due", timeText(vcaltest::value(item.dueTime)));
    field(VCAL_SLOT_AALARM, "aalarm", timeText(vcaltest::value(item.audioAlarmTime)));
    field(VCAL_SLOT_DALARM, "dalarm", timeText(vcaltest::value(item.displayAlarmTime)));
    field(VCAL_SLOT_SUMMARY, "summary", quoted(item.summary));
    field(VCAL_SLOT_DESCRIPTION, "description", quoted(item.description));
    field(VCAL_SLOT_LOCATION, "location", quoted(item.location));
    field(VCAL_SLOT_CATEGORIES, "category", std::to_string(vcaltest::value(item.category)));
    field(VCAL_SLOT_STATUS, "status", item.status);
    field(VCAL_SLOT_EXDATE, "exdate", dates(item.exceptionDates.next));
    uint32_t occurrences = 0;
    if (item.recurrenceOccurrences != nullptr)
        KL_ListGetElemNum(item.recurrenceOccurrences, &occurrences);
    field(VCAL_SLOT_RRULE, "occurrences", std::to_string(occurrences));
    return out;
}

struct Reading {
    std::vector<std::string> items;
    std::vector<std::string> reports; // "line kind: message", in the order of the text
    VI_ReadCounts counts{};
};

void collect(void *user, const VI_Report *r) {
    static const char *const kKinds[] = {"note", "repaired", "lost", "skipped"};
    static_cast<std::vector<std::string> *>(user)->push_back(std::to_string(r->line) + " " +
                                                             kKinds[r->kind] + ": " + r->message);
}

Reading readTolerantly(const std::string &text) {
    Reading r;
    VI_TolerantReader *reader = nullptr;
    EXPECT_EQ(VI_tolerantReaderCreate(&reader, text.data(), text.size(), collect, &r.reports), 0);
    ParseTreeHandle *tree = nullptr;
    EXPECT_EQ(VI_readCalendarsTolerantly(reader, &tree), 0);
    VCalendarNode *calendar = nullptr;
    for (int32_t got = tree != nullptr ? vCal_GetFirstCalendar(tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            int32_t rc = VI_takeItemTolerantly(reader, calendar, type, 1, &item, nullptr);
            for (; rc == 0; rc = VI_takeItemTolerantly(reader, calendar, type, 0, &item, nullptr)) {
                r.items.push_back(render(item, type));
                VI_releaseItem(&item);
            }
            EXPECT_EQ(rc, VCAL_ERR_NO_MORE_ENTITIES);
            VI_releaseItem(&item);
        }
    }
    VI_tolerantReaderCounts(reader, &r.counts);
    VI_tolerantReaderDestroy(&reader);
    // Those of one line stay as they came.
    std::stable_sort(
        r.reports.begin(), r.reports.end(),
        [](const std::string &a, const std::string &b) { return std::stoull(a) < std::stoull(b); });
    return r;
}

struct Case {
    const char *what;
    std::string text; // lines separated by "|"
    std::vector<std::string> items;
    std::vector<std::string> reports; // "line kind: words the message holds"
    VI_ReadCounts counts;             // read, repaired, lossy, skipped, junk lines
};

void check(const Case &c) {
    SCOPED_TRACE(c.what);
    std::string text = c.text;
    for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', bar))
        text.replace(bar, 1, "\r\n");
    const Reading r = readTolerantly(text);
    EXPECT_EQ(r.items, c.items);
    bool same = r.reports.size() == c.reports.size();
    for (size_t i = 0; same && i < r.reports.size(); ++i) {
        const size_t words = c.reports[i].find(": ") + 2;
        same = r.reports[i].compare(0, words, c.reports[i], 0, words) == 0 &&
               r.reports[i].find(c.reports[i].substr(words), words) != std::string::npos;
    }
    EXPECT_TRUE(same) << ::testing::PrintToString(r.reports);
    auto counts = [](const VI_ReadCounts &n) {
        return std::vector<uint64_t>{n.read, n.repaired, n.lossy, n.skipped, n.junkLines};
    };
    EXPECT_EQ(counts(r.counts), counts(c.counts));
}

const std::string kHead = "BEGIN:VCALENDAR|VERSION:1.0|";
const std::string kHour = "DTSTART:20030801T100000Z|DTEND:20030801T110000Z|";

// Structure, values in UTF-8, dates in the client's range, properties read
// narrower.
TEST(TolerantCalendar, Structure) {
    const Case cases[] = {
        {"byte-order mark, NUL bytes, text around the calendar",
         "\xEF\xBB\xBFSubject: Meeting||" + kHead + "BEGIN:VEVENT|" + kHour +
             "SUMM\0ARY:Lunch\0|END:VEVENT|END:VCALENDAR|-- |sent from my phone|\0\0"s,
         {"E start=20030801T1000 end=20030801T1100 summary=\"Lunch\""},
         {"1 note: 1 line", "8 repaired: NUL", "11 note: 2 lines", "13 repaired: NUL"},
         {1, 1, 0, 0, 3}},
        {"events outside any calendar, the last without END",
         "BEGIN:VEVENT|SUMMARY:Dentist|" + kHour + "END:VEVENT|BEGIN:VEVENT|SUMMARY:Gym|" + kHour,
         {"E start=20030801T1000 end=20030801T1100 summary=\"Dentist\"",
          "E start=20030801T1000 end=20030801T1100 summary=\"Gym\""},
         {"1 repaired: outside any calendar", "1 repaired: no END:VCALENDAR", "6 repaired: no END"},
         {2, 2, 0, 0, 0}},
        {"a to-do closed by END:VEVENT, calendars without END",
         kHead + "BEGIN:VTODO|SUMMARY:Buy milk|DUE:20030802T170000Z|END:VEVENT|" + kHead +
             "BEGIN:VEVENT|" + kHour + "SUMMARY:Standup",
         {"T due=20030802T1700 summary=\"Buy milk\"",
          "E start=20030801T1000 end=20030801T1100 summary=\"Standup\""},
         {"1 repaired: before the next one", "6 repaired: END:VEVENT as the end of the to-do",
          "7 repaired: no END:VCALENDAR", "9 repaired: no END"},
         {2, 2, 0, 0, 0}},
        {"BEGIN and END with a colon after the name, with parameters, encoded",
         kHead + "|BEGIN:VEVENT:|CATEGORIES:MISCELLANEOUS|SUMMARY: Gnokii Reminder|" + kHour +
             "END:VEVENT||BEGIN;CHARSET=UTF-8:VTODO|SUMMARY;CHARSET=UTF-8:Call|"
             "END;ENCODING=BASE64:VlRPRE8=|END:VCALENDAR",
         {"E start=20030801T1000 end=20030801T1100 summary=\"Gnokii Reminder\" category=3",
          "T summary=\"Call\""},
         {"11 repaired: BEGIN:VTODO", "13 repaired: END:VTODO"},
         {2, 1, 0, 0, 0}},
        {"blocks the reader does not know",
         kHead +
             "BEGIN:VTIMEZONE|TZID:Europe/Berlin|BEGIN:STANDARD|TZOFFSETTO:+0100|"
             "END:STANDARD|END:VTIMEZONE|BEGIN:VEVENT|" +
             kHour +
             "BEGIN:VALARM|TRIGGER:-PT15M|END:VALARM|SUMMARY:Review|END:VEVENT|END:VCALENDAR",
         {"E start=20030801T1000 end=20030801T1100 summary=\"Review\""},
         {"3 lost: VTIMEZONE", "12 lost: VALARM"},
         {1, 1, 1, 0, 0}},
        {"quoted-printable in a declared charset, 8-bit text without one",
         kHead + "BEGIN:VEVENT|" + kHour +
             "SUMMARY;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Caf=E9 M=FCnchen|"
             "LOCATION;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Stra=c3=9fe 1=|2|"
             "DESCRIPTION;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=93Agenda=94=0D=0A=80 5|"
             "END:VEVENT|BEGIN:VTODO|SUMMARY;CHARSET=X-USER-DEFINED:Gr\xFC\xDF"
             "e|DESCRIPTION:\xC3\x9C"
             "bung|LOCATION;CHARSET=UTF-8:Caf\xE9|END:VTODO|BEGIN:VTODO|SUMMARY:B\xFCro|END:VTODO|"
             "END:VCALENDAR",
         {"E start=20030801T1000 end=20030801T1100 summary=\"Caf\u00e9 M\u00fcnchen\" "
          "description=\"\u201cAgenda\u201d\\r\\n\u20ac 5\" location=\"Stra\u00dfe 12\"",
          "T summary=\"Gr\u00fc\u00dfe\" description=\"\u00dc"
          "bung\" location=\"Caf\u00e9\"",
          "T summary=\"B\u00fcro\""},
         {"12 repaired: unknown charset \"X-USER-DEFINED\" read as Windows-1252",
          "14 repaired: not the UTF-8 it declares", "17 repaired: names no charset"},
         {3, 2, 0, 0, 0}},
        {"quoted-printable escapes of 8-bit bytes in a text that is all ASCII",
         kHead + "BEGIN:VEVENT|" + kHour +
             "SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Caf=C3=A9=0D=0A|"
             "DESCRIPTION:a=C3b|LOCATION;ENCODING=QUOTED-PRINTABLE:x=3Dy|END:VEVENT|END:VCALENDAR",
         {"E start=20030801T1000 end=20030801T1100 summary=\"Caf\u00e9\\r\\n\" "
          "description=\"a=C3b\" location=\"x=y\""},
         {},
         {1, 0, 0, 0, 0}},
        {"dates without time, 24:00, no seconds, a day the month does not have",
         kHead + "BEGIN:VEVENT|SUMMARY:Holiday|DTSTART;VALUE=DATE:20030801|END:VEVENT|"
                 "BEGIN:VEVENT|DTSTART:20030804|DTEND:20030806|END:VEVENT|"
                 "BEGIN:VEVENT|DTSTART:20031231T2000Z|DTEND:20031231T240000Z|END:VEVENT|"
                 "BEGIN:VEVENT|DTSTART:20030229T100000Z|DTEND:20030229T110000Z|END:VEVENT|"
                 "END:VCALENDAR",
         {"E start=20030801T0000 end=20030802T0000 summary=\"Holiday\"",
          "E start=20030804T0000 end=20030806T0000", "E start=20031231T2000 end=20040101T0000",
          "E start=20030228T1000 end=20030228T1100"},
         {"3 repaired: without DTEND on a date", "5 repaired: midnight", "8 repaired: midnight",
          "9 repaired: midnight", "12 repaired: exact form", "13 repaired: exact form",
          "16 lost: day 29", "17 lost: day 29"},
         {4, 4, 1, 0, 0}},
        {"years before 1991 (a yearly item moves whole) and after 2036",
         kHead + "BEGIN:VEVENT|DTSTART:19811231T230000Z|DTEND:19820101T225900Z|"
                 "SUMMARY:John Doe|RRULE:YM1 #0|DALARM:19811231T090000Z|END:VEVENT|"
                 "BEGIN:VEVENT|DTSTART:19840228T230000Z|DTEND:19840229T225900Z|RRULE:YD1 #0|"
                 "END:VEVENT|BEGIN:VEVENT|SUMMARY:Old|DTSTART:19850519T090000Z|"
                 "DTEND:19850519T100000Z|AALARM:19850519T083000Z|END:VEVENT|"
                 "BEGIN:VEVENT|DTSTART:20300107T090000Z|DTEND:20300107T100000Z|"
                 "RRULE:W1 MO 20401231T000000Z|EXDATE:19800101T090000Z;20300114T090000Z|"
                 "END:VEVENT|END:VCALENDAR",
         {"E start=19911231T2300 end=19920101T2259 dalarm=19911231T0900 summary=\"John Doe\" "
          "occurrences=10",
          "E start=19910228T2300 end=19910301T2259 occurrences=10",
          "E start=19910101T0000 end=19910101T0000 summary=\"Old\"",
          "E start=20300107T0900 end=20300107T1000 exdate=20300114T0900 occurrences=52"},
         {"4 repaired: moved 10 years", "5 repaired: moved 10 years", "8 repaired: moved 10 years",
          "11 repaired: moved 7 years", "12 repaired: moved 7 years", "17 lost: brought into",
          "18 lost: brought into", "19 lost: dropped AALARM", "24 repaired: ended RRULE in 2036",
          "25 repaired: exact form"},
         {4, 4, 1, 0, 0}},
        {"zones: +hhmm, TZ inside events, a local time the zone takes out of the years",
         kHead +
             "TZ:+0200|BEGIN:VEVENT|DTSTART:20030801T100000|DTEND:20030801T110000|"
             "END:VEVENT|END:VCALENDAR|" +
             kHead +
             "BEGIN:VEVENT|TZ:-05:00|DTSTART:20030801T100000|DTEND:20030801T110000|END:VEVENT|"
             "BEGIN:VEVENT|TZ:-05:00|DTSTART:20030802T100000|DTEND:20030802T110000|END:VEVENT|"
             "BEGIN:VEVENT|TZ:+01:00|DTSTART:20030803T100000|DTEND:20030803T110000|END:VEVENT|"
             "END:VCALENDAR|" +
             kHead +
             "TZ:+01:00|BEGIN:VEVENT|DTSTART:19850101T090000|DTEND:19910101T003000|END:VEVENT|"
             "END:VCALENDAR",
         {"E start=20030801T0800 end=20030801T0900", "E start=20030801T1500 end=20030801T1600",
          "E start=20030802T1500 end=20030802T1600", "E start=20030803T1500 end=20030803T1600",
          "E start=19910101T0000 end=19910101T0000"},
         {"3 repaired: +02:00", "12 repaired: moved TZ", "17 repaired: gives too",
          "22 lost: differs", "30 lost: 1 time outside the years", "31 lost: brought into"},
         {5, 4, 2, 0, 0}},
        {"status, categories, empty values, duplicates, refused lines",
         kHead +
             "BEGIN:VTODO|SUMMARY:Report|STATUS:NEEDS-ACTION|CATEGORIES:X-HOLIDAY,Foo|"
             "DUE:20030805T170000Z|END:VTODO|BEGIN:VEVENT|" +
             kHour +
             "SUMMARY:Trip|SUMMARY:Business trip|SUMMARY:Trip|LOCATION:|"
             "CATEGORIES:TRAVEL,BUSINESS|EXDATE:20030808T100000Z|EXDATE:20030815T100000Z|"
             "RRULE:W1 FR #4|CLASS:SECRET|END:VEVENT|END:VCALENDAR",
         {"E start=20030801T1000 end=20030801T1100 summary=\"Trip\" category=4 "
          "exdate=20030808T1000,20030815T1000 occurrences=4",
          "T due=20030805T1700 summary=\"Report\" category=1 status=NEEDS ACTION"},
         {"5 repaired: NEEDS ACTION", "6 lost: CATEGORIES", "13 lost: second SUMMARY",
          "14 repaired: repeated SUMMARY", "15 repaired: no value", "16 repaired: exact form",
          "18 repaired: joined", "20 lost: refuses"},
         {2, 2, 2, 0, 0}},
    };
    for (const Case &c : cases)
        check(c);
}

TEST(TolerantCalendar, ItemsKeptWithoutTheirFaults) {
    const Case cases[] = {
        {"no DTEND, no DTSTART, an alarm only, nothing, DTSTART = DTEND, a rule that cannot "
         "be expanded, an end before the start, a to-do due before it starts",
         kHead +
             "BEGIN:VEVENT|SUMMARY:Call|DTSTART:20030801T100000Z|END:VEVENT|"
             "BEGIN:VEVENT|SUMMARY:Deadline|DTEND:20030801T170000Z|END:VEVENT|"
             "BEGIN:VEVENT|SUMMARY:Reminder|AALARM:20030801T090000Z|END:VEVENT|"
             "BEGIN:VEVENT|SUMMARY:Nothing|END:VEVENT|"
             "BEGIN:VEVENT|DTSTART:20030801T100000Z|DTEND:20030801T100000Z|"
             "SUMMARY:Instant|END:VEVENT|BEGIN:VEVENT|" +
             kHour +
             "RRULE:W1 #3|SUMMARY:Weekly|END:VEVENT|"
             "BEGIN:VEVENT|DTSTART:20030801T120000Z|DTEND:20030801T100000Z|END:VEVENT|"
             "BEGIN:VTODO|SUMMARY:Taxes|DTSTART:20030810T090000Z|DUE:20030801T170000Z|END:VTODO|"
             "END:VCALENDAR",
         {"E start=20030801T1000 end=20030801T1000 summary=\"Call\"",
          "E start=20030801T1700 end=20030801T1700 summary=\"Deadline\"",
          "E start=20030801T0900 end=20030801T0900 summary=\"Reminder\"",
          "E start=20030801T1000 end=20030801T1000 summary=\"Instant\"",
          "E start=20030801T1000 end=20030801T1100 summary=\"Weekly\"",
          "E start=20030801T1200 end=20030801T1200", "T start=20030810T0900 summary=\"Taxes\""},
         {"3 repaired: ends when it starts", "7 repaired: starts when it ends",
          "11 repaired: its alarm", "11 lost: dropped AALARM", "15 skipped: neither",
          "23 lost: without its repetitions", "29 repaired: ends before it starts",
          "33 lost: dropped DUE"},
         {7, 6, 3, 1, 0}},
        {"all-day events end with their day, into the next month from its last",
         kHead + "BEGIN:VEVENT|SUMMARY:Eve|DTSTART:20240130|END:VEVENT|"
                 "BEGIN:VEVENT|SUMMARY:Last|DTSTART:20240131|END:VEVENT|END:VCALENDAR",
         {"E start=20240130T0000 end=20240131T0000 summary=\"Eve\"",
          "E start=20240131T0000 end=20240201T0000 summary=\"Last\""},
         {"3 repaired: ends with its day", "5 repaired: midnight", "7 repaired: ends with its day",
          "9 repaired: midnight"},
         {2, 2, 0, 0, 0}},
    };
    for (const Case &c : cases)
        check(c);
}

} // namespace

// A text read as it stands has its BEGIN lines found 64 bytes at a time:
// every one is found, at its line and place, in texts of random pieces
// whose breaks fall anywhere in a block (a CR LF split across two, and
// runs of empty lines, included), as a plain walk over the lines finds
// them.
TEST(TolerantCalendar, ItemsFoundAsALineWalkFindsThem) {
    // clang-format off
    const std::string pieces[] = {"BEGIN:VEVENT", "BEGIN:VTODO", "BEGIN:VCALENDAR", " BEGIN:VEVENT",
                                  "\tbegin : vtodo", "b", "BEGIN:VEVENTX", "\r\n", "\n", "\r",
                                  std::string(1, '\0'), "x", std::string(29, 'y'),
                                  std::string(63, 'z'), " ", "END:VEVENT",
                                  std::string(12, '\n'), std::string(9, '\r')};
    // clang-format on
    using Place = std::pair<uint64_t, size_t>;
    auto places = [](const interop::Array<interop::ItemOrigin> &items) {
        std::vector<Place> out;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].line, items[i].readLine);
            out.emplace_back(items[i].line, items[i].at);
        }
        return out;
    };
    uint32_t seed = 11;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = 1 + round % 40;
        for (int k = 0; k < count; ++k) {
            seed = seed * 1103515245u + 12345u;
            text += pieces[(seed >> 16) % (sizeof pieces / sizeof pieces[0])];
        }
        interop::RepairedCalendars found;
        ASSERT_TRUE(interop::findItems(text.data(), text.size(), found));
        std::vector<Place> events;
        std::vector<Place> todos;
        size_t calendars = 0;
        interop::LineCursor cursor(text.data(), text.size());
        interop::Line line;
        while (cursor.next(line)) {
            std::string_view rest;
            if (!interop::isKeywordLine(line.text, "BEGIN", &rest)) continue;
            if (interop::sameWord(rest, "VEVENT")) events.emplace_back(line.number, line.start);
            if (interop::sameWord(rest, "VTODO")) todos.emplace_back(line.number, line.start);
            calendars += interop::sameWord(rest, "VCALENDAR") ? 1 : 0;
        }
        EXPECT_EQ(places(found.events), events) << round;
        EXPECT_EQ(places(found.todos), todos) << round;
        EXPECT_EQ(found.calendarEvents.size(), calendars) << round;
    }
}
