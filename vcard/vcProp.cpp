// A card's properties by code: counting, fetching, reading their values,
// deleting them.
#include <cstdlib>

#include "vcard/vcInternal.h"

namespace {

// The checks every property walk makes after the null checks.
int32_t checkPropertyCode(const VCardContext *context, const char *label, const char *verb,
                          int32_t code) {
    if (vcard::isPropertyCode(code)) return 0;
    return vcard::report(context, label, VCARD_ERR_BAD_CODE,
                         "Attempted to %s code 0x%X as a property", verb,
                         static_cast<unsigned>(code));
}

// Hands each of the card's properties of `code` to `take` in list order
// until it declines one (returns false): then VCARD_MORE_ITEMS.
template <class Take> int32_t eachProperty(const vComponent *card, int32_t code, Take take) {
    for (vProperty *p = card->propertyList; p != nullptr; p = p->next) {
        if (p->propertyType == code && !take(p)) return VCARD_MORE_ITEMS;
    }
    return 0;
}

// The value fetches: `copy` says whether values are handed out as copies.
int32_t getValues(VCardContext *context, const char *label, vComponent *card, int32_t code,
                  char **values, int32_t *sizes, int32_t size, int32_t *count, bool copy) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, label);
    vcard::clearOut(values, sizes, size, count);
    if (card == nullptr || values == nullptr || sizes == nullptr || count == nullptr)
        return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t bad = checkPropertyCode(context, label, "get", code)) return bad;
    vcard::Results<char *> out(values, sizes, size, count);
    bool outOfMemory = false;
    const int32_t walked = eachProperty(card, code, [&](const vProperty *p) {
        char *data = vcard::firstData(p->valueList);
        const int32_t dataSize = data != nullptr ? vcard::firstSize(p->valueList) : 0;
        if (!copy) return out.add(data, dataSize);
        if (out.stored() >= size) return false;
        char *duplicate = vcard::copyBytes(data, dataSize);
        if (duplicate == nullptr) {
            outOfMemory = true;
            return false;
        }
        return out.add(duplicate, dataSize);
    });
    if (outOfMemory) return vcard::report(context, label, VCARD_ERR_NO_MEMORY, "Out of memory");
    if (walked != 0) return walked;
    return out.finish();
}

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_countProperty(VCardContext *context, vComponent *card, int32_t code,
                                       int32_t *count) {
    constexpr const char *kLabel = "VCARD_countProperty()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (count != nullptr) *count = 0;
    if (card == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t bad = checkPropertyCode(context, kLabel, "count", code)) return bad;
    if (card->propertyList == nullptr) return VCARD_ERR_NOT_FOUND;
    eachProperty(card, code, [&](const vProperty *) {
        ++*count;
        return true;
    });
    return 0;
}

VERSIT_API int32_t VCARD_getProperty(VCardContext *context, vComponent *card, int32_t code,
                                     vProperty **properties, int32_t size, int32_t *count) {
    constexpr const char *kLabel = "VCARD_getProperty()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    vcard::clearOut(properties, static_cast<int32_t *>(nullptr), size, count);
    if (card == nullptr || properties == nullptr || count == nullptr)
        return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t bad = checkPropertyCode(context, kLabel, "get", code)) return bad;
    vcard::Results<vProperty *> out(properties, nullptr, size, count);
    const int32_t walked = eachProperty(card, code, [&](vProperty *p) { return out.add(p); });
    if (walked != 0) return walked;
    return out.finish();
}

VERSIT_API int32_t VCARD_getPropertyValue(VCardContext *context, vComponent *card, int32_t code,
                                          char **values, int32_t *sizes, int32_t size,
                                          int32_t *count) {
    return getValues(context, "VCARD_getPropertyValue()", card, code, values, sizes, size, count,
                     false);
}

VERSIT_API int32_t VCARD_getPropertyValueCopy(VCardContext *context, vComponent *card, int32_t code,
                                              char **values, int32_t *sizes, int32_t size,
                                              int32_t *count) {
    return getValues(context, "VCARD_getPropertyValueCopy()", card, code, values, sizes, size,
                     count, true);
}

VERSIT_API int32_t VCARD_getSinglePropertyValue(VCardContext *context, vProperty *property,
                                                char **value, int32_t *size) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_getSinglePropertyValue()");
    if (value != nullptr) *value = nullptr;
    if (size != nullptr) *size = 0;
    if (property == nullptr || value == nullptr || size == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *value = vcard::firstData(property->valueList);
    *size = vcard::firstSize(property->valueList);
    return property->valueList != nullptr ? 0 : 1;
}

// A property without value gives 1 and no copy, as the uncopied read does.
VERSIT_API int32_t VCARD_getSinglePropertyValueCopy(VCardContext *context, vProperty *property,
                                                    char **copy, int32_t *size) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_getSinglePropertyValueCopy()");
    if (copy != nullptr) *copy = nullptr;
    if (size != nullptr) *size = 0;
    if (property == nullptr || copy == nullptr || size == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (property->valueList == nullptr) return 1;
    const vValue *value = property->valueList;
    *copy = vcard::copyBytes(value->data, value->dataSize);
    if (*copy == nullptr) return VCARD_ERR_NO_MEMORY;
    *size = value->dataSize;
    return 0;
}

VERSIT_API int32_t VCARD_deleteProperty(VCardContext *context, vComponent *card, int32_t code,
                                        int32_t *count) {
    constexpr const char *kLabel = "VCARD_deleteProperty()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (count != nullptr) *count = 0;
    if (card == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t bad = checkPropertyCode(context, kLabel, "delete", code)) return bad;
    for (vProperty **link = &card->propertyList; *link != nullptr;) {
        vProperty *p = *link;
        if (p->propertyType != code) {
            link = &p->next;
            continue;
        }
        *link = p->next;
        p->next = nullptr;
        VLIB_destroy_vProperty(&p);
        ++*count;
    }
    return *count > 0 ? 0 : VCARD_ERR_NOT_FOUND;
}

} // extern "C"
