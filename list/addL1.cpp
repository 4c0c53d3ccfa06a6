// Adding cells in every position, and writing new contents into cells.
#include <cstdlib>

#include "list/klist.h"
#include "list/klmem.h"

namespace klist {

namespace {

constexpr int32_t kAlreadyThere = 1;

// Walks the list as a caller would (GetFirst/GetNext into scratch
// buffers), so a sorted insertion yields like any other walk, then puts
// the cell before the first cell not below it: equal cells end up newest
// first. In unique lists only the ids are compared. A missing data
// argument is compared as the cell will hold it (zeros, empty text), so a
// caller's compare function never sees a null.
int32_t insertSorted(KL_ListHeader *h, const void *id, const void *data) {
    Buffer idCopy(uint64_t{h->idSize} + 1);
    Buffer dataCopy(uint64_t{h->dataSize} + 1);
    Buffer noData(data == nullptr ? uint64_t{h->dataSize} + 1 : 0);
    if (!idCopy.ok() || !dataCopy.ok()) return KL_LIST_E_SORTED_INSERT;
    if (data == nullptr) {
        if (!noData.ok()) return KL_LIST_E_SORTED_INSERT;
        KL_MemSet(noData.get(), 0, h->dataSize);
        data = noData.get();
    }
    KL_ListCell *const savedPrevious = h->previous;
    KL_ListCell *const savedCurrent = h->current;
    const bool idsOnly = has(h, kUniqueFlags);
    KL_ListCell *after = h->last;
    int32_t rc = KL_ListGetFirst(h, idCopy.get(), dataCopy.get());
    while (rc == 0) {
        const int32_t order =
            idsOnly ? h->idCompare(idCopy.get(), id, h->idSize)
                    : KL_ListCmpCell(h, idCopy.get(), dataCopy.get(), id, data, nullptr);
        if (order >= 0) {
            after = h->previous;
            break;
        }
        rc = KL_ListGetNext(h, idCopy.get(), dataCopy.get());
    }
    h->previous = savedPrevious;
    h->current = savedCurrent;
    if (rc != 0 && rc != KL_LIST_END) return rc;
    KL_ListCell *cell = nullptr;
    rc = makeCell(h, id, data, &cell);
    if (rc != 0) return rc;
    attach(h, after, cell);
    return 0;
}

int32_t updateCurrent(KL_ListHeader *h, const void *id, const void *data) {
    KL_ListCell *const current = h->current;
    if (current == nullptr) return KL_LIST_END;
    if (h->previous == current) return KL_LIST_E_UPDATE_REFUSED;
    if (id == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    if (!has(h, KL_LIST_STRING_ID | KL_LIST_STRING_DATA)) {
        overwrite(h, current, id, data);
        return 0;
    }
    // Text parts change the cell's size: a new cell takes its place. A
    // missing data argument keeps the data, as it does in place.
    KL_ListCell *fresh = nullptr;
    const int32_t rc = makeCell(h, id, data != nullptr ? data : dataOf(current), &fresh);
    if (rc != 0) return rc;
    replace(h, h->previous, current, fresh);
    return 0;
}

} // namespace

int32_t admit(KL_ListHeader *h, const void *id) {
    if (!has(h, kUniqueFlags)) return 0;
    bool present = false;
    switch (indexLookup(h, id)) {
    case Presence::Present:
        present = true;
        break;
    case Presence::Absent:
        break;
    case Presence::Unknown:
        present = KL_ListAlwaysGet(h, id, nullptr) == 0;
        break;
    }
    if (!present) return 0;
    return has(h, KL_LIST_UNIQUE) ? KL_LIST_DUPLICATE : kAlreadyThere;
}

void attach(KL_ListHeader *h, KL_ListCell *previous, KL_ListCell *cell) {
    KL_ListCell *const following = previous == nullptr ? h->first : previous->next;
    cell->next = following;
    if (previous == nullptr)
        h->first = cell;
    else
        previous->next = cell;
    if (following == nullptr) h->last = cell;
    // A cell slipped in right before the current one is now the cell
    // before it: without this, deleting the current cell would relink
    // from the old previous cell and drop the new one from the chain.
    // Once the current cell was deleted (previous == current) the cursor
    // stands between cells and the next step simply reaches the new cell.
    if (h->current != nullptr && h->current == following && h->previous != h->current)
        h->previous = cell;
    ++h->count;
    indexAdd(h, cell);
}

void replace(KL_ListHeader *h, KL_ListCell *previous, KL_ListCell *old, KL_ListCell *fresh) {
    indexRemove(h, old);
    fresh->next = old->next;
    if (previous == nullptr)
        h->first = fresh;
    else
        previous->next = fresh;
    if (h->last == old) h->last = fresh;
    if (h->current == old) h->current = fresh;
    if (h->previous == old) h->previous = fresh;
    indexAdd(h, fresh);
    std::free(old);
}

void overwrite(KL_ListHeader *h, KL_ListCell *cell, const void *id, const void *data) {
    indexRemove(h, cell);
    if (data != nullptr && h->dataSize > 0) KL_MemCopy(dataOf(cell), data, h->dataSize);
    copyId(h, idOf(h, cell), id);
    indexAdd(h, cell);
}

} // namespace klist

using namespace klist;

extern "C" {

VERSIT_API int32_t KL_ListAddTo(KL_HLIST list, const void *id, const void *data) {
    if (list == nullptr) return KL_LIST_E_ADD_FRONT_NULL;
    if (id == nullptr) return KL_LIST_E_ADD_FRONT;
    const int32_t rc = admit(list, id);
    if (rc != 0) return rc == kAlreadyThere ? 0 : rc;
    if (has(list, KL_LIST_SORTED)) return insertSorted(list, id, data);
    KL_ListCell *cell = nullptr;
    if (makeCell(list, id, data, &cell) != 0) return KL_LIST_E_ADD_FRONT;
    attach(list, nullptr, cell);
    return 0;
}

VERSIT_API int32_t KL_ListAddAfter(KL_HLIST list, const void *refId, const void *refData,
                                   const void *id, const void *data) {
    if (list == nullptr) return KL_LIST_E_ADD_AFTER_NULL;
    if (has(list, KL_LIST_SORTED)) return KL_LIST_E_SORTED_ADD_AFTER;
    if (id == nullptr) return KL_LIST_E_ADD_AFTER;
    int32_t rc = admit(list, id);
    if (rc != 0) return rc == kAlreadyThere ? 0 : rc;
    KL_ListCell *before = nullptr;
    KL_ListCell *ref = refId == nullptr ? nullptr : find(list, refId, refData, &before);
    KL_ListCell *cell = nullptr;
    rc = makeCell(list, id, data, &cell);
    if (rc != 0) return rc;
    attach(list, ref != nullptr ? ref : list->last, cell);
    return 0;
}

VERSIT_API int32_t KL_ListAddBefore(KL_HLIST list, const void *refId, const void *refData,
                                    const void *id, const void *data) {
    if (list == nullptr) return KL_LIST_E_ADD_BEFORE_NULL;
    if (has(list, KL_LIST_SORTED)) return KL_LIST_E_SORTED_ADD_BEFORE;
    if (id == nullptr) return KL_LIST_E_ADD_BEFORE;
    int32_t rc = admit(list, id);
    if (rc != 0) return rc == kAlreadyThere ? 0 : rc;
    KL_ListCell *before = nullptr;
    KL_ListCell *ref = refId == nullptr ? nullptr : find(list, refId, refData, &before);
    KL_ListCell *cell = nullptr;
    rc = makeCell(list, id, data, &cell);
    if (rc != 0) return rc;
    attach(list, ref != nullptr ? before : nullptr, cell);
    return 0;
}

VERSIT_API int32_t KL_ListAddLast(KL_HLIST list, const void *id, const void *data) {
    if (list == nullptr) return KL_LIST_E_ADD_LAST_NULL;
    if (id == nullptr) return KL_LIST_E_ADD_LAST;
    int32_t rc = admit(list, id);
    if (rc != 0) return rc == kAlreadyThere ? 0 : rc;
    if (has(list, KL_LIST_SORTED)) return KL_LIST_E_SORTED_ADD_LAST;
    KL_ListCell *cell = nullptr;
    rc = makeCell(list, id, data, &cell);
    if (rc != 0) return rc;
    attach(list, list->last, cell);
    return 0;
}

VERSIT_API int32_t KL_ListChangeData(KL_HLIST list, const void *id, const void *oldData,
                                     const void *newData) {
    if (list == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    if (has(list, KL_LIST_SORTED)) return KL_LIST_E_SORTED_CHANGE;
    if (id == nullptr) return KL_LIST_NOT_FOUND;
    KL_ListCell *previous = nullptr;
    KL_ListCell *cell = find(list, id, oldData, &previous);
    if (cell == nullptr) return KL_LIST_NOT_FOUND;
    if (newData == nullptr) return 0;
    // Fixed data is written in place. Text data, or a text id whose length
    // differs (a caller's compare may call ids of different lengths equal),
    // would not fit: a new cell takes the old one's place.
    const bool fits = !has(list, KL_LIST_STRING_DATA) &&
                      (!has(list, KL_LIST_STRING_ID) ||
                       elemIdSize(list, id) == elemIdSize(list, idOf(list, cell)));
    if (fits) {
        overwrite(list, cell, id, newData);
        return 0;
    }
    KL_ListCell *fresh = nullptr;
    const int32_t rc = makeCell(list, id, newData, &fresh);
    if (rc != 0) return rc;
    replace(list, previous, cell, fresh);
    return 0;
}

VERSIT_API int32_t KL_ListUpdateCurrent(KL_HLIST list, const void *id, const void *data) {
    if (list == nullptr) return KL_LIST_E_UPDATE_NULL;
    if (has(list, KL_LIST_SORTED)) return KL_LIST_E_UPDATE_REFUSED;
    return updateCurrent(list, id, data);
}

VERSIT_API int32_t KL_ListForceUpdateCurrent(KL_HLIST list, const void *id, const void *data) {
    if (list == nullptr) return KL_LIST_E_UPDATE_NULL;
    return updateCurrent(list, id, data);
}

} // extern "C"
