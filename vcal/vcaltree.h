// Building parse trees: node constructors and chain tails, shared by the
// reader and the writer. The records themselves are public (versit_vcal.h);
// their layout is pinned here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "versit_vcal.h"

// The records cross the interface byte by byte: no field may move.
static_assert(sizeof(PropertyFlags) == 38, "PropertyFlags is 38 slots");
static_assert(offsetof(VEventNode, valid) == 2 && offsetof(VEventNode, unused) == 3 &&
                  offsetof(VEventNode, flags) == 7 && offsetof(VEventNode, properties) == 45,
              "VEventNode layout");
static_assert(offsetof(VTodoNode, valid) == 2 && offsetof(VTodoNode, flags) == 7 &&
                  offsetof(VTodoNode, properties) == 45,
              "VTodoNode layout");
static_assert(offsetof(VCalendarNode, todoCount) == 2 && offsetof(VCalendarNode, flags) == 4 &&
                  offsetof(VCalendarNode, properties) == 42,
              "VCalendarNode layout");
static_assert(offsetof(ParseTreeHandle, calendarsEnded) == 2 &&
                  offsetof(ParseTreeHandle, eventsRead) == 4 &&
                  offsetof(ParseTreeHandle, eventsKept) == 6 &&
                  offsetof(ParseTreeHandle, todosRead) == 8 &&
                  offsetof(ParseTreeHandle, todosKept) == 10 &&
                  offsetof(ParseTreeHandle, firstCalendar) == 12,
              "ParseTreeHandle layout");
static_assert(offsetof(PropertyNode, line) == 2, "PropertyNode layout");
static_assert(offsetof(PropertyParam, itemType) == 38 &&
                  offsetof(PropertyParam, audioAlarmTime) == 40 &&
                  offsetof(PropertyParam, audioAlarmSpare1) == 44 &&
                  offsetof(PropertyParam, audioAlarmSpare2) == 46 &&
                  offsetof(PropertyParam, audioAlarmSpareText) == 48,
              "PropertyParam layout up to the first pointer");
static_assert(offsetof(KRproperty, list) == 5, "KRproperty layout");
static_assert(sizeof(TimePlace) == 12 && offsetof(TimePlace, reserved) == 8, "TimePlace layout");
static_assert(sizeof(TimePlaceRecurList) == sizeof(KL_HLIST), "TimePlaceRecurList layout");

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(PropertyNode) == 10 && offsetof(PropertyNode, next) == 6,
              "PropertyNode layout");
static_assert(sizeof(VEventNode) == 53 && offsetof(VEventNode, next) == 49, "VEventNode layout");
static_assert(sizeof(VTodoNode) == 53 && offsetof(VTodoNode, next) == 49, "VTodoNode layout");
static_assert(sizeof(VCalendarNode) == 74 && offsetof(VCalendarNode, events) == 46 &&
                  offsetof(VCalendarNode, eventCursor) == 50 &&
                  offsetof(VCalendarNode, currentEvent) == 54 &&
                  offsetof(VCalendarNode, todos) == 58 &&
                  offsetof(VCalendarNode, todoCursor) == 62 &&
                  offsetof(VCalendarNode, currentTodo) == 66 && offsetof(VCalendarNode, next) == 70,
              "VCalendarNode layout");
static_assert(sizeof(ParseTreeHandle) == 24 && offsetof(ParseTreeHandle, calendarCursor) == 16 &&
                  offsetof(ParseTreeHandle, currentCalendar) == 20,
              "ParseTreeHandle layout");
static_assert(sizeof(TimeNode) == 8 && offsetof(TimeNode, next) == 4, "TimeNode layout");
static_assert(sizeof(KRproperty) == 17, "KRproperty layout");
static_assert(sizeof(PropertyParam) == 179, "PropertyParam is 179 bytes");
static_assert(
    offsetof(PropertyParam, attachment) == 52 && offsetof(PropertyParam, attendee) == 56 &&
        offsetof(PropertyParam, category) == 60 && offsetof(PropertyParam, classCode) == 62 &&
        offsetof(PropertyParam, completedTime) == 66 &&
        offsetof(PropertyParam, displayAlarmTime) == 70 &&
        offsetof(PropertyParam, displayAlarmSpare1) == 74 &&
        offsetof(PropertyParam, displayAlarmSpare2) == 76 &&
        offsetof(PropertyParam, displayAlarmSpareText) == 78 &&
        offsetof(PropertyParam, createdTime) == 82 && offsetof(PropertyParam, description) == 86 &&
        offsetof(PropertyParam, dueTime) == 90 && offsetof(PropertyParam, endTime) == 94 &&
        offsetof(PropertyParam, startTime) == 98 &&
        offsetof(PropertyParam, exceptionDates) == 102 &&
        offsetof(PropertyParam, location) == 110 && offsetof(PropertyParam, priority) == 114 &&
        offsetof(PropertyParam, recurrenceDates) == 118 &&
        offsetof(PropertyParam, relatedTo) == 126 && offsetof(PropertyParam, resources) == 130 &&
        offsetof(PropertyParam, recurrenceCount) == 134 &&
        offsetof(PropertyParam, recurrenceOccurrences) == 138 &&
        offsetof(PropertyParam, status) == 142 && offsetof(PropertyParam, summary) == 158 &&
        offsetof(PropertyParam, spareByte) == 162 && offsetof(PropertyParam, uniqueId) == 163 &&
        offsetof(PropertyParam, exceptionOccurrences) == 167 &&
        offsetof(PropertyParam, spareText) == 171 && offsetof(PropertyParam, spareNumber) == 175,
    "PropertyParam layout");
