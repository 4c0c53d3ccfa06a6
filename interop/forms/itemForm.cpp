// Calendar items as clients hold them: taken from a calendar, released,
// and turned into the form the writer takes. The reader and the writer
// keep some fields in different forms; this is the one place that knows
// how they differ.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "versit_interop.h"

namespace {

// The bytes of `text` with its values, joined by CR LF, joined by
// `separator` instead, each after `prefix`; written to `out` when given.
// Lone CRs and LFs would end the written line: they go. Empty values go
// too: the reader refuses a line without a value.
size_t rejoined(const char *text, std::string_view separator, std::string_view prefix, char *out) {
    size_t n = 0;
    auto put = [&](std::string_view bytes) {
        if (out != nullptr) std::memcpy(out + n, bytes.data(), bytes.size());
        n += bytes.size();
    };
    bool inValue = false;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p == '\r' && p[1] == '\n') {
            inValue = false;
            ++p;
        } else if (*p != '\r' && *p != '\n') {
            if (!inValue) {
                if (n > 0) put(separator);
                put(prefix);
                inValue = true;
            }
            put(std::string_view(p, 1));
        }
    }
    return n;
}

// Replaces a field's text by its rejoined form: one pass counts, one
// writes into a single allocation. False when memory ran out (the field is
// unchanged). Fields of a packed record cannot be bound to references.
template <class Get, class Set>
bool rejoinField(Get get, Set set, std::string_view separator, std::string_view prefix) {
    const char *text = get();
    if (text == nullptr) return true;
    const size_t size = rejoined(text, separator, prefix, nullptr);
    char *out = static_cast<char *>(std::malloc(size + 1));
    if (out == nullptr) return false;
    rejoined(text, separator, prefix, out);
    out[size] = '\0';
    std::free(get());
    set(out);
    return true;
}

// The description as the writer must be given it: it writes the text as
// it stands after ";ENCODING=QUOTED-PRINTABLE:", so an "=" of the text
// would be read back as the start of an escape, or at a line's end as a
// soft break that swallows the next line. Each is given as "=3D". False
// when memory ran out (the text is unchanged).
bool escapeEquals(char *&text) {
    if (text == nullptr || std::strchr(text, '=') == nullptr) return true;
    size_t size = 0;
    for (const char *p = text; *p != '\0'; ++p)
        size += *p == '=' ? 3 : 1;
    char *out = static_cast<char *>(std::malloc(size + 1));
    if (out == nullptr) return false;
    char *at = out;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p == '=') {
            std::memcpy(at, "=3D", 3);
            at += 3;
        } else {
            *at++ = *p;
        }
    }
    *at = '\0';
    std::free(text);
    text = out;
    return true;
}

} // namespace

extern "C" {

VERSIT_INTEROP_API int32_t VI_takeItem(VCalendarNode *calendar, uint16_t type, int first,
                                       PropertyParam *item, const PropertyNode **lines) {
    if (lines != nullptr) *lines = nullptr;
    int32_t rc = 0;
    if (type == VCAL_ITEM_EVENT) {
        VEventNode *node = nullptr;
        rc = first != 0 ? vCal_GetFirstEvent(calendar, item, nullptr, 0, &node)
                        : vCal_GetNextEvent(calendar, item, nullptr, 0, &node);
        if (lines != nullptr && node != nullptr) *lines = node->properties;
    } else if (type == VCAL_ITEM_TODO) {
        VTodoNode *node = nullptr;
        rc = first != 0 ? vCal_GetFirstTodo(calendar, item, nullptr, 0, &node)
                        : vCal_GetNextTodo(calendar, item, nullptr, 0, &node);
        if (lines != nullptr && node != nullptr) *lines = node->properties;
    } else {
        rc = VCAL_ERR_BAD_ITEM_TYPE;
    }
    return rc;
}

VERSIT_INTEROP_API void VI_releaseItem(PropertyParam *item) {
    if (item == nullptr) return;
    vCal_FreePropertyParam(item);
    for (KL_HLIST list : {item->recurrenceOccurrences, item->exceptionOccurrences}) {
        if (list != nullptr) KL_ListDestroy(&list);
    }
    item->recurrenceOccurrences = nullptr;
    item->exceptionOccurrences = nullptr;
}

VERSIT_INTEROP_API int32_t VI_itemToWriterForm(PropertyParam *item, uint16_t type,
                                               const PropertyNode *lines) {
    if (item == nullptr) return VCAL_ERR_NULL_PROPERTY_PARAM;
    uint8_t *flag = item->flags.flag;
    const bool ok = rejoinField([&] { return item->attachment; },
                                [&](char *t) { item->attachment = t; }, "*^?", "") &&
                    rejoinField([&] { return item->attendee; },
                                [&](char *t) { item->attendee = t; }, "*^?", ":") &&
                    rejoinField([&] { return item->resources; },
                                [&](char *t) { item->resources = t; }, ";", "");
    char *description = item->description;
    if (!ok || !escapeEquals(description)) return VCAL_ERR_NO_MEMORY;
    item->description = description;
    if (type == VCAL_ITEM_EVENT) item->priority = item->priority + 1;

    TimeNode *first = item->exceptionDates.next;
    if (first != nullptr) {
        item->exceptionDates.time = first->time;
        item->exceptionDates.next = first->next;
        std::free(first);
    } else {
        flag[VCAL_SLOT_EXDATE] = 0;
    }

    for (const PropertyNode *line = lines; line != nullptr; line = line->next) {
        if (line->propertyId != VCAL_PROP_UID) continue;
        char *id = nullptr;
        const int32_t copied = vCal_mallocCopy2ndStrValueInFirst(&id, line->line);
        if (copied == VCAL_ERR_NO_MEMORY) return copied;
        if (copied == 0) {
            std::free(item->uniqueId);
            item->uniqueId = id;
        }
        break;
    }

    const struct {
        uint8_t slot;
        const char *text;
    } texts[] = {{VCAL_SLOT_ATTACH, item->attachment},   {VCAL_SLOT_ATTENDEE, item->attendee},
                 {VCAL_SLOT_SUMMARY, item->summary},     {VCAL_SLOT_LOCATION, item->location},
                 {VCAL_SLOT_RESOURCES, item->resources}, {VCAL_SLOT_DESCRIPTION, item->description},
                 {VCAL_SLOT_STATUS, item->status},       {VCAL_SLOT_UID, item->uniqueId}};
    // Line breaks and blanks at a text's end are not written (nor read), so
    // a text of nothing else would make a line without a value.
    for (const auto &t : texts) {
        if (t.text == nullptr || t.text[std::strspn(t.text, " \t\r\n")] == '\0') flag[t.slot] = 0;
    }
    return 0;
}

} // extern "C"
