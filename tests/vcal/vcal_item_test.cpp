// Taking events and to-dos out of a tree: conversions, the walk, item
// lists, occurrence lists, messages and allocation failures.
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "date/kldate.h"
#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "vcal/vcalitem.h"
#include "vcal_support.h"
#include "versit_vcal.h"

using vcaltest::Reading;
using vcaltest::value;

namespace {

enum Kind { kEvent, kTodo };

// A calendar with `head` lines, then one entity of `body` lines ("|"
// separated) for each body given.
std::string stream(const std::string &head, const std::vector<std::string> &bodies,
                   Kind kind = kEvent) {
    const std::string name = kind == kEvent ? "VEVENT" : "VTODO";
    std::string text = "BEGIN:VCALENDAR|VERSION:1.0|" + head + (head.empty() ? "" : "|");
    for (const std::string &body : bodies)
        text += "BEGIN:" + name + "|" + body + "|END:" + name + "|";
    return vcaltest::crlf(text + "END:VCALENDAR");
}

// "19980612T0900" for a time.
std::string when(CalapiTime t) {
    KL_DATE d{};
    KL_DateSet(&d, 1, 0, 1991);
    for (uint32_t days = t / 1440; days > 0;) {
        const uint32_t step = days > 30000 ? 30000 : days;
        KL_DateOffset(&d, static_cast<int16_t>(step));
        days -= step;
    }
    char s[24];
    std::snprintf(s, sizeof s, "%04u%02u%02uT%02u%02u", d.year, d.month + 1u, d.day, t % 1440 / 60,
                  t % 60);
    return s;
}

// The occurrence places of an item, "start+duration" in list order.
std::string places(const PropertyParam &item) {
    TimePlaceRecurList result{};
    uint8_t recurs = 9;
    if (vCal_GetRecurDateList(&item, &recurs, &result) != 0) return "failed";
    if (recurs == 0) return "none";
    std::string out;
    TimePlace p{};
    for (int32_t rc = KL_ListGetFirst(result.timeList, &p, nullptr); rc == 0;
         rc = KL_ListGetNext(result.timeList, &p, nullptr))
        out += (out.empty() ? "" : " ") + when(p.start) + "+" + std::to_string(p.duration);
    KL_ListDestroy(&result.timeList);
    return out;
}

std::string text(const char *t) { return t != nullptr ? t : "(null)"; }

std::string chain(const TimeNode &head) {
    std::string out;
    for (const TimeNode *n = head.next; n != nullptr; n = n->next)
        out += (out.empty() ? "" : " ") + when(n->time);
    return out;
}

// The fields of an item by name, flagged or not; "?SLOT" is a flag.
std::map<std::string, std::string> fields(const PropertyParam &p) {
    std::map<std::string, std::string> f = {{"start", when(p.startTime)},
                                            {"end", when(p.endTime)},
                                            {"due", when(p.dueTime)},
                                            {"completed", when(p.completedTime)},
                                            {"created", when(p.createdTime)},
                                            {"aalarm", when(p.audioAlarmTime)},
                                            {"dalarm", when(p.displayAlarmTime)},
                                            {"category", std::to_string(value(p.category))},
                                            {"class", std::to_string(value(p.classCode))},
                                            {"priority", std::to_string(value(p.priority))},
                                            {"rnum", std::to_string(value(p.recurrenceCount))},
                                            {"status", p.status},
                                            {"description", text(p.description)},
                                            {"resources", text(p.resources)},
                                            {"attendee", text(p.attendee)},
                                            {"attach", text(p.attachment)},
                                            {"location", text(p.location)},
                                            {"related", text(p.relatedTo)},
                                            {"summary", text(p.summary)},
                                            {"exdates", chain(p.exceptionDates)},
                                            {"rdates", chain(p.recurrenceDates)},
                                            {"places", places(p)}};
    const std::pair<const char *, int> flags[] = {
        {"AALARM", VCAL_SLOT_AALARM}, {"DALARM", VCAL_SLOT_DALARM},
        {"DUE", VCAL_SLOT_DUE},       {"COMPLETED", VCAL_SLOT_COMPLETED},
        {"DTEND", VCAL_SLOT_DTEND},   {"RRULE", VCAL_SLOT_RRULE},
        {"EXRULE", VCAL_SLOT_EXRULE}};
    for (auto [flag, slot] : flags)
        f[std::string("?") + flag] = std::to_string(p.flags.flag[slot]);
    return f;
}

// Each "name=value" of `expected` (separated by ";") holds in the item.
void expectFields(const PropertyParam &item, const std::string &expected, const char *what) {
    const auto f = fields(item);
    std::istringstream pairs(expected);
    for (std::string pair; std::getline(pairs, pair, ';');) {
        const size_t eq = pair.find('=');
        EXPECT_EQ(f.count(pair.substr(0, eq)) ? f.at(pair.substr(0, eq)) : "no field",
                  pair.substr(eq + 1))
            << what;
    }
}

// Reads `text` and takes the first item of the kind from its first
// calendar.
struct Taken {
    Reading reading;
    PropertyParam item{};
    int32_t rc = -1;
    ~Taken() { vcal::releaseItem(&item); }
};

void take(Taken &t, const std::string &text, Kind kind, const int16_t *zone = nullptr) {
    vcaltest::read(t.reading, text);
    ASSERT_NE(t.reading.tree, nullptr) << t.reading.errors;
    VCalendarNode *c = t.reading.tree->firstCalendar;
    t.rc = kind == kEvent ? vCal_GetFirstEvent(c, &t.item, zone, 0, nullptr)
                          : vCal_GetFirstTodo(c, &t.item, zone, 0, nullptr);
}

const std::string kTimes = "DTSTART:19980612T090000Z|DTEND:19980612T100000Z";

} // namespace

