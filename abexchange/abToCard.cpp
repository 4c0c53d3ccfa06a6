// One address-book entry as one vCard: the standard properties field by
// field, the notes and the photo fetched from the client library, then the
// extension properties; the card is written out and destroyed.
//
// The photo. Its stream holds base64 text; the card holds the decoded
// bytes, which the generator would write as they are, up to their first NUL.
// So the PHOTO property carries ENCODING=BASE64 besides its format: the
// generator writes the bytes in base64 and the parser decodes them again,
// and any photo survives the round trip through text. ENCODING is added
// before the format, so that a format without a name (which fails) leaves
// a property that is still written in base64.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "abexchange/abInternal.h"

namespace {

// The card being built and the running status of its adds: each add
// stores its result; a failing add ends its property (its later parameters
// are skipped) but not the properties after it.
struct CardBuilder {
    VCardContext *context;
    vComponent *card;
    int32_t status;

    // Adds property `code` with `length` bytes of `value`; null when the
    // add failed.
    vProperty *add(int32_t code, const char *value, int32_t length) {
        vProperty *property = nullptr;
        status = VCARD_addProperty(context, card, code, value, length, &property);
        return status == 0 ? property : nullptr;
    }
    vProperty *addText(int32_t code, const char *value) {
        return add(code, value, static_cast<int32_t>(std::strlen(value) + 1));
    }
    // Each adds one parameter to `property` unless an earlier add of the
    // property failed; false once one has.
    bool parameter(vProperty *property, int32_t code, const char *value) {
        if (property == nullptr) return false;
        status = VCARD_addParameter(context, property, code, value);
        return status == 0;
    }
    bool parameterId(vProperty *property, int32_t code, int32_t valueCode) {
        if (property == nullptr) return false;
        status = VCARD_addParameterId(context, property, code, valueCode);
        return status == 0;
    }
    void types(vProperty *property, std::initializer_list<const char *> values) {
        for (const char *v : values) {
            if (v != nullptr && !parameter(property, VCARD_PARM_TYPE, v)) return;
        }
    }
};

// Reads stream `kind` of the entry in full into a malloc'ed, NUL-terminated
// buffer (*text, the caller frees it; *size its length). False when there
// is none to use: a failing client-library call leaves its code in the
// running status; a buffer that cannot be had, or a stream that arrives
// short, only skips the property.
bool readStream(CalapiClient *client, const ABEntryRecord *record, uint32_t kind,
                CardBuilder &builder, char **text, uint32_t *size) {
    *text = nullptr;
    *size = 0;
    uint32_t expected = 0;
    if (const int32_t failed = ABEntryStreamSizeGet(client, 0, kind, record, &expected)) {
        builder.status = failed;
        return false;
    }
    // Values travel with 32-bit signed lengths.
    if (expected >= 0x7FFFFFFFu) return false;
    char *buffer = static_cast<char *>(std::calloc(expected + 1u, 1));
    if (buffer == nullptr) return false;
    uint32_t delivered = 0;
    const int32_t failed =
        ABEntryStreamGet(client, 0, kind, record, buffer, expected, &delivered, 0);
    if (failed != 0 || delivered != expected) {
        if (failed != 0) builder.status = failed;
        std::free(buffer);
        return false;
    }
    *text = buffer;
    *size = expected;
    return true;
}

bool empty(const char *text) { return text[0] == '\0'; }
// The import stores one blank for "no family name"; it is written as none.
bool noFamilyName(const char *name) { return empty(name) || std::strcmp(name, " ") == 0; }

void appendWord(char *buffer, const char *word) {
    if (!empty(buffer)) AB_EscapeAppend(buffer, " ");
    AB_EscapeAppend(buffer, word);
}

void addNames(CardBuilder &b, const ABEntryRecord *r) {
    char value[kAbValueSize] = "";
    AB_EscapeAppend(value, r->givenName);
    if (!empty(r->middleName)) appendWord(value, r->middleName);
    if (!noFamilyName(r->familyName)) appendWord(value, r->familyName);
    if (!empty(value))
        b.parameter(b.addText(VCARD_PROP_FN, value), VCARD_PARM_ENCODING, "QUOTED-PRINTABLE");

    value[0] = '\0';
    if (std::strcmp(r->familyName, " ") != 0) AB_EscapeAppend(value, r->familyName);
    abAppendSeparator(value);
    AB_EscapeAppend(value, r->givenName);
    if (!empty(r->middleName)) {
        abAppendSeparator(value);
        AB_EscapeAppend(value, r->middleName);
    }
    b.parameter(b.addText(VCARD_PROP_N, value), VCARD_PARM_ENCODING, "QUOTED-PRINTABLE");
}

void addPhoto(CardBuilder &b, CalapiClient *client, const ABEntryRecord *r) {
    if (r->photo == 0 || r->photoFormat == 0) return;
    char *stream = nullptr;
    uint32_t size = 0;
    if (!readStream(client, r, AB_STREAM_PHOTO, b, &stream, &size)) return;
    char *bytes = nullptr;
    int32_t count = 0;
    const int32_t decoded = VLIB_convertFromBase64(stream, &count, &bytes);
    std::free(stream);
    // Characters outside the alphabet (line breaks) are skipped: the bytes
    // are complete all the same.
    if (decoded != 0 && decoded != VLIB_ERR_BAD_BASE64) {
        b.status = decoded;
        return;
    }
    vProperty *photo = b.add(VCARD_PROP_PHOTO, bytes, count);
    std::free(bytes);
    if (b.parameter(photo, VCARD_PARM_ENCODING, "BASE64"))
        b.parameterId(photo, VCARD_PARM_TYPE, abPhotoTypeCode(r->photoFormat));
}

void addNote(CardBuilder &b, CalapiClient *client, const ABEntryRecord *r, uint32_t kind,
             int32_t which) {
    char *text = nullptr;
    uint32_t size = 0;
    if (!readStream(client, r, kind, b, &text, &size)) return;
    vProperty *note = b.add(VCARD_PROP_NOTE, text, static_cast<int32_t>(std::strlen(text) + 1));
    std::free(text);
    if (b.parameterId(note, AB_X_PARM_TYPE, which))
        b.parameter(note, VCARD_PARM_ENCODING, "QUOTED-PRINTABLE");
}

struct Address {
    AbField street, city, region, postalCode, country;
    const char *type;
};
constexpr Address kAddresses[] = {
    {AB_FIELD(businessStreet), AB_FIELD(businessCity), AB_FIELD(businessRegion),
     AB_FIELD(businessPostalCode), AB_FIELD(businessCountry), "WORK"},
    {AB_FIELD(homeStreet), AB_FIELD(homeCity), AB_FIELD(homeRegion), AB_FIELD(homePostalCode),
     AB_FIELD(homeCountry), "HOME"},
};

void addAddress(CardBuilder &b, const ABEntryRecord *r, const Address &a) {
    const AbField parts[] = {a.street, a.city, a.region, a.postalCode, a.country};
    bool any = false;
    char value[kAbValueSize] = ";";
    for (const AbField &f : parts) {
        any = any || !empty(abText(r, f));
        abAppendSeparator(value);
        AB_EscapeAppend(value, abText(r, f));
    }
    if (any) b.types(b.addText(VCARD_PROP_ADR, value), {a.type});
}

// The TEL rows: the TYPE values in the order added (null: none), the phone,
// and the phone whose empty number makes the second of a pair preferred.
struct Telephone {
    const char *first, *second, *pref, *last;
    AbField phone;
    AbField preferredUnless; // size 0: PREF always
};

constexpr AbField kNone = {0, 0};
#define AB_PHONE(name)                                                                             \
    AbField { offsetof(ABEntryRecord, name), sizeof(ABPhone) }
constexpr Telephone kTelephones[] = {
    {"WORK", nullptr, "PREF", "VOICE", AB_PHONE(businessPhone), kNone},
    {"WORK", nullptr, "PREF", "VOICE", AB_PHONE(businessPhone2), AB_PHONE(businessPhone)},
    {"WORK", "FAX", "PREF", nullptr, AB_PHONE(fax), kNone},
    {"WORK", "FAX", "PREF", nullptr, AB_PHONE(fax2), AB_PHONE(fax)},
    {"HOME", nullptr, "PREF", "VOICE", AB_PHONE(homePhone), kNone},
    {"HOME", nullptr, "PREF", "VOICE", AB_PHONE(homePhone2), AB_PHONE(homePhone)},
    {"WORK", "CELL", "PREF", nullptr, AB_PHONE(mobilePhone), kNone},
    {"WORK", "CELL", "PREF", nullptr, AB_PHONE(mobilePhone2), AB_PHONE(mobilePhone)},
    {"WORK", "PAGER", nullptr, nullptr, AB_PHONE(pager), kNone},
    {"WORK", nullptr, nullptr, nullptr, AB_PHONE(assistantPhone), kNone},
};
#undef AB_PHONE

const ABPhone &phoneAt(const ABEntryRecord *r, AbField f) {
    return *reinterpret_cast<const ABPhone *>(abText(r, f));
}

void addTelephone(CardBuilder &b, const ABEntryRecord *r, const Telephone &t) {
    const ABPhone &phone = phoneAt(r, t.phone);
    if (empty(phone.number)) return;
    char value[kAbValueSize];
    std::snprintf(value, sizeof value, "%s%s%s", phone.prefix, phone.area, phone.number);
    const bool pref = t.preferredUnless.size == 0 || empty(phoneAt(r, t.preferredUnless).number);
    b.types(b.addText(VCARD_PROP_TEL, value), {t.first, t.second, pref ? t.pref : nullptr, t.last});
}

void addEscaped(CardBuilder &b, int32_t code, const char *field, const char *type) {
    char value[kAbValueSize] = "";
    AB_EscapeAppend(value, field);
    if (empty(value)) return;
    vProperty *property = b.addText(code, value);
    if (type != nullptr) b.types(property, {type});
}

void addOrganization(CardBuilder &b, const ABEntryRecord *r) {
    char value[kAbValueSize] = "";
    AB_EscapeAppend(value, r->organization);
    abAppendSeparator(value);
    AB_EscapeAppend(value, r->unit1);
    abAppendSeparator(value);
    AB_EscapeAppend(value, r->unit2);
    if (std::strcmp(value, ";;") != 0) b.addText(VCARD_PROP_ORG, value);
}

// Adds the standard properties in their order; the status after the last.
int32_t addStandardProperties(CardBuilder &b, CalapiClient *client, const ABEntryRecord *r) {
    addNames(b, r);
    addPhoto(b, client, r);
    if (r->generalNote != 0) addNote(b, client, r, AB_STREAM_GENERAL_NOTE, AB_X_PVAL_GENERAL);
    if (r->personalNote != 0) addNote(b, client, r, AB_STREAM_PERSONAL_NOTE, AB_X_PVAL_PERSONAL);
    char date[kAbValueSize];
    if (abDateText(r->birthday, date))
        b.addText(VCARD_PROP_BDAY, date);
    else if (r->birthday.day != 0 || r->birthday.month != 0 || r->birthday.year != 0)
        b.status = 0; // a birthday the DATE form cannot write is left out
    for (const Address &a : kAddresses)
        addAddress(b, r, a);
    for (const Telephone &t : kTelephones)
        addTelephone(b, r, t);
    addEscaped(b, VCARD_PROP_EMAIL, r->email1, "INTERNET");
    addEscaped(b, VCARD_PROP_EMAIL, r->email2, "INTERNET");
    addEscaped(b, VCARD_PROP_TZ, r->timeZone, nullptr);
    addEscaped(b, VCARD_PROP_TITLE, r->title, nullptr);
    addOrganization(b, r);
    if (!empty(r->web1)) b.addText(VCARD_PROP_URL, r->web1);
    if (!empty(r->web2)) b.addText(VCARD_PROP_URL, r->web2);
    return b.status;
}

} // namespace

extern "C" VERSIT_API int32_t GetVCardStreamFromABRecID(CalapiClient *client, VCardContext *context,
                                                        const ABEntryRecord *record, char **text,
                                                        int32_t *length) {
    if (text != nullptr) {
        std::free(*text);
        *text = nullptr;
    }
    if (length != nullptr) *length = 0;
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    if (record == nullptr || text == nullptr || length == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t failed = RegisterVCXProperties(context)) return failed;
    CardBuilder b = {context, nullptr, 0};
    if (const int32_t failed = VCARD_createCard(context, &b.card)) {
        VCARD_destroyCard(context, &b.card);
        return failed;
    }
    int32_t result = addStandardProperties(b, client, record);
    int32_t added = 0;
    if (result == 0) result = AB_AddExtensionProperties(record, context, b.card, &added);
    if (result == 0) result = VCARD_exportObjectToBuffer(context, b.card, text);
    if (result != 0) {
        std::free(*text);
        *text = nullptr;
        VCARD_destroyCard(context, &b.card);
        return result;
    }
    *length = VLIB_length_vComponent(b.card, 12);
    return VCARD_destroyCard(context, &b.card);
}
