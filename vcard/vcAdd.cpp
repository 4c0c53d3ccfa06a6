// Adding properties and parameters by code. Each new record goes to the
// head of its list, so the text written later holds them newest first.
#include "vcard/vcInternal.h"

namespace {

constexpr const char kVCardError[] = "VCARD error";

bool isEncodingValue(int32_t code) {
    return code == VCARD_PVAL_QUOTED_PRINTABLE || code == VCARD_PVAL_BASE64;
}

bool isValueLocation(int32_t code) { return code >= VCARD_PVAL_INLINE && code <= VCARD_PVAL_URL; }

// A TYPE whose value is no extension is written bare (";WORK"), as vCard
// 2.1 writes its TYPE values; everything else by name ("TYPE=X-MINE").
bool isBareType(int32_t code, const char *value) {
    return code == VCARD_PARM_TYPE && value[0] != 'X' && value[0] != 'x';
}

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_addProperty(VCardContext *context, vComponent *card, int32_t code,
                                     const char *value, int32_t length, vProperty **property) {
    constexpr const char *kLabel = "VCARD_addProperty()";
    constexpr const char *kCreateLabel = "VCARD_addProperty";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (property != nullptr) *property = nullptr;
    if (card == nullptr || value == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (!vcard::isPropertyCode(code))
        return vcard::report(context, kLabel, VCARD_ERR_BAD_CODE,
                             "Attempted to add code 0x%X as a property",
                             static_cast<unsigned>(code));
    int32_t datatype = VCARD_TYPE_UNKNOWN;
    VCARD_getDefaultPropertyDatatype(context, code, &datatype);
    vValue *created = VLIB_new_vValue(datatype, value, length < 0 ? -1 : length, nullptr);
    if (created == nullptr)
        return vcard::reportAlways(kCreateLabel, VCARD_ERR_CREATE_VALUE,
                                   "Failed to create vCard value");
    const char *name = nullptr;
    const int32_t named = VCARD_getTokenString(context, code, &name);
    if (named != 0) {
        VLIB_destroy_vValue(&created);
        return named;
    }
    vProperty *added = VLIB_new_vProperty(code, name, created, nullptr, nullptr);
    if (added == nullptr) {
        VLIB_destroy_vValue(&created);
        return vcard::reportAlways(kCreateLabel, VCARD_ERR_CREATE_PROPERTY,
                                   "Failed to create a vCard property");
    }
    VLIB_add_vComponent_property(card, added);
    if (property != nullptr) *property = added;
    return 0;
}

VERSIT_API int32_t VCARD_addCompleteProperty(VCardContext *context, vComponent *card, int32_t code,
                                             const char *value, int32_t length,
                                             const int32_t *types, int32_t typeCount,
                                             int32_t valueType, int32_t encoding) {
    constexpr const char *kLabel = "VCARD_addCompleteProperty()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (types == nullptr && typeCount > 0) return VCARD_ERR_NULL_ARGUMENT;
    vProperty *property = nullptr;
    const int32_t added = VCARD_addProperty(context, card, code, value, length, &property);
    if (added != 0) return vcard::report(context, kLabel, added, kVCardError);
    if (property == nullptr)
        return vcard::report(context, kLabel, VCARD_ERR_CREATE_PROPERTY,
                             "Failed to create a vCard property");
    auto addParameter = [&](int32_t parameterCode, int32_t valueCode) {
        const int32_t result = VCARD_addParameterId(context, property, parameterCode, valueCode);
        return result != 0 ? vcard::reportAlways(kLabel, result, kVCardError) : 0;
    };
    for (int32_t i = 0; i < typeCount; ++i) {
        if (const int32_t failed = addParameter(VCARD_PARM_TYPE, types[i])) return failed;
    }
    if (isEncodingValue(encoding)) {
        if (const int32_t failed = addParameter(VCARD_PARM_ENCODING, encoding)) return failed;
    } else if (encoding != VCARD_PVAL_ABSENT) {
        vcard::report(context, kLabel, VCARD_ERR_BAD_CODE, "Invalid encoding");
    }
    if (isValueLocation(valueType)) {
        if (const int32_t failed = addParameter(VCARD_PARM_VALUE, valueType)) return failed;
    } else if (valueType != VCARD_PVAL_ABSENT) {
        vcard::report(context, kLabel, VCARD_ERR_BAD_CODE, "Invalid value type");
    }
    return 0;
}

VERSIT_API int32_t VCARD_addParameter(VCardContext *context, vProperty *property, int32_t code,
                                      const char *value) {
    constexpr const char *kLabel = "VCARD_addParameter()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (property == nullptr || value == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (!vcard::isParameterCode(code))
        return vcard::report(context, kLabel, VCARD_ERR_BAD_CODE,
                             "Attempted to count code 0x%X as a parameter",
                             static_cast<unsigned>(code));
    vValue *created = VLIB_new_vValue(VLIB_TYPE_TEXT, value, -1, nullptr);
    if (created == nullptr)
        return vcard::report(context, kLabel, VCARD_ERR_CREATE_VALUE,
                             "Failed to create vCard value");
    const char *name = "";
    if (!isBareType(code, value)) {
        const int32_t named = VCARD_getTokenString(context, code, &name);
        if (named != 0) {
            VLIB_destroy_vValue(&created);
            return named;
        }
    }
    vParameter *parameter = VLIB_new_vParameter(code, name, created, nullptr);
    if (parameter == nullptr) {
        VLIB_destroy_vValue(&created);
        return vcard::report(context, kLabel, VCARD_ERR_CREATE_PARAMETER,
                             "Failed to create a vCard parameter");
    }
    VLIB_add_vProperty_parameter(property, parameter);
    return 0;
}

VERSIT_API int32_t VCARD_addParameterId(VCardContext *context, vProperty *property, int32_t code,
                                        int32_t valueCode) {
    constexpr const char *kLabel = "VCARD_addParameterId()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (property == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    const char *value = nullptr;
    const int32_t named = VCARD_getTokenString(context, valueCode, &value);
    if (named != 0) return vcard::report(context, kLabel, named, kVCardError);
    return VCARD_addParameter(context, property, code, value);
}

} // extern "C"
