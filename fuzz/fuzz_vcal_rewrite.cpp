// Arbitrary bytes through the reader, every event and to-do taken out and
// added to a new tree, the tree written; the written text read again must
// give a tree, and every item of it must be added and written again.
// Nothing may fault or leak, and writing never stops on its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "fuzz_support.h"
#include "support/memory_source.h"
#include "versit_interop.h"
#include "versit_vcal.h"

namespace {

int32_t putByte(void *stream, uint8_t byte) {
    static_cast<std::string *>(stream)->push_back(static_cast<char>(byte));
    return 0;
}

// Every item of the tree into *out, in the writer's form as versit vcal
// rewrite puts it.
size_t addAll(ParseTreeHandle *tree, ParseTreeHandle **out) {
    size_t added = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = vCal_GetFirstCalendar(tree, &calendar); got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            const PropertyNode *lines = nullptr;
            for (int32_t rc = VI_takeItem(calendar, type, 1, &item, &lines); rc == 0;
                 rc = VI_takeItem(calendar, type, 0, &item, &lines)) {
                // Some items lack what their flags promise; they must fail
                // cleanly and leave the tree writable.
                if (VI_itemToWriterForm(&item, type, lines) == 0 &&
                    vCal_AddxItemInfoToPTree(out, &item, type, 0) == 0)
                    ++added;
                VI_releaseItem(&item);
            }
            VI_releaseItem(&item);
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
