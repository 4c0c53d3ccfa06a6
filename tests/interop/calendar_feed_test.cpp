// The rewriting of calendars made as it is read: the same text, lines,
// items and reports as the rewriting of the whole text, with no more than a
// few items held, and the exact reader's messages still at their lines.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interop/convert_support.h"
#include "interop/recover/calendarRecover.h"
#include "interop/recover/report.h"
#include "versit_interop.h"

namespace {

using namespace std::string_literals;

void collect(void *user, const VI_Report *r) {
    static_cast<std::vector<std::string> *>(user)->push_back(
        std::to_string(r->line) + " " + std::to_string(r->kind) + " " + r->message);
}

std::string origins(const std::vector<interop::ItemOrigin> &items) {
    std::string out;
    for (const interop::ItemOrigin &o : items)
        out += std::to_string(o.line) + (o.repaired ? "r" : "") + (o.lossy ? "l" : "") + "@" +
               std::to_string(o.at) + "/" + std::to_string(o.readLine) + " ";
    return out;
}

struct Made {
    std::string text;
    std::vector<uint64_t> lines; // original line of each line made
    std::vector<interop::ItemOrigin> events;
    std::vector<interop::ItemOrigin> todos;
    std::vector<std::string> reports;
    uint64_t junkLines = 0;
    uint64_t skipped = 0;
    size_t largestHeld = 0; // bytes of text held at once
};

// Every line and item as soon as it is made, as a reader would meet them.
Made byFeed(const std::string &in, interop::CalendarHeads &heads) {
    Made m;
    interop::Reporter report(collect, &m.reports);
    interop::RepairedCalendars out;
    {
        interop::CalendarRepairFeed feed(in.data(), in.size(), report, out, heads);
        vcal::MemoryStream &s = feed.stream();
        while (s.more(s)) {
            m.text.append(s.at, s.end);
            s.at = s.end;
            for (uint64_t n = m.lines.size() + 1; n <= out.lineBase + out.lines.size(); ++n)
                m.lines.push_back(out.originalLine(n));
            for (const interop::ItemOrigin *o = nullptr;
                 (o = out.origin(VCAL_ITEM_EVENT, m.events.size())) != nullptr;)
                m.events.push_back(*o);
            for (const interop::ItemOrigin *o = nullptr;
                 (o = out.origin(VCAL_ITEM_TODO, m.todos.size())) != nullptr;)
                m.todos.push_back(*o);
            m.largestHeld = std::max(m.largestHeld, out.text.length);
        }
        EXPECT_FALSE(feed.failed());
    }
    m.junkLines = out.junkLines;
    m.skipped = out.skipped;
    return m;
}

Made whole(const std::string &in) {
    Made m;
    interop::Reporter report(collect, &m.reports);
    interop::RepairedCalendars out;
    EXPECT_TRUE(interop::repairCalendars(in.data(), in.size(), report, out));
    m.text.assign(out.text.text != nullptr ? out.text.text : "", out.text.length);
    for (uint64_t n = 1; n <= out.lines.size(); ++n)
        m.lines.push_back(out.originalLine(n));
    for (size_t i = 0; i < out.events.size(); ++i)
        m.events.push_back(out.events[i]);
    for (size_t i = 0; i < out.todos.size(); ++i)
        m.todos.push_back(out.todos[i]);
    m.junkLines = out.junkLines;
    m.skipped = out.skipped;
    m.largestHeld = out.text.length;
    return m;
}

std::string lines(std::string text) {
    for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', bar))
        text.replace(bar, 1, "\r\n");
    return text;
}

std::string events(int count, const std::string &extra) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += "BEGIN:VEVENT|DTSTART:20240102T090000|SUMMARY:event " + std::to_string(i) + extra +
               "|END:VEVENT|";
    return out;
}

