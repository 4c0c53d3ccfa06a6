// Sorting a list in place, and switching the flags whose setting needs a
// look at the whole list.
#include <cstdint>

#include "list/klist.h"

namespace {

using namespace klist;

// A range of cells waiting to be partitioned: the sort's work list holds
// these as ids. Three pointer-sized fields, so no padding byte takes part
// in the byte compare that finds a range again.
struct SortRange {
    uintptr_t count;
    KL_ListCell *first;
    KL_ListCell *last;
};
static_assert(sizeof(SortRange) == 3 * sizeof(void *), "no padding in a range");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SortRange) == 12, "the work list has 12-byte ids");
#endif

// Puts the caller's compare functions in place for the sort and the list's
// own back when it ends, whichever way it ends.
class InstalledCompare {
  public:
    InstalledCompare(KL_ListHeader *h, KL_ListCmpFct id, KL_ListCmpFct data)
        : h_(h), id_(h->idCompare), data_(h->dataCompare) {
        if (id != nullptr) h->idCompare = id;
        if (data != nullptr) h->dataCompare = data;
    }
    ~InstalledCompare() {
        h_->idCompare = id_;
        h_->dataCompare = data_;
    }
    InstalledCompare(const InstalledCompare &) = delete;
    InstalledCompare &operator=(const InstalledCompare &) = delete;

  private:
    KL_ListHeader *h_;
    KL_ListCmpFct id_;
    KL_ListCmpFct data_;
};

struct Exchange {
    KL_ListHeader *h;
    void *id;
    void *data;
};

// Cells keep their places; their contents trade through the buffers.
void swapContents(const Exchange &x, KL_ListCell *a, KL_ListCell *b) {
    KL_ListHeader *h = x.h;
    KL_ListCopyId(h, x.id, idOf(h, a));
    KL_ListCopyId(h, idOf(h, a), idOf(h, b));
    KL_ListCopyId(h, idOf(h, b), x.id);
    if (h->dataSize == 0) return;
    KL_ListCopyData(h, x.data, dataOf(a));
    KL_ListCopyData(h, dataOf(a), dataOf(b));
    KL_ListCopyData(h, dataOf(b), x.data);
}

// Pivot: the range's first cell. Cells not above it gather behind it, the
// pivot then trades places with the last of them. A range whose cells all
// equal the pivot is finished: splitting it again would only peel one cell
// per round.
int32_t partition(const Exchange &x, const SortRange &range, SortRange *left, SortRange *right) {
    KL_ListCell *const pivot = range.first;
    KL_ListCell *const last = range.last;
    if (pivot == nullptr || last == nullptr) return KL_LIST_E_SORT_RANGE;
    KL_ListHeader *h = x.h;
    KL_ListCell *store = pivot;
    KL_ListCell *beforeStore = nullptr;
    uintptr_t below = 0;
    uintptr_t above = 0;
    bool allEqual = true;
    for (KL_ListCell *cell = pivot; cell != last;) {
        cell = cell->next;
        if (cell == nullptr) return KL_LIST_E_SORT_SCAN;
        const int32_t order =
            KL_ListCmpCell(h, idOf(h, cell), dataOf(cell), idOf(h, pivot), dataOf(pivot), nullptr);
        if (order != 0) allEqual = false;
        if (order > 0) {
            ++above;
            continue;
        }
        beforeStore = store;
        store = store->next;
        if (store == nullptr) return KL_LIST_E_SORT_STORE;
        if (store != cell) swapContents(x, cell, store);
        ++below;
    }
    if (store != pivot) swapContents(x, pivot, store);
    if (allEqual) return 0;
    if (below > 0) *left = SortRange{below, range.first, beforeStore};
    if (above > 0) *right = SortRange{above, store->next, range.last};
    return 0;
}

int32_t pushRange(KL_HLIST work, const SortRange &range) {
    return range.count >= 2 ? KL_ListAddTo(work, &range, nullptr) : 0;
}

} // namespace

extern "C" {

// When the sort fails part way, the list's own compare functions are put
// back and every buffer is released all the same.
VERSIT_API int32_t KL_ListQuickSort(KL_HLIST list, KL_ListCmpFct idCompare,
                                    KL_ListCmpFct dataCompare) {
    if (list == nullptr) return KL_LIST_E_SORT_NULL;
    if (has(list, KL_LIST_STRING_ID | KL_LIST_STRING_DATA)) return KL_LIST_NOT_SORTABLE;
    if (has(list, KL_LIST_SORTED) && (idCompare != nullptr || dataCompare != nullptr))
        return KL_LIST_NOT_SORTABLE;
    KL_HLIST work = nullptr;
    int32_t rc = KL_ListCreate(&work, sizeof(SortRange), 0, KL_LIST_FLAG_08, nullptr, nullptr);
    if (rc != 0) return rc;
    ListGuard workGuard(work);
    InstalledCompare installed(list, idCompare, dataCompare);
    ListBuffer idBuffer;
    ListBuffer dataBuffer;
    if ((rc = idBuffer.allocate(list, KL_LIST_VALUE_ID_SIZE)) != 0) return rc;
    if ((rc = dataBuffer.allocate(list, KL_LIST_VALUE_DATA_SIZE)) != 0) return rc;
    // Ids move between cells: the index would name the wrong cells.
    indexDrop(list);
    const Exchange x{list, idBuffer.get(), dataBuffer.get()};
    const SortRange whole{list->count, list->first, list->last};
    if ((rc = KL_ListAddTo(work, &whole, nullptr)) != 0) return rc;
    SortRange range{};
    while ((rc = KL_ListGetFirst(work, &range, nullptr)) == 0) {
        SortRange left{};
        SortRange right{};
        if (range.count >= 2 && (rc = partition(x, range, &left, &right)) != 0) return rc;
        if ((rc = KL_ListDeleteFrom(work, &range, nullptr)) != 0) return rc;
        if ((rc = pushRange(work, left)) != 0) return rc;
        if ((rc = pushRange(work, right)) != 0) return rc;
    }
    return rc == KL_LIST_END ? 0 : rc;
}

VERSIT_API int32_t KL_ListSetFlag(KL_HLIST list, uint32_t flag, uint32_t on) {
    const bool allowed =
        flag == KL_LIST_SORTED || flag == KL_LIST_UNIQUE || flag == KL_LIST_MOVE_TO_FRONT;
    if (!allowed || on > 1) return KL_LIST_E_FLAG;
    if (list == nullptr) return KL_LIST_E_FLAG_NULL;
    if (on == 0) {
        list->flags &= ~flag;
        if (!has(list, kUniqueFlags)) indexDrop(list);
        return 0;
    }
    list->flags |= flag;
    if (flag == KL_LIST_SORTED) return KL_ListQuickSort(list, nullptr, nullptr);
    if (flag == KL_LIST_UNIQUE) {
        // Copying into a list of the same type trips over the first id
        // that stands twice.
        KL_HLIST copy = nullptr;
        const int32_t rc = KL_ListCopy(&copy, list);
        if (rc == KL_LIST_DUPLICATE) list->flags &= ~KL_LIST_UNIQUE;
        if (copy != nullptr) KL_ListDestroy(&copy);
        return rc;
    }
    return 0;
}

} // extern "C"