TEST(VcalItems, Conversions) {
    const int16_t east = 60;
    const int16_t far = 1000;
    const struct {
        const char *what, *head;
        std::string body;
        Kind kind;
        const int16_t *zone;
        int32_t rc;
        const char *expected; // "name=value" pairs, separated by ";"
    } cases[] = {
        {"UTC stays", "", kTimes, kEvent, nullptr, 0, "start=19980612T0900;end=19980612T1000"},
        {"local less the zone", "TZ:-05:00", "DTSTART:19980612T090000|DTEND:19980612T100000",
         kEvent, nullptr, 0, "start=19980612T1400;end=19980612T1500"},
        {"a zero TZ yields to the default", "TZ:+00",
         "DTSTART:19980612T090000|DTEND:19980613T000000Z", kEvent, &east, 0, "start=19980612T0800"},
        {"a default beyond 12 hours is not taken", "",
         "DTSTART:19980612T090000|DTEND:19980613T000000Z", kEvent, &far, 0, "start=19980612T0900"},
        {"nor a TZ", "TZ:+13:00", "DTSTART:19980612T090000|DTEND:19980613T000000Z", kEvent, &east,
         0, "start=19980612T0800"},
        {"alarms from the start on lose their flags", "",
         kTimes + "|AALARM:19980612T090000Z|DALARM:19980612T085900Z;PT5M;2", kEvent, nullptr, 0,
         "?AALARM=0;?DALARM=1"},
        {"to-do times before the start", "",
         "DTSTART:19980612T090000Z|DUE:19980612T080000Z|COMPLETED:19980612T090000Z", kTodo, nullptr,
         0, "?DUE=0;?COMPLETED=1;?DTEND=0;due=19980612T0800"},
        {"categories: holiday", "", kTimes + "|CATEGORIES:VACATION;HOLIDAY", kEvent, nullptr, 0,
         "category=1"},
        {"categories: special", "", kTimes + "|CATEGORIES:vacation;MISCELLANEOUS", kEvent, nullptr,
         0, "category=4"},
        {"categories: miscellaneous first", "", kTimes + "|CATEGORIES:MISCELLANEOUS;VACATION",
         kEvent, nullptr, 0, "category=3"},
        {"class of a to-do", "", "CLASS:public", kTodo, nullptr, 0, "class=1"},
        {"an extension class", "", kTimes + "|CLASS:X-", kEvent, nullptr, VCAL_ERR_BAD_CLASS, ""},
        {"to-do priority letter", "", "PRIORITY:B", kTodo, nullptr, 0, "priority=11"},
        {"quoted-printable", "", "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab=E9=41=3d=7F=7G=A",
         kTodo, nullptr, 0, "description=a\r\nb^A=^^A"},
        {"two attendees", "", "ATTENDEE:x|ATTENDEE;ROLE=OWNER: y", kTodo, nullptr, 0,
         "attendee=x\r\ny"},
        {"status", "", "STATUS:needs   action", kTodo, nullptr, 0, "status=NEEDS ACTION"},
        {"exception dates", "", "EXDATE:19980613T090000Z;19980614T090000Z", kTodo, nullptr, 0,
         "exdates=19980613T0900 19980614T0900"},
        {"occurrences", "",
         kTimes + "|RRULE:D1 #4|EXRULE:D2 "
                  "#2|EXDATE:19980613T090000Z|RDATE:19980620T090000Z;19980621T090000Z",
         kEvent, nullptr, 0, "places=19980621T0900+60 19980620T0900+60 19980615T0900+60"},
        {"a day long event", "", "DTSTART:19980612T090000Z|DTEND:19980613T090000Z|RRULE:D7 #1",
         kEvent, nullptr, 0, "places=19980612T0900+1440"},
        {"a longer event occupies an hour", "",
         "DTSTART:19980612T090000Z|DTEND:19980614T090000Z|RRULE:D7 #2", kEvent, nullptr, 0,
         "places=19980619T0900+60 19980612T0900+60"},
        {"a rule not understood", "", kTimes + "|RRULE:D12345 #2|EXRULE:D1", kEvent, nullptr, 0,
         "?RRULE=0;?EXRULE=0;places=none"},
        {"a weekly rule without days", "", kTimes + "|RRULE:W1 #3", kEvent, nullptr,
         KL_DATE_E_NO_DAY_LIST, ""},
        {"a TZ without its minutes", "TZ:+05:", kTimes, kEvent, nullptr, VCAL_ERR_NO_VALUE, ""}};
    for (const auto &c : cases) {
        Taken t;
        take(t, stream(c.head, {c.body}, c.kind), c.kind, c.zone);
        ASSERT_EQ(t.rc, c.rc) << c.what;
        expectFields(t.item, c.expected, c.what);
    }
}

