// Walking a calendar's events and to-dos as the client takes them, lists
// of items, occurrence time lists and the calendar's version.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "diag/errlog.h"
#include "recur/vcalrcur.h"
#include "vcal/vcalitem.h"
#include "vcal/vcalline.h"

namespace {

constexpr int32_t kMaxZone = 720; // minutes: twelve hours either way
constexpr uint16_t kMaxListItems = 25;
constexpr uint32_t kMinutesPerDay = 1440;

using errlog::fail;

// The messages of one of the four walk functions.
struct WalkTexts {
    const char *nullCalendar;
    const char *nullItem;
    const char *zone;
    const char *convert;
};

// The events or the to-dos of a calendar (the offsets of their first node,
// cursor and current node), and their item type.
struct Chain {
    size_t first;
    size_t cursor;
    size_t current;
    uint16_t type;
};

constexpr Chain kEvents{offsetof(VCalendarNode, events), offsetof(VCalendarNode, eventCursor),
                        offsetof(VCalendarNode, currentEvent), VCAL_ITEM_EVENT};
constexpr Chain kTodos{offsetof(VCalendarNode, todos), offsetof(VCalendarNode, todoCursor),
                       offsetof(VCalendarNode, currentTodo), VCAL_ITEM_TODO};

// The calendar's TZ, unless it is 0 or out of range: then the caller's
// default when that is in range, else UTC. A calendar TZ of exactly zero
// thus yields to the default.
int32_t zoneOf(int32_t calendarZone, const int16_t *defaultZone) {
    if (calendarZone != 0 && calendarZone >= -kMaxZone && calendarZone <= kMaxZone)
        return calendarZone;
    if (defaultZone != nullptr && *defaultZone >= -kMaxZone && *defaultZone <= kMaxZone)
        return *defaultZone;
    return 0;
}

template <class Entity>
int32_t walk(VCalendarNode *calendar, PropertyParam *item, const int16_t *defaultZone, Entity **out,
             bool restart, const Chain &chain, const WalkTexts &texts) {
    if (calendar == nullptr) return fail(VCAL_ERR_NULL_CALENDAR, texts.nullCalendar);
    if (item == nullptr) return fail(VCAL_ERR_NULL_PROPERTY_PARAM, texts.nullItem);
    if (out != nullptr) *out = nullptr;
    int32_t zone = 0;
    if (calendar->properties != nullptr) {
        const int32_t rc = vcal::GetDayLightTZ(calendar->properties, &zone);
        if (rc != 0) return fail(rc, texts.zone);
    }
    zone = zoneOf(zone, defaultZone);
    auto *node =
        static_cast<Entity *>(vcal::loadPointer(calendar, restart ? chain.first : chain.cursor));
    for (; node != nullptr; node = node->next) {
        if (node->valid == 0) continue;
        const int32_t rc = vcal::ChangeFormatPTreeToKRec(node, chain.type, item, nullptr, zone);
        if (rc != 0) return fail(rc, texts.convert);
        if (vcal::vCal_AcceptItem(item, nullptr, chain.type) != 0) {
            vcal::storePointer(calendar, chain.cursor, node->next);
            vcal::storePointer(calendar, chain.current, node);
            if (out != nullptr) *out = node;
            return 0;
        }
        vcal::releaseItem(item);
    }
    return VCAL_ERR_NO_MORE_ENTITIES;
}

// Releases the items of a list made by the list builders, then the list.
void destroyItems(KL_HLIST *list) {
    PropertyParam item{};
    for (int32_t rc = KL_ListGetFirst(*list, nullptr, &item); rc == 0;
         rc = KL_ListGetNext(*list, nullptr, &item))
        vcal::releaseItem(&item);
    KL_ListDestroy(list);
}

struct ListTexts {
    const char *nullCalendar;
    const char *nullList;
    const char *create;
    const char *add;
    const char *first;
    const char *next;
};

template <class Entity>
using Walker = int32_t (*)(VCalendarNode *, PropertyParam *, const int16_t *, uint32_t, Entity **);

template <class Entity>
int32_t buildList(VCalendarNode *calendar, KL_HLIST *list, const int16_t *defaultZone,
                  uint32_t maximum, uint16_t *count, uint32_t unused, const ListTexts &texts,
                  Walker<Entity> first, Walker<Entity> next) {
    if (calendar == nullptr) return fail(VCAL_ERR_NULL_CALENDAR, texts.nullCalendar);
    if (list == nullptr) return fail(VCAL_ERR_NULL_LIST, texts.nullList);
    *list = nullptr;
    if (count != nullptr) *count = 0;
    const auto wanted = static_cast<uint16_t>(maximum);
    const uint16_t limit = wanted < kMaxListItems ? wanted : kMaxListItems;
    if (limit == 0) return 0;
    int32_t rc = KL_ListCreate(list, 2, sizeof(PropertyParam), KL_LIST_FLAG_08, nullptr, nullptr);
    if (rc != 0) return fail(rc, texts.create);
    PropertyParam item{};
    uint16_t added = 0;
    rc = first(calendar, &item, defaultZone, unused, nullptr);
    const char *walkText = texts.first;
    while (rc == 0) {
        // The cell takes over what the record owns.
        if ((rc = KL_ListAddLast(*list, &added, &item)) != 0) {
            vcal::releaseItem(&item);
            walkText = texts.add;
            break;
        }
        if (++added == limit) break;
        std::memset(&item, 0, sizeof item);
        rc = next(calendar, &item, defaultZone, unused, nullptr);
        walkText = texts.next;
    }
    if (rc != 0 && rc != VCAL_ERR_NO_MORE_ENTITIES) {
        // A failed conversion leaves what it converted so far.
        if (walkText != texts.add) vcal::releaseItem(&item);
        destroyItems(list);
        return fail(rc, walkText);
    }
    if (count != nullptr) *count = added;
    return 0;
}

} // namespace

