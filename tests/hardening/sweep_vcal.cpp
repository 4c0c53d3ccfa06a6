// vCalendar: the stream reader, parse trees, records, date strings,
// extraction of events and to-dos, their occurrences, and the writer.
#include <cstdlib>
#include <cstring>
#include <string>

#include "sweep.h"
#include "vcal/vcal_support.h"
#include "versit_interop.h"

namespace {

const std::string kText =
    "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:+01:00\r\n"
    "BEGIN:VEVENT\r\nDTSTART:19990104T100000Z\r\nDTEND:19990104T110000Z\r\n"
    "SUMMARY;ENCODING=QUOTED-PRINTABLE:a=3Db\r\nRRULE:D1 #3\r\n"
    "EXDATE:19990105T100000Z\r\nRDATE:19990110T100000Z\r\nCATEGORIES:HOLIDAY\r\n"
    "CLASS:PUBLIC\r\nATTENDEE:a@b\r\nATTENDEE:c@d\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nDTSTART:19990106T100000Z\r\nDTEND:19990106T110000Z\r\nSUMMARY:two\r\nEND:"
    "VEVENT\r\n"
    "BEGIN:VTODO\r\nDTSTART:19990104T100000Z\r\nDUE:19990105T100000Z\r\n"
    "SUMMARY:t\r\nPRIORITY:1\r\nEND:VTODO\r\n"
    "BEGIN:VTODO\r\nSUMMARY:u\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";

// What extraction can give when memory runs out: its own code, or the
// list library's for the occurrence lists.
const std::initializer_list<int32_t> kOutOfMemory = {
    VCAL_ERR_NO_MEMORY,  KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ADD_FRONT,
    KL_LIST_E_NO_MEMORY, KL_LIST_E_ALLOC_NO_MEMORY,  KL_LIST_E_SORTED_INSERT};

void release(PropertyParam &item) { VI_releaseItem(&item); }

// A tree of kText with its calendar; two more trees for the rows that
// destroy; the first event taken out.
struct Calendars {
    vcaltest::Reading reading;
    vcaltest::Reading spare;
    vcaltest::Reading chains;
    VCalendarNode *calendar = nullptr;
    PropertyParam item{};
    // Outputs of the rows.
    uint32_t minutes = 0;
    uint8_t valid = 0;
    char text[32] = {};
    char *copy = nullptr;
    ParseTreeHandle *none = nullptr, *added = nullptr;

    Calendars() {
        for (vcaltest::Reading *r : {&reading, &spare, &chains}) {
            vcaltest::read(*r, kText);
            EXPECT_EQ(r->rc, 0) << r->errors;
        }
        calendar = reading.tree->firstCalendar;
        EXPECT_EQ(vCal_GetFirstEvent(calendar, &item, nullptr, 0, nullptr), 0);
    }
    ~Calendars() { release(item); }
};

using Row = sweep::Row<Calendars>;
using sweep::is;
using sweep::kNever;
using sweep::kSome;

// A taking-out function of events or to-dos.
template <class Node>
using Take = int32_t (*)(VCalendarNode *, PropertyParam *, const int16_t *, uint32_t, Node **);

// Takes the first item, and the next when `next` is given; the record
// holds what was converted before a failure, released all the same.
template <class Node> void take(Calendars &f, Take<Node> first, Take<Node> next) {
    PropertyParam item{};
    int32_t result = first(f.calendar, &item, nullptr, 0, nullptr);
    release(item);
    if (next != nullptr && !alloc_hook::failed()) {
        ASSERT_EQ(result, 0);
        result = next(f.calendar, &item, nullptr, 0, nullptr);
        release(item);
    }
    sweep::expect(result, 0, kOutOfMemory);
}

// A list of whole records; on a failure there is none.
void takeList(Calendars &f, int32_t (*create)(VCalendarNode *, KL_HLIST *, const int16_t *,
                                              uint32_t, uint16_t *, uint32_t)) {
    KL_HLIST list = nullptr;
    uint16_t count = 0;
    const int32_t result = create(f.calendar, &list, nullptr, 9, &count, 0);
    sweep::expect(result, 0, kOutOfMemory);
    EXPECT_EQ(list == nullptr, result != 0);
    if (list == nullptr) return;
    EXPECT_EQ(count, 2);
    PropertyParam item{};
    for (int32_t got = KL_ListGetFirst(list, nullptr, &item); got == 0;
         got = KL_ListGetNext(list, nullptr, &item))
        release(item);
    KL_ListDestroy(&list);
}

// Counts what the writer hands over; never fails.
int32_t countByte(void *stream, uint8_t) {
    ++*static_cast<size_t *>(stream);
    return 0;
}

// Writes a tree made by an add call, both ways; an add that ran out of
// memory leaves no tree behind when it was the one to make it.
void writeAdded(int32_t added, ParseTreeHandle *&tree) {
    sweep::expect(added, 0, {VCAL_ERR_NO_MEMORY});
    EXPECT_EQ(tree == nullptr, added != 0);
    if (tree == nullptr) return;
    size_t bytes = 0;
    EXPECT_EQ(vCal_ParseTreeToStreamPut(tree, &bytes, countByte, "1.0", nullptr), 0);
    EXPECT_EQ(vCal_ParseTreeToStreamPutEx(tree, &bytes, countByte, "1.0", "x", nullptr), 0);
    EXPECT_GT(bytes, 0U);
    vCal_DestroyParseTree(&tree);
}

// A call that says whether its output is valid.
void validated(Calendars &f, int32_t result) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(f.valid, 1);
}

