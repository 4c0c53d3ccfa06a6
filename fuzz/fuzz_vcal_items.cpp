// Arbitrary bytes through the vCalendar reader, then every event and to-do
// of the tree taken out as the client takes them, with their occurrence
// lists, one by one and as item lists. Nothing may fault or leak, and what
// comes out must keep the walk's promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fuzz_support.h"
#include "support/memory_source.h"
#include "versit_vcal.h"

namespace {

void release(PropertyParam &item) {
    check(vCal_FreePropertyParam(&item) == 0);
    for (KL_HLIST list : {item.recurrenceOccurrences, item.exceptionOccurrences}) {
        if (list != nullptr) check(KL_ListDestroy(&list) == 0);
    }
    item.recurrenceOccurrences = nullptr;
    item.exceptionOccurrences = nullptr;
}

void checkItem(PropertyParam &item, uint16_t type) {
    check(item.itemType == type && std::memchr(item.status, '\0', sizeof item.status) != nullptr);
    const uint8_t *flag = item.flags.flag;
    if (flag[VCAL_SLOT_DTSTART] != 0) {
        const CalapiTime start = item.startTime;
        check(type == VCAL_ITEM_TODO || item.endTime > start);
        check(flag[VCAL_SLOT_AALARM] == 0 || item.audioAlarmTime < start);
        check(type == VCAL_ITEM_EVENT || flag[VCAL_SLOT_DUE] == 0 || item.dueTime >= start);
    }
    TimePlaceRecurList times{};
    uint8_t recurs = 9;
    if (vCal_GetRecurDateList(&item, &recurs, &times) == 0) {
        check(recurs == (times.timeList != nullptr ? 1 : 0));
        if (times.timeList != nullptr) check(KL_ListDestroy(&times.timeList) == 0);
    }
}

template <class Entity>
void takeAll(VCalendarNode *calendar, uint16_t type,
             int32_t (*first)(VCalendarNode *, PropertyParam *, const int16_t *, uint32_t,
                              Entity **),
             int32_t (*next)(VCalendarNode *, PropertyParam *, const int16_t *, uint32_t,
                             Entity **)) {
    const int16_t zone = -300;
    PropertyParam item{};
    Entity *node = nullptr;
    int32_t rc = first(calendar, &item, &zone, 0, &node);
    for (; rc == 0; rc = next(calendar, &item, &zone, 0, &node)) {
        check(node != nullptr && node->valid != 0);
        checkItem(item, type);
        release(item);
    }
    check(node == nullptr);
    release(item);
}

void takeList(VCalendarNode *calendar, bool events) {
    KL_HLIST list = nullptr;
    uint16_t count = 99;
    const int32_t rc =
        events ? vCal_CreateEventPropertyParamHList(calendar, &list, nullptr, 30, &count, 0)
               : vCal_CreateTodoPropertyParamHList(calendar, &list, nullptr, 30, &count, 0);
    if (rc != 0) {
        check(list == nullptr);
        return;
    }
    check(count <= 25);
    PropertyParam item{};
    for (int32_t got = KL_ListGetFirst(list, nullptr, &item); got == 0;
         got = KL_ListGetNext(list, nullptr, &item))
        release(item);
    check(KL_ListDestroy(&list) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ParseTreeHandle *tree = readTree(data, size);
    if (tree == nullptr) return 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = vCal_GetFirstCalendar(tree, &calendar); got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        char text[8];
        check(vCal_GetThisCalendarVersion(calendar, text, sizeof text, nullptr) == 0);
        takeAll<VEventNode>(calendar, VCAL_ITEM_EVENT, vCal_GetFirstEvent, vCal_GetNextEvent);
        takeAll<VTodoNode>(calendar, VCAL_ITEM_TODO, vCal_GetFirstTodo, vCal_GetNextTodo);
        takeList(calendar, true);
        takeList(calendar, false);
    }
    check(vCal_DestroyParseTree(&tree) == 0);
    return 0;
}
