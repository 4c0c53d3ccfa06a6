// vProperty: one content line of a component.
#include <cstddef>
#include <cstring>

#include "versit/vMemory.h"
#include "versit/vRecords.h"

static_assert(offsetof(vProperty, name) == 0, "vProperty field order");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(vProperty, propertyType) == 4 && offsetof(vProperty, encoding) == 8 &&
                  offsetof(vProperty, datatype) == 12 && offsetof(vProperty, valueList) == 16 &&
                  offsetof(vProperty, parameterList) == 20 && offsetof(vProperty, next) == 24 &&
                  offsetof(vProperty, parentComponent) == 28 && sizeof(vProperty) == 32,
              "vProperty layout of the 32-bit interface");
#endif

namespace {

void adoptParameters(vProperty *property) {
    for (vParameter *p = property->parameterList; p != nullptr; p = p->next)
        p->parentProperty = property;
}

// Releases what one property owns, but not the record or its chain.
void releaseContents(vProperty *property) {
    vmem::releaseName(property->name);
    vrec::releaseChain(property->valueList);
    vrec::releaseChain(property->parameterList);
}

} // namespace

namespace vrec {

void releaseChain(vProperty *property) {
    while (property != nullptr) {
        vProperty *next = property->next;
        releaseContents(property);
        vmem::releaseRecord(vmem::Record::Property, property, sizeof(vProperty));
        property = next;
    }
}

vProperty *newProperty(int32_t propertyType, const char *name, size_t length, vValue *valueList,
                       vParameter *parameterList, vProperty *next) {
    constexpr const char *kLabel = "VLIB_new_vProperty()";
    auto *property =
        static_cast<vProperty *>(vmem::allocateRecord(vmem::Record::Property, sizeof(vProperty)));
    if (property == nullptr) {
        logNoCore(kLabel);
        return nullptr;
    }
    property->name = vmem::duplicateName(name, length);
    if (property->name == nullptr) {
        vmem::releaseRecord(vmem::Record::Property, property, sizeof(vProperty));
        logNoCore(kLabel);
        return nullptr;
    }
    property->propertyType = propertyType;
    property->encoding = 0;
    property->datatype = VLIB_DATATYPE_UNRESOLVED;
    property->valueList = valueList;
    property->parameterList = parameterList;
    property->next = next;
    property->parentComponent = nullptr;
    adoptParameters(property);
    return property;
}

} // namespace vrec

