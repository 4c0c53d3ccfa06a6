// Deleting cells: by content, and the current cell.
#include <cstdlib>

#include "list/klist.h"

namespace klist {

void detach(KL_ListHeader *h, KL_ListCell *previous, KL_ListCell *cell) {
    indexRemove(h, cell);
    if (previous == nullptr)
        h->first = cell->next;
    else
        previous->next = cell->next;
    if (h->last == cell) h->last = previous;
    // The cursor backs off to the cell before: a deleted current cell
    // leaves previous == current (the "deleted" mark), so the next step
    // continues with the cell that followed; a deleted previous cell hands
    // its role to its own predecessor.
    if (h->previous == cell) h->previous = previous;
    if (h->current == cell) h->current = previous;
    --h->count;
    cell->next = nullptr;
}

} // namespace klist

using namespace klist;

extern "C" {

// One pass deletes the same cells as searching again from the first cell
// after each deletion would: whether a cell matches does not depend on the
// others.
VERSIT_API int32_t KL_ListDeleteFrom(KL_HLIST list, const void *id, const void *data) {
    if (list == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    if (id == nullptr) return KL_LIST_NOT_FOUND;
    bool deleted = false;
    KL_ListCell *previous = nullptr;
    KL_ListCell *cell = list->first;
    while (cell != nullptr) {
        KL_ListCell *const next = cell->next;
        if (matchesCell(list, cell, id, data)) {
            detach(list, previous, cell);
            std::free(cell);
            deleted = true;
        } else {
            previous = cell;
        }
        cell = next;
    }
    return deleted ? 0 : KL_LIST_NOT_FOUND;
}

VERSIT_API int32_t KL_ListDeleteCurrent(KL_HLIST list) {
    if (list == nullptr) return KL_LIST_E_DELETE_CURRENT_NULL;
    KL_ListCell *const current = list->current;
    if (current == nullptr) return KL_LIST_END;
    if (list->previous == current) return KL_LIST_E_ALREADY_DELETED;
    detach(list, list->previous, current);
    std::free(current);
    return 0;
}

} // extern "C"
