// Walking a list with its cursor, finding cells and reading them.
#include <cstring>

#include "list/klist.h"
#include "list/klmem.h"
#include "platform/win32.h"

namespace klist {

namespace {

// Every caller in the process shares it: long walks give other work a turn.
uint32_t walkCallCount = 0;

int32_t endOfList(const KL_ListHeader *h, void *idOut) {
    KL_MemSet(idOut, 0, h->idSize);
    return KL_LIST_END;
}

} // namespace

void countWalkCall() {
    if (++walkCallCount % 10 == 0) win32::SleepEx(0, 1);
}

uint32_t walkCalls() { return walkCallCount; }

// Searching by the cell itself, not by its contents as the walk used to:
// with duplicate cells a content search would stop at an earlier twin, and
// a previous reference that is not next to the current cell corrupts the
// chain on the next delete. Without duplicates both give the same cell.
KL_ListCell *predecessor(const KL_ListHeader *h, const KL_ListCell *cell) {
    KL_ListCell *before = nullptr;
    for (KL_ListCell *c = h->first; c != nullptr && c != cell; c = c->next)
        before = c;
    return before;
}

bool matchesCell(KL_ListHeader *h, KL_ListCell *cell, const void *id, const void *data) {
    if (data == nullptr) {
        // The default comparison finds equal ids equal and nothing else:
        // asked only that, memcmp answers without a call per cell.
        if (h->idCompare == KL_MemCompare) {
            const unsigned char *own = idOf(h, cell);
            if (h->idSize == 2) { // the 16-bit ids of day lists and occurrences
                uint16_t a = 0;
                uint16_t b = 0;
                std::memcpy(&a, own, 2);
                std::memcpy(&b, id, 2);
                return a == b;
            }
            return std::memcmp(own, id, h->idSize) == 0;
        }
        return h->idCompare(idOf(h, cell), id, h->idSize) == 0;
    }
    return KL_ListCmpCell(h, id, data, idOf(h, cell), dataOf(cell), nullptr) == 0;
}

KL_ListCell *find(KL_ListHeader *h, const void *id, const void *data, KL_ListCell **previous) {
    KL_ListCell *before = nullptr;
    for (KL_ListCell *c = h->first; c != nullptr; before = c, c = c->next) {
        if (matchesCell(h, c, id, data)) {
            *previous = before;
            return c;
        }
    }
    return nullptr;
}

} // namespace klist

using namespace klist;

extern "C" {

VERSIT_API int32_t KL_ListGetFirst(KL_HLIST list, void *idOut, void *dataOut) {
    countWalkCall();
    if (list == nullptr) return KL_LIST_E_FIRST_NULL;
    list->previous = nullptr;
    list->current = list->first;
    if (list->current == nullptr) return endOfList(list, idOut);
    readCell(list, list->current, idOut, dataOut);
    return 0;
}

VERSIT_API int32_t KL_ListGetNext(KL_HLIST list, void *idOut, void *dataOut) {
    countWalkCall();
    if (list == nullptr) return KL_LIST_E_NEXT_NULL;
    if (list->current == nullptr) return KL_ListGetFirst(list, idOut, dataOut);
    list->previous = list->current;
    list->current = list->current->next;
    if (list->current == nullptr) return endOfList(list, idOut);
    readCell(list, list->current, idOut, dataOut);
    return 0;
}

VERSIT_API int32_t KL_ListGetPrev(KL_HLIST list, void *idOut, void *dataOut) {
    if (list == nullptr) return KL_LIST_E_PREV_NULL;
    if (list->previous == nullptr) return KL_LIST_END;
    list->current = list->previous;
    list->previous = predecessor(list, list->current);
    readCell(list, list->current, idOut, dataOut);
    return 0;
}

VERSIT_API int32_t KL_ListGetLast(KL_HLIST list, void *idOut, void *dataOut) {
    if (list == nullptr) return KL_LIST_E_LAST_NULL;
    list->current = list->last;
    if (list->current == nullptr) {
        list->previous = nullptr;
        return KL_LIST_END;
    }
    list->previous = predecessor(list, list->current);
    readCell(list, list->current, idOut, dataOut);
    return 0;
}

VERSIT_API int32_t KL_ListAlwaysGet(KL_HLIST list, const void *id, void *dataOut) {
    if (list == nullptr) return KL_LIST_E_GET_NULL;
    KL_ListCell *previous = nullptr;
    KL_ListCell *cell = id == nullptr ? nullptr : find(list, id, nullptr, &previous);
    if (cell == nullptr) return KL_LIST_NOT_FOUND;
    readCell(list, cell, nullptr, dataOut);
    return 0;
}

// A null handle cannot say whether the list moves cells to the front, so
// it is answered as the plain lookup answers it.
VERSIT_API int32_t KL_ListGet(KL_HLIST list, const void *id, void *dataOut) {
    if (list == nullptr || !has(list, KL_LIST_MOVE_TO_FRONT))
        return KL_ListAlwaysGet(list, id, dataOut);
    KL_ListCell *previous = nullptr;
    KL_ListCell *cell = id == nullptr ? nullptr : find(list, id, nullptr, &previous);
    if (cell == nullptr) return KL_LIST_NOT_FOUND;
    readCell(list, cell, nullptr, dataOut);
    if (previous != nullptr) {
        detach(list, previous, cell);
        attach(list, nullptr, cell);
    }
    return 0;
}

VERSIT_API int32_t KL_ListFind(KL_HLIST list, const void *id, const void *data,
                               KL_HCELL *previousOut, KL_HCELL *cellOut) {
    if (list == nullptr) return KL_LIST_E_FIND_NULL;
    KL_ListCell *previous = nullptr;
    KL_ListCell *cell = id == nullptr ? nullptr : find(list, id, data, &previous);
    if (cell == nullptr) return KL_LIST_NOT_FOUND;
    if (previousOut != nullptr) *previousOut = previous;
    if (cellOut != nullptr) *cellOut = cell;
    return 0;
}

VERSIT_API int32_t KL_ListGetData(KL_HLIST list, void *idOut, void *dataOut, KL_HCELL cell) {
    if (list == nullptr || cell == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    readCell(list, cell, idOut, dataOut);
    return 0;
}

VERSIT_API int32_t KL_ListGetIdPtr(KL_HLIST list, KL_HCELL cell, void **idOut) {
    if (list == nullptr || cell == nullptr || idOut == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    *idOut = idOf(list, cell);
    return 0;
}

VERSIT_API int32_t KL_ListCopyId(KL_HLIST list, void *destination, const void *sourceId) {
    if (list == nullptr || destination == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    copyId(list, destination, sourceId);
    return 0;
}

VERSIT_API int32_t KL_ListCopyData(KL_HLIST list, void *destination, const void *sourceData) {
    if (list == nullptr || destination == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    copyData(list, destination, sourceData);
    return 0;
}

VERSIT_API int32_t KL_ListZeroId(KL_HLIST list, void *id) {
    if (list == nullptr || id == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    KL_MemSet(id, 0, list->idSize);
    return 0;
}

} // extern "C"