// Each property straight through the conversion of an event: its value
// lands in its field, and its line without ":" fails in its extractor with
// the code given. The lines that are not extracted (TRANSP and X-
// included) cannot fail.
TEST(VcalItems, EachPropertyItsFieldAndItsFailure) {
    const struct {
        uint16_t id;
        const char *line, *expected;
        int32_t rc;
    } cases[] = {
        {VCAL_PROP_AALARM, "AALARM:19980612T080000Z;PT5M;2", "aalarm=19980612T0800",
         VCAL_ERR_NO_VALUE},
        {VCAL_PROP_ATTACH, "ATTACH:f", "attach=f", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_ATTENDEE, "ATTENDEE:p", "attendee=p", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_CATEGORIES, "CATEGORIES:TRAVEL", "category=4", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_CLASS, "CLASS:PRIVATE", "class=2", VCAL_ERR_BAD_CLASS},
        {VCAL_PROP_COMPLETED, "COMPLETED:19980612T100000Z", "completed=19980612T1000",
         VCAL_ERR_NO_VALUE},
        {VCAL_PROP_DALARM, "DALARM:19980612T070000Z", "dalarm=19980612T0700", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_DCREATED, "DCREATED:19980101T000000Z", "created=19980101T0000",
         VCAL_ERR_NO_VALUE},
        {VCAL_PROP_DESCRIPTION, "DESCRIPTION:d", "description=d", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_DUE, "DUE:19980613T090000Z", "due=19980613T0900", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_DTEND, "DTEND:19980612T110000Z", "end=19980612T1100", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_DTSTART, "DTSTART:19980612T090000Z", "start=19980612T0900", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_EXDATE, "EXDATE:19980614T090000Z", "exdates=19980614T0900", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_LOCATION, "LOCATION:l", "location=l", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_PRIORITY, "PRIORITY:3", "priority=2", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_RDATE, "RDATE:19980615T090000Z", "rdates=19980615T0900", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_RELATED_TO, "RELATED-TO:r", "related=r", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_RESOURCES, "RESOURCES:a;b", "resources=a\r\nb", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_RNUM, "RNUM:4", "rnum=4", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_STATUS, "STATUS:tentative", "status=TENTATIVE", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_SUMMARY, "SUMMARY:s", "summary=s", VCAL_ERR_NO_VALUE},
        {VCAL_PROP_TRANSP, "TRANSP:1", "", 0},
        {VCAL_PROP_X, "X-A:b", "", 0},
        {VCAL_PROP_RRULE, "RRULE:D1 #2", "", 0},
        {VCAL_PROP_EXRULE, "EXRULE:D1 #2", "", 0},
        {VCAL_PROP_UID, "UID:u", "", 0},
        {VCAL_PROP_TZ, "TZ:+01", "", 0}};
    for (const auto &c : cases) {
        std::string line = c.line;
        for (bool withValue : {true, false}) {
            if (!withValue) line.erase(line.find(':'));
            PropertyNode property{c.id, line.data(), nullptr};
            VEventNode entity{};
            entity.properties = &property;
            PropertyParam item{};
            LogCapture log;
            const int32_t rc =
                vcal::ChangeFormatPTreeToKRec(&entity, VCAL_ITEM_EVENT, &item, nullptr, 0);
            EXPECT_EQ(rc, withValue ? 0 : c.rc) << line;
            EXPECT_EQ(log.errors().empty(), rc == 0) << line;
            if (withValue) expectFields(item, c.expected, c.line);
            vcal::releaseItem(&item);
        }
    }
}

