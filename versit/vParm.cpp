// vParameter: one named (ENCODING=BASE64) or bare (HOME) parameter item.
#include <cstddef>
#include <cstring>

#include "platform/ascii.h"
#include "platform/calapi.h"
#include "versit/vMemory.h"
#include "versit/vRecords.h"

static_assert(offsetof(vParameter, name) == 0, "vParameter field order");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(vParameter, parameterType) == 4 && offsetof(vParameter, valueList) == 8 &&
                  offsetof(vParameter, next) == 12 && offsetof(vParameter, parentProperty) == 16 &&
                  sizeof(vParameter) == 20,
              "vParameter layout of the 32-bit interface");
#endif

namespace vrec {

void releaseChain(vParameter *parameter) {
    while (parameter != nullptr) {
        vParameter *next = parameter->next;
        vmem::releaseName(parameter->name);
        releaseChain(parameter->valueList);
        vmem::releaseRecord(vmem::Record::Parameter, parameter, sizeof(vParameter));
        parameter = next;
    }
}

vParameter *newParameter(int32_t parameterType, const char *name, size_t length, vValue *valueList,
                         vParameter *next) {
    constexpr const char *kLabel = "VLIB_new_vParameter()";
    auto *parameter = static_cast<vParameter *>(
        vmem::allocateRecord(vmem::Record::Parameter, sizeof(vParameter)));
    if (parameter == nullptr) {
        logNoCore(kLabel);
        return nullptr;
    }
    parameter->name = vmem::duplicateName(name, length);
    if (parameter->name == nullptr) {
        vmem::releaseRecord(vmem::Record::Parameter, parameter, sizeof(vParameter));
        logNoCore(kLabel);
        return nullptr;
    }
    parameter->parameterType = parameterType;
    parameter->valueList = valueList;
    parameter->next = next;
    parameter->parentProperty = nullptr;
    return parameter;
}

} // namespace vrec

extern "C" {

VERSIT_API vParameter *VLIB_new_vParameter(int32_t parameterType, const char *name,
                                           vValue *valueList, vParameter *next) {
    if (name == nullptr) name = "";
    return vrec::newParameter(parameterType, name, std::strlen(name), valueList, next);
}

VERSIT_API vParameter *VLIB_dup_vParameter(const vParameter *parameter) {
    if (parameter == nullptr) return nullptr;
    vrec::ChainGuard<vValue> values(VLIB_dup_vValue_recursive(parameter->valueList));
    if (parameter->valueList != nullptr && values.get() == nullptr) return nullptr;
    vParameter *copy =
        VLIB_new_vParameter(parameter->parameterType, parameter->name, values.get(), nullptr);
    if (copy != nullptr) values.release();
    return copy;
}

VERSIT_API vParameter *VLIB_dup_vParameter_recursive(const vParameter *parameter) {
    return vrec::dupChain(parameter, VLIB_dup_vParameter);
}

VERSIT_API void VLIB_destroy_vParameter(vParameter **parameter) { vrec::destroyThrough(parameter); }

VERSIT_API vParameter *VLIB_set_vParameter_valueList(vParameter *parameter, vValue *valueList) {
    if (parameter == nullptr) return nullptr;
    vrec::releaseChain(parameter->valueList);
    parameter->valueList = valueList;
    return parameter;
}

VERSIT_API vParameter *VLIB_set_vParameter_name(vParameter *parameter, const char *name) {
    if (parameter == nullptr) return nullptr;
    return vrec::replaceName(parameter->name, name, "VLIB_set_vParameter_name()") ? parameter
                                                                                  : nullptr;
}

VERSIT_API vParameter *VLIB_set_vParameter_parameterType(vParameter *parameter,
                                                         int32_t parameterType) {
    if (parameter != nullptr) parameter->parameterType = parameterType;
    return parameter;
}

VERSIT_API char *VLIB_get_vParameter_name(const vParameter *parameter) {
    return parameter != nullptr ? parameter->name : nullptr;
}

VERSIT_API int32_t VLIB_get_vParameter_parameterType(const vParameter *parameter) {
    return parameter != nullptr ? parameter->parameterType : VLIB_PARAMETER_NAMED;
}

VERSIT_API vValue *VLIB_get_vParameter_valueList(const vParameter *parameter) {
    return parameter != nullptr ? parameter->valueList : nullptr;
}

VERSIT_API vParameter *VLIB_get_vParameter_next(const vParameter *parameter) {
    return parameter != nullptr ? parameter->next : nullptr;
}

VERSIT_API vProperty *VLIB_get_vParameter_parentProperty(const vParameter *parameter) {
    return parameter != nullptr ? parameter->parentProperty : nullptr;
}

VERSIT_API vParameter *VLIB_get_vParameter_named(const vParameter *parameterList,
                                                 const char *name) {
    if (name == nullptr) return nullptr;
    // Most names differ in their first letter (a bare parameter's is empty).
    const unsigned char first = ascii::lower(static_cast<unsigned char>(name[0]));
    for (const vParameter *p = parameterList; p != nullptr; p = p->next) {
        if (ascii::lower(static_cast<unsigned char>(p->name[0])) == first &&
            calapi::strcasecmp(p->name, name) == 0)
            return const_cast<vParameter *>(p);
    }
    return nullptr;
}

} // extern "C"
