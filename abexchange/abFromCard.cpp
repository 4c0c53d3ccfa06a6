// A text of vCards as new address-book entries: each card imported, its
// properties mapped into a record, the entry created through the client
// library and its photo and notes attached as streams.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "abexchange/abInternal.h"

namespace {

// Each standard lookup takes the values of at most this many properties.
constexpr int32_t kLookupSize = 16;
// Dates are read from at most this many characters.
constexpr size_t kDateText = 256;

// The copies one lookup hands out, released with it.
struct Values {
    char *v[kLookupSize] = {};
    int32_t sizes[kLookupSize] = {};
    int32_t count = 0;
    Values() = default;
    Values(const Values &) = delete;
    Values &operator=(const Values &) = delete;
    ~Values() {
        for (int32_t i = 0; i < count && i < kLookupSize; ++i)
            std::free(v[i]);
    }
    char *first() const { return count > 0 ? v[0] : nullptr; }
    char *second() const { return count > 1 ? v[1] : nullptr; }
};

// A structured value split at its unescaped ";" (the array is released
// with it; the fields point into the value).
struct Fields {
    char **f = nullptr;
    int32_t count = 0;
    Fields() = default;
    Fields(const Fields &) = delete;
    Fields &operator=(const Fields &) = delete;
    ~Fields() { std::free(static_cast<void *>(f)); }
    char *at(int32_t i) const { return i < count ? f[i] : nullptr; }
};

AbField numberOf(AbField phone) {
    return AbField{static_cast<uint16_t>(phone.offset + offsetof(ABPhone, number)),
                   sizeof(ABPhone::number)};
}
#define AB_NUMBER(name) numberOf(AbField{offsetof(ABEntryRecord, name), sizeof(ABPhone)})

// The reading of one card's standard properties: what was found, whether
// a lookup had more than it could take, and the first real failure (a
// lookup that ran out of memory: the card then gives no entry).
struct Reader {
    VCardContext *context;
    vComponent *card;
    ABEntryRecord *record;
    int32_t found;
    bool more;
    int32_t failure;