VERSIT_API int32_t vCal_GetFirstEvent(VCalendarNode *calendar, PropertyParam *item,
                                      const int16_t *defaultZone, uint32_t /*unused*/,
                                      VEventNode **node) {
    static constexpr WalkTexts kTexts{
        "vCal_GetFirstEvent (vCalendarPtr)", "vCal_GetFirstEvent (PropertyParamPtr)",
        "vCal_GetFirstEvent: GetDayLightTZ", "vCal_GetFirstEvent: ChangeFormatPTreeToKRec"};
    return walk<VEventNode>(calendar, item, defaultZone, node, true, kEvents, kTexts);
}

VERSIT_API int32_t vCal_GetNextEvent(VCalendarNode *calendar, PropertyParam *item,
                                     const int16_t *defaultZone, uint32_t /*unused*/,
                                     VEventNode **node) {
    static constexpr WalkTexts kTexts{
        "vCal_GetNextEvent (vCalendarPtr)", "vCal_GetNextEvent (PropertyParamPtr)",
        "vCal_GetNextEvent: GetDayLightTZ", "vCal_GetNextEvent: ChangeFormatPTreeToKRec"};
    return walk<VEventNode>(calendar, item, defaultZone, node, false, kEvents, kTexts);
}

VERSIT_API int32_t vCal_GetFirstTodo(VCalendarNode *calendar, PropertyParam *item,
                                     const int16_t *defaultZone, uint32_t /*unused*/,
                                     VTodoNode **node) {
    static constexpr WalkTexts kTexts{
        "vCal_GetFirstTodo (vCalendarPtr)", "vCal_GetFirstTodo (PropertyParamPtr)",
        "vCal_GetFirstTodo: GetDayLightTZ", "vCal_GetFirstTodo: ChangeFormatPTreeToKRec"};
    return walk<VTodoNode>(calendar, item, defaultZone, node, true, kTodos, kTexts);
}

VERSIT_API int32_t vCal_GetNextTodo(VCalendarNode *calendar, PropertyParam *item,
                                    const int16_t *defaultZone, uint32_t /*unused*/,
                                    VTodoNode **node) {
    static constexpr WalkTexts kTexts{
        "vCal_GetNextTodo (vCalendarPtr)", "vCal_GetNextTodo (PropertyParamPtr)",
        "vCal_GetNextTodo: GetDayLightTZ", "vCal_GetNextTodo: ChangeFormatPTreeToKRec"};
    return walk<VTodoNode>(calendar, item, defaultZone, node, false, kTodos, kTexts);
}

VERSIT_API int32_t vCal_CreateEventPropertyParamHList(VCalendarNode *calendar, KL_HLIST *list,
                                                      const int16_t *defaultZone, uint32_t maximum,
                                                      uint16_t *count, uint32_t unused) {
    static constexpr ListTexts kTexts{"vCal_CreateEventPropertyParamHList (vCalendarPtr)",
                                      "vCal_CreateEventPropertyParamHList (hListPtr)",
                                      "vCal_CreateEventPropertyParamHList (KL_ListCreate)",
                                      "vCal_CreateEventPropertyParamHList (KL_ListAddLast)",
                                      "vCal_CreateEventPropertyParamHList (vCal_GetFirstEvent)",
                                      "vCal_CreateEventPropertyParamHList (vCal_GetNextEvent)"};
    return buildList<VEventNode>(calendar, list, defaultZone, maximum, count, unused, kTexts,
                                 vCal_GetFirstEvent, vCal_GetNextEvent);
}

