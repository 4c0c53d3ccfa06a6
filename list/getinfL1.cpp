// Reading a list's flags and sizes.
#include "list/klist.h"

extern "C" {

VERSIT_API int32_t KL_ListFlagDetect(KL_HLIST list, uint32_t flags, int32_t *result) {
    uint32_t set = 0;
    const int32_t rc = KL_ListGetFlags(list, &set);
    if (result != nullptr) *result = rc;
    return rc == 0 && (set & flags) == flags ? 1 : 0;
}

VERSIT_API int32_t KL_ListGetValue(KL_HLIST list, uint32_t *value, uint32_t selector) {
    if (list == nullptr) {
        if (value != nullptr) *value = 0;
        return KL_LIST_E_VALUE_NULL;
    }
    if (value == nullptr) return 0;
    switch (selector) {
    case KL_LIST_VALUE_COUNT:
        *value = list->count;
        break;
    case KL_LIST_VALUE_DATA_SIZE:
        *value = list->dataSize;
        break;
    case KL_LIST_VALUE_FLAGS:
        *value = list->flags;
        break;
    case KL_LIST_VALUE_ID_SIZE:
        *value = list->idSize;
        break;
    default:
        break;
    }
    return 0;
}

VERSIT_API int32_t KL_ListGetElemNum(KL_HLIST list, uint32_t *value) {
    return KL_ListGetValue(list, value, KL_LIST_VALUE_COUNT);
}

VERSIT_API int32_t KL_ListGetDataSize(KL_HLIST list, uint32_t *value) {
    return KL_ListGetValue(list, value, KL_LIST_VALUE_DATA_SIZE);
}

VERSIT_API int32_t KL_ListGetFlags(KL_HLIST list, uint32_t *value) {
    return KL_ListGetValue(list, value, KL_LIST_VALUE_FLAGS);
}

VERSIT_API int32_t KL_ListGetIdSize(KL_HLIST list, uint32_t *value) {
    return KL_ListGetValue(list, value, KL_LIST_VALUE_ID_SIZE);
}

VERSIT_API int32_t KL_ListGetElemDataSize(KL_HLIST list, uint32_t *size, const void *data) {
    if (list == nullptr || size == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    *size = klist::elemDataSize(list, data);
    return 0;
}

VERSIT_API int32_t KL_ListGetElemIdSize(KL_HLIST list, uint32_t *size, const void *id) {
    if (list == nullptr || size == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    *size = klist::elemIdSize(list, id);
    return 0;
}

} // extern "C"