TEST(VcalItems, FailuresAreLoggedOnTheWayUp) {
    Reading r;
    vcaltest::read(r, stream("", {kTimes + "|RRULE:W1 #3"}));
    VCalendarNode *c = r.tree->firstCalendar;
    LogCapture log;
    KL_HLIST list = nullptr;
    EXPECT_EQ(vCal_CreateEventPropertyParamHList(c, &list, nullptr, 5, nullptr, 0),
              KL_DATE_E_NO_DAY_LIST);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(log.errors().back(), "vCal_CreateEventPropertyParamHList (vCal_GetFirstEvent)");
    const size_t before = log.errors().size();
    PropertyParam item{};
    TimePlaceRecurList result{};
    char version[8];
    char *scratch = nullptr;
    const struct {
        int32_t rc, expected;
        const char *message;
    } cases[] = {{vCal_GetFirstEvent(nullptr, nullptr, nullptr, 0, nullptr), VCAL_ERR_NULL_CALENDAR,
                  "vCal_GetFirstEvent (vCalendarPtr)"},
                 {vCal_GetNextTodo(c, nullptr, nullptr, 0, nullptr), VCAL_ERR_NULL_PROPERTY_PARAM,
                  "vCal_GetNextTodo (PropertyParamPtr)"},
                 {vCal_CreateTodoPropertyParamHList(c, nullptr, nullptr, 1, nullptr, 0),
                  VCAL_ERR_NULL_LIST, "vCal_CreateTodoPropertyParamHList (hListPtr)"},
                 {vCal_GetRecurDateList(nullptr, nullptr, &result), VCAL_ERR_NULL_PROPERTY_PARAM,
                  "vCal_GetRecurDateList: PropertyParamPtr"},
                 {vCal_GetRecurDateList(&item, nullptr, nullptr), VCAL_ERR_NULL_LIST,
                  "vCal_GetRecurDateList: TimePlaceRecurListPtr"},
                 {vCal_GetThisCalendarVersion(c, version, 7, nullptr), VCAL_ERR_VERSION_BUFFER,
                  "vCal_GetThisCalendarVersion (VersionStr)"},
                 {vCal_mallocCopy2ndStrValueInFirst(&scratch, "SUMMARY:\r"), VCAL_ERR_NO_VALUE,
                  "vCal_mallocCopy2ndStrValueInFirst (property str)"},
                 {vCal_mallocAppend2ndStrInFirst(nullptr, "x", 0), VCAL_ERR_NULL_ARGUMENT,
                  "WriteErrLog: errmesg is NULL"}};
    const std::vector<std::string> logged = log.errors();
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].rc, cases[i].expected) << cases[i].message;
        EXPECT_EQ(logged[before + i], cases[i].message);
    }
}

// Running out of memory in the middle of a date chain, a value list or the
// item list leaves nothing behind (the hardening sweep covers the rest).
TEST(VcalItems, AllocationFailures) {
    Reading r;
    vcaltest::read(r, stream("", {kTimes + "|RDATE:19980701T090000Z;19980702T090000Z|RESOURCES:a;b",
                                  kTimes + "|EXDATE:19980613T090000Z;19980614T090000Z"}));
    const int points = alloc_hook::sweep([&] {
        KL_HLIST list = nullptr;
        if (vCal_CreateEventPropertyParamHList(r.tree->firstCalendar, &list, nullptr, 9, nullptr,
                                               0) != 0) {
            EXPECT_EQ(list, nullptr);
            return;
        }
        PropertyParam item{};
        for (int32_t got = KL_ListGetFirst(list, nullptr, &item); got == 0;
             got = KL_ListGetNext(list, nullptr, &item))
            vcal::releaseItem(&item);
        KL_ListDestroy(&list);
    });
    EXPECT_GT(points, 5);
}
