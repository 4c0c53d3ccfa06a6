// Calendar items into a parse tree: the client's event and to-do records
// as PropertyParam records, and each record as an event or to-do node of
// the tree's first calendar.
//
// Choices of this implementation:
//  - A tree this call made is released again when the item cannot be
//    added; the caller's variable stays null and nothing is left behind.
//  - A tree without a calendar (a handle of the reader's that found
//    none) gets one, made from the item as for a new tree.
//  - Appending must not cost the length of the chain, or adding many
//    items would take quadratic time. The calendar's current event (to-do)
//    is where the chain was last seen to end: each add starts there, links
//    the node and makes it the current one. A walk resets it (it names
//    the node returned last); the walk's cursor is never touched.
//  - Attendee and reply cells are read into buffers of the lists' own
//    id and data sizes, so a list whose cells are larger than the records
//    here is never written past.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string_view>

#include "diag/errlog.h"
#include "vcal/vcalkrec.h"
#include "vcal/vcalmsg.h"
#include "vcal/vcaltree.h"

namespace {

using errlog::fail;

// The length of a text that may fill its whole field without a NUL.
size_t boundedLength(const char *text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != '\0')
        ++n;
    return n;
}

// The node that ends a chain, from `hint` (a node of the chain, or null)
// on.
template <class Entity> Entity *chainEnd(Entity *head, Entity *hint) {
    Entity *node = hint != nullptr ? hint : head;
    while (node != nullptr && node->next != nullptr)
        node = node->next;
    return node;
}

template <class Entity> void appendEntity(VCalendarNode *calendar, Entity *node);

template <> void appendEntity(VCalendarNode *calendar, VEventNode *node) {
    VEventNode *last = chainEnd(calendar->events, calendar->currentEvent);
    if (last != nullptr)
        last->next = node;
    else
        calendar->events = node;
    calendar->currentEvent = node;
}

template <> void appendEntity(VCalendarNode *calendar, VTodoNode *node) {
    VTodoNode *last = chainEnd(calendar->todos, calendar->currentTodo);
    if (last != nullptr)
        last->next = node;
    else
        calendar->todos = node;
    calendar->currentTodo = node;
}

// A calendar for the tree, with its own lines made from `item`; null
// (logged, with *rc set) on failure.
VCalendarNode *newCalendar(const PropertyParam *item, int32_t *rc) {
    VCalendarNode *calendar = nullptr;
    if ((*rc = vcal::vCal_CreateVCalendarNode(&calendar)) != 0) {
        fail(*rc, "vCal_AddxItemInfoToPTree: (vCal_CreateVCalendarNode)");
        return nullptr;
    }
    PropertyNode *lines = nullptr;
    if ((*rc = vcal::vCal_ChangeFormatKRecToPTree(&lines, vcal::kKindCalendar, item, 0)) != 0) {
        std::free(calendar);
        fail(*rc, "vCal_AddxItemInfoToPTree: (vCal_ChangeFormatKRecToPTree) 1");
        return nullptr;
    }
    calendar->properties = lines;
    return calendar;
}

// Links a new entity with the item's lines into the calendar. When the
// lines cannot be made, an entity without lines is linked all the same.
template <class Entity>
int32_t addEntity(VCalendarNode *calendar, const PropertyParam *item, uint32_t type,
                  int32_t (*create)(Entity **), const char *name) {
    char createMessage[64];
    std::snprintf(createMessage, sizeof createMessage, "vCal_AddxItemInfoToPTree: (%s)", name);
    vcal::EntityLines lines;
    const int32_t converted = vcal::vCal_ChangeFormatKRecToPTree(lines, type, item);
    Entity header{};
    header.valid = 1;
    Entity *node = converted == 0 ? lines.build(header) : nullptr;
    if (converted == 0 && node == nullptr) {
        // The entity's block is its node: it fails as the node would.
        char nodeMessage[64];
        std::snprintf(nodeMessage, sizeof nodeMessage, "%s (malloc)", name);
        WriteErrLog(2, VCAL_ERR_NO_MEMORY, nodeMessage);
        return fail(VCAL_ERR_NO_MEMORY, createMessage);
    }
    if (node == nullptr) {
        const int32_t rc = create(&node);
        if (rc != 0) return fail(rc, createMessage);
    }
    appendEntity(calendar, node);
    return converted != 0
               ? fail(converted, "vCal_AddxItemInfoToPTree: (vCal_ChangeFormatKRecToPTree) 2")
               : 0;
}

} // namespace

