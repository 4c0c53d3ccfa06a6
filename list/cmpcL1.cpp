// Comparing ids and cells with a list's compare functions, and changing
// those functions.
#include "list/klist.h"

extern "C" {

VERSIT_API int32_t KL_ListCmpId(KL_HLIST list, const void *a, const void *b, int32_t *result) {
    // A failed call must not read as "equal": the code is the answer too.
    const int32_t rc = list == nullptr ? KL_LIST_E_CMPID_NULL : 0;
    if (result != nullptr) *result = rc;
    if (rc != 0) return rc;
    return list->idCompare(a, b, list->idSize);
}

VERSIT_API int32_t KL_ListCmpCell(KL_HLIST list, const void *idA, const void *dataA,
                                  const void *idB, const void *dataB, int32_t *result) {
    const int32_t rc = list == nullptr ? KL_LIST_E_CMPCELL_NULL : 0;
    if (result != nullptr) *result = rc;
    if (rc != 0) return rc;
    const int32_t byId = list->idCompare(idA, idB, list->idSize);
    if (byId != 0) return byId;
    return list->dataCompare(dataA, dataB, list->dataSize);
}

// A unique list is tested for ids that the new functions call equal by
// copying it; a unique list that passes and is sorted is sorted again too.
VERSIT_API int32_t KL_ListChangeCmpFct(KL_HLIST list, KL_ListCmpFct idCompare,
                                       KL_ListCmpFct dataCompare) {
    if (list == nullptr) return KL_LIST_E_CMPFCT_NULL;
    const KL_ListCmpFct oldId = list->idCompare;
    const KL_ListCmpFct oldData = list->dataCompare;
    if (idCompare != nullptr) list->idCompare = idCompare;
    if (dataCompare != nullptr) list->dataCompare = dataCompare;
    // The index is keyed the way the old function saw ids.
    if (list->idCompare != oldId) klist::indexDrop(list);
    if (klist::has(list, KL_LIST_UNIQUE)) {
        KL_HLIST copy = nullptr;
        const int32_t rc = KL_ListCopy(&copy, list);
        if (rc == KL_LIST_DUPLICATE) {
            list->idCompare = oldId;
            list->dataCompare = oldData;
        }
        if (copy != nullptr) KL_ListDestroy(&copy);
        if (rc != 0) return rc;
    }
    if (klist::has(list, KL_LIST_SORTED)) return KL_ListQuickSort(list, nullptr, nullptr);
    return 0;
}

} // extern "C"
