// Contexts and cards: creating and destroying them. The context's
// per-property defaults come from the table below.
#include <cstddef>
#include <cstdlib>
#include <initializer_list>

#include "vcard/vcInternal.h"

static_assert(offsetof(VCardContext, tokenNames) == 0, "VCardContext field order");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(VCardContext, tokenTable) == 64 &&
                  offsetof(VCardContext, defaultDatatype) == 68 &&
                  offsetof(VCardContext, defaultTypeList) == 72 &&
                  offsetof(VCardContext, propertyByte) == 76 &&
                  offsetof(VCardContext, flags) == 80 && sizeof(VCardContext) == 84,
              "VCardContext layout of the 32-bit interface");
#endif

namespace {

constexpr int kMaxDefaultTypes = 8;

struct Defaults {
    int32_t property;
    int32_t datatype;
    int32_t types[kMaxDefaultTypes + 1]; // zero-terminated
};

// Each standard property's value type and TYPE values, and those of any
// "X-" property. The lists stay here: the context only points at them.
constexpr Defaults kDefaults[] = {
    {VCARD_PROP_X, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_FN, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_N, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_PHOTO, VCARD_TYPE_BINARY, {}},
    {VCARD_PROP_BDAY, VLIB_TYPE_DATE, {}},
    {VCARD_PROP_ADR,
     VLIB_TYPE_TEXT,
     {VCARD_PVAL_INTL, VCARD_PVAL_POSTAL, VCARD_PVAL_PARCEL, VCARD_PVAL_WORK}},
    {VCARD_PROP_LABEL,
     VLIB_TYPE_TEXT,
     {VCARD_PVAL_INTL, VCARD_PVAL_POSTAL, VCARD_PVAL_PARCEL, VCARD_PVAL_WORK}},
    {VCARD_PROP_TEL, VLIB_TYPE_TEXT, {VCARD_PVAL_VOICE}},
    {VCARD_PROP_EMAIL, VLIB_TYPE_CAL_ADDRESS, {VCARD_PVAL_INTERNET}},
    {VCARD_PROP_MAILER, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_TZ, VLIB_TYPE_UTC_OFFSET, {}},
    {VCARD_PROP_GEO, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_TITLE, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_ROLE, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_LOGO, VCARD_TYPE_BINARY, {}},
    {VCARD_PROP_AGENT, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_ORG, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_NOTE, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_REV, VLIB_TYPE_DATE_TIME, {}},
    {VCARD_PROP_SOUND, VCARD_TYPE_BINARY, {}},
    {VCARD_PROP_URL, VLIB_TYPE_URL, {}},
    {VCARD_PROP_UID, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_VERSION, VLIB_TYPE_TEXT, {}},
    {VCARD_PROP_KEY, VCARD_TYPE_BINARY, {}},
};

constexpr size_t kSlots = 256;
constexpr uint8_t kNoPropertyByte = 5;

// Step 2 and 3 of creation: the three per-property tables, filled.
bool fillDefaults(VCardContext *context) {
    context->defaultDatatype = static_cast<int32_t *>(std::malloc(kSlots * sizeof(int32_t)));
    if (context->defaultDatatype == nullptr) return false;
    context->propertyByte = static_cast<uint8_t *>(std::malloc(kSlots));
    if (context->propertyByte == nullptr) return false;
    context->defaultTypeList =
        static_cast<const int32_t **>(std::malloc(kSlots * sizeof(const int32_t *)));
    if (context->defaultTypeList == nullptr) return false;
    for (size_t i = 0; i < kSlots; ++i) {
        context->defaultDatatype[i] = VCARD_TYPE_UNKNOWN;
        context->propertyByte[i] = kNoPropertyByte;
        context->defaultTypeList[i] = nullptr;
    }
    for (const Defaults &row : kDefaults) {
        const int32_t slot = row.property & 0xFF;
        context->defaultDatatype[slot] = row.datatype;
        context->defaultTypeList[slot] = row.types[0] != 0 ? row.types : nullptr;
        context->propertyByte[slot] = static_cast<uint8_t>(row.datatype & 0xFF);
    }
    return true;
}

void releaseContext(VCardContext *context) {
    for (char **names : context->tokenNames)
        std::free(names);
    std::free(context->defaultDatatype);
    std::free(context->propertyByte);
    std::free(static_cast<void *>(context->defaultTypeList));
    VLIB_destroyHashTable(context->tokenTable);
    std::free(context);
}

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_createContext(VCardContext **context) {
    if (context == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *context = nullptr;
    auto *created = static_cast<VCardContext *>(std::calloc(1, sizeof(VCardContext)));
    if (created == nullptr) return VCARD_ERR_NO_MEMORY;
    if (!fillDefaults(created)) {
        releaseContext(created);
        return VCARD_ERR_NO_MEMORY;
    }
    const int32_t result = VCARD_initializeTokenTable(created);
    *context = created;
    return result;
}

VERSIT_API int32_t VCARD_destroyContext(VCardContext **context) {
    if (context == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (*context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(*context, "VCARD_destroyContext()");
    releaseContext(*context);
    *context = nullptr;
    return 0;
}

VERSIT_API int32_t VCARD_createCard(VCardContext *context, vComponent **card) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_createCard()");
    if (card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *card = nullptr;
    vComponent *created = VLIB_new_vComponent(VCARD_COMP_VCARD, "VCARD", nullptr, nullptr, nullptr);
    if (created == nullptr)
        return vcard::reportAlways("VCARD_createCard", VCARD_ERR_CREATE_CARD,
                                   "Failed to create new vCard");
    *card = created;
    const int32_t version =
        VCARD_addProperty(context, created, VCARD_PROP_VERSION, "2.1", -1, nullptr);
    vDateTime now{};
    const int32_t stamp = VCARD_createTimestamp(context, &now);
    char text[64];
    const int32_t generated = VLIB_generateAsDateTime(text, sizeof text, &now);
    const int32_t revision =
        generated == 0 ? VCARD_addProperty(context, created, VCARD_PROP_REV, text, -1, nullptr) : 0;
    for (int32_t result : {version, stamp, generated, revision}) {
        if (result != 0) return result;
    }
    return 0;
}

VERSIT_API int32_t VCARD_destroyCard(VCardContext *context, vComponent **card) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_destroyCard()");
    if (card == nullptr || *card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    VLIB_destroy_vComponent(card);
    return 0;
}

} // extern "C"