VERSIT_API int32_t vCal_AddxItemInfoToPTree(ParseTreeHandle **phandle, const PropertyParam *item,
                                            uint32_t itemType, uint32_t /*reserved*/) {
    if (phandle == nullptr) return fail(VCAL_ERR_NULL_HANDLE, "vCal_AddxItemInfoToPTree (phandle)");
    if (item == nullptr) return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_AddxItemInfoToPTree (baptr)");
    if (itemType != VCAL_ITEM_EVENT && itemType != VCAL_ITEM_TODO)
        return fail(VCAL_ERR_BAD_ITEM_TYPE, "vCal_AddxItemInfoToPTree (type)");
    ParseTreeHandle *handle = *phandle;
    const bool made = handle == nullptr;
    if (made) {
        handle = static_cast<ParseTreeHandle *>(std::calloc(1, sizeof(ParseTreeHandle)));
        if (handle == nullptr) return fail(VCAL_ERR_NO_MEMORY, "vCal_AddxItemInfoToPTree (malloc)");
        handle->calendarsEnded = 1;
    }
    int32_t rc = 0;
    if (handle->firstCalendar == nullptr) handle->firstCalendar = newCalendar(item, &rc);
    if (rc == 0) {
        VCalendarNode *calendar = handle->firstCalendar;
        rc = itemType == VCAL_ITEM_EVENT
                 ? addEntity<VEventNode>(calendar, item, itemType, vcal::vCal_CreateVEventNode,
                                         "vCal_CreateVEventNode")
                 : addEntity<VTodoNode>(calendar, item, itemType, vcal::vCal_CreateVTodoNode,
                                        "vCal_CreateVTodoNode");
    }
    if (made) {
        if (rc == 0)
            *phandle = handle;
        else
            vCal_DestroyParseTree(&handle);
    }
    return rc;
}

namespace {

// A PropertyParam being filled from the client's records: its flags kept
// apart until the end, its texts released whatever happens.
struct ItemBuilder {
    PropertyParam item{};
    PropertyFlags flags{};
    const char *function;

    ItemBuilder(uint16_t type, const char *name) : function(name) {
        vCal_InitializePropertyParam(&item);
        vCal_PropertyFlagSetFalse(&flags);
        item.itemType = type;
    }
    ItemBuilder(const ItemBuilder &) = delete;
    ItemBuilder &operator=(const ItemBuilder &) = delete;
    ~ItemBuilder() { vCal_FreePropertyParam(&item); }

