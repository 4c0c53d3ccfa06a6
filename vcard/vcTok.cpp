// The vCard vocabulary: the token list every context registers, and the
// table that maps names to codes and codes back to names.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/ascii.h"
#include "platform/calapi.h"
#include "vcard/vcInternal.h"
#include "versit/vHash.h"

namespace {

struct Token {
    const char *name;
    int32_t code;
};

// Registered in this order. Only a name that repeats makes the order
// matter: "URL" stands in three classes, and a lookup without hint takes
// the last one registered, the value type.
constexpr Token kVCardTokens[] = {
    {"VCARD", VCARD_COMP_VCARD},
    {"FN", VCARD_PROP_FN},
    {"N", VCARD_PROP_N},
    {"PHOTO", VCARD_PROP_PHOTO},
    {"BDAY", VCARD_PROP_BDAY},
    {"ADR", VCARD_PROP_ADR},
    {"LABEL", VCARD_PROP_LABEL},
    {"TEL", VCARD_PROP_TEL},
    {"EMAIL", VCARD_PROP_EMAIL},
    {"MAILER", VCARD_PROP_MAILER},
    {"TZ", VCARD_PROP_TZ},
    {"GEO", VCARD_PROP_GEO},
    {"TITLE", VCARD_PROP_TITLE},
    {"ROLE", VCARD_PROP_ROLE},
    {"LOGO", VCARD_PROP_LOGO},
    {"AGENT", VCARD_PROP_AGENT},
    {"ORG", VCARD_PROP_ORG},
    {"NOTE", VCARD_PROP_NOTE},
    {"REV", VCARD_PROP_REV},
    {"SOUND", VCARD_PROP_SOUND},
    {"URL", VCARD_PROP_URL},
    {"UID", VCARD_PROP_UID},
    {"VERSION", VCARD_PROP_VERSION},
    {"KEY", VCARD_PROP_KEY},
    {"CHARSET", VCARD_PARM_CHARSET},
    {"VALUE", VCARD_PARM_VALUE},
    {"ENCODING", VCARD_PARM_ENCODING},
    {"LANGUAGE", VCARD_PARM_LANGUAGE},
    {"TYPE", VCARD_PARM_TYPE},
    {"7BIT", VCARD_PVAL_7BIT},
    {"8BIT", VCARD_PVAL_8BIT},
    {"QUOTED-PRINTABLE", VCARD_PVAL_QUOTED_PRINTABLE},
    {"BASE64", VCARD_PVAL_BASE64},
    {"INLINE", VCARD_PVAL_INLINE},
    {"CID", VCARD_PVAL_CID},
    {"CONTENT-ID", VCARD_PVAL_CONTENT_ID},
    {"URL", VCARD_PVAL_URL},
    {"DOM", VCARD_PVAL_DOM},
    {"INTL", VCARD_PVAL_INTL},
    {"POSTAL", VCARD_PVAL_POSTAL},
    {"PARCEL", VCARD_PVAL_PARCEL},
    {"HOME", VCARD_PVAL_HOME},
    {"WORK", VCARD_PVAL_WORK},
    {"PREF", VCARD_PVAL_PREF},
    {"VOICE", VCARD_PVAL_VOICE},
    {"FAX", VCARD_PVAL_FAX},
    {"MSG", VCARD_PVAL_MSG},
    {"CELL", VCARD_PVAL_CELL},
    {"PAGER", VCARD_PVAL_PAGER},
    {"BBS", VCARD_PVAL_BBS},
    {"MODEM", VCARD_PVAL_MODEM},
    {"CAR", VCARD_PVAL_CAR},
    {"ISDN", VCARD_PVAL_ISDN},
    {"VIDEO", VCARD_PVAL_VIDEO},
    {"AOL", VCARD_PVAL_AOL},
    {"APPLELINK", VCARD_PVAL_APPLELINK},
    {"ATTMAIL", VCARD_PVAL_ATTMAIL},
    {"CIS", VCARD_PVAL_CIS},
    {"INTERNET", VCARD_PVAL_INTERNET},
    {"IBMMAIL", VCARD_PVAL_IBMMAIL},
    {"MCIMAIL", VCARD_PVAL_MCIMAIL},
    {"POWERSHARE", VCARD_PVAL_POWERSHARE},
    {"PRODIGY", VCARD_PVAL_PRODIGY},
    {"TLX", VCARD_PVAL_TLX},
    {"X400", VCARD_PVAL_X400},
    {"GIF", VCARD_PVAL_GIF},
    {"CGM", VCARD_PVAL_CGM},
    {"WMF", VCARD_PVAL_WMF},
    {"BMP", VCARD_PVAL_BMP},
    {"MET", VCARD_PVAL_MET},
    {"PMB", VCARD_PVAL_PMB},
    {"DIB", VCARD_PVAL_DIB},
    {"PICT", VCARD_PVAL_PICT},
    {"TIFF", VCARD_PVAL_TIFF},
    {"PDF", VCARD_PVAL_PDF},
    {"PS", VCARD_PVAL_PS},
    {"JPEG", VCARD_PVAL_JPEG},
    {"QTIME", VCARD_PVAL_QTIME},
    {"MPEG", VCARD_PVAL_MPEG},
    {"MPEG2", VCARD_PVAL_MPEG2},
    {"AVI", VCARD_PVAL_AVI},
    {"WAVE", VCARD_PVAL_WAVE},
    {"AIFF", VCARD_PVAL_AIFF},
    {"PCM", VCARD_PVAL_PCM},
    {"X509", VCARD_PVAL_X509},
    {"PGP", VCARD_PVAL_PGP},
    {"TRUE", VCARD_PVAL_TRUE},
    {"FALSE", VCARD_PVAL_FALSE},
    {"UNKNOWN", VCARD_TYPE_UNKNOWN},
    {"BOOLEAN", VLIB_TYPE_BOOLEAN},
    {"CAL-ADDRESS", VLIB_TYPE_CAL_ADDRESS},
    {"DATE", VLIB_TYPE_DATE},
    {"DATE-TIME", VLIB_TYPE_DATE_TIME},
    {"DURATION", VLIB_TYPE_DURATION},
    {"FLOAT", VLIB_TYPE_FLOAT},
    {"INTEGER", VLIB_TYPE_INTEGER},
    {"PERIOD", VLIB_TYPE_PERIOD},
    {"TEXT", VLIB_TYPE_TEXT},
    {"TIME", VLIB_TYPE_TIME},
    {"URL", VLIB_TYPE_URL},
    {"UTC-OFFSET", VLIB_TYPE_UTC_OFFSET},
    {"BINARY", VCARD_TYPE_BINARY},
};
static_assert(std::size(kVCardTokens) == 102, "the vCard vocabulary has 102 names");

constexpr int32_t kBucketCount = 173;
constexpr size_t kNamesPerClass = 256;

// strcasecmp's answer; a bucket's other names mostly differ in their first
// letter, which is looked at before the call.
int32_t compareNames(const char *key, const char *entryKey) {
    const int first = ascii::lower(static_cast<unsigned char>(key[0])) -
                      ascii::lower(static_cast<unsigned char>(entryKey[0]));
    return first != 0 ? first : calapi::strcasecmp(key, entryKey);
}

// The entry VLIB_findKey finds for `name`. The table the context makes
// (its own hash and compare) is read here without a call through either
// for each name: a card's verification looks up every property's name. A
// table given other functions is searched as they say.
const vHashEntry *findToken(const vHashTable *table, const char *name) {
    if (table->hash != VLIB_symbolCaseHash || table->compare != compareNames ||
        table->bucketCount <= 0)
        return VLIB_findKey(table, name);
    // The table the context makes has kBucketCount buckets: a remainder by
    // that constant is a multiplication, where one by the table's count is
    // a division, the slowest step of a lookup.
    const int32_t bucket = table->bucketCount == kBucketCount
                               ? vhash::caseHash(name, kBucketCount)
                               : vhash::caseHash(name, table->bucketCount);
    for (const vHashEntry *e = table->buckets[bucket]; e != nullptr; e = e->next) {
        if (ascii::sameCaseless(name, e->key)) return e;
    }
    return nullptr;
}

int32_t codeOf(const vHashEntry *entry) {
    int32_t code = 0;
    std::memcpy(&code, entry->data, sizeof code);
    return code;
}

char **&namesOfClass(VCardContext *context, int32_t code) {
    return context->tokenNames[(code >> 8) & 0xF];
}

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_initializeTokenTable(VCardContext *context) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_initializeTokenTable()");
    if (context->tokenTable != nullptr) return VCARD_ERR_TOKEN_TABLE;
    for (char **names : context->tokenNames) {
        if (names != nullptr) return VCARD_ERR_TOKEN_TABLE;
    }
    context->tokenTable =
        VLIB_newHashTable(kBucketCount, VLIB_symbolCaseHash, compareNames, nullptr);
    if (context->tokenTable == nullptr) return VCARD_ERR_NO_MEMORY;
    for (const Token &token : kVCardTokens) {
        const int32_t result = VCARD_registerToken(context, token.name, token.code);
        if (result != 0) return result;
    }
    return 0;
}

