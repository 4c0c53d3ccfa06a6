// The address-book import over any bytes, into a fresh book in memory:
// every card that becomes an entry is written back as a vCard. No crash,
// no read past the text (it is handed over without a NUL), no leak; the
// counters add up and every listed identifier names an entry.
//
// The first byte chooses the card budget (its low 3 bits, 0 for many) and
// whether a list is handed in; the rest is the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "calapi32.h"
#include "fuzz_support.h"
#include "versit_abx.h"

namespace {

void exportEntries(CalapiClient *book, VCardContext *context, KL_HLIST list) {
    ABEntryId id;
    for (int32_t r = KL_ListGetFirst(list, &id, nullptr); r == 0;
         r = KL_ListGetNext(list, &id, nullptr)) {
        ABEntryRecord record;
        check(ABEntryGet(book, &id, &record) == 0);
        check(record.familyName[0] != '\0' && record.givenName[0] != '\0');
        char *text = nullptr;
        int32_t length = 0;
        if (GetVCardStreamFromABRecID(book, context, &record, &text, &length) == 0)
            check(text != nullptr && std::strlen(text) == static_cast<size_t>(length));
        std::free(text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 0x7FFFFFFF) return 0;
    CalapiClient *book = nullptr;
    check(CalapiOpen(nullptr, 1, 2, &book) == 0);
    VCardContext *context = sharedContext();
    const uint32_t start = (data[0] & 7) != 0 ? data[0] & 7 : 1000;
    uint32_t budget = start;
    uint16_t skipped = 0xFFFF;
    KL_HLIST list = nullptr;
    if ((data[0] & 8) != 0)
        check(KL_ListCreate(&list, sizeof(ABEntryId), 0, 0, nullptr, nullptr) == 0);
    const uint8_t owner[6] = {1, 2, 3, 4, 5, 6};
    const int32_t result = GetNewABRecIDsFromVCardStream(
        book, context, reinterpret_cast<const char *>(data + 1), owner,
        static_cast<int32_t>(size - 1), &list, &skipped, &budget);
    uint32_t entries = 0;
    check(KL_ListGetElemNum(list, &entries) == 0);
    check(skipped != 0xFFFF);
    // Entries use the budget; a failed card gives one back.
    check(budget + entries == start + (result != 0 && skipped > 0 ? 1u : 0u));
    exportEntries(book, context, list);
    KL_ListDestroy(&list);
    check(CalapiClose(&book) == 0);
    return 0;
}