    void set(uint8_t slot) { flags.flag[slot] = 1; }
    int32_t noMemory() const {
        char message[64];
        std::snprintf(message, sizeof message, "%s (malloc)", function);
        return fail(VCAL_ERR_NO_MEMORY, message);
    }
    // A malloc'ed copy of at most `limit` bytes of `text`, or null.
    static char *copy(const char *text, size_t limit) {
        const size_t n = boundedLength(text, limit);
        char *out = static_cast<char *>(std::malloc(n + 1));
        if (out != nullptr) {
            std::memcpy(out, text, n);
            out[n] = '\0';
        }
        return out;
    }
    // The copy into the text field at `offset` when the text is not
    // empty; 0 or VCAL_ERR_NO_MEMORY.
    int32_t text(size_t offset, uint8_t slot, const char *value, size_t limit = SIZE_MAX) {
        if (value == nullptr || *value == '\0') return 0;
        char *text = copy(value, limit);
        if (text == nullptr) return noMemory();
        std::memcpy(reinterpret_cast<char *>(&item) + offset, &text, sizeof text);
        set(slot);
        return 0;
    }
    // `length` bytes in a zeroed block with room to spare.
    int32_t description(const char *bytes, uint32_t length) {
        if (bytes == nullptr || length == 0) return 0;
        if (size_t{length} + 5 < length) return noMemory();
        char *block = static_cast<char *>(std::calloc(size_t{length} + 5, 1));
        if (block == nullptr) return noMemory();
        std::memcpy(block, bytes, length);
        item.description = block;
        set(VCAL_SLOT_DESCRIPTION);
        return 0;
    }
    void status(const char *text) {
        std::strncpy(item.status, text, sizeof item.status - 1);
        set(VCAL_SLOT_STATUS);
    }
    void alarms(CalapiTime time) {
        item.audioAlarmTime = time;
        item.displayAlarmTime = time;
        set(VCAL_SLOT_AALARM);
        set(VCAL_SLOT_DALARM);
    }
    // The id in an 80-byte text, as the client's store keeps it.
    int32_t uniqueId(const char *id) {
        char *text = static_cast<char *>(std::malloc(80));
        if (text == nullptr) return noMemory();
        std::strncpy(text, id, 80);
        item.uniqueId = text;
        set(VCAL_SLOT_UID);
        return 0;
    }
    int32_t add(ParseTreeHandle **phandle, uint32_t type) {
        item.flags = flags;
        return vCal_AddxItemInfoToPTree(phandle, &item, type, 0);
    }
};

// A buffer of at least `size` bytes: inline when that is enough.
class CellBuffer {
  public:
    CellBuffer() = default;
    CellBuffer(const CellBuffer &) = delete;
    CellBuffer &operator=(const CellBuffer &) = delete;
    ~CellBuffer() {
        if (data_ != inline_) std::free(data_);
    }
    bool reserve(size_t size) {
        if (size > sizeof inline_) data_ = static_cast<unsigned char *>(std::calloc(size, 1));
        return data_ != nullptr;
    }
    unsigned char *data() { return data_; }