VERSIT_API int32_t vCal_CreateTodoPropertyParamHList(VCalendarNode *calendar, KL_HLIST *list,
                                                     const int16_t *defaultZone, uint32_t maximum,
                                                     uint16_t *count, uint32_t unused) {
    static constexpr ListTexts kTexts{"vCal_CreateTodoPropertyParamHList (vCalendarPtr)",
                                      "vCal_CreateTodoPropertyParamHList (hListPtr)",
                                      "vCal_CreateTodoPropertyParamHList (KL_ListCreate)",
                                      "vCal_CreateTodoPropertyParamHList (KL_ListAddLast)",
                                      "vCal_CreateTodoPropertyParamHList (vCal_GetFirstTodo)",
                                      "vCal_CreateTodoPropertyParamHList (vCal_GetNextTodo)"};
    return buildList<VTodoNode>(calendar, list, defaultZone, maximum, count, unused, kTexts,
                                vCal_GetFirstTodo, vCal_GetNextTodo);
}

VERSIT_API int32_t vCal_GetRecurDateList(const PropertyParam *item, uint8_t *recurs,
                                         TimePlaceRecurList *result) {
    if (item == nullptr)
        return fail(VCAL_ERR_NULL_PROPERTY_PARAM, "vCal_GetRecurDateList: PropertyParamPtr");
    if (result == nullptr)
        return fail(VCAL_ERR_NULL_LIST, "vCal_GetRecurDateList: TimePlaceRecurListPtr");
    result->timeList = nullptr;
    if (recurs != nullptr) *recurs = 0;
    if (item->flags.flag[VCAL_SLOT_RDATE] == 0 && item->flags.flag[VCAL_SLOT_RRULE] == 0) return 0;
    const CalapiTime start = item->startTime;
    // A to-do without an end, or an item of more than a day, occupies an
    // hour at each occurrence.
    uint32_t duration = item->endTime - start;
    if (duration > kMinutesPerDay) duration = 60;
    const int32_t rc = recur::GetRecurTimeList(
        result, item, item->recurrenceOccurrences, item->exceptionOccurrences,
        item->recurrenceDates.next, item->exceptionDates.next, start % kMinutesPerDay, duration, 0);
    if (rc != 0) return fail(rc, "vCal_GetRecurDateList: GetRecurTimeList");
    if (recurs != nullptr) *recurs = result->timeList != nullptr ? 1 : 0;
    return 0;
}

VERSIT_API int32_t vCal_TimePlaceListCreateFromRules(
    TimePlaceRecurList *result, const PropertyParam *item, KL_HLIST occurrences,
    KL_HLIST exceptionOccurrences, const TimeNode *recurrenceDates, const TimeNode *exceptionDates,
    uint32_t startMinute, uint32_t duration) {
    return recur::GetRecurTimeList(result, item, occurrences, exceptionOccurrences, recurrenceDates,
                                   exceptionDates, startMinute, duration, 0);
}

VERSIT_API int32_t vCal_GetThisCalendarVersion(const VCalendarNode *calendar, char *version,
                                               uint32_t size, uint8_t *found) {
    if (calendar == nullptr)
        return fail(VCAL_ERR_NULL_CALENDAR, "vCal_GetThisCalendarVersion (vCalendarPtr)");
    if (version == nullptr || static_cast<uint16_t>(size) < 8)
        return fail(VCAL_ERR_VERSION_BUFFER, "vCal_GetThisCalendarVersion (VersionStr)");
    std::memset(version, 0, 8);
    size_t n = 0;
    for (const PropertyNode *p = calendar->properties; p != nullptr; p = p->next) {
        if (p->propertyId != VCAL_PROP_VERSION) continue;
        const char *v = p->line != nullptr ? std::strchr(p->line, ':') : nullptr;
        if (v != nullptr) {
            for (++v; *v == ' ' || *v == '\t'; ++v) {
            }
            for (; n < 7 && (vcal::isAlnum(v[n]) || v[n] == '.'); ++n)
                version[n] = v[n];
        }
        break;
    }
    if (found != nullptr) *found = n > 0 ? 1 : 0;
    return 0;
}
