// vValue: one value of a property or parameter.
#include <cstddef>
#include <cstring>

#include "versit/vMemory.h"
#include "versit/vRecords.h"

static_assert(offsetof(vValue, data) == 0, "vValue field order");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(vValue, dataType) == 4 && offsetof(vValue, encoding) == 8 &&
                  offsetof(vValue, dataSize) == 12 && offsetof(vValue, next) == 16 &&
                  sizeof(vValue) == 20,
              "vValue layout of the 32-bit interface");
#endif

namespace {

constexpr const char kLabel[] = "VLIB_new_vValue()";

// `size` bytes of `data` and the extra NUL every value's data carries.
char *copyData(const void *data, size_t size) {
    auto *buffer = static_cast<char *>(vmem::allocate(size + 1));
    if (buffer == nullptr) return nullptr;
    if (size > 0) std::memcpy(buffer, data, size);
    buffer[size] = '\0';
    return buffer;
}

} // namespace

namespace vrec {

void releaseChain(vValue *value) {
    while (value != nullptr) {
        vValue *next = value->next;
        vmem::release(value->data);
        vmem::releaseRecord(vmem::Record::Value, value, sizeof(vValue));
        value = next;
    }
}

void logNoCore(const char *label) { VLIB_logError(label, VLIB_ERR_NO_MEMORY, "Not enough core"); }

bool replaceName(char *&field, const char *name, const char *label) {
    char *copy = vmem::duplicateName(name != nullptr ? name : "");
    if (copy == nullptr) {
        logNoCore(label);
        return false;
    }
    vmem::releaseName(field);
    field = copy;
    return true;
}

} // namespace vrec

extern "C" {

VERSIT_API vValue *VLIB_new_vValue(int32_t dataType, const void *data, int32_t size, vValue *next) {
    auto *value = static_cast<vValue *>(vmem::allocateRecord(vmem::Record::Value, sizeof(vValue)));
    if (value == nullptr) {
        vrec::logNoCore(kLabel);
        return nullptr;
    }
    int32_t stored = 0;
    if (data == nullptr)
        stored = 0;
    else if (size >= 0)
        stored = size;
    else // a C string whose terminating NUL is counted
        stored = static_cast<int32_t>(std::strlen(static_cast<const char *>(data)) + 1);
    value->data = copyData(data, static_cast<size_t>(stored));
    if (value->data == nullptr) {
        vmem::releaseRecord(vmem::Record::Value, value, sizeof(vValue));
        vrec::logNoCore(kLabel);
        return nullptr;
    }
    value->dataType = dataType;
    value->encoding = 0;
    value->dataSize = stored;
    value->next = next;
    return value;
}

VERSIT_API vValue *VLIB_dup_vValue(const vValue *value) {
    if (value == nullptr) return nullptr;
    return VLIB_new_vValue(value->dataType, value->data, value->dataSize, nullptr);
}

VERSIT_API vValue *VLIB_dup_vValue_recursive(const vValue *value) {
    return vrec::dupChain(value, VLIB_dup_vValue);
}

VERSIT_API void VLIB_destroy_vValue(vValue **value) { vrec::destroyThrough(value); }

VERSIT_API vValue *VLIB_set_vValue_value(vValue *value, const char *data) {
    if (value == nullptr) return nullptr;
    if (data == nullptr) data = "";
    // dataSize stays as it was, so the buffer is made at least that long
    // (zero-filled): whoever trusts dataSize afterwards still reads only
    // bytes that belong to the value.
    const size_t length = std::strlen(data) + 1;
    const size_t keep = value->dataSize > 0 ? static_cast<size_t>(value->dataSize) + 1 : 0;
    const size_t size = length > keep ? length : keep;
    auto *buffer = static_cast<char *>(vmem::allocateZeroed(size, 1));
    if (buffer == nullptr) {
        vrec::logNoCore("VLIB_set_vValue_value()");
        return nullptr;
    }
    std::memcpy(buffer, data, length);
    vmem::release(value->data);
    value->data = buffer;
    return value;
}

VERSIT_API vValue *VLIB_set_vValue_id(vValue *value, int32_t dataType) {
    if (value != nullptr) value->dataType = dataType;
    return value;
}

VERSIT_API vValue *VLIB_set_vValue_encoding(vValue *value, int32_t encoding) {
    if (value != nullptr) value->encoding = encoding;
    return value;
}

VERSIT_API char *VLIB_get_vValue_data(const vValue *value) {
    return value != nullptr ? value->data : nullptr;
}

VERSIT_API int32_t VLIB_get_vValue_dataType(const vValue *value) {
    return value != nullptr ? value->dataType : VLIB_DATATYPE_UNRESOLVED;
}

VERSIT_API int32_t VLIB_get_vValue_encoding(const vValue *value) {
    return value != nullptr ? value->encoding : 0;
}

VERSIT_API int32_t VLIB_get_vValue_dataSize(const vValue *value) {
    return value != nullptr ? value->dataSize : -1;
}

VERSIT_API vValue *VLIB_get_vValue_next(const vValue *value) {
    return value != nullptr ? value->next : nullptr;
}

VERSIT_API char *VLIB_get_vValue_string(const vValue *valueList, int32_t index) {
    if (index < 0) return nullptr;
    const vValue *value = valueList;
    for (; value != nullptr && index > 0; --index)
        value = value->next;
    return value != nullptr ? value->data : nullptr;
}

} // extern "C"
