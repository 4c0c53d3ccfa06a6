// Parse trees and calendar item records: creation, destruction, the
// calendar walk, and the record initialisers and release functions.
#include <cstdlib>
#include <cstring>

#include "diag/errlog.h"
#include "vcal/vcalmsg.h"
#include "vcal/vcaltree.h"
#include "versit_vcal.h"

namespace {

using errlog::fail;

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
    Entity *entity = *list;
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

namespace {

// A node, its mark and its line, written at `at`.
PropertyNode *placeNode(char *at, uint8_t mark, uint16_t id, const char *line, size_t length) {
    auto *node = reinterpret_cast<PropertyNode *>(at);
    char *text = lineBehind(node);
    text[-1] = static_cast<char>(mark);
    std::memcpy(text, line, length);
    text[length] = '\0';
    node->propertyId = id;
    node->line = text;
    node->next = nullptr;
    return node;
}

constexpr size_t recordSize(size_t length) { return sizeof(PropertyNode) + 1 + length + 1; }

} // namespace

PropertyNode *newPropertyNode(uint16_t id, const char *line, size_t length) {
    auto *block = static_cast<char *>(std::malloc(recordSize(length)));
    return block != nullptr ? placeNode(block, kLineWithNode, id, line, length) : nullptr;
}

EntityLines::~EntityLines() {
    std::free(records_);
    std::free(lengths_);
}

// From this size of its lines on, an entity takes the collection's buffer.
constexpr size_t kHandOverFrom = 65536;

const PropertyNode *EntityLines::add(uint16_t id, const char *line, size_t length) {
    if (count_ == lengthRoom_) {
        const size_t grown = grownCapacity(lengthRoom_, 32, count_ + 1);
        void *bigger = std::realloc(lengths_, grown * sizeof *lengths_);
        if (bigger == nullptr) return nullptr;
        lengths_ = static_cast<size_t *>(bigger);
        lengthRoom_ = grown;
    }
    size_t needed = size_ + recordSize(length);
    if (needed >= kHandOverFrom) needed += kHeaderRoom; // so that the hand-over never grows it
    if (needed > capacity_) {
        const size_t grown = grownCapacity(capacity_, 1024, needed);
        void *bigger = std::realloc(records_, grown);
        if (bigger == nullptr) return nullptr;
        records_ = static_cast<char *>(bigger);
        capacity_ = grown;
    }
    const PropertyNode *node = placeNode(records_ + size_, kLineInEntity, id, line, length);
    size_ += recordSize(length);
    lengths_[count_++] = length;
    return node;
}

namespace {

// Links `count` records laid out from `at` on (see EntityLines), whose
// lines are `lengths` long, in their order; the first, or null when there
// is none.
PropertyNode *linkRecords(char *at, size_t count, const size_t *lengths) {
    PropertyNode *first = nullptr;
    PropertyNode *previous = nullptr;
    for (size_t i = 0; i < count; ++i) {
        auto *node = reinterpret_cast<PropertyNode *>(at);
        node->line = lineBehind(node);
        const size_t length = lengths[i];
        if (previous != nullptr)
            previous->next = node;
        else
            first = node;
        node->next = nullptr;
        previous = node;
        at += recordSize(length);
    }
    return first;
}

} // namespace

void *EntityLines::allocate(const void *header, size_t headerSize, PropertyNode *&first) {
    if (size_ >= kHandOverFrom) {
        // The lines move up behind the node where they are, and the buffer
        // shrinks to the entity (it has room for the node: see add).
        std::memmove(records_ + headerSize, records_, size_);
        std::memcpy(records_, header, headerSize);
        char *block = records_;
        if (void *fitted = std::realloc(block, headerSize + size_))
            block = static_cast<char *>(fitted);
        records_ = nullptr;
        capacity_ = 0;
        size_ = 0;
        first = linkRecords(block + headerSize, count_, lengths_);
        count_ = 0;
        return block;
    }
    auto *block = static_cast<char *>(std::malloc(headerSize + size_));
    if (block == nullptr) return nullptr;
    std::memcpy(block, header, headerSize);
    if (size_ > 0) std::memcpy(block + headerSize, records_, size_);
    // The records were laid out for this place; only the pointers move.
    first = linkRecords(block + headerSize, count_, lengths_);
    return block;
}

PropertyNode *EntityLines::link() { return linkRecords(records_, count_, lengths_); }

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

} // namespace vcal