#endif

namespace vcal {

// Each returns 0 or VCAL_ERR_NO_MEMORY (logged as "<name> (malloc)"), and
// leaves *out null on failure. A property node has every field zero; an
// event or to-do node is valid with nothing in it; a calendar node is empty.
int32_t vCal_CreatePropertyNode(PropertyNode **out);
int32_t vCal_CreateVCalendarNode(VCalendarNode **out);
int32_t vCal_CreateVEventNode(VEventNode **out);
int32_t vCal_CreateVTodoNode(VTodoNode **out);

// How the reader keeps memory. A stream of many events makes a tree of a
// great many small records; allocated one by one they cost more than
// reading the stream, and scattered over the heap they make every walk
// and the destruction slow. So the reader allocates:
//  - a calendar-level property node and its line as one block: the node,
//    a mark byte kLineWithNode, the line;
//  - an event or to-do with all its property nodes and lines as one block:
//    the entity node, then per line its node, a mark byte kLineInEntity
//    and the line. Nothing of it is freed before the entity.
// vCal_DestroyPropertyList knows both by the line following its node and
// the mark: it frees a kLineWithNode node (line and all), leaves a
// kLineInEntity node to its entity, and frees other nodes (the writer's,
// or a caller's) and their lines separately. A separately allocated line
// can never start right behind its node, so nothing else looks like them.
constexpr uint8_t kLineWithNode = 0x4C;
constexpr uint8_t kLineInEntity = 0x45;

// Where a line kept with its node starts.
inline char *lineBehind(PropertyNode *node) {
    return reinterpret_cast<char *>(node) + sizeof(PropertyNode) + 1;
}

// A calendar-level property node with its line, or null when memory runs
// out (nothing logged).
PropertyNode *newPropertyNode(uint16_t id, const char *line, size_t length);

// Collects the lines of one event or to-do as they are read, laid out as
// they will stand behind the entity node, so that the entity is allocated
// once, at its end, and only when it is kept. The buffer is reused from
// one entity to the next, except behind a large entity (a long
// description), which takes the buffer itself: its lines are not held
// twice.
class EntityLines {
  public:
    EntityLines() = default;
    EntityLines(const EntityLines &) = delete;
    EntityLines &operator=(const EntityLines &) = delete;
    ~EntityLines();

    void clear() {
        size_ = 0;
        count_ = 0;
    }
    // The node as it stands in the collection (valid until the next add),
    // or null when memory runs out.
    const PropertyNode *add(uint16_t id, const char *line, size_t length);
    // The entity node `header` followed by the lines, with the property
    // chain linked in input order; null when memory runs out.
    template <class Entity> Entity *build(const Entity &header) {
        static_assert(sizeof(Entity) <= kHeaderRoom, "room kept for the entity node");
        PropertyNode *first = nullptr;
        auto *entity = static_cast<Entity *>(allocate(&header, sizeof(Entity), first));
        if (entity != nullptr) {
            entity->properties = first;
            entity->next = nullptr;
        }
        return entity;
    }

    // The lines linked in input order where they stand, for a reader that
    // hands the entity on at once: valid until the next add or clear.
    PropertyNode *link();

  private:
    // Room kept behind the lines of a large entity, which is handed over
    // with the buffer rather than copied (see allocate).
    static constexpr size_t kHeaderRoom = 64;
    void *allocate(const void *header, size_t headerSize, PropertyNode *&first);

    char *records_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    size_t count_ = 0;
    // Each line's length, so that linking the records needs no search for
    // where each ends.
    size_t *lengths_ = nullptr;
    size_t lengthRoom_ = 0;
};

} // namespace vcal

namespace vcal {

// The end of a chain under construction, so that appending a node costs
// the same whatever the length of the chain. (The owner's head field is
// written by the caller: fields of packed records cannot be referenced.)
template <class Node> class ChainTail {
  public:
    explicit ChainTail(Node *head = nullptr) : last_(head) {
        if (last_ != nullptr) {
            while (last_->next != nullptr)
                last_ = last_->next;
        }
    }
    // Links `node` behind the last one; true when the chain was empty, so
    // that the owner's head field must receive it.
    [[nodiscard]] bool append(Node *node) {
        const bool first = last_ == nullptr;
        if (!first) last_->next = node;
        last_ = node;
        return first;
    }

  private:
    Node *last_;
};

} // namespace vcal
