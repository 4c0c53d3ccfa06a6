// Buffers sized for one id or one data part of a list.
#include <cstdint>
#include <cstdlib>

#include "list/klist.h"

extern "C" {

VERSIT_API int32_t KL_ListAlloc(KL_HLIST list, void **handleOut, void **addressOut,
                                uint32_t selector) {
    if (list == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    uint64_t bytes = 0;
    if (selector == KL_LIST_VALUE_ID_SIZE)
        bytes = uint64_t{list->idSize} + 1;
    else if (selector == KL_LIST_VALUE_DATA_SIZE)
        bytes = uint64_t{list->dataSize} + 1;
    else
        return KL_LIST_E_ALLOC_SELECTOR;
    // With nowhere to put it the buffer could only leak.
    if (handleOut == nullptr && addressOut == nullptr) return KL_LIST_E_NULL_ARGUMENT;
    void *buffer = bytes > SIZE_MAX ? nullptr : std::malloc(static_cast<size_t>(bytes));
    if (buffer == nullptr) return KL_LIST_E_ALLOC_NO_MEMORY;
    if (handleOut != nullptr) *handleOut = buffer;
    if (addressOut != nullptr) *addressOut = buffer;
    return 0;
}

VERSIT_API void KL_ListFree(void *handle) { std::free(handle); }

} // extern "C"
