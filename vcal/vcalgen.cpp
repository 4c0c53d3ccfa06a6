// Parse trees and calendar item records: creation, destruction, the
// calendar walk, and the record initialisers and release functions.
#include <cstdlib>
#include <cstring>

#include "diag/errlog.h"
#include "vcal/vcaltree.h"
#include "versit_vcal.h"

namespace {

int32_t fail(int32_t code, const char *message) {
    WriteErrLog(2, code, message);
    return code;
}

// Chains are released last node first, and a calendar's parts in the
// reverse of the order the reader made them. A heap that hands out freed
// blocks last-in first-out then gives the next tree the same blocks in the
// same order; released first-to-last, every tree read after another would
// get a layout scrambled a little more, which measurably slows reading a
// large stream down to half its speed.
template <class Node> Node *reversed(Node *node) {
    Node *back = nullptr;
    while (node != nullptr) {
        Node *next = node->next;
        node->next = back;
        back = node;
        node = next;
    }
    return back;
}

template <class Node> int32_t createZeroed(Node **out, const char *message) {
    if (out == nullptr) return fail(VCAL_ERR_NULL_ARGUMENT, message);
    *out = static_cast<Node *>(std::calloc(1, sizeof(Node)));
    return *out != nullptr ? 0 : fail(VCAL_ERR_NO_MEMORY, message);
}

// Events and to-dos share one layout and one life.
template <class Entity> int32_t createEntity(Entity **out, const char *message) {
    const int32_t rc = createZeroed(out, message);
    if (rc == 0) (*out)->valid = 1;
    return rc;
}

template <class Entity>
int32_t destroyEntities(Entity **list, const char *nullMessage, const char *stepMessage) {
    if (list == nullptr) return fail(VCAL_ERR_NULL_ARGUMENT, nullMessage);
    Entity *entity = reversed(*list);
    *list = nullptr;
    while (entity != nullptr) {
        Entity *next = entity->next;
        PropertyNode *properties = entity->properties;
        entity->properties = nullptr;
        const int32_t rc = vCal_DestroyPropertyList(&properties);
        if (rc != 0) return fail(rc, stepMessage);
        std::free(entity);
        entity = next;
    }
    return 0;
}

// Fields of packed records cannot be bound to references: the helper
// returns the value the field is to hold afterwards.
template <class T> T *released(T *pointer) {
    std::free(pointer);
    return nullptr;
}

// A date chain of a record. The node embedded in the record is not part of
// it: only what hangs from it was allocated.
void releaseChain(TimeNode *node) {
    while (node != nullptr) {
        TimeNode *next = node->next;
        std::free(node);
        node = next;
    }
}

} // namespace

namespace vcal {

PropertyNode *newPropertyNode(uint16_t id, const char *line, size_t length) {
    auto *node = static_cast<PropertyNode *>(std::malloc(sizeof(PropertyNode) + length + 1));
    if (node == nullptr) return nullptr;
    char *text = reinterpret_cast<char *>(node) + sizeof(PropertyNode);
    std::memcpy(text, line, length);
    text[length] = '\0';
    node->propertyId = id;
    node->line = text;
    node->next = nullptr;
    return node;
}

} // namespace vcal

int32_t vCal_CreatePropertyNode(PropertyNode **out) {
    return createZeroed(out, "vCal_CreatePropertyNode (malloc)");
}

int32_t vCal_CreateVCalendarNode(VCalendarNode **out) {
    return createZeroed(out, "vCal_CreateVCalendarNode (malloc)");
}

int32_t vCal_CreateVEventNode(VEventNode **out) {
    return createEntity(out, "vCal_CreateVEventNode (malloc)");
}

int32_t vCal_CreateVTodoNode(VTodoNode **out) {
    return createEntity(out, "vCal_CreateVTodoNode (malloc)");
}

void vCal_PropertyFlagSetFalse(PropertyFlags *flags) {
    if (flags != nullptr) std::memset(flags, 0, sizeof *flags);
}

int32_t vCal_DestroyParseTree(ParseTreeHandle **phandle) { return DestroyParseTree(phandle); }

int32_t DestroyParseTree(ParseTreeHandle **phandle) {
    if (phandle == nullptr) return fail(VCAL_ERR_NULL_HANDLE, "DestroyParseTree (phandle)");
    ParseTreeHandle *handle = *phandle;
    *phandle = nullptr;
    if (handle == nullptr) return fail(VCAL_ERR_NO_TREE, "DestroyParseTree (vcalendar)");
    VCalendarNode *calendars = handle->firstCalendar;
    handle->firstCalendar = nullptr;
    const int32_t rc = vCal_DestroyVCalendarList(&calendars);
    std::free(handle);
    return rc;
}

int32_t vCal_DestroyVCalendarList(VCalendarNode **list) {
    if (list == nullptr) return fail(VCAL_ERR_NULL_ARGUMENT, "DestroyVCalendarList (nullptr)");
    VCalendarNode *calendar = reversed(*list);
    *list = nullptr;
    while (calendar != nullptr) {
        VCalendarNode *next = calendar->next;
        PropertyNode *properties = calendar->properties;
        VEventNode *events = calendar->events;
        VTodoNode *todos = calendar->todos;
        calendar->properties = nullptr;
        calendar->events = nullptr;
        calendar->todos = nullptr;
        int32_t rc = 0;
        if ((rc = vCal_DestroyVTodoList(&todos)) != 0)
            return fail(rc, "DestroyParseTree: (vCal_DestroyVTodoList)");
        if ((rc = vCal_DestroyVEventList(&events)) != 0)
            return fail(rc, "DestroyParseTree: (vCal_DestroyVEventList)");
        rc = vCal_DestroyPropertyList(&properties);
        if (rc != 0) return fail(rc, "DestroyParseTree: (vCal_DestroyPropertyList)");
        std::free(calendar);
        calendar = next;
    }
    return 0;
}

