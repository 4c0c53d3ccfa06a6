// Whether two lists hold cells of one type.
#include "list/klist.h"

extern "C" VERSIT_API int32_t KL_ListVerifyType(KL_HLIST a, KL_HLIST b) {
    if (a == nullptr || b == nullptr) return KL_LIST_E_VERIFY_NULL;
    const bool same = a->idSize == b->idSize && a->dataSize == b->dataSize &&
                      a->idCompare == b->idCompare && a->dataCompare == b->dataCompare;
    return same ? 0 : KL_LIST_E_TYPE_MISMATCH;
}
