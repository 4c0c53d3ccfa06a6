// Making lists (empty, or filled from text) and destroying them.
#include <cstdlib>
#include <cstring>

#include "list/klist.h"
#include "list/klmem.h"
#include "platform/ascii.h"

namespace {

using klist::Buffer;

constexpr uint16_t kText = 1;
constexpr uint16_t kNumber = 2;

// Digits up to the first character that is not one; what was read counts.
uint32_t toNumber(const char *s) {
    uint32_t value = 0;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        for (s += 2; ascii::hexValue(*s) >= 0; ++s)
            value = value * 16 + static_cast<uint32_t>(ascii::hexValue(*s));
    } else {
        for (; ascii::isDigit(*s); ++s)
            value = value * 10 + static_cast<uint32_t>(*s - '0');
    }
    return value;
}

// A part of the text in the list's form, built in a zeroed scratch buffer
// of at least the part's size: handing the text (or a 4-byte number) over
// directly would let a fixed-size copy read past its end.
const void *partOf(uint16_t kind, const char *text, uint32_t size, unsigned char *scratch,
                   uint64_t scratchBytes) {
    std::memset(scratch, 0, static_cast<size_t>(scratchBytes));
    if (kind == kText) {
        KL_StrNCopy(scratch, text, size);
    } else {
        const uint32_t n = toNumber(text);
        std::memcpy(scratch, &n, sizeof n);
    }
    return scratch;
}

uint64_t scratchBytes(uint32_t size) { return uint64_t{size < 4 ? 4 : size} + 1; }

int32_t fill(KL_HLIST list, uint16_t idKind, uint16_t dataKind, char *text, char cellSep,
             char idDataSep) {
    if (text == nullptr || *text == '\0') return 0;
    const uint32_t idSize = list->idSize;
    const uint32_t dataSize = list->dataSize;
    const bool adds =
        (idKind == kText || idKind == kNumber) && (dataKind == kText || dataKind == kNumber);
    const uint64_t idScratchBytes = scratchBytes(idSize);
    const uint64_t dataScratchBytes = dataSize > 0 ? scratchBytes(dataSize) : 1;
    Buffer idScratch(idScratchBytes);
    Buffer dataScratch(dataScratchBytes);
    if (!idScratch.ok() || !dataScratch.ok()) return KL_LIST_E_CREATE_NO_MEMORY;
    char *p = text;
    while (*p != '\0') {
        const char *id = p;
        while (*p != '\0' && *p != idDataSep && *p != cellSep)
            ++p;
        const char *data = nullptr;
        if (dataSize > 0) {
            // A data part must follow; an id/data separator inside it is
            // as wrong as a missing one.
            const bool haveData = *p != '\0' && *p == idDataSep;
            *p = '\0';
            if (!haveData) return KL_LIST_E_MALFORMED_TEXT;
            data = ++p;
            while (*p != '\0' && *p != cellSep && *p != idDataSep)
                ++p;
        }
        if (*p != '\0' && *p != cellSep) {
            *p = '\0';
            return KL_LIST_E_MALFORMED_TEXT;
        }
        if (*p != '\0') *p++ = '\0';
        if (!adds) continue;
        const void *idPart = partOf(idKind, id, idSize, idScratch.get(), idScratchBytes);
        const void *dataPart =
            data == nullptr ? nullptr
                            : partOf(dataKind, data, dataSize, dataScratch.get(), dataScratchBytes);
        const int32_t rc = KL_ListAddTo(list, idPart, dataPart);
        if (rc != 0) return rc;
    }
    return 0;
}

} // namespace

extern "C" {

VERSIT_API int32_t KL_ListCreate(KL_HLIST *list, uint32_t idSize, uint32_t dataSize, uint32_t flags,
                                 KL_ListCmpFct idCompare, KL_ListCmpFct dataCompare) {
    if (idSize == 0) {
        if (list != nullptr) *list = nullptr;
        return KL_LIST_E_ID_SIZE;
    }
    if (list == nullptr) return KL_LIST_E_CREATE_NO_MEMORY;
    *list = nullptr;
    auto *block = static_cast<klist::ListBlock *>(std::malloc(sizeof(klist::ListBlock)));
    if (block == nullptr) return KL_LIST_E_CREATE_NO_MEMORY;
    if (dataSize == 0) flags |= KL_LIST_NO_DATA;
    if (idCompare == nullptr)
        idCompare = (flags & KL_LIST_STRING_ID) != 0 ? KL_StrNCompare : KL_MemCompare;
    if (dataCompare == nullptr)
        dataCompare = (flags & KL_LIST_STRING_DATA) != 0 ? KL_StrNCompare : KL_MemCompare;
    block->header = KL_ListHeader{nullptr,  nullptr, nullptr, nullptr,   flags,
                                  dataSize, idSize,  0,       idCompare, dataCompare};
    block->index = nullptr;
    *list = &block->header;
    return 0;
}

VERSIT_API int32_t KL_ListCreateFromStr(KL_HLIST *list, uint16_t idKind, uint32_t idSize,
                                        uint16_t dataKind, uint32_t dataSize, uint32_t flags,
                                        char *text, char cellSep, char idDataSep) {
    int32_t rc =
        KL_ListCreate(list, idSize, dataSize, flags, idKind == kText ? KL_StrNCompare : nullptr,
                      dataKind == kText ? KL_StrNCompare : nullptr);
    if (rc != 0) return rc;
    klist::ListGuard made(*list);
    *list = nullptr;
    rc = fill(made.get(), idKind, dataKind, text, cellSep, idDataSep);
    if (rc != 0) return rc;
    *list = made.release();
    return 0;
}

VERSIT_API int32_t KL_ListDestroy(KL_HLIST *list) {
    if (list == nullptr) return KL_LIST_E_DESTROY_NULL;
    KL_HLIST h = *list;
    *list = nullptr;
    if (h == nullptr) return KL_LIST_E_DESTROY_NULL;
    klist::freeCells(h);
    std::free(klist::blockOf(h));
    return 0;
}

} // extern "C"