  private:
    unsigned char inline_[sizeof(CalAttendeeRecord) + 64] = {};
    unsigned char *data_ = inline_;
};

// Reserves a buffer of the list's id size (data size) and at least `least`.
bool reserveFor(CellBuffer &buffer, KL_HLIST list, int32_t (*sizeOf)(KL_HLIST, uint32_t *),
                size_t least) {
    uint32_t size = 0;
    sizeOf(list, &size);
    return buffer.reserve(size > least ? size : least);
}

template <class T> T read(const void *record) {
    T value;
    std::memcpy(&value, record, sizeof value);
    return value;
}

// The attendees of an event: persons as ATTENDEE values, resources as
// RESOURCES values, each with the reply it was given.
int32_t addAttendees(ItemBuilder &b, const CalEventRecord *event, const CalInstanceRecord *instance,
                     KL_HLIST replies, KL_HLIST attendees) {
    CellBuffer id, attendee, key, reply;
    if (!reserveFor(id, attendees, KL_ListGetIdSize, sizeof(uint32_t)) ||
        !reserveFor(attendee, attendees, KL_ListGetDataSize, sizeof(CalAttendeeRecord)) ||
        !reserveFor(key, replies, KL_ListGetIdSize, sizeof(CalReplyKey)) ||
        !reserveFor(reply, replies, KL_ListGetDataSize, sizeof(CalReplyRecord)))
        return b.noMemory();
    const uint32_t owner = event->ownerId;
    const uint32_t organizer = event->organizerId;
    CalReplyKey replyKey{};
    replyKey.instancePart1 = instance->idPart1;
    replyKey.instancePart2 = read<uint32_t>(reinterpret_cast<const char *>(instance) + 8);
    vcal::TextBuffer persons;
    vcal::TextBuffer resources;
    int32_t rc = KL_ListGetFirst(attendees, id.data(), attendee.data());
    for (; rc == 0; rc = KL_ListGetNext(attendees, id.data(), attendee.data())) {
        replyKey.attendeeId = read<uint32_t>(id.data());
        std::memcpy(key.data(), &replyKey, sizeof replyKey);
        if ((rc = KL_ListGet(replies, key.data(), reply.data())) != 0)
            return fail(rc, "vCal_EventAddToParseTree (KL_ListGet)");
        const auto *a = reinterpret_cast<const CalAttendeeRecord *>(attendee.data());
        const auto *r = reinterpret_cast<const CalReplyRecord *>(reply.data());
        bool added = false;
        if (a->kind == 1) {
            const std::string_view pieces[] = {
                resources.length > 0 ? ";" : "",
                {a->resourceName, boundedLength(a->resourceName, 41)}};
            added = resources.append(pieces, 2);
        } else {
            const uint32_t who = replyKey.attendeeId;
            const char *role = who == owner                             ? "OWNER"
                               : who == organizer && owner != organizer ? "ORGANIZER"
                                                                        : "ATTENDEE";
            const char *status = r->accepted[0] != 0 || r->accepted[1] != 0 ? "CONFIRMED"
                                 : r->declined != 0                         ? "DECLINED"
                                                                            : "NEEDS ACTION";
            const std::string_view pieces[] = {persons.length > 0 ? vcal::kMultiValueSeparator : "",
                                               ";ROLE=",
                                               role,
                                               ";STATUS=",
                                               status,
                                               ":",
                                               {a->givenName, boundedLength(a->givenName, 41)},
                                               " ",
                                               {a->familyName, boundedLength(a->familyName, 41)}};
            added = persons.append(pieces, std::size(pieces));
        }
        if (!added) return b.noMemory();
    }
    if (rc != KL_LIST_END) return fail(rc, "vCal_EventAddToParseTree (KL_ListGetNext)");
    if ((b.item.attendee = persons.release()) != nullptr) b.set(VCAL_SLOT_ATTENDEE);
    if ((b.item.resources = resources.release()) != nullptr) b.set(VCAL_SLOT_RESOURCES);
    return 0;
}

constexpr size_t kSummarySize = sizeof(CalEventRecord::summary);

} // namespace

