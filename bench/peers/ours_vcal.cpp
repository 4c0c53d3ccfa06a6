// Our vCalendar reading as a whole process, for the side-by-side run:
//   ours_vcal strict|text|tolerant FILE
// strict: vCal_ParseTreeFromStreamGet with a byte callback, then every
// event and to-do taken out with VI_takeItem and released; text: the same
// reading of the text in memory (VI_readCalendarText), no call per byte;
// tolerant: VI_readCalendarsTolerantly
// and VI_takeItemTolerantly. Taking the items is counted because the tree
// alone is not what a client uses: the peers' figures include building
// their objects too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "peer_common.h"
#include "versit_interop.h"
#include "versit_vcal.h"

namespace {

struct Source {
    const uint8_t *at;
    const uint8_t *end;
};

// The reader pulls one byte per call and stops at a NUL.
int32_t nextByte(void *stream, uint8_t *byte) {
    auto *s = static_cast<Source *>(stream);
    *byte = s->at < s->end ? *s->at++ : 0;
    return 0;
}

using Take = int32_t (*)(VI_TolerantReader *reader, VCalendarNode *calendar, uint16_t type,
                         int first, PropertyParam *item);

int32_t takeExactly(VI_TolerantReader *, VCalendarNode *calendar, uint16_t type, int first,
                    PropertyParam *item) {
    return VI_takeItem(calendar, type, first, item, nullptr);
}

int32_t takeTolerantly(VI_TolerantReader *reader, VCalendarNode *calendar, uint16_t type, int first,
                       PropertyParam *item) {
    return VI_takeItemTolerantly(reader, calendar, type, first, item, nullptr);
}

unsigned long long takeAll(ParseTreeHandle *tree, Take take, VI_TolerantReader *reader) {
    unsigned long long items = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = tree != nullptr ? vCal_GetFirstCalendar(tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            for (int32_t rc = take(reader, calendar, type, 1, &item); rc == 0;
                 rc = take(reader, calendar, type, 0, &item)) {
                ++items;
                VI_releaseItem(&item);
            }
            VI_releaseItem(&item);
        }
    }
    return items;
}

unsigned long long readExactly(const char *text, size_t size, bool inMemory) {
    Source source{reinterpret_cast<const uint8_t *>(text),
                  reinterpret_cast<const uint8_t *>(text) + size};
    ParseTreeHandle *tree = nullptr;
    char *errors = nullptr;
    char *warnings = nullptr;
    uint8_t versionOk = 0;
    char version[9];
    if (inMemory)
        VI_readCalendarText(&tree, text, size, &errors, &warnings);
    else
        vCal_ParseTreeFromStreamGet(&tree, &source, nextByte, &errors, &warnings, nullptr, nullptr,
                                    &versionOk, version, 0);
    std::free(errors);
    std::free(warnings);
    const unsigned long long items = takeAll(tree, takeExactly, nullptr);
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return items;
}

unsigned long long readTolerantly(const char *text, size_t size) {
    VI_TolerantReader *reader = nullptr;
    if (VI_tolerantReaderCreate(&reader, text, size, nullptr, nullptr) != 0) return 0;
    ParseTreeHandle *tree = nullptr;
    VI_readCalendarsTolerantly(reader, &tree);
    const unsigned long long items = takeAll(tree, takeTolerantly, reader);
    VI_tolerantReaderDestroy(&reader); // the tree goes with the reader
    return items;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ours_vcal strict|text|tolerant FILE\n");
        return 2;
    }
    size_t size = 0;
    char *text = peerLoad(argv[2], &size);
    const double start = peerNow();
    unsigned long long items = 0;
    const char *what = nullptr;
    if (std::strcmp(argv[1], "strict") == 0) {
        items = readExactly(text, size, false);
        what = "exact reader and every item taken";
    } else if (std::strcmp(argv[1], "text") == 0) {
        items = readExactly(text, size, true);
        what = "exact reader of the text in memory and every item taken";
    } else if (std::strcmp(argv[1], "tolerant") == 0) {
        items = readTolerantly(text, size);
        what = "tolerant reader and every item taken";
    } else {
        std::fprintf(stderr, "ours_vcal: unknown mode %s\n", argv[1]);
        return 2;
    }
    peerReport(items, peerNow() - start, what);
    peerRelease(text, size);
    return 0;
}