// Decision: the name arrays stay allocated (so a second initialization is
// still refused) but are emptied, since their names belonged to the table
// released here: a name asked for by code then answers VCARD_ERR_NOT_FOUND
// instead of handing out freed memory.
VERSIT_API int32_t VCARD_destroyTokenTable(VCardContext *context) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_destroyTokenTable()");
    if (context->tokenTable == nullptr) return VCARD_ERR_TOKEN_TABLE;
    VLIB_destroyHashTable(context->tokenTable);
    context->tokenTable = nullptr;
    for (char **names : context->tokenNames) {
        if (names != nullptr) std::memset(names, 0, kNamesPerClass * sizeof *names);
    }
    return 0;
}

// A context without symbol table has nowhere to register: that is the
// table's wrong state (VCARD_ERR_TOKEN_TABLE), as for a lookup.
VERSIT_API int32_t VCARD_registerToken(VCardContext *context, const char *name, int32_t code) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_registerToken()");
    if (name == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (context->tokenTable == nullptr) return VCARD_ERR_TOKEN_TABLE;
    if (VLIB_insert(context->tokenTable, name, &code, sizeof code) != 0) return VCARD_ERR_NO_MEMORY;
    const vHashEntry *entry = VLIB_findKey(context->tokenTable, name);
    if (entry == nullptr) return VCARD_ERR_NO_OBJECT;
    char **&names = namesOfClass(context, code);
    if (names == nullptr) {
        names = static_cast<char **>(std::calloc(kNamesPerClass, sizeof *names));
        if (names == nullptr) return VCARD_ERR_NO_MEMORY;
    }
    names[code & 0xFF] = entry->key;
    return 0;
}