VERSIT_API int32_t vCal_EventAddToParseTree(ParseTreeHandle **phandle, uint32_t idPair,
                                            const CalEventRecord *event,
                                            const CalInstanceRecord *instance,
                                            const CalAlarmRecord *alarm, KL_HLIST replies,
                                            KL_HLIST attendees, const char *description,
                                            uint32_t length, const char *attachment,
                                            const char *version, uint32_t /*reserved*/) {
    if (version == nullptr || *version == '\0') return VCAL_ERR_VERSION_BUFFER;
    if (event == nullptr || instance == nullptr) return VCAL_ERR_NULL_EVENT;
    if (std::strcmp(version, "1.0") != 0) return VCAL_ERR_BAD_VERSION;
    ItemBuilder b(VCAL_ITEM_EVENT, "vCal_EventAddToParseTree");
    const CalapiTime start = instance->start;
    b.item.startTime = start;
    b.item.endTime = start + instance->duration;
    b.item.category = event->category;
    b.item.priority = event->priority + 1u;
    for (uint8_t slot :
         {VCAL_SLOT_DTSTART, VCAL_SLOT_DTEND, VCAL_SLOT_CATEGORIES, VCAL_SLOT_PRIORITY})
        b.set(slot);
    int32_t rc = b.text(offsetof(PropertyParam, attachment), VCAL_SLOT_ATTACH, attachment);
    if (rc != 0) return rc;
    if (instance->tentative != 0) b.status("TENTATIVE");
    if ((rc = b.text(offsetof(PropertyParam, location), VCAL_SLOT_LOCATION, instance->location,
                     sizeof instance->location)) != 0)
        return rc;
    const char *summary = instance->summary[0] != '\0' ? instance->summary : event->summary;
    if ((rc = b.text(offsetof(PropertyParam, summary), VCAL_SLOT_SUMMARY, summary, kSummarySize)) !=
        0)
        return rc;
    if (event->classCode != 0) {
        b.item.classCode = event->classCode;
        b.set(VCAL_SLOT_CLASS);
    }
    if ((rc = b.description(description, length)) != 0) return rc;
    if (alarm != nullptr && alarm->set != 0) b.alarms(start - alarm->minutesBefore);
    char id[80];
    std::snprintf(id, sizeof id, "%u-%u-%u-%u", idPair & 0xFFFFu, idPair >> 16,
                  static_cast<unsigned>(instance->idPart1), unsigned{instance->idPart3});
    if ((rc = b.uniqueId(id)) != 0) return rc;
    // Holidays are nobody's appointments.
    if (event->category != 1 && event->category != 2 && attendees != nullptr &&
        (rc = addAttendees(b, event, instance, replies, attendees)) != 0)
        return rc;
    return b.add(phandle, VCAL_ITEM_EVENT);
}

VERSIT_API int32_t vCal_TaskAddToParseTree(ParseTreeHandle **phandle, uint32_t /*reserved1*/,
                                           const CalTodoRecord *todo, const char *description,
                                           uint32_t length, const char *attachment,
                                           const char *version, uint32_t /*reserved2*/) {
    if (todo == nullptr) return VCAL_ERR_NULL_TODO;
    if (version == nullptr || std::strcmp(version, "1.0") != 0) return VCAL_ERR_BAD_VERSION;
    ItemBuilder b(VCAL_ITEM_TODO, "vCal_TaskAddToParseTree");
    const CalapiTime start = todo->startTime;
    if (todo->alarmSet != 0 && todo->alarmMinutes != 0) b.alarms(start - todo->alarmMinutes);
    if (start != 0) {
        b.item.startTime = start;
        b.set(VCAL_SLOT_DTSTART);
    }
    if (todo->dueTime != 0) {
        b.item.dueTime = todo->dueTime;
        b.set(VCAL_SLOT_DUE);
    }
    int32_t rc = b.text(offsetof(PropertyParam, attachment), VCAL_SLOT_ATTACH, attachment);
    if (rc != 0) return rc;
    if (todo->priority != 0) {
        b.item.priority = todo->priority;
        b.set(VCAL_SLOT_PRIORITY);
    }
    if (todo->classCode != 0) {
        b.item.classCode = todo->classCode;
        b.set(VCAL_SLOT_CLASS);
    }
    if (todo->state == 'd') {
        b.status("COMPLETED");
        if (todo->completedTime != 0) {
            b.item.completedTime = todo->completedTime;
            b.set(VCAL_SLOT_COMPLETED);
        }
    }
    // An empty summary leaves the flag without a text: the to-do's lines
    // then fail, as the client's store would have it.
    if ((rc = b.text(offsetof(PropertyParam, summary), VCAL_SLOT_SUMMARY, todo->summary,
                     sizeof todo->summary)) != 0)
        return rc;
    b.set(VCAL_SLOT_SUMMARY);
    char id[80];
    std::snprintf(id, sizeof id, "%u-%u-%u", unsigned{todo->idPart1}, unsigned{todo->idPart2},
                  static_cast<unsigned>(todo->idPart3));
    if ((rc = b.uniqueId(id)) != 0) return rc;
    if ((rc = b.description(description, length)) != 0) return rc;
    return b.add(phandle, VCAL_ITEM_TODO);
}