VERSIT_API void vCal_PropertyFlagSetFalse(PropertyFlags *flags) {
    if (flags != nullptr) std::memset(flags, 0, sizeof *flags);
}

VERSIT_API int32_t vCal_DestroyParseTree(ParseTreeHandle **phandle) {
    return DestroyParseTree(phandle);
}

VERSIT_API int32_t DestroyParseTree(ParseTreeHandle **phandle) {
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

VERSIT_API int32_t vCal_DestroyVCalendarList(VCalendarNode **list) {
    if (list == nullptr) return fail(VCAL_ERR_NULL_ARGUMENT, "DestroyVCalendarList (nullptr)");
    VCalendarNode *calendar = *list;
    *list = nullptr;
    while (calendar != nullptr) {
        VCalendarNode *next = calendar->next;
        PropertyNode *properties = calendar->properties;
        VEventNode *events = calendar->events;
        VTodoNode *todos = calendar->todos;
        calendar->properties = nullptr;
        calendar->events = nullptr;
        calendar->todos = nullptr;
        int32_t rc = vCal_DestroyPropertyList(&properties);
        if (rc != 0) return fail(rc, "DestroyParseTree: (vCal_DestroyPropertyList)");
        if ((rc = vCal_DestroyVEventList(&events)) != 0)
            return fail(rc, "DestroyParseTree: (vCal_DestroyVEventList)");
        if ((rc = vCal_DestroyVTodoList(&todos)) != 0)
            return fail(rc, "DestroyParseTree: (vCal_DestroyVTodoList)");
        std::free(calendar);
        calendar = next;
    }
    return 0;
}

VERSIT_API int32_t vCal_DestroyVEventList(VEventNode **list) {
    return destroyEntities(list, "vCal_DestroyVEventList: (nullptr)",
                           "vCal_DestroyVEventList: (vCal_DestroyPropertyList)");
}

VERSIT_API int32_t vCal_DestroyVTodoList(VTodoNode **list) {
    return destroyEntities(list, "vCal_DestroyVTodoList: (nullptr)",
                           "vCal_DestroyVTodoList: (vCal_DestroyPropertyList)");
}

VERSIT_API int32_t vCal_DestroyPropertyList(PropertyNode **list) {
    if (list == nullptr) return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_DestroyPropertyList: (nullptr)");
    PropertyNode *node = *list;
    *list = nullptr;
    while (node != nullptr) {
        PropertyNode *next = node->next;
        // Compared as numbers: for a node allocated alone, the place behind
        // it is outside its allocation and no pointer may be formed to it.
        const auto behind = reinterpret_cast<uintptr_t>(node) + sizeof(PropertyNode) + 1;
        if (reinterpret_cast<uintptr_t>(node->line) != behind) {
            std::free(node->line);
            std::free(node);
        } else if (static_cast<uint8_t>(node->line[-1]) == vcal::kLineWithNode) {
            std::free(node);
        }
        node = next;
    }
    return 0;
}

VERSIT_API int32_t vCal_GetFirstCalendar(ParseTreeHandle *handle, VCalendarNode **out) {
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

VERSIT_API int32_t vCal_GetNextCalendar(ParseTreeHandle *handle, VCalendarNode **out) {
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

VERSIT_API int32_t vCal_AnyValidEntityInPTree(const ParseTreeHandle *handle) {
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

VERSIT_API int32_t vCal_InitializePropertyParam(PropertyParam *p) {
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

VERSIT_API int32_t vCal_FreePropertyParam(PropertyParam *p) {
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

VERSIT_API int32_t vCal_InitializeKRproperty(KRproperty *p) {
    if (p == nullptr) return VCAL_ERR_NULL_ARGUMENT;
    std::memset(p, 0, sizeof *p);
    return 0;
}

VERSIT_API int32_t vCal_FreeKRproperty(KRproperty *p) {
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
