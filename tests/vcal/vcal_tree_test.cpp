// Parse-tree records: their layout, destruction, the calendar walk, and
// the calendar item records' initialisers and releases.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "vcal/vcaltree.h"
#include "vcal_support.h"
#include "versit_vcal.h"

using vcaltest::value;

namespace {

char *text(const char *s) {
    auto *copy = static_cast<char *>(std::malloc(std::strlen(s) + 1));
    std::strcpy(copy, s);
    return copy;
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

TEST(VcalTree, DestroyFreesEverythingAndClearsTheCallersPointer) {
    alloc_hook::startTracking();
    {
        vcaltest::Reading r;
        readCalendars(r, 3);
        EXPECT_GT(alloc_hook::live(), 5u);
        LogCapture log;
        EXPECT_EQ(vCal_DestroyParseTree(&r.tree), 0);
        EXPECT_EQ(r.tree, nullptr);
        EXPECT_TRUE(log.records().empty());
    }
    alloc_hook::stopTracking();
    EXPECT_EQ(alloc_hook::live(), 0u);

    ParseTreeHandle *handle = nullptr;
    LogCapture log;
    EXPECT_EQ(vCal_DestroyParseTree(&handle), VCAL_ERR_NO_TREE);
    EXPECT_EQ(DestroyParseTree(nullptr), VCAL_ERR_NULL_HANDLE);
    EXPECT_EQ(vCal_DestroyVCalendarList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_DestroyVEventList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_DestroyVTodoList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_DestroyPropertyList(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(log.errors(),
              (std::vector<std::string>{
                  "DestroyParseTree (vcalendar)", "DestroyParseTree (phandle)",
                  "DestroyVCalendarList (nullptr)", "vCal_DestroyVEventList: (nullptr)",
                  "vCal_DestroyVTodoList: (nullptr)", "vCal_DestroyPropertyList: (nullptr)"}));
    PropertyNode *empty = nullptr;
    EXPECT_EQ(vCal_DestroyPropertyList(&empty), 0);
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
    ASSERT_EQ(vCal_GetFirstCalendar(handle, &c), 0) << "restarts the walk";
    ASSERT_EQ(vCal_GetNextCalendar(handle, &c), 0);
    EXPECT_EQ(c, value(handle->firstCalendar->next));
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

TEST(VcalRecords, InitializeKeepsFlagsSpareByteAndStatusTail) {
    PropertyParam p;
    std::memset(&p, 0xAB, sizeof p);
    ASSERT_EQ(vCal_InitializePropertyParam(&p), 0);
    const auto *bytes = reinterpret_cast<const uint8_t *>(&p);
    for (size_t i = 0; i < sizeof p; ++i) {
        const bool kept = i < offsetof(PropertyParam, itemType) ||
                          i == offsetof(PropertyParam, spareByte) ||
                          (i > offsetof(PropertyParam, status) &&
                           i < offsetof(PropertyParam, status) + sizeof p.status);
        EXPECT_EQ(bytes[i], kept ? 0xAB : 0) << "byte " << i;
    }
    EXPECT_EQ(vCal_InitializePropertyParam(nullptr), VCAL_ERR_NULL_PROPERTY_PARAM);
}

TEST(VcalRecords, FreeReleasesTextsAndChainsButNotTheLists) {
    PropertyParam p{};
    KL_HLIST occurrences = nullptr;
    ASSERT_EQ(KL_ListCreate(&occurrences, 2, 0, 0, nullptr, nullptr), 0);
    alloc_hook::startTracking();
    vCal_InitializePropertyParam(&p);
    // (Field by field: the record is packed, so no pointer to its members.)
    p.audioAlarmSpareText = text("a");
    p.displayAlarmSpareText = text("b");
    p.attachment = text("c");
    p.attendee = text("d");
    p.description = text("e");
    p.location = text("f");
    p.relatedTo = text("g");
    p.resources = text("h");
    p.summary = text("i");
    p.uniqueId = text("j");
    p.spareText = text("k");
    for (TimeNode *head : {&p.exceptionDates, &p.recurrenceDates}) {
        head->time = 5;
        for (int i = 0; i < 3; ++i) {
            auto *node = static_cast<TimeNode *>(std::malloc(sizeof(TimeNode)));
            *node = TimeNode{0, head->next};
            head->next = node;
        }
    }
    p.recurrenceOccurrences = occurrences;
    p.exceptionOccurrences = occurrences;
    ASSERT_EQ(vCal_FreePropertyParam(&p), 0);
    EXPECT_EQ(alloc_hook::live(), 0u);
    EXPECT_EQ(vCal_FreePropertyParam(&p), 0) << "a second call finds nothing to free";
    alloc_hook::stopTracking();
    EXPECT_EQ(value(p.summary), nullptr);
    EXPECT_EQ(value(p.exceptionDates.next), nullptr);
    EXPECT_EQ(value(p.exceptionDates.time), 5u) << "the embedded node is part of the record";
    EXPECT_EQ(value(p.recurrenceOccurrences), occurrences);
    EXPECT_EQ(value(p.exceptionOccurrences), occurrences);
    EXPECT_EQ(vCal_FreePropertyParam(nullptr), VCAL_ERR_NULL_PROPERTY_PARAM);
    KL_ListDestroy(&occurrences);
}

TEST(VcalRecords, KRpropertyOwnsOnlyTheFlaggedLists) {
    KRproperty k;
    std::memset(&k, 0xCD, sizeof k);
    ASSERT_EQ(vCal_InitializeKRproperty(&k), 0);
    KRproperty cleared{};
    EXPECT_EQ(std::memcmp(&k, &cleared, sizeof k), 0);

    KL_HLIST lists[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(KL_ListCreate(&lists[i], 4, 0, 0, nullptr, nullptr), 0);
        k.list[i] = lists[i];
    }
    k.flag[1] = 1; // list 0 owned
    k.flag[0] = k.flag[3] = k.flag[4] = 1;
    ASSERT_EQ(vCal_FreeKRproperty(&k), 0);
    EXPECT_EQ(value(k.list[0]), nullptr);
    EXPECT_EQ(value(k.list[1]), lists[1]);
    EXPECT_EQ(value(k.list[2]), lists[2]);
    EXPECT_EQ(k.flag[1], 1) << "flags stay";
    k.flag[2] = 1;
    ASSERT_EQ(vCal_FreeKRproperty(&k), 0);
    EXPECT_EQ(value(k.list[1]), nullptr);
    EXPECT_EQ(value(k.list[2]), lists[2]);
    KL_ListDestroy(&lists[2]);
    EXPECT_EQ(vCal_InitializeKRproperty(nullptr), VCAL_ERR_NULL_ARGUMENT);
    EXPECT_EQ(vCal_FreeKRproperty(nullptr), VCAL_ERR_NULL_ARGUMENT);
}
