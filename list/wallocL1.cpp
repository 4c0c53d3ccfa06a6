// Cell memory: the layout of a cell, making one, and moving parts in and
// out of it in the list's form.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "list/klist.h"
#include "list/klmem.h"

namespace klist {

namespace {

// Sizes are the caller's 32-bit numbers: add them up where they cannot
// wrap, and refuse what no allocation can hold.
void *allocate(uint64_t bytes) {
    if (bytes == 0 || bytes > static_cast<uint64_t>(PTRDIFF_MAX)) return nullptr;
    return std::malloc(static_cast<size_t>(bytes));
}

uint32_t padTo4(uint32_t n) { return (4 - n % 4) % 4; }

uint32_t textElemSize(uint32_t size, const void *text) {
    if (size == 0) return 0;
    if (text == nullptr) return 1;
    const size_t n = strnlen(static_cast<const char *>(text), size);
    return n == size ? size : static_cast<uint32_t>(n) + 1;
}

} // namespace

Buffer::Buffer(uint64_t bytes) : p_(static_cast<unsigned char *>(allocate(bytes))) {}

Buffer::~Buffer() { std::free(p_); }

uint32_t elemIdSize(const KL_ListHeader *h, const void *id) {
    return has(h, KL_LIST_STRING_ID) ? textElemSize(h->idSize, id) : h->idSize;
}

uint32_t elemDataSize(const KL_ListHeader *h, const void *data) {
    return has(h, KL_LIST_STRING_DATA) ? textElemSize(h->dataSize, data) : h->dataSize;
}

unsigned char *idOf(const KL_ListHeader *h, KL_ListCell *cell) {
    unsigned char *data = dataOf(cell);
    if (h->dataSize == 0) return data;
    if (has(h, KL_LIST_STRING_DATA))
        return data + std::strlen(reinterpret_cast<const char *>(data)) + 1;
    return data + h->dataSize + padTo4(h->dataSize);
}

void copyId(const KL_ListHeader *h, void *destination, const void *id) {
    const uint32_t n = elemIdSize(h, id);
    if (has(h, KL_LIST_STRING_ID))
        KL_StrNCopy(destination, id, n);
    else
        KL_MemCopy(destination, id, n);
}

void copyData(const KL_ListHeader *h, void *destination, const void *data) {
    const uint32_t n = elemDataSize(h, data);
    if (has(h, KL_LIST_STRING_DATA))
        KL_StrNCopy(destination, data, n);
    else
        KL_MemCopy(destination, data, n);
}

void readCell(const KL_ListHeader *h, KL_ListCell *cell, void *idOut, void *dataOut) {
    if (idOut != nullptr) copyId(h, idOut, idOf(h, cell));
    if (dataOut == nullptr || h->dataSize == 0) return;
    if (has(h, KL_LIST_STRING_DATA))
        KL_StrNCopy(dataOut, dataOf(cell), h->dataSize);
    else
        KL_MemCopy(dataOut, dataOf(cell), h->dataSize);
}

int32_t makeCell(const KL_ListHeader *h, const void *id, const void *data, KL_ListCell **out) {
    const uint32_t e = elemDataSize(h, data);
    const uint32_t i = elemIdSize(h, id);
    const uint64_t bytes = uint64_t{sizeof(KL_ListCell)} + e + padTo4(e) + i + 1;
    auto *cell = static_cast<KL_ListCell *>(allocate(bytes));
    if (cell == nullptr) return KL_LIST_E_NO_MEMORY;
    cell->next = nullptr;
    // A missing data argument leaves zero bytes, or an empty text, so that
    // a text data part always ends where the id begins.
    if (e > 0) copyData(h, dataOf(cell), data);
    unsigned char *idAt = idOf(h, cell);
    copyId(h, idAt, id);
    idAt[i] = 0; // the spare byte
    *out = cell;
    return 0;
}

} // namespace klist