int32_t vCal_DestroyVEventList(VEventNode **list) {
    return destroyEntities(list, "vCal_DestroyVEventList: (nullptr)",
                           "vCal_DestroyVEventList: (vCal_DestroyPropertyList)");
}

int32_t vCal_DestroyVTodoList(VTodoNode **list) {
    return destroyEntities(list, "vCal_DestroyVTodoList: (nullptr)",
                           "vCal_DestroyVTodoList: (vCal_DestroyPropertyList)");
}

int32_t vCal_DestroyPropertyList(PropertyNode **list) {
    if (list == nullptr) return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_DestroyPropertyList: (nullptr)");
    PropertyNode *node = reversed(*list);
    *list = nullptr;
    while (node != nullptr) {
        PropertyNode *next = node->next;
        if (node->line != reinterpret_cast<char *>(node) + sizeof(PropertyNode))
            std::free(node->line);
        std::free(node);
        node = next;
    }
    return 0;
}

int32_t vCal_GetFirstCalendar(ParseTreeHandle *handle, VCalendarNode **out) {
    if (handle == nullptr) return fail(VCAL_ERR_NULL_HANDLE, "vCal_GetFirstCalendar (phandle)");
    if (out == nullptr)
        return fail(VCAL_ERR_NULL_CALENDAR, "vCal_GetFirstCalendar (FirstCalendarPtrPtr)");
    VCalendarNode *first = handle->firstCalendar;
    if (first == nullptr) return VCAL_ERR_NO_MORE_ENTITIES;
    handle->currentCalendar = first;
    handle->calendarCursor = first->next;
    *out = first;
    return 0;
}

int32_t vCal_GetNextCalendar(ParseTreeHandle *handle, VCalendarNode **out) {
    if (handle == nullptr) return fail(VCAL_ERR_NULL_HANDLE, "vCal_GetNextCalendar (phandle)");
    if (out == nullptr)
        return fail(VCAL_ERR_NULL_CALENDAR, "vCal_GetNextCalendar (NextCalendarPtrPtr)");
    VCalendarNode *next = handle->calendarCursor;
    if (next == nullptr) return VCAL_ERR_NO_MORE_ENTITIES;
    handle->currentCalendar = next;
    handle->calendarCursor = next->next;
    *out = next;
    return 0;
}

int32_t vCal_AnyValidEntityInPTree(const ParseTreeHandle *handle) {
    if (handle == nullptr) return 0;
    for (const VCalendarNode *c = handle->firstCalendar; c != nullptr; c = c->next) {
        for (const VEventNode *e = c->events; e != nullptr; e = e->next) {
            if (e->valid != 0) return 1;
        }
        for (const VTodoNode *t = c->todos; t != nullptr; t = t->next) {
            if (t->valid != 0) return 1;
        }
    }
    return 0;
}

int32_t vCal_InitializePropertyParam(PropertyParam *p) {
    if (p == nullptr) return VCAL_ERR_NULL_PROPERTY_PARAM;
    // The flags before the item type and the spare byte after the summary
    // are the caller's to keep; of the status text only the first byte is
    // cleared.
    const uint8_t spare = p->spareByte;
    char status[sizeof p->status];
    std::memcpy(status, p->status, sizeof status);
    std::memset(reinterpret_cast<uint8_t *>(p) + offsetof(PropertyParam, itemType), 0,
                sizeof *p - offsetof(PropertyParam, itemType));
    std::memcpy(p->status + 1, status + 1, sizeof status - 1);
    p->spareByte = spare;
    return 0;
}

int32_t vCal_FreePropertyParam(PropertyParam *p) {
    if (p == nullptr) return VCAL_ERR_NULL_PROPERTY_PARAM;
    p->audioAlarmSpareText = released(p->audioAlarmSpareText);
    p->displayAlarmSpareText = released(p->displayAlarmSpareText);
    p->attachment = released(p->attachment);
    p->attendee = released(p->attendee);
    p->description = released(p->description);
    TimeNode *exceptions = p->exceptionDates.next;
    p->exceptionDates.next = nullptr;
    releaseChain(exceptions);
    p->location = released(p->location);
    TimeNode *recurrences = p->recurrenceDates.next;
    p->recurrenceDates.next = nullptr;
    releaseChain(recurrences);
    p->relatedTo = released(p->relatedTo);
    p->resources = released(p->resources);
    p->summary = released(p->summary);
    p->uniqueId = released(p->uniqueId);
    p->spareText = released(p->spareText);
    return 0;
}

int32_t vCal_InitializeKRproperty(KRproperty *p) {
    if (p == nullptr) return VCAL_ERR_NULL_ARGUMENT;
    std::memset(p, 0, sizeof *p);
    return 0;
}

int32_t vCal_FreeKRproperty(KRproperty *p) {
    if (p == nullptr) return VCAL_ERR_NULL_ARGUMENT;
    // Flag 1 owns list 0, flag 2 owns list 1.
    for (int i = 0; i < 2; ++i) {
        KL_HLIST list = p->list[i];
        if (p->flag[i + 1] == 0 || list == nullptr) continue;
        const int32_t rc = KL_ListDestroy(&list);
        p->list[i] = list;
        if (rc != 0) return rc;
    }
    return 0;
}