    // True when the lookup found something to use.
    bool took(int32_t result) {
        if (result == 0 || result == VCARD_MORE_ITEMS) {
            ++found;
            more = more || result == VCARD_MORE_ITEMS;
            return true;
        }
        if (result != VCARD_ERR_NOT_FOUND && failure == 0) failure = result;
        return false;
    }
    bool values(int32_t code, Values &out) {
        return took(VCARD_getPropertyValueCopy(context, card, code, out.v, out.sizes, kLookupSize,
                                               &out.count));
    }
    bool byType(int32_t code, int32_t mode, std::initializer_list<int32_t> wanted, Values &out) {
        return took(VCARD_getPropertyValueCopyByType(context, card, code, mode, wanted.begin(),
                                                     static_cast<int32_t>(wanted.size()), out.v,
                                                     out.sizes, kLookupSize, &out.count));
    }
    bool split(char *text, Fields &out) {
        const int32_t result = VCARD_getFieldEntriesFromCopy(context, text, &out.f, &out.count);
        if (result != 0 && failure == 0) failure = result;
        return result == 0;
    }
    void store(AbField f, char *text) {
        if (text != nullptr) abStore(record, f, text);
    }
};

// N: family, given, middle; FN (only without N): given, then family.
void readNames(Reader &r) {
    Values n;
    const int32_t result = VCARD_getPropertyValueCopy(r.context, r.card, VCARD_PROP_N, n.v, n.sizes,
                                                      kLookupSize, &n.count);
    if (r.took(result)) {
        Fields f;
        if (n.first() != nullptr && r.split(n.first(), f) && f.count <= 10) {
            r.store(AB_FIELD(familyName), f.at(0));
            r.store(AB_FIELD(givenName), f.at(1));
            r.store(AB_FIELD(middleName), f.at(2));
        }
        return;
    }
    if (result != VCARD_ERR_NOT_FOUND) return;
    Values fn;
    if (!r.values(VCARD_PROP_FN, fn) || fn.first() == nullptr) return;
    char *given = AB_Unescape(fn.first());
    char *family = given + std::strcspn(given, " \t");
    if (*family != '\0') *family++ = '\0';
    r.store(AB_FIELD(givenName), given);
    r.store(AB_FIELD(familyName), family);
}

// The first `kDateText` characters of `text`.
void dateText(const char *text, char out[kDateText + 1]) {
    out[0] = '\0';
    AB_BoundedAppend(out, kDateText, text);
}

struct AddressFields {
    AbField street, city, region, postalCode, country;
    int32_t type;
};
constexpr AddressFields kAddresses[] = {
    {AB_FIELD(homeStreet), AB_FIELD(homeCity), AB_FIELD(homeRegion), AB_FIELD(homePostalCode),
     AB_FIELD(homeCountry), VCARD_PVAL_HOME},
    {AB_FIELD(businessStreet), AB_FIELD(businessCity), AB_FIELD(businessRegion),
     AB_FIELD(businessPostalCode), AB_FIELD(businessCountry), VCARD_PVAL_WORK},
};

// ADR: the first three fields make the street (each unescaped, joined,
// then unescaped again), then city, region, postal code and country.
void readAddress(Reader &r, const AddressFields &a) {
    Values adr;
    if (!r.byType(VCARD_PROP_ADR, VCARD_MATCH_ALL, {a.type}, adr) || adr.first() == nullptr) return;
    Fields f;
    if (!r.split(adr.first(), f)) return;
    char street[sizeof(ABEntryRecord::homeStreet)] = "";
    for (int32_t i = 0; i < 3; ++i) {
        if (f.at(i) != nullptr) AB_BoundedAppend(street, sizeof street - 1, AB_Unescape(f.at(i)));
    }
    r.store(a.street, street);
    r.store(a.city, f.at(3));
    r.store(a.region, f.at(4));
    r.store(a.postalCode, f.at(5));
    r.store(a.country, f.at(6));
}

// TEL selections. Each runs only when the card carries none of the two
// extension phones that hold the same numbers exactly.
struct PhoneLookup {
    int32_t mode;
    int32_t wanted[3];
    int32_t wantedCount;
    int32_t extensions[2];
    AbField first, second; // size 0: none
};
constexpr AbField kNoField = {0, 0};

void readPhones(Reader &r, const bool present[kAbPresenceCount]) {
    const PhoneLookup kLookups[] = {
        {VCARD_MATCH_ALL,
         {VCARD_PVAL_WORK, VCARD_PVAL_VOICE},
         2,
         {AB_X_TEL_BUSINESS, AB_X_TEL_BUSINESS2},
         AB_NUMBER(businessPhone),
         AB_NUMBER(businessPhone2)},
        {VCARD_MATCH_ALL,
         {VCARD_PVAL_WORK, VCARD_PVAL_FAX},
         2,
         {AB_X_TEL_FAX, AB_X_TEL_FAX2},
         AB_NUMBER(fax),
         AB_NUMBER(fax2)},
        {VCARD_MATCH_ALL,
         {VCARD_PVAL_WORK, VCARD_PVAL_CELL},
         2,
         {AB_X_TEL_MOBILE, AB_X_TEL_MOBILE2},
         AB_NUMBER(mobilePhone),
         AB_NUMBER(mobilePhone2)},
        {VCARD_MATCH_ALL,
         {VCARD_PVAL_WORK, VCARD_PVAL_PAGER},
         2,
         {AB_X_TEL_PAGER, AB_X_TEL_PAGER},
         AB_NUMBER(pager),
         kNoField},
        {VCARD_MATCH_SUBSET,
         {VCARD_PVAL_HOME, VCARD_PVAL_VOICE, VCARD_PVAL_PREF},
         3,
         {AB_X_TEL_HOME, AB_X_TEL_HOME2},
         AB_NUMBER(homePhone),
         kNoField},
        {VCARD_MATCH_ALL,
         {VCARD_PVAL_HOME, VCARD_PVAL_VOICE},
         2,
         {AB_X_TEL_HOME, AB_X_TEL_HOME2},
         AB_NUMBER(homePhone2),
         kNoField},
    };
    for (const PhoneLookup &p : kLookups) {
        if (present[p.extensions[0] - AB_X_VERSION] || present[p.extensions[1] - AB_X_VERSION])
            continue;
        Values tel;
        if (!r.took(VCARD_getPropertyValueCopyByType(r.context, r.card, VCARD_PROP_TEL, p.mode,
                                                     p.wanted, p.wantedCount, tel.v, tel.sizes,
                                                     kLookupSize, &tel.count)))
            continue;
        r.store(p.first, tel.first());
        if (p.second.size != 0) r.store(p.second, tel.second());
    }
}

// ORG: organization, unit 1, unit 2.
void readOrganization(Reader &r) {
    Values org;
    Fields f;
    if (!r.values(VCARD_PROP_ORG, org) || org.first() == nullptr || !r.split(org.first(), f) ||
        f.count > 10)
        return;
    r.store(AB_FIELD(organization), f.at(0));
    r.store(AB_FIELD(unit1), f.at(1));
    r.store(AB_FIELD(unit2), f.at(2));
}

bool extensionPresent(const bool present[kAbPresenceCount], int32_t a, int32_t b) {
    return present[a - AB_X_VERSION] || present[b - AB_X_VERSION];
}

// The standard properties, in reading order.
void readStandardProperties(Reader &r, const bool present[kAbPresenceCount]) {
    readNames(r);
    char date[kDateText + 1];
    Values bday;
    if (r.values(VCARD_PROP_BDAY, bday) && bday.first() != nullptr) {
        dateText(AB_Unescape(bday.first()), date);
        abParseDate(date, &r.record->birthday);
    }
    for (const AddressFields &a : kAddresses)
        readAddress(r, a);
    readPhones(r, present);
    if (!extensionPresent(present, AB_X_EMAIL1, AB_X_EMAIL2)) {
        Values email;
        if (r.byType(VCARD_PROP_EMAIL, VCARD_MATCH_ALL, {VCARD_PVAL_INTERNET}, email) &&
            email.count > 0) {
            r.store(AB_FIELD(email1), email.first());
            r.store(AB_FIELD(email2), email.second());
            r.record->emailKind = 3;
        }
    }
    Values tz, title, rev, url;
    if (r.values(VCARD_PROP_TZ, tz)) r.store(AB_FIELD(timeZone), tz.first());
    if (r.values(VCARD_PROP_TITLE, title)) r.store(AB_FIELD(title), title.first());
    readOrganization(r);
    if (r.values(VCARD_PROP_REV, rev) && rev.first() != nullptr) {
        dateText(rev.first(), date);
        r.record->revisionTime = abRevisionTime(date);
    }
    if (!extensionPresent(present, AB_X_WEB1, AB_X_WEB2) && r.values(VCARD_PROP_URL, url)) {
        r.store(AB_FIELD(web1), url.first());
        r.store(AB_FIELD(web2), url.second());
    }
}

// The header of a record about to become an entry.
void completeHeader(ABEntryRecord *record, CalapiClient *client, const uint8_t *owner) {
    if (owner != nullptr) {
        std::memcpy(&record->owner, owner, sizeof record->owner);
        std::memcpy(&record->ownerExtension, owner + sizeof record->owner,
                    sizeof record->ownerExtension);
    }
    record->clientField18 = client->field18;
    record->clientField20 = client->field20;
    if (record->familyName[0] == '\0') std::memcpy(record->familyName, " ", 2);
    if (record->givenName[0] == '\0') std::memcpy(record->givenName, " ", 2);
}

// The first PHOTO with a TYPE value becomes stream 2. False when the step
// failed (which also skips the notes); a card without such a photo is no
// failure.
bool storePhoto(CalapiClient *client, VCardContext *context, vComponent *card,
                ABEntryRecord *record, const ABEntryId *id) {
    vProperty *photos[kLookupSize] = {};
    int32_t count = 0;
    VCARD_getProperty(context, card, VCARD_PROP_PHOTO, photos, kLookupSize, &count);
    for (int32_t i = 0; i < count; ++i) {
        int32_t type = 0;
        int32_t types = 0;
        const int32_t asked =
            VCARD_getParameterValueId(context, photos[i], VCARD_PARM_TYPE, &type, 1, &types);
        if (asked != 0 && asked != VCARD_MORE_ITEMS && asked != VCARD_ERR_NOT_FOUND) return false;
        if (types < 1) continue;
        char *bytes = nullptr;
        int32_t size = 0;
        VCARD_getSinglePropertyValue(context, photos[i], &bytes, &size);
        char *text = nullptr;
        if (VLIB_convertToBase64(bytes != nullptr ? bytes : "", size, &text) != 0) return false;
        const int32_t stored =
            ABEntryStreamReplace(client, 0, AB_STREAM_PHOTO, id, text, &record->photo);
        std::free(text);
        if (stored != 0) return false;
        record->photoFormat = abPhotoFormat(type);
        return ABEntryUpdate(client, 2, record, 0) == 0;
    }
    return true;
}

// The first NOTE whose X-QVT-TYPE is exactly `which`; null when none.
const char *noteOf(VCardContext *context, vComponent *card, int32_t which) {
    char *values[kLookupSize] = {};
    int32_t sizes[kLookupSize] = {};
    int32_t count = 0;
    VCARD_getPropertyValueByParameter(context, card, VCARD_PROP_NOTE, AB_X_PARM_TYPE,
                                      VCARD_MATCH_EXACT, &which, 1, values, sizes, kLookupSize,
                                      &count);
    if (count < 1) return nullptr;
    return values[0] != nullptr ? values[0] : "";
}

void storeNotes(CalapiClient *client, VCardContext *context, vComponent *card,
                ABEntryRecord *record, const ABEntryId *id) {
    const char *general = noteOf(context, card, AB_X_PVAL_GENERAL);
    const bool stored =
        general != nullptr && ABEntryStreamReplace(client, 0, AB_STREAM_GENERAL_NOTE, id, general,
                                                   &record->generalNote) == 0;
    const char *personal = noteOf(context, card, AB_X_PVAL_PERSONAL);
    if (personal != nullptr)
        ABEntryStreamReplace(client, 0, AB_STREAM_PERSONAL_NOTE, id, personal,
                             &record->personalNote);
    if (stored || personal != nullptr) ABEntryUpdate(client, 2, record, 0);
}

// Import results that are complaints about the card, not failures.
bool tolerated(int32_t result) {
    return result == 0 || result == VCARD_MORE_ITEMS || result == VCARD_ERR_NOT_FOUND ||
           result == VCARD_ERR_BAD_PARAMETER || result == VCARD_ERR_NO_PROPERTY_NAME ||
           result == VCARD_ERR_BAD_PROPERTY;
}

} // namespace

