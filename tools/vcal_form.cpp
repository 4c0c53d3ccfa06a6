#include "vcal_form.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The values of a text joined by CR LF, joined by `separator` instead,
// each after `prefix`. Lone CRs and LFs would end the written line: they
// go. Empty values go too: the reader refuses a line without a value.
std::string rejoin(const char *text, const char *separator, const char *prefix) {
    std::string out;
    std::string value;
    auto flush = [&] {
        if (value.empty()) return;
        if (!out.empty()) out += separator;
        out += prefix + value;
        value.clear();
    };
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p == '\r' && p[1] == '\n') {
            flush();
            ++p;
        } else if (*p != '\r' && *p != '\n') {
            value += *p;
        }
    }
    flush();
    return out;
}

bool replace(char *&field, const std::string &text) {
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    std::free(field);
    field = copy;
    return true;
}

// Fields of a packed record cannot be bound to references.
template <class Get, class Set>
bool rejoinField(Get get, Set set, const char *separator, const char *prefix) {
    char *field = get();
    if (field == nullptr) return true;
    const bool ok = replace(field, rejoin(field, separator, prefix));
    set(field);
    return ok;
}

} // namespace

int32_t toWriterForm(PropertyParam &item, uint16_t type, const PropertyNode *lines) {
    uint8_t *flag = item.flags.flag;
    bool ok =
        rejoinField([&] { return item.attachment; }, [&](char *t) { item.attachment = t; }, "*^?",
                    "") &&
        rejoinField([&] { return item.attendee; }, [&](char *t) { item.attendee = t; }, "*^?",
                    ":") &&
        rejoinField([&] { return item.resources; }, [&](char *t) { item.resources = t; }, ";", "");
    if (!ok) return VCAL_ERR_NO_MEMORY;
    if (type == VCAL_ITEM_EVENT) item.priority = item.priority + 1;

    TimeNode *first = item.exceptionDates.next;
    if (first != nullptr) {
        item.exceptionDates.time = first->time;
        item.exceptionDates.next = first->next;
        std::free(first);
    } else {
        flag[VCAL_SLOT_EXDATE] = 0;
    }

    for (const PropertyNode *line = lines; line != nullptr; line = line->next) {
        if (line->propertyId != VCAL_PROP_UID) continue;
        char *id = nullptr;
        if (vCal_mallocCopy2ndStrValueInFirst(&id, line->line) == 0) {
            std::free(item.uniqueId);
            item.uniqueId = id;
        }
        break;
    }

    const struct {
        uint8_t slot;
        const char *text;
    } texts[] = {{VCAL_SLOT_ATTACH, item.attachment},   {VCAL_SLOT_ATTENDEE, item.attendee},
                 {VCAL_SLOT_SUMMARY, item.summary},     {VCAL_SLOT_LOCATION, item.location},
                 {VCAL_SLOT_RESOURCES, item.resources}, {VCAL_SLOT_DESCRIPTION, item.description},
                 {VCAL_SLOT_STATUS, item.status},       {VCAL_SLOT_UID, item.uniqueId}};
    // Line breaks and blanks at a text's end are not written (nor read), so
    // a text of nothing else would make a line without a value.
    for (const auto &t : texts) {
        if (t.text == nullptr || t.text[std::strspn(t.text, " \t\r\n")] == '\0') flag[t.slot] = 0;
    }
    return 0;
}
