// Emptying a list.
#include <cstdlib>

#include "list/klist.h"

namespace klist {

void freeCells(KL_ListHeader *h) {
    indexDrop(h);
    KL_ListCell *cell = h->first;
    while (cell != nullptr) {
        KL_ListCell *const next = cell->next;
        std::free(cell);
        cell = next;
    }
    h->first = h->previous = h->current = h->last = nullptr;
    h->count = 0;
}

} // namespace klist

extern "C" VERSIT_API int32_t KL_ListDeleteAll(KL_HLIST list) {
    if (list == nullptr) return KL_LIST_E_DELETE_ALL_NULL;
    klist::freeCells(list);
    return 0;
}