// Lookup failures are not in the exchange's contract; one that ran out of
// memory would leave the entry without fields the card has, so it ends the
// card (no entry) with that failure instead.
int32_t AB_VCardToEntry(CalapiClient *client, const uint8_t *owner, const char *text,
                        int32_t length, ABEntryRecord *record, ABEntryId *id, VCardContext *context,
                        int32_t *offset) {
    std::memset(record, 0, sizeof *record);
    vComponent *card = nullptr;
    const char *rest = nullptr;
    int32_t remaining = 0;
    const int32_t imported = VCARD_importObjectFromBuffer(context, &card, text + *offset,
                                                          length - *offset, &rest, &remaining);
    if (remaining < 0) remaining = 0;
    *offset = length - remaining;
    if (!tolerated(imported) || card == nullptr) {
        if (card != nullptr) VCARD_destroyCard(context, &card);
        return imported != 0 ? imported : VCARD_ERR_NO_OBJECT;
    }

    int32_t extensions = 0;
    bool present[kAbPresenceCount];
    const int32_t read = AB_ReadExtensionProperties(record, context, card, &extensions, present);
    Reader r = {context, card, record, 0, false, read == VCARD_ERR_NO_MEMORY ? read : 0};
    if (r.failure == 0) readStandardProperties(r, present);
    if (r.failure != 0 || (r.found == 0 && extensions == 0)) {
        std::memset(record, 0, sizeof *record);
        VCARD_destroyCard(context, &card);
        return r.failure;
    }

    completeHeader(record, client, owner);
    if (ABEntryCreate(client, 0, record, 0, id) == 0) {
        if (storePhoto(client, context, card, record, id))
            storeNotes(client, context, card, record, id);
    } else {
        std::memset(id, 0, sizeof *id);
    }
    const int32_t destroyed = VCARD_destroyCard(context, &card);
    return destroyed == 0 && r.more ? VCARD_MORE_ITEMS : destroyed;
}