extern "C" {

VERSIT_API vProperty *VLIB_new_vProperty(int32_t propertyType, const char *name, vValue *valueList,
                                         vParameter *parameterList, vProperty *next) {
    if (name == nullptr) name = "";
    return vrec::newProperty(propertyType, name, std::strlen(name), valueList, parameterList, next);
}

VERSIT_API vProperty *VLIB_dup_vProperty(const vProperty *property) {
    if (property == nullptr) return nullptr;
    vrec::ChainGuard<vValue> values(VLIB_dup_vValue_recursive(property->valueList));
    if (property->valueList != nullptr && values.get() == nullptr) return nullptr;
    vrec::ChainGuard<vParameter> parameters(VLIB_dup_vParameter_recursive(property->parameterList));
    if (property->parameterList != nullptr && parameters.get() == nullptr) return nullptr;
    vProperty *copy = VLIB_new_vProperty(property->propertyType, property->name, values.get(),
                                         parameters.get(), nullptr);
    if (copy == nullptr) return nullptr;
    values.release();
    parameters.release();
    return copy;
}

VERSIT_API vProperty *VLIB_dup_vProperty_recursive(const vProperty *property) {
    return vrec::dupChain(property, VLIB_dup_vProperty);
}

VERSIT_API void VLIB_destroy_vProperty(vProperty **property) { vrec::destroyThrough(property); }

VERSIT_API vProperty *VLIB_add_vProperty_parameter(vProperty *property, vParameter *parameter) {
    if (property == nullptr || parameter == nullptr) return nullptr;
    parameter->next = property->parameterList;
    parameter->parentProperty = property;
    property->parameterList = parameter;
    return property;
}

VERSIT_API vProperty *VLIB_remove_vProperty(vProperty *property) {
    if (property == nullptr) return nullptr;
    vProperty *follower = property->next;
    if (follower == nullptr) {
        vrec::releaseChain(property);
        return nullptr;
    }
    // The predecessor is unknown, so this record stays in the list and
    // takes over the follower's contents; the follower's record goes.
    releaseContents(property);
    *property = *follower;
    adoptParameters(property);
    vmem::releaseRecord(vmem::Record::Property, follower, sizeof(vProperty));
    return property;
}

VERSIT_API vProperty *VLIB_set_vProperty_valueList(vProperty *property, vValue *valueList) {
    if (property == nullptr) return nullptr;
    vrec::releaseChain(property->valueList);
    property->valueList = valueList;
    return property;
}

VERSIT_API vProperty *VLIB_set_vProperty_parameterList(vProperty *property,
                                                       vParameter *parameterList) {
    if (property == nullptr) return nullptr;
    vrec::releaseChain(property->parameterList);
    property->parameterList = parameterList;
    return property;
}

VERSIT_API vProperty *VLIB_set_vProperty_name(vProperty *property, const char *name) {
    if (property == nullptr) return nullptr;
    return vrec::replaceName(property->name, name, "VLIB_set_vProperty_name()") ? property
                                                                                : nullptr;
}

VERSIT_API vProperty *VLIB_set_vProperty_propertyType(vProperty *property, int32_t propertyType) {
    if (property != nullptr) property->propertyType = propertyType;
    return property;
}

VERSIT_API vProperty *VLIB_set_vProperty_datatype(vProperty *property, int32_t datatype) {
    if (property != nullptr) property->datatype = datatype;
    return property;
}

VERSIT_API vProperty *VLIB_set_vProperty_propertyList(vProperty *property, vProperty *next) {
    if (property != nullptr) property->next = next;
    return property;
}

VERSIT_API char *VLIB_get_vProperty_name(const vProperty *property) {
    return property != nullptr ? property->name : nullptr;
}

VERSIT_API int32_t VLIB_get_vProperty_propertyType(const vProperty *property) {
    return property != nullptr ? property->propertyType : VLIB_PROPERTY_UNIDENTIFIED;
}

VERSIT_API int32_t VLIB_get_vProperty_encoding(const vProperty *property) {
    return property != nullptr ? property->encoding : 0;
}

VERSIT_API int32_t VLIB_get_vProperty_datatype(const vProperty *property) {
    return property != nullptr ? property->datatype : VLIB_DATATYPE_UNRESOLVED;
}

VERSIT_API vValue *VLIB_get_vProperty_valueList(const vProperty *property) {
    return property != nullptr ? property->valueList : nullptr;
}

VERSIT_API vParameter *VLIB_get_vProperty_parameterList(const vProperty *property) {
    return property != nullptr ? property->parameterList : nullptr;
}

VERSIT_API vProperty *VLIB_get_vProperty_next(const vProperty *property) {
    return property != nullptr ? property->next : nullptr;
}

VERSIT_API vComponent *VLIB_get_vProperty_parentComponent(const vProperty *property) {
    return property != nullptr ? property->parentComponent : nullptr;
}

VERSIT_API vParameter *VLIB_get_vProperty_parameterNamed(const vProperty *property,
                                                         const char *name) {
    return property != nullptr ? VLIB_get_vParameter_named(property->parameterList, name) : nullptr;
}

VERSIT_API char *VLIB_get_vProperty_parameterValueString(const vProperty *property,
                                                         const char *name) {
    const vParameter *parameter = VLIB_get_vProperty_parameterNamed(property, name);
    if (parameter == nullptr || parameter->valueList == nullptr) return nullptr;
    return parameter->valueList->data;
}

} // extern "C"
