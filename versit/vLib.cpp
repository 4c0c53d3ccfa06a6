// Resolving a property's ENCODING and VALUE parameters into codes. The
// answers are cached in the property; 0 (unrecognised) is cached for the
// datatype but not for the encoding, whose word is looked up again.
#include "versit_core.h"

extern "C" {

VERSIT_API int32_t VLIB_getPropertyEncoding(vProperty *property) {
    if (property == nullptr) return VLIB_TOKEN_NONE;
    if (property->encoding != VLIB_TOKEN_NONE && property->encoding != VLIB_ENCODING_DEFAULT)
        return property->encoding;
    const char *word = VLIB_get_vProperty_parameterValueString(property, "ENCODING");
    property->encoding =
        word == nullptr ? VLIB_ENCODING_DEFAULT : VLIB_identifyToken(word, VLIB_CLASS_ENCODING);
    return property->encoding;
}

VERSIT_API int32_t VLIB_getPropertyDatatype(vProperty *property) {
    if (property == nullptr) return VLIB_TOKEN_NONE;
    if (property->datatype != VLIB_DATATYPE_UNRESOLVED) return property->datatype;
    const char *word = VLIB_get_vProperty_parameterValueString(property, "VALUE");
    property->datatype =
        word == nullptr ? VLIB_DATATYPE_DEFAULT : VLIB_identifyToken(word, VLIB_CLASS_VALUE_TYPE);
    return property->datatype;
}

} // extern "C"
