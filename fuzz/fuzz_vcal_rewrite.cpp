// Arbitrary bytes through the reader, every event and to-do taken out and
// added to a new tree, the tree written; the written text read again must
// give a tree, and every item of it must be added and written again.
// Nothing may fault or leak, and writing never stops on its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "support/memory_source.h"
#include "versit_vcal.h"

namespace {

int32_t putByte(void *stream, uint8_t byte) {
    static_cast<std::string *>(stream)->push_back(static_cast<char>(byte));
    return 0;
}

void check(bool condition) {
    if (!condition) std::abort();
}

// Every item of the tree into *out. The reader's multi-value texts are
// joined by CR LF; the writer takes them joined by "*^?" (attendees after
// a ":"), and lone line breaks would end its lines: they are made so.
void rejoin(char *text) {
    if (text == nullptr) return;
    char *o = text;
    for (char *p = text; *p != '\0'; ++p) {
        if (*p == '\r' && p[1] == '\n') {
            *o++ = ';';
            ++p;
        } else if (*p != '\r' && *p != '\n') {
            *o++ = *p;
        }
    }
    *o = '\0';
}

void release(PropertyParam &item) {
    vCal_FreePropertyParam(&item);
    for (KL_HLIST list : {item.recurrenceOccurrences, item.exceptionOccurrences}) {
        if (list != nullptr) KL_ListDestroy(&list);
    }
    item.recurrenceOccurrences = nullptr;
    item.exceptionOccurrences = nullptr;
}

size_t addAll(ParseTreeHandle *tree, ParseTreeHandle **out) {
    size_t added = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = vCal_GetFirstCalendar(tree, &calendar); got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            int32_t rc = type == VCAL_ITEM_EVENT
                             ? vCal_GetFirstEvent(calendar, &item, nullptr, 0, nullptr)
                             : vCal_GetFirstTodo(calendar, &item, nullptr, 0, nullptr);
            while (rc == 0) {
                rejoin(item.attachment);
                rejoin(item.attendee);
                rejoin(item.resources);
                // Some items lack what their flags promise (the UID); they
                // must fail cleanly and leave the tree writable.
                if (vCal_AddxItemInfoToPTree(out, &item, type, 0) == 0) ++added;
                release(item);
                rc = type == VCAL_ITEM_EVENT
                         ? vCal_GetNextEvent(calendar, &item, nullptr, 0, nullptr)
                         : vCal_GetNextTodo(calendar, &item, nullptr, 0, nullptr);
            }
            release(item);
        }
    }
    return added;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ParseTreeHandle *tree = readTree(data, size);
    if (tree == nullptr) return 0;
    ParseTreeHandle *out = nullptr;
    const size_t added = addAll(tree, &out);
    check(vCal_DestroyParseTree(&tree) == 0);
    check((added > 0) == (out != nullptr));
    if (out == nullptr) return 0;
    std::string text;
    check(vCal_ParseTreeToStreamPut(out, &text, putByte, "1.0", nullptr) == 0);
    check(vCal_DestroyParseTree(&out) == 0);
    // The writer's own text reads back as a tree.
    tree = readTree(text.data(), text.size());
    check(tree != nullptr);
    addAll(tree, &out);
    if (out != nullptr) {
        std::string again;
        check(vCal_ParseTreeToStreamPut(out, &again, putByte, "1.0", nullptr) == 0);
        check(vCal_DestroyParseTree(&out) == 0);
    }
    check(vCal_DestroyParseTree(&tree) == 0);
    return 0;
}