extern "C" VERSIT_API int32_t GetNewABRecIDsFromVCardStream(CalapiClient *client,
                                                            VCardContext *context, const char *text,
                                                            const uint8_t *owner, int32_t length,
                                                            KL_HLIST *list, uint16_t *skipped,
                                                            uint32_t *budget) {
    // The context is needed to register; the rest is checked after.
    if (context == nullptr) return VCARD_ERR_BAD_CODE;
    if (const int32_t failed = RegisterVCXProperties(context))
        return failed == VCARD_ERR_NO_CARD ? 0 : failed;
    if (client == nullptr || text == nullptr || list == nullptr || skipped == nullptr ||
        budget == nullptr || length < 1 || *budget == 0)
        return VCARD_ERR_BAD_CODE;
    *skipped = 0;

    // The parser reads up to a NUL: a text without one is read from a copy
    // that has it, never past its length.
    char *copy = nullptr;
    if (text[length - 1] != '\0') {
        copy = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
        if (copy == nullptr) return VCARD_ERR_NO_MEMORY;
        std::memcpy(copy, text, static_cast<size_t>(length));
        copy[length] = '\0';
        text = copy;
    }
    int32_t result = *list == nullptr ? KL_ListCreate(list, sizeof(ABEntryId), 0,
                                                      KL_LIST_UNIQUE_SILENT, nullptr, nullptr)
                                      : KL_ListDeleteAll(*list);
    ABEntryRecord record;
    int32_t offset = 0;
    while (result == 0) {
        ABEntryId id = {};
        result = AB_VCardToEntry(client, owner, text, length, &record, &id, context, &offset);
        if (result == VCARD_MORE_ITEMS || result == VLIB_ERR_NO_BEGIN) result = 0;
        if (result == 0 && id.kind != 0 && id.number != 0) {
            result = KL_ListAddTo(*list, &id, nullptr);
        } else if (result != VCARD_ERR_NO_CARD) {
            // A card that gave no entry does not use up the budget; one
            // that failed ends the run below.
            if (offset == 0) break;
            ++*skipped;
            ++*budget;
        }
        if (offset == 0 || result != 0) break;
        if (--*budget == 0) break;
    }
    std::free(copy);
    return result == VCARD_ERR_NO_CARD ? 0 : result;
}