VERSIT_API int32_t VCARD_identifyToken(VCardContext *context, const char *name, int32_t hint,
                                       int32_t *code) {
    constexpr const char *kLabel = "VCARD_identifyToken()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (name == nullptr || code == nullptr)
        return vcard::report(context, kLabel, VCARD_ERR_NULL_ARGUMENT,
                             "A parameter was an illegal NULL pointer");
    if (context->tokenTable == nullptr) return VCARD_ERR_TOKEN_TABLE;
    const vHashEntry *entry = findToken(context->tokenTable, name);
    if (entry != nullptr) {
        if (hint == 0) {
            *code = codeOf(entry);
            return 0;
        }
        for (; entry != nullptr; entry = VLIB_findNext(context->tokenTable, entry)) {
            const int32_t found = codeOf(entry);
            if (vcard::classOf(found) == vcard::classOf(hint)) {
                *code = found;
                return 0;
            }
        }
    } else if (vcard::isExtensionName(name)) {
        *code = hint != 0 ? hint + 2 : VCARD_TOKEN_X;
        return 0;
    }
    *code = VCARD_TOKEN_NONE;
    return VCARD_ERR_NOT_FOUND;
}

VERSIT_API int32_t VCARD_getTokenString(VCardContext *context, int32_t code, const char **name) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_getTokenString()");
    if (name == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *name = nullptr;
    if ((static_cast<uint32_t>(code) >> 12) != 3) return VCARD_ERR_BAD_CODE;
    char **names = namesOfClass(context, code);
    if (names == nullptr || names[code & 0xFF] == nullptr) return VCARD_ERR_NOT_FOUND;
    *name = names[code & 0xFF];
    return 0;
}

} // extern "C"
