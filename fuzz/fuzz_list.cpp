// A list made from text, then a run of operations the input chooses, with
// ids and data taken from the input too. Whatever the order, nothing may
// fault, leak or leave the chain inconsistent with the count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "list/klist.h"
#include "versit_list.h"

namespace {

struct Input {
    const uint8_t *p;
    size_t n;
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    // A part for an id or data argument: 24 bytes of input, NUL-ended so
    // text parts stay within it.
    const void *part(uint8_t *buffer) {
        if (byte() % 8 == 0) return nullptr;
        for (int i = 0; i < 24; ++i)
            buffer[i] = byte() % 5 == 0 ? 0 : byte();
        buffer[24] = 0;
        return buffer;
    }
};

// A caller's own compare (descending), safe on text parts: it stops at a
// NUL, since a text cell holds fewer bytes than the size it is told.
int32_t descending(const void *a, const void *b, uint32_t n) {
    const auto *x = static_cast<const uint8_t *>(a);
    const auto *y = static_cast<const uint8_t *>(b);
    for (uint32_t i = 0; i < n; ++i) {
        if (x[i] != y[i]) return y[i] - x[i];
        if (x[i] == 0) break;
    }
    return 0;
}

int32_t takeOdd(KL_HLIST, const void *id, const void *, void *) {
    return *static_cast<const uint8_t *>(id) & 1;
}

void checkChain(KL_HLIST list) {
    uint32_t n = 0;
    KL_ListCell *last = nullptr;
    for (KL_ListCell *c = list->first; c != nullptr; c = c->next, ++n)
        last = c;
    if (n != list->count || last != list->last) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    const uint32_t flags = in.byte() & 0xFD;
    const uint32_t idSize = in.byte() % 16 + 1;
    const uint32_t dataSize = in.byte() % 17;
    const uint8_t kinds = in.byte();
    std::vector<char> text;
    for (uint8_t c; in.n > 0 && (c = in.byte()) != 0xFF;)
        text.push_back(static_cast<char>(c));
    text.push_back('\0');
    KL_HLIST list = nullptr;
    if (KL_ListCreateFromStr(&list, kinds % 3, idSize, (kinds / 3) % 3, dataSize, flags,
                             text.data(), ',', ':') != 0 &&
        KL_ListCreate(&list, idSize, dataSize, flags, nullptr, nullptr) != 0)
        return 0;
    uint8_t a[25], b[25], c[25], d[25];
    uint8_t idOut[32], dataOut[32];
    while (in.n > 0) {
        const void *id = in.part(a);
        const void *dat = in.part(b);
        switch (in.byte() % 20) {
        case 0:
            KL_ListAddTo(list, id, dat);
            break;
        case 1:
            KL_ListAddLast(list, id, dat);
            break;
        case 2:
            KL_ListAddAfter(list, in.part(c), in.part(d), id, dat);
            break;
        case 3:
            KL_ListAddBefore(list, in.part(c), in.part(d), id, dat);
            break;
        case 4:
            KL_ListDeleteFrom(list, id, dat);
            break;
        case 5:
            KL_ListDeleteCurrent(list);
            break;
        case 6:
            KL_ListGetFirst(list, idOut, dataOut);
            break;
        case 7:
            KL_ListGetNext(list, idOut, dataOut);
            break;
        case 8:
            KL_ListGetPrev(list, idOut, dataOut);
            break;
        case 9:
            KL_ListGetLast(list, idOut, dataOut);
            break;
        case 10:
            KL_ListUpdateCurrent(list, id, dat);
            break;
        case 11:
            KL_ListForceUpdateCurrent(list, id, dat);
            break;
        case 12:
            KL_ListChangeData(list, id, in.part(c), dat);
            break;
        case 13:
            KL_ListGet(list, id, dataOut);
            break;
        case 14:
            KL_ListQuickSort(list, in.byte() & 1 ? descending : nullptr, nullptr);
            break;
        case 15:
            KL_ListSetFlag(list, 1u << (in.byte() % 5), in.byte() % 3);
            break;
        case 16:
            KL_ListChangeCmpFct(list, in.byte() & 1 ? descending : nullptr, nullptr);
            break;
        case 17:
            KL_ListMergeSelect(list, list, in.byte() & 1 ? takeOdd : nullptr, nullptr);
            break;
        case 18: {
            KL_HLIST copy = nullptr;
            KL_ListGetIdSelection(&copy, list, id);
            if (copy != nullptr) checkChain(copy);
            KL_ListDestroy(&copy);
            break;
        }
        default:
            if (in.byte() % 16 == 0) KL_ListDeleteAll(list);
            break;
        }
        checkChain(list);
        if (list->count > 2000) break;
    }
    KL_ListDestroy(&list);
    return 0;
}