// A text copied into f.copy; a failure leaves it as it was.
void copiedText(Calendars &f, int32_t result) {
    sweep::expect(result, 0, {VCAL_ERR_NO_MEMORY});
    EXPECT_EQ(f.copy == nullptr, alloc_hook::failed());
    std::free(f.copy);
    f.copy = nullptr;
}

const char *const kTable[] = {"A", "B", nullptr};

const Row kRows[] = {
    // Reading: running out of memory ends it without a tree; the messages
    // collected are handed out.
    {"vCal_ParseTreeFromStreamGet", kSome,
     [](Calendars &) {
         vcaltest::Reading r;
         vcaltest::read(r, kText);
         sweep::expect(r.rc, 0, {VCAL_ERR_NO_MEMORY});
         EXPECT_EQ(r.tree == nullptr, r.rc != 0);
     }},
    IS(vCal_IsWordInTheString, ("  DTSTART;TZ:1", "dtstart", nullptr), 1),
    NEVER("vCal_GetOneWordFromLine", is(vCal_GetOneWordFromLine(f.text, "a b;c", &f.minutes), 0)),
    NEVER("vCal_SearchStrInTable", is(vCal_SearchStrInTable(kTable, "B", 3), 1)),
    // Trees
    NEVER("vCal_DestroyParseTree", is(vCal_DestroyParseTree(&f.spare.tree), 0)),
    NEVER("DestroyParseTree", is(DestroyParseTree(&f.none), VCAL_ERR_NO_TREE)),
    {"vCal_DestroyVEventList vCal_DestroyVTodoList vCal_DestroyPropertyList "
     "vCal_DestroyVCalendarList",
     kNever,
     [](Calendars &f) {
         // The chains are taken out of the packed records first: a field
         // there is no aligned pointer to hand over.
         ParseTreeHandle *tree = f.chains.tree;
         VCalendarNode *calendars = tree->firstCalendar;
         VEventNode *events = calendars->events;
         VTodoNode *todos = calendars->todos;
         PropertyNode *lines = calendars->properties;
         calendars->events = nullptr;
         calendars->todos = nullptr;
         calendars->properties = nullptr;
         tree->firstCalendar = tree->calendarCursor = tree->currentCalendar = nullptr;
         EXPECT_EQ(vCal_DestroyVEventList(&events), 0);
         EXPECT_EQ(vCal_DestroyVTodoList(&todos), 0);
         EXPECT_EQ(vCal_DestroyPropertyList(&lines), 0);
         EXPECT_EQ(vCal_DestroyVCalendarList(&calendars), 0);
     }},
    {"vCal_GetFirstCalendar vCal_GetNextCalendar", kNever,
     [](Calendars &f) {
         VCalendarNode *c = nullptr;
         EXPECT_EQ(vCal_GetFirstCalendar(f.reading.tree, &c), 0);
         EXPECT_EQ(vCal_GetNextCalendar(f.reading.tree, &c), VCAL_ERR_NO_MORE_ENTITIES);
     }},
    NEVER("vCal_AnyValidEntityInPTree", is(vCal_AnyValidEntityInPTree(f.reading.tree), 1)),
    {"vCal_PropertyFlagSetFalse", kNever,
     [](Calendars &) {
         PropertyFlags flags;
         vCal_PropertyFlagSetFalse(&flags);
         EXPECT_EQ(flags.flag[VCAL_SLOT_DUE], 0);
     }},
    // Records
    {"vCal_InitializePropertyParam vCal_FreePropertyParam", kNever,
     [](Calendars &) {
         PropertyParam p{};
         EXPECT_EQ(vCal_InitializePropertyParam(&p), 0);
         EXPECT_EQ(vCal_FreePropertyParam(&p), 0);
     }},
    {"vCal_InitializeKRproperty vCal_FreeKRproperty", kSome,
     [](Calendars &) {
         KRproperty p;
         EXPECT_EQ(vCal_InitializeKRproperty(&p), 0);
         KL_HLIST owned = nullptr;
         if (KL_ListCreate(&owned, 4, 0, 0, nullptr, nullptr) != 0) return;
         p.list[0] = owned;
         p.flag[1] = 1;
         EXPECT_EQ(vCal_FreeKRproperty(&p), 0);
     }},
    // Date and time strings
    IS(vCal_ConvertDateStrToMinute, ("19990104T100000Z", &f.minutes, 0, nullptr), 0),
    NEVER("vCal_DateStrToCalapiTime",
          validated(f, vCal_DateStrToCalapiTime("1/4/1999", &f.minutes, '/', &f.valid))),
    NEVER("vCal_TimeStrToCalapiTime",
          validated(f, vCal_TimeStrToCalapiTime("10:30", &f.minutes, &f.valid))),
    NEVER("vCal_GetOriginalDateString",
          validated(f, vCal_GetOriginalDateString(f.calendar->events, VCAL_ITEM_EVENT,
                                                  VCAL_PROP_DTSTART, f.text, 17, &f.valid))),
    IS(vCal_GetThisCalendarVersion, (f.calendar, f.text, 9, nullptr), 0),
    // Extraction
    SOME("vCal_GetFirstEvent", take<VEventNode>(f, vCal_GetFirstEvent, nullptr)),
    SOME("vCal_GetNextEvent", take<VEventNode>(f, vCal_GetFirstEvent, vCal_GetNextEvent)),
    SOME("vCal_GetFirstTodo", take<VTodoNode>(f, vCal_GetFirstTodo, nullptr)),
    SOME("vCal_GetNextTodo", take<VTodoNode>(f, vCal_GetFirstTodo, vCal_GetNextTodo)),
    SOME("vCal_CreateEventPropertyParamHList", takeList(f, vCal_CreateEventPropertyParamHList)),
    SOME("vCal_CreateTodoPropertyParamHList", takeList(f, vCal_CreateTodoPropertyParamHList)),
    // Occurrences
    {"vCal_GetRecurDateList", kSome,
     [](Calendars &f) {
         TimePlaceRecurList result{};
         uint8_t recurs = 9;
         sweep::expect(vCal_GetRecurDateList(&f.item, &recurs, &result), 0, kOutOfMemory);
         EXPECT_EQ(result.timeList == nullptr, alloc_hook::failed());
         if (result.timeList != nullptr) KL_ListDestroy(&result.timeList);
     }},
    {"vCal_TimePlaceListCreateFromRules", kSome,
     [](Calendars &f) {
         TimePlaceRecurList result{};
         sweep::expect(vCal_TimePlaceListCreateFromRules(
                           &result, &f.item, f.item.recurrenceOccurrences,
                           f.item.exceptionOccurrences, f.item.recurrenceDates.next,
                           f.item.exceptionDates.next, 600, 60),
                       0, kOutOfMemory);
         EXPECT_EQ(result.timeList == nullptr, alloc_hook::failed());
         if (result.timeList != nullptr) KL_ListDestroy(&result.timeList);
     }},
    // Texts: a failure leaves the caller's text as it was.
    SOME("vCal_mallocAppend2ndStrInFirst",
         copiedText(f, vCal_mallocAppend2ndStrInFirst(&f.copy, "abc", 2))),
    SOME("vCal_mallocCopy2ndStrValueInFirst",
         copiedText(f, vCal_mallocCopy2ndStrValueInFirst(&f.copy, "SUMMARY: a b\r\n"))),
    // Writing: each add makes the tree on its first call.
    SOME("vCal_AddxItemInfoToPTree vCal_ParseTreeToStreamPut vCal_ParseTreeToStreamPutEx",
         writeAdded(vCal_AddxItemInfoToPTree(&f.added, &f.item, VCAL_ITEM_EVENT, 0), f.added)),
    {"vCal_EventAddToParseTree", kSome,
     [](Calendars &) {
         CalEventRecord event{};
         CalInstanceRecord instance{};
         std::strcpy(event.summary, "meeting");
         instance.duration = 60;
         ParseTreeHandle *tree = nullptr;
         writeAdded(vCal_EventAddToParseTree(&tree, 1, &event, &instance, nullptr, nullptr, nullptr,
                                             "notes", 5, nullptr, "1.0", 0),
                    tree);
     }},
    {"vCal_TaskAddToParseTree", kSome,
     [](Calendars &) {
         CalTodoRecord todo{};
         std::strcpy(todo.summary, "task");
         todo.priority = 2;
         ParseTreeHandle *tree = nullptr;
         writeAdded(vCal_TaskAddToParseTree(&tree, 0, &todo, "notes", 5, nullptr, "1.0", 0), tree);
     }},
    {"vCal_PutALineToStream", kNever,
     [](Calendars &) {
         size_t bytes = 0;
         EXPECT_EQ(vCal_PutALineToStream(&bytes, countByte, "END:VEVENT"), 0);
         EXPECT_EQ(bytes, 11U);
     }},
};

const bool registered = sweep::claims(kRows);

TEST(AllocationSweep, Calendars) {
    ASSERT_TRUE(registered);
    Calendars fixture;
    ASSERT_NE(fixture.calendar, nullptr);
    sweep::run(fixture, kRows);
}

} // namespace