TEST(CalendarRepairFeed, MakesWhatTheWholeRewritingMakes) {
    const std::string big = events(400, " caf\xE9");
    const struct {
        const char *what;
        std::string text;
    } cases[] = {
        {"a zone in an item before the calendar's own, which then differs",
         "BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT|TZ:+0200|DTSTART:20240102T090000|END:VEVENT|"
         "TZ:+03:00|DAYLIGHT:TRUE;+04;20240301T020000;20241001T020000;EST;EDT|"
         "BEGIN:VTODO|SUMMARY:t|TZ:+02:00|END:VTODO|END:VCALENDAR|"},
        {"calendars without END, an item outside any, a calendar inside an item",
         "junk|BEGIN:VEVENT|DTSTART:20240102T090000|END:VEVENT|BEGIN:VCALENDAR|TZ:-05|"
         "BEGIN:VTODO|DUE:20240105|BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT|DTEND:20240103|"
         "END:VCALENDAR|BEGIN:VCALENDAR|BEGIN:VEVENT|END:VEVENT|more junk"},
        {"folds, soft breaks, NUL bytes, a byte-order mark, a block the reader does not know",
         "\xEF\xBB\xBF"
         "BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT|DTSTART:2024\x00"
         "0102T090000|SUMMARY;ENCODING=QUOTED-PRINTABLE:caf=|=E9 au =|lait|DESCRIPTION:long|"
         " folded\t|BEGIN:VALARM|TRIGGER:-PT5M|END:VALARM|END:VEVENT|END:VCALENDAR|"s},
        {"no calendar at all", "nothing|to see"},
        {"nothing", ""},
        {"many items, the zone at the end", "BEGIN:VCALENDAR|VERSION:1.0|" + big +
                                                "TZ:+01|END:VCALENDAR|BEGIN:VCALENDAR|" + big +
                                                "END:VCALENDAR|"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = lines(c.text);
        const Made expected = whole(text);
        interop::CalendarHeads heads;
        const Made made = byFeed(text, heads);
        EXPECT_EQ(made.text, expected.text);
        EXPECT_EQ(made.lines, expected.lines);
        EXPECT_EQ(origins(made.events), origins(expected.events));
        EXPECT_EQ(origins(made.todos), origins(expected.todos));
        EXPECT_EQ(made.reports, expected.reports);
        EXPECT_EQ(made.junkLines, expected.junkLines);
        EXPECT_EQ(made.skipped, expected.skipped);
        // Made again with the heads kept from the first time.
        const Made again = byFeed(text, heads);
        EXPECT_EQ(again.text, expected.text);
        EXPECT_EQ(again.lines, expected.lines);
        EXPECT_EQ(again.reports, expected.reports);
        if (text.size() > 10000) {
            EXPECT_GT(expected.largestHeld, size_t{40000});
            EXPECT_LT(made.largestHeld, size_t{600});
        }
    }
}

// A message of the exact reader on the rewritten text is reported at the
// line of the original it came from, however far down: converted, the
// text is made as it is read and forgets the lines it made.
TEST(CalendarRepairFeed, ExactReadersMessagesKeepTheirLines) {
    const std::string text =
        lines("BEGIN:VCALENDAR|VERSION:1.0|" + events(300, " caf\xE9") +
              "END:VCALENDAR|BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT|TZ:+05DUE:19800101|"
              "DTSTART:20050520T110000Z|END:VEVENT|" +
              events(50, "") + "END:VCALENDAR|");
    std::vector<std::string> read;
    VI_TolerantReader *reader = nullptr;
    ASSERT_EQ(VI_tolerantReaderCreate(&reader, text.data(), text.size(), collect, &read), 0);
    ParseTreeHandle *tree = nullptr;
    EXPECT_EQ(VI_readCalendarsTolerantly(reader, &tree), 0);
    VI_tolerantReaderDestroy(&reader);
    auto exact = [](const std::vector<std::string> &reports) {
        std::vector<std::string> out;
        for (const std::string &r : reports) {
            const size_t at = r.find("the exact reader");
            if (at != std::string::npos)
                out.push_back(r.substr(0, r.find(' ')) + " " + r.substr(at));
        }
        return out;
    };
    const std::vector<std::string> fromTree = exact(read);
    ASSERT_EQ(fromTree.size(), 1u);
    EXPECT_EQ(fromTree[0].substr(0, 5), "1207 ");
    const converttest::Result converted =
        converttest::convert(text, VI_FORMAT_VCAL10, VI_FORMAT_ICAL20);
    EXPECT_EQ(converted.counts.written, 351u);
    std::vector<std::string> fromConversion;
    for (const std::string &r : converted.reports) {
        const size_t at = r.find("the exact reader");
        if (at != std::string::npos)
            fromConversion.push_back(r.substr(0, r.find(':')) + " " + r.substr(at));
    }
    EXPECT_EQ(fromConversion, fromTree);
}

} // namespace
