// Calendar conversion through the public interface: rules both ways,
// alarms and zones, a round trip, and the real-world files.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "interop/convert/calModel.h"
#include "interop/convert/contentLine.h"
#include "interop/convert_support.h"
#include "support/memory_source.h"
#include "versit_convert.h"

namespace {

using converttest::convert;
using converttest::lineOf;
using converttest::Result;

std::string vcal(const std::string &dtstart, const std::string &body) {
    return "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nDTSTART:" + dtstart +
           "\r\nDTEND:" + dtstart + "\r\nSUMMARY:x\r\n" + body + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

std::string ical(const std::string &body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VEVENT\r\nUID:1\r\n"
           "DTSTAMP:20240101T000000Z\r\nDTSTART:20240102T090000Z\r\nSUMMARY:x\r\n" +
           body + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

TEST(ConvertCalendar, RulesFromVCalendar) {
    // Start: Tuesday 2 January 2024. vCalendar counts periods and repeats
    // twice by default; iCalendar counts occurrences.
    const struct {
        const char *rule;
        const char *expected; // "" when the rule is left out
    } cases[] = {
        {"D1 #5", "RRULE:FREQ=DAILY;COUNT=5"},
        {"D2 #0", "RRULE:FREQ=DAILY;INTERVAL=2"},
        {"D1", "RRULE:FREQ=DAILY;COUNT=2"},
        {"W1 MO TH #3", "RRULE:FREQ=WEEKLY;COUNT=6;BYDAY=MO,TH"},
        {"W2 TU 20240301T000000Z",
         "RRULE:FREQ=WEEKLY;UNTIL=20240301T235959Z;INTERVAL=2;BYDAY=TU;WKST=TU"},
        {"MP1 1+ 1- FR #0", "RRULE:FREQ=MONTHLY;BYDAY=1FR,-1FR"},
        {"MP1 #4", "RRULE:FREQ=MONTHLY;COUNT=4;BYDAY=1TU"},
        // The exact reader refuses days from the month's end and "$": the
        // tolerant reader leaves such a rule out (and says so).
        {"MD1 1 LD #0", ""},
        {"MD1 2- #0", ""},
        {"MD1 1 15 #3", "RRULE:FREQ=MONTHLY;UNTIL=20240331T235959Z;BYMONTHDAY=1,15"},
        {"YM1 6 7 #2", "RRULE:FREQ=YEARLY;UNTIL=20251231T235959Z;BYMONTH=6,7"},
        {"YD1 1 200 #0", "RRULE:FREQ=YEARLY;BYYEARDAY=1,200"},
        {"MP1 1+$ SU #0", ""},
        {"Q1 #3", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rule);
        const Result r = convert(vcal("20240102T090000Z", std::string("RRULE:") + c.rule + "\r\n"),
                                 VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(lineOf(r.text, "RRULE"), c.expected);
        EXPECT_EQ(r.counts.written, 1u);
        EXPECT_EQ(r.lost.empty(), *c.expected != '\0');
    }
}

TEST(ConvertCalendar, RulesToVCalendar) {
    const struct {
        const char *rule;
        const char *expected; // "" when vCalendar cannot say it
        bool lost;
    } cases[] = {
        {"FREQ=DAILY;COUNT=5", "RRULE:D1 #5", false},
        {"FREQ=DAILY;INTERVAL=3", "RRULE:D3 #0", false},
        {"FREQ=WEEKLY;BYDAY=MO,TH;COUNT=6", "RRULE:W1 MO TH #3", false},
        {"FREQ=WEEKLY;BYDAY=MO,TH;COUNT=5", "RRULE:W1 MO TH #3", true},
        // Our expansion takes the whole end date: the last day UNTIL lets in.
        {"FREQ=MONTHLY;BYDAY=1FR,-1FR;UNTIL=20240601T000000Z",
         "RRULE:MP1 1+ FR 1- FR 20240531T090000Z", false},
        {"FREQ=DAILY;UNTIL=20240601T100000Z", "RRULE:D1 20240601T090000Z", false},
        {"FREQ=MONTHLY;BYDAY=MO", "RRULE:MP1 1+ 2+ 3+ 4+ 5+ MO #0", false},
        {"FREQ=MONTHLY;BYMONTHDAY=1,15", "RRULE:MD1 1 15 #0", false},
        {"FREQ=YEARLY;BYMONTH=6", "RRULE:YM1 6 #0", false},
        {"FREQ=YEARLY;BYYEARDAY=100", "RRULE:YD1 100 #0", false},
        {"FREQ=MONTHLY;BYMONTHDAY=-1", "", true},
        {"FREQ=MONTHLY;BYDAY=MO;BYSETPOS=-1", "", true},
        {"FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU", "", true},
        {"FREQ=HOURLY", "", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rule);
        const Result r = convert(ical(std::string("RRULE:") + c.rule + "\r\n"), VI_FORMAT_ICAL20,
                                 VI_FORMAT_VCAL10);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(lineOf(r.text, "RRULE"), c.expected);
        EXPECT_EQ(!r.lost.empty(), c.lost);
        EXPECT_EQ(r.counts.lossy, c.lost ? 1u : 0u);
    }
}

// The exact reader's error text for a text ("" when it has none).
std::string exactErrors(const std::string &text) {
    MemorySource source(text.data(), text.size());
    ParseTreeHandle *tree = nullptr;
    char *errors = nullptr;
    char *warnings = nullptr;
    uint8_t versionOk = 0;
    char version[9];
    vCal_ParseTreeFromStreamGet(&tree, &source, MemorySource::next, &errors, &warnings, nullptr,
                                nullptr, &versionOk, version, 0);
    std::string said = errors != nullptr ? errors : "";
    std::free(errors);
    std::free(warnings);
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return said;
}

std::string zone20(const std::string &id, const std::string &observances) {
    return "BEGIN:VTIMEZONE\r\nTZID:" + id + "\r\n" + observances + "END:VTIMEZONE\r\n";
}

std::string observance(const char *kind, const char *from, const char *to, const char *start,
                       const char *rule, const char *name) {
    return std::string("BEGIN:") + kind + "\r\nTZOFFSETFROM:" + from + "\r\nTZOFFSETTO:" + to +
           "\r\nDTSTART:" + start + "\r\n" + (*rule ? std::string("RRULE:") + rule + "\r\n" : "") +
           (*name ? std::string("TZNAME:") + name + "\r\n" : "") + "END:" + kind + "\r\n";
}

// A zone 1.0 can say is written as TZ and a DAYLIGHT line per daylight
// period, in UTC as the times are; one it cannot is reported and left out.
TEST(ConvertCalendar, ZoneWrittenAsTzAndDaylight) {
    const std::string berlin =
        zone20("Europe/Berlin", observance("DAYLIGHT", "+0100", "+0200", "19700329T020000",
                                           "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU", "CEST") +
                                    observance("STANDARD", "+0200", "+0100", "19701025T030000",
                                               "FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU", "CET"));
    // "The second Sunday" as days 8 to 14 that are a Sunday; no names.
    const std::string newYork =
        zone20("America/New_York",
               observance("DAYLIGHT", "-0500", "-0400", "20070311T020000",
                          "FREQ=YEARLY;BYMONTH=3;BYMONTHDAY=8,9,10,11,12,13,14;BYDAY=SU", "") +
                   observance("STANDARD", "-0400", "-0500", "20071104T020000",
                              "FREQ=YEARLY;BYMONTH=11;BYDAY=1SU", ""));
    const std::string monthly = zone20(
        "Odd", observance("DAYLIGHT", "+0000", "+0100", "20240101T000000", "FREQ=MONTHLY", "") +
                   observance("STANDARD", "+0100", "+0000", "20240115T000000", "", ""));
    // The exact reader wants an end.
    auto item = [](const std::string &zones, const std::string &times) {
        const std::string end =
            times.find("DTEND") == std::string::npos ? "DTEND:20240702T200000Z\r\n" : "";
        return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n" + zones +
               "BEGIN:VEVENT\r\nUID:1\r\nDTSTAMP:20240101T000000Z\r\n" + times + end +
               "SUMMARY:x\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    };
    // Some writers put the zones last: the zone is still written first.
    auto zonesLast = [&](const std::string &zones, const std::string &times) {
        std::string text = item("", times);
        text.insert(text.find("END:VCALENDAR"), zones);
        return text;
    };
    const struct {
        const char *what;
        std::string in;
        int32_t from;
        const char *tz;       // "" for none
        const char *daylight; // the first DAYLIGHT line, "" for none
        const char *start;    // the DTSTART line
        const char *lost;     // part of the loss reported, "" for none
    } cases[] = {
        {"1.0 with its DAYLIGHT in UTC",
         "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:+01:00\r\n"
         "DAYLIGHT:TRUE;+02;20240331T010000Z;20241027T010000Z;CET;CEST\r\n"
         "BEGIN:VEVENT\r\nDTSTART:20240702T090000\r\nDTEND:20240702T200000Z\r\nEND:VEVENT\r\n"
         "END:VCALENDAR\r\n",
         VI_FORMAT_VCAL10, "TZ:+01", "DAYLIGHT:TRUE;+02;20240331T010000Z;20241027T010000Z;CET;CEST",
         "DTSTART:20240702T070000Z", ""},
        {"1.0 with its DAYLIGHT in local time, times in UTC only",
         "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:-05\r\n"
         "DAYLIGHT:TRUE;-04;20240310T020000;20241103T020000;EST;EDT\r\n"
         "BEGIN:VEVENT\r\nDTSTART:20240702T090000Z\r\nDTEND:20240702T200000Z\r\nEND:VEVENT\r\n"
         "END:VCALENDAR\r\n",
         VI_FORMAT_VCAL10, "TZ:-05", "DAYLIGHT:TRUE;-04;20240310T070000Z;20241103T060000Z;EST;EDT",
         "DTSTART:20240702T090000Z", ""},
        {"1.0 without DAYLIGHT",
         "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:+05:30\r\n"
         "BEGIN:VEVENT\r\nDTSTART:20240702T090000\r\nDTEND:20240702T200000Z\r\nEND:VEVENT\r\n"
         "END:VCALENDAR\r\n",
         VI_FORMAT_VCAL10, "TZ:+05:30", "", "DTSTART:20240702T033000Z", ""},
        {"iCalendar rules, over the item's year",
         item(berlin, "DTSTART;TZID=Europe/Berlin:20240702T090000\r\n"), VI_FORMAT_ICAL20, "TZ:+01",
         "DAYLIGHT:TRUE;+02;20240331T010000Z;20241027T010000Z;CET;CEST", "DTSTART:20240702T070000Z",
         ""},
        {"iCalendar zone after the items",
         zonesLast(berlin, "DTSTART;TZID=Europe/Berlin:20240702T090000\r\n"), VI_FORMAT_ICAL20,
         "TZ:+01", "DAYLIGHT:TRUE;+02;20240331T010000Z;20241027T010000Z;CET;CEST",
         "DTSTART:20240702T070000Z", ""},
        {"iCalendar zone whose END is misnamed: the item is not one of its observances",
         item(berlin.substr(0, berlin.rfind("END:VTIMEZONE")) + "END:VTIMEZON\r\n",
              "DTSTART;TZID=Europe/Berlin:20240702T090000\r\n"),
         VI_FORMAT_ICAL20, "TZ:+01", "DAYLIGHT:TRUE;+02;20240331T010000Z;20241027T010000Z;CET;CEST",
         "DTSTART:20240702T070000Z", ""},
        {"iCalendar nth weekday as seven days, no names",
         item(newYork, "DTSTART;TZID=America/New_York:20240702T090000\r\n"), VI_FORMAT_ICAL20,
         "TZ:-05", "DAYLIGHT:TRUE;-04;20240310T070000Z;20241103T060000Z;STD;DST",
         "DTSTART:20240702T130000Z", ""},
        {"two zones",
         item(berlin + newYork, "DTSTART;TZID=Europe/Berlin:20240702T090000\r\n"
                                "DTEND;TZID=America/New_York:20240702T090000\r\n"),
         VI_FORMAT_ICAL20, "", "", "DTSTART:20240702T070000Z", "more than one zone"},
        {"a zoned and a floating time",
         item(berlin, "DTSTART;TZID=Europe/Berlin:20240702T090000\r\nDTEND:20240702T100000\r\n"),
         VI_FORMAT_ICAL20, "", "", "DTSTART:20240702T070000Z", "in no zone"},
        {"floating times and a zone no time is in", item(berlin, "DTSTART:20240702T090000\r\n"),
         VI_FORMAT_ICAL20, "", "", "DTSTART:20240702T090000", ""},
        {"a rule 1.0 cannot follow",
         item(monthly, "DTSTART;TZID=Odd:20240702T090000\r\n"
                       "DTEND;TZID=Odd:20240702T100000\r\n"),
         VI_FORMAT_ICAL20, "", "", "DTSTART:20240702T090000Z", "vCalendar cannot say it"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = convert(c.in, c.from, VI_FORMAT_VCAL10);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(lineOf(r.text, "TZ"), c.tz) << r.text;
        EXPECT_EQ(lineOf(r.text, "DAYLIGHT"), c.daylight);
        EXPECT_EQ(lineOf(r.text, "DTSTART"), c.start);
        const std::string lost = c.lost;
        EXPECT_EQ(r.lost.size(), lost.empty() ? 0u : 1u);
        if (!lost.empty() && !r.lost.empty()) {
            EXPECT_NE(r.lost[0].find(lost), std::string::npos) << r.lost[0];
        }
        EXPECT_EQ(exactErrors(r.text), "");
        // The calendar's lines come before its items.
        if (*c.tz != '\0') {
            EXPECT_LT(r.text.find(c.tz), r.text.find("BEGIN:VEVENT"));
        }
    }
    // Items over two years get a DAYLIGHT line for each year's summer,
    // also when the later year is the second item's.
    std::string twoItems = item(berlin, "DTSTART;TZID=Europe/Berlin:20240702T090000\r\n");
    twoItems.insert(twoItems.find("END:VCALENDAR"),
                    "BEGIN:VEVENT\r\nUID:2\r\nDTSTAMP:20240101T000000Z\r\n"
                    "DTSTART;TZID=Europe/Berlin:20250702T090000\r\nDTEND:20250702T200000Z\r\n"
                    "END:VEVENT\r\n");
    const Result years = convert(twoItems, VI_FORMAT_ICAL20, VI_FORMAT_VCAL10);
    EXPECT_NE(years.text.find("DAYLIGHT:TRUE;+02;20240331T010000Z;20241027T010000Z;CET;CEST\r\n"
                              "DAYLIGHT:TRUE;+02;20250330T010000Z;20251026T010000Z;CET;CEST\r\n"),
              std::string::npos)
        << years.text;
}

// A line's name, parameters and value as the reader kept the line: blanks
// around the name and before the value go, the first colon ends the
// parameters, and the parameters say how the value is read.
TEST(ConvertCalendar, LinesSplitAtTheirFirstColon) {
    const struct {
        const char *line;
        const char *written;
    } cases[] = {
        {"LOCATION:  room", "LOCATION:room\r\n"},
        {"LOCATION  :room", "LOCATION:room\r\n"},
        {"LOCATION:room   ", "LOCATION:room\r\n"},
        {"LOCATION:a:b", "LOCATION:a:b\r\n"},
        {"LOCATION;X-A=1:room", "LOCATION:room\r\n"},
        {"LOCATION;ENCODING=QUOTED-PRINTABLE:a=3Db", "LOCATION:a=b\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const Result r = convert(vcal("20240102T090000Z", std::string(c.line) + "\r\n"),
                                 VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
        EXPECT_NE(r.text.find(std::string("\r\n") + c.written), std::string::npos) << r.text;
    }
}

// iCalendar wants a DTSTAMP: the latest kind of stamp the item has that
// reads as a time (LAST-MODIFIED, then DCREATED, then its own times).
TEST(ConvertCalendar, StampFromTheLatestTimeTheItemHas) {
    const struct {
        const char *body;
        const char *stamp;
    } cases[] = {
        {"", "DTSTAMP:20240102T090000Z\r\n"},
        {"DCREATED:20230101T080000Z\r\n", "DTSTAMP:20230101T080000Z\r\n"},
        {"DCREATED:20230101T080000Z\r\nLAST-MODIFIED:20230505T070000Z\r\n",
         "DTSTAMP:20230505T070000Z\r\n"},
        // A stamp that is no time is passed over for the next kind.
        {"LAST-MODIFIED:20230532T070000Z\r\nDCREATED:20230101T080000Z\r\n",
         "DTSTAMP:20230101T080000Z\r\n"},
        {"LAST-MODIFIED:soon\r\n", "DTSTAMP:20240102T090000Z\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        const Result r =
            convert(vcal("20240102T090000Z", c.body), VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
        EXPECT_EQ(r.counts.written, 1u);
        EXPECT_NE(r.text.find(c.stamp), std::string::npos) << r.text;
        EXPECT_NE(r.text.find("DTSTART:20240102T090000Z\r\n"), std::string::npos) << r.text;
    }
}

// What iCalendar cannot hold goes beside its best standard form as
// X-VCAL-<NAME>, reported as lost for iCalendar; back in 1.0 it is the
// original line again, in place of the standard one.
TEST(ConvertCalendar, KeepsWhatICalendarCannotHold) {
    const struct {
        bool todo;
        const char *line;     // of the 1.0 item
        const char *standard; // the standard line in iCalendar, "" for none
        const char *kept;     // the X-VCAL- line (or the line that keeps it)
        const char *back;     // the 1.0 line again
    } cases[] = {
        {false, "STATUS:NEEDS ACTION", "STATUS:TENTATIVE", "X-VCAL-STATUS:NEEDS ACTION",
         "STATUS:NEEDS ACTION"},
        {true, "STATUS:SENT", "STATUS:NEEDS-ACTION", "X-VCAL-STATUS:SENT", "STATUS:SENT"},
        {false, "STATUS:DECLINED", "STATUS:CANCELLED", "X-VCAL-STATUS:DECLINED", "STATUS:DECLINED"},
        {false, "PRIORITY:25", "PRIORITY:9", "X-VCAL-PRIORITY:25", "PRIORITY:25"},
        {false, "TRANSP:255", "TRANSP:TRANSPARENT", "X-VCAL-TRANSP:255", "TRANSP:255"},
        {false, "COMPLETED:20240103T100000Z", "", "X-VCAL-COMPLETED:20240103T100000Z",
         "COMPLETED:20240103T100000Z"},
        {false, "DUE:20240103T100000Z", "", "X-VCAL-DUE:20240103T100000Z", "DUE:20240103T100000Z"},
        {true, "DTEND:20240103T100000Z", "", "X-VCAL-DTEND:20240103T100000Z",
         "DTEND:20240103T100000Z"},
        {true, "TRANSP:0", "", "X-VCAL-TRANSP:0", "TRANSP:0"},
        {false, "RNUM:3", "", "X-VCAL-RNUM:3", "RNUM:3"},
        // A count and an end: our expansion stops at whichever comes first.
        {false, "RRULE:D1 #3 20240110T090000Z", "RRULE:FREQ=DAILY;UNTIL=20240110T235959Z",
         "X-VCAL-RRULE:D1 #3 20240110T090000Z", "RRULE:D1 #3 20240110T090000Z"},
        {false, "ATTENDEE;ROLE=OWNER;STATUS=SENT:a@b.example", "",
         "ATTENDEE;ROLE=CHAIR;X-VCAL-ROLE=\"OWNER\";PARTSTAT=NEEDS-ACTION;X-VCAL-STATUS=\"SENT\":"
         "mailto:a@b.example",
         "ATTENDEE;ROLE=OWNER;STATUS=SENT:a@b.example"},
        // Line breaks that are not CR LF.
        {false, "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:a=0Db=0Dc", "",
         "DESCRIPTION;X-VCAL-BREAK=CR:a\\nb\\nc",
         "DESCRIPTION;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=0Db=0Dc"},
        // An alarm the VALARM does not say whole keeps its text in it.
        {false, "DALARM:20240102T080000Z", "", "X-VCAL-DALARM:20240102T080000Z",
         "DALARM:20240102T080000Z"},
        {false, "AALARM:20240102T080000Z;PT5M;;beep", "",
         "X-VCAL-AALARM:20240102T080000Z\\;PT5M\\;\\;beep", "AALARM:20240102T080000Z;PT5M;;beep"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const std::string item = c.todo ? "VTODO" : "VEVENT";
        const std::string in = "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:" + item +
                               "\r\nUID:u\r\nDTSTART:20240102T090000Z\r\n" + c.line +
                               "\r\nEND:" + item + "\r\nEND:VCALENDAR\r\n";
        const Result forth = convert(in, VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
        ASSERT_EQ(forth.rc, 0);
        const std::string kept = c.kept;
        const std::string name = kept.substr(0, kept.find_first_of(";:"));
        EXPECT_EQ(lineOf(forth.text, name), kept) << forth.text;
        if (*c.standard != '\0') {
            const std::string standard = c.standard;
            const std::string prefix = standard.substr(0, standard.find_first_of(";:"));
            EXPECT_EQ(lineOf(forth.text, prefix + ":") + lineOf(forth.text, prefix + ";"),
                      standard);
            // Right after it, which is where the way back looks.
            EXPECT_NE(forth.text.find(standard + "\r\n" + kept), std::string::npos);
        }
        // Lost for iCalendar, and said where it is kept, unless only a
        // line break's form is kept.
        EXPECT_EQ(forth.lost.empty(), name == "DESCRIPTION");
        for (const std::string &lost : forth.lost)
            EXPECT_NE(lost.find("kept as X-VCAL-"), std::string::npos) << lost;
        const Result back = convert(forth.text, VI_FORMAT_ICAL20, VI_FORMAT_VCAL10);
        ASSERT_EQ(back.rc, 0);
        EXPECT_TRUE(back.lost.empty()) << back.lost[0];
        const std::string backLine = c.back;
        EXPECT_EQ(lineOf(back.text, backLine.substr(0, backLine.find_first_of(";:"))), backLine)
            << back.text;
        EXPECT_EQ(back.text.find("X-VCAL"), std::string::npos);
    }
    // The way back takes X-VCAL- lines from any iCalendar text: one
    // replaces the standard property just before it, and stands alone
    // where there is none.
    const Result back = convert(ical("STATUS:CONFIRMED\r\nX-VCAL-STATUS:ACCEPTED\r\n"
                                     "X-VCAL-COMPLETED:20240103T100000Z\r\n"),
                                VI_FORMAT_ICAL20, VI_FORMAT_VCAL10);
    ASSERT_EQ(back.rc, 0);
    EXPECT_EQ(lineOf(back.text, "STATUS"), "STATUS:ACCEPTED");
    EXPECT_EQ(back.text.find("STATUS:CONFIRMED"), std::string::npos);
    EXPECT_EQ(lineOf(back.text, "COMPLETED"), "COMPLETED:20240103T100000Z");
}

// Every item the tolerant reader keeps is converted, in each target.
// Lines are looked for only when a report names one: each must still be
// its item's, with events and to-dos in turns and the calendar's text
// rewritten (its TZ after an item, an event without DTEND). The items are
// converted in the order of the text.
TEST(ConvertCalendar, ReportsNameTheirLines) {
    const std::string items =
        "BEGIN:VEVENT\r\nDTSTART:20240102T090000Z\r\nDTEND:20240102T100000Z\r\n"
        "STATUS:SENT\r\nEND:VEVENT\r\nBEGIN:VTODO\r\nDTSTART:20240102T090000Z\r\n"
        "DTEND:20240102T100000Z\r\nEND:VTODO\r\nBEGIN:VEVENT\r\nDTSTART:20240103T090000Z\r\n"
        "STATUS:SENT\r\nEND:VEVENT\r\nTZ:+01\r\nBEGIN:VTODO\r\nSUMMARY:x\r\n"
        "DUE:20240102T100000Z\r\nDTEND:20240102T100000Z\r\nEND:VTODO\r\n";
    const Result r = convert("BEGIN:VCALENDAR\r\nVERSION:1.0\r\n" + items + "END:VCALENDAR\r\n",
                             VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
    const std::vector<std::string> expected = {
        "12: an event without DTEND ends when it starts",
        "6: STATUS SENT is written as TENTATIVE for an event (kept as X-VCAL-STATUS)",
        "10: DTEND: iCalendar has none in an to-do (kept as X-VCAL-DTEND)",
        "14: STATUS SENT is written as TENTATIVE for an event (kept as X-VCAL-STATUS)",
        "20: DTEND: iCalendar has none in an to-do (kept as X-VCAL-DTEND)",
    };
    EXPECT_EQ(r.reports, expected);
}

// One calendar is one jCal document, several an array of them, from
// either format; nothing at all an empty array.
TEST(ConvertCalendar, JcalDocumentsOneOrMany) {
    for (const auto &[from, one] : {std::pair{VI_FORMAT_VCAL10, vcal("20240102T090000Z", "")},
                                    std::pair{VI_FORMAT_ICAL20, ical("")}}) {
        SCOPED_TRACE(from);
        std::string document = convert(one, from, VI_FORMAT_JCAL).text;
        ASSERT_EQ(document.compare(0, 13, "[\"vcalendar\","), 0) << document;
        ASSERT_EQ(document.back(), '\n');
        document.pop_back();
        EXPECT_EQ(convert("junk\r\n", from, VI_FORMAT_JCAL).text, "[]\n");
        EXPECT_EQ(convert(one + one + one, from, VI_FORMAT_JCAL).text,
                  "[" + document + ",\n" + document + ",\n" + document + "]\n");
    }
    // Components nested as deep as a text has them, each level closed in
    // turn (a fixed depth once failed as if memory had run out).
    std::string deep = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
    for (int i = 0; i < 100; ++i)
        deep += "BEGIN:X-LEVEL\r\nX-AT:" + std::to_string(i) + "\r\n";
    for (int i = 0; i < 100; ++i)
        deep += "END:X-LEVEL\r\n";
    const Result nested = convert(deep + "END:VCALENDAR\r\n", VI_FORMAT_ICAL20, VI_FORMAT_JCAL);
    ASSERT_EQ(nested.rc, 0);
    std::string expected = "[\"vcalendar\",[[\"version\",{},\"text\",\"2.0\"]],[";
    for (int i = 0; i < 100; ++i)
        expected += "[\"x-level\",[[\"x-at\",{},\"unknown\",\"" + std::to_string(i) + "\"]],[";
    for (int i = 0; i < 100; ++i)
        expected += "]]";
    EXPECT_EQ(nested.text, expected + "]]\n");
}

// A calendar goes out item by item: its writer never holds more than the
// calendar's own lines and one item, however many items there are, and no
// write hands over much more than the sink's piece. (vCalendar output from
// vCalendar is written whole: its zone depends on every item, and the
// reader's tree has them all anyway.)
size_t largestModel = 0, writerCalls = 0;
int32_t noteModel(interop::convert::Job &job, interop::convert::CalModel &model, bool last) {
    largestModel = std::max(largestModel, model.entries.size());
    ++writerCalls;
    return job.to == VI_FORMAT_VCAL10 ? interop::convert::writeCalendar10(job, model, last)
                                      : interop::convert::writeCalendar20(job, model, last);
}

int32_t noteLargest(void *user, const char *, size_t n) {
    auto &largest = *static_cast<size_t *>(user);
    largest = std::max(largest, n);
    return 0;
}

TEST(ConvertCalendar, WrittenAsItGoes) {
    std::string items;
    for (int i = 0; i < 3000; ++i)
        items += "BEGIN:VEVENT\r\nDTSTART:20240102T090000Z\r\nDTEND:20240102T100000Z\r\n"
                 "SUMMARY:event " +
                 std::to_string(i) + "\r\nEND:VEVENT\r\n";
    const std::string text10 = "BEGIN:VCALENDAR\r\nVERSION:1.0\r\n" + items + "END:VCALENDAR\r\n";
    const std::string text20 = convert(text10, VI_FORMAT_VCAL10, VI_FORMAT_ICAL20).text;
    const struct {
        const std::string *text;
        int32_t from, to;
    } runs[] = {{&text10, VI_FORMAT_VCAL10, VI_FORMAT_ICAL20},
                {&text10, VI_FORMAT_VCAL10, VI_FORMAT_VCAL10},
                {&text20, VI_FORMAT_ICAL20, VI_FORMAT_ICAL20},
                {&text20, VI_FORMAT_ICAL20, VI_FORMAT_VCAL10}};
    for (const auto &[text, from, to] : runs) {
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
        size_t largestWrite = 0;
        interop::convert::Sink sink(noteLargest, &largestWrite, false);
        interop::Reporter report(nullptr, nullptr);
        VI_ConvertCounts counts{};
        interop::convert::Job job{text->data(), text->size(), from, to, sink, report, counts};
        interop::convert::CalModel model;
        largestModel = writerCalls = 0;
        const int32_t rc = from == VI_FORMAT_VCAL10
                               ? interop::convert::readCalendars10(job, model, noteModel)
                               : interop::convert::readCalendars20(job, model, noteModel);
        ASSERT_EQ(rc, 0);
        ASSERT_TRUE(sink.finish());
        EXPECT_EQ(counts.written, 3000u);
        EXPECT_GE(writerCalls, 3000u);
        EXPECT_LT(largestModel, 20u);
        EXPECT_LT(largestWrite, size_t{80000});
        if (to != VI_FORMAT_ICAL20) continue;
        // jCal through the whole converter: a calendar is not held back
        // to see whether another follows.
        largestWrite = 0;
        ASSERT_EQ(VI_convert(text->data(), text->size(), from, VI_FORMAT_JCAL, noteLargest,
                             &largestWrite, nullptr, nullptr, nullptr),
                  0);
        EXPECT_LT(largestWrite, size_t{80000});
    }
}

TEST(ConvertCalendar, CorpusItemsAllConverted) {
    const std::vector<std::string> files = converttest::corpusFiles("vcal10");
    if (files.empty()) GTEST_SKIP() << "no corpus";
    size_t converted = 0;
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        const std::string text = converttest::fileText(path);
        if (VI_detectFormat(text.data(), text.size()) != VI_FORMAT_VCAL10) continue;
        const Result r = convert(text, VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(r.counts.written, r.counts.read);
        size_t items = 0;
        for (const char *b : {"BEGIN:VEVENT\r\n", "BEGIN:VTODO\r\n"})
            for (size_t at = r.text.find(b); at != std::string::npos; at = r.text.find(b, at + 1))
                ++items;
        EXPECT_EQ(items, r.counts.read);
        const Result back = convert(r.text, VI_FORMAT_ICAL20, VI_FORMAT_VCAL10);
        EXPECT_EQ(back.counts.written, r.counts.read);
        const Result json = convert(text, VI_FORMAT_VCAL10, VI_FORMAT_JCAL);
        EXPECT_EQ(json.counts.written, r.counts.read);
        converted += r.counts.written;
    }
    EXPECT_GT(converted, 0u);
}

// A southern zone whose summer ends on April's last Sunday: in 2022 that
// is the 24th (April has 30 days; a 31st would be a Sunday).
TEST(ConvertCalendar, ZoneRulesCountTheMonthsDays) {
    const std::string in = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VTIMEZONE\r\n"
                           "TZID:South\r\nBEGIN:STANDARD\r\nDTSTART:20000402T030000\r\n"
                           "RRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=-1SU\r\nTZOFFSETFROM:+1100\r\n"
                           "TZOFFSETTO:+1000\r\nTZNAME:AEST\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\n"
                           "DTSTART:20001001T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=1SU\r\n"
                           "TZOFFSETFROM:+1000\r\nTZOFFSETTO:+1100\r\nTZNAME:AEDT\r\n"
                           "END:DAYLIGHT\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                           "DTSTAMP:20220101T000000Z\r\nDTSTART;TZID=South:20220601T100000\r\n"
                           "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const Result r = convert(in, VI_FORMAT_ICAL20, VI_FORMAT_VCAL10);
    ASSERT_EQ(r.rc, 0);
    EXPECT_NE(r.text.find("DAYLIGHT:TRUE;+11;20211002T160000Z;20220423T160000Z;AEST;AEDT\r\n"),
              std::string::npos)
        << r.text;
    EXPECT_NE(r.text.find("DTSTART:20220601T000000Z\r\n"), std::string::npos) << r.text;
}

// Quoted-printable values decoded as written: escapes in either case, an
// "=" that starts no escape kept, line breaks escaped again for iCalendar.
TEST(ConvertCalendar, QuotedPrintableDecodedAsWritten) {
    const struct {
        const char *value;
        const char *expected;
    } cases[] = {
        {"a=3Db", "a=b"},
        {"=41=42", "AB"},
        {"x=3d", "x="},
        {"a=zz", "a=zz"},
        {"a=4", "a=4"},
        {"tail=3", "tail=3"},
        {"a=0D=0Ab", "a\\nb"},
        {"=3D=x", "==x"},
        {"no escape", "no escape"},
        // Breaks of one kind other than CR LF are said in a parameter; any
        // CR LF, or both kinds, and they are not.
        {"a=0Db=0Dc", "a\\nb\\nc"},
        {"a=0Ab=0Ac", "a\\nb\\nc"},
        {"a=0Db=0D=0Ac", "a\\nb\\nc"},
        {"a=0D=0Ab=0Dc", "a\\nb\\nc"},
        {"a=0Ab=0Dc", "a\\nb\\nc"},
        {"a=0Db=0Ac", "a\\nb\\nc"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        const Result r =
            convert(vcal("20240102T090000Z",
                         std::string("DESCRIPTION;ENCODING=QUOTED-PRINTABLE:") + c.value + "\r\n"),
                    VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
        ASSERT_EQ(r.rc, 0);
        const std::string value = c.value;
        const bool cr = value.find("=0D") != std::string::npos;
        const bool lf = value.find("=0A") != std::string::npos;
        const std::string form = value.find("=0D=0A") != std::string::npos || cr == lf ? ""
                                 : cr                                                  ? "CR"
                                                                                       : "LF";
        EXPECT_EQ(lineOf(r.text, "DESCRIPTION"),
                  "DESCRIPTION" + (form.empty() ? "" : ";X-VCAL-BREAK=" + form) + ":" + c.expected);
    }
}

// Hour 24, as some writers put midnight, is the next day's start: at the
// end of a month and of a year too. (The exact vCalendar reader reads it
// so itself; iCalendar text comes here.)
TEST(ConvertCalendar, HourTwentyFourIsTheNextDay) {
    const struct {
        const char *written;
        const char *read;
    } cases[] = {{"20240131T240000Z", "20240201T000000Z"},
                 {"20231231T2400", "20240101T000000"},
                 {"20240228T240000", "20240229T000000"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.written);
        const std::string in = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n"
                               "BEGIN:VEVENT\r\nUID:1\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:" +
                               std::string(c.written) + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
        const Result r = convert(in, VI_FORMAT_ICAL20, VI_FORMAT_VCAL10);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(lineOf(r.text, "DTSTART"), std::string("DTSTART:") + c.read);
    }
}

} // namespace

// Numbers of dates, durations and rules are written by hand: exactly as
// printf's "%0*lld" writes them, signs and the extremes included.
TEST(ConvertCalendar, DecimalsAsPrintfWritesThem) {
    for (const long long value :
         {0LL, 7LL, -7LL, 42LL, 1999LL, -1999LL, 100000000LL, LLONG_MAX, LLONG_MIN}) {
        for (const int width : {1, 2, 4, 25}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%0*lld", width, value);
            char room[32];
            EXPECT_EQ(interop::convert::decimal(room, value, width), expected)
                << value << " width " << width;
        }
    }
}
