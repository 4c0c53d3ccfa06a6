// The extension vocabulary: the record fields vCard has no name for, as
// "X-QVT-AB_..." properties, and their text forms both ways.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "abexchange/abInternal.h"

namespace {

enum class Form : uint8_t {
    None,     // carries no field
    Number,   // a u32 as signed decimal, always written
    Relation, // a u16 as decimal, written when non-zero
    Text,     // escaped text
    Date,     // an ABDate as DATE text
    Keywords, // part 1, or part 1 ";" part 2 when part 2 is not empty
    Parts,    // every part, joined by ";"; not written when all are empty
    Phone,    // prefix ";" area ";" number ";" and the extension field's text
};

struct Extension {
    const char *name;
    Form form;
    uint8_t partCount;
    // The fields, in text order. A phone has the ABPhone and its extension
    // field (size 0: the phone has none).
    AbField parts[8];
};

constexpr AbField kNoField = {0, 0};

// Indexed by code - AB_X_VERSION: the codes follow the order of this table.
constexpr Extension kExtensions[kAbExtensionCount] = {
    {"X-QVT-AB_Version", Form::None, 0, {}},
    {"X-QVT-AB_Security", Form::Number, 1, {AB_FIELD(security)}},
    {"X-QVT-AB_Flags", Form::Number, 1, {AB_FIELD(flags)}},
    {"X-QVT-AB_Flags2", Form::Number, 1, {AB_FIELD(flags2)}},
    {"X-QVT-AB_Relation", Form::Relation, 1, {AB_FIELD(relation)}},
    {"X-QVT-AB_Dear", Form::Text, 1, {AB_FIELD(salutation)}},
    {"X-QVT-AB_Aniversary", Form::Date, 1, {AB_FIELD(anniversary)}},
    {"X-QVT-AB_Date1", Form::Date, 1, {AB_FIELD(date1)}},
    {"X-QVT-AB_Date1Info", Form::Text, 1, {AB_FIELD(date1Info)}},
    {"X-QVT-AB_Date2", Form::Date, 1, {AB_FIELD(date2)}},
    {"X-QVT-AB_Date2Info", Form::Text, 1, {AB_FIELD(date2Info)}},
    {"X-QVT-AB_SpouseName", Form::Text, 1, {AB_FIELD(spouseName)}},
    {"X-QVT-AB_Notes", Form::None, 0, {}},
    {"X-QVT-AB_IndexedKWords",
     Form::Keywords,
     2,
     {AB_FIELD(indexedKeyword1), AB_FIELD(indexedKeyword2)}},
    {"X-QVT-AB_OtherKWords", Form::Keywords, 2, {AB_FIELD(otherKeyword1), AB_FIELD(otherKeyword2)}},
    {"X-QVT-AB_BusinessRefNo", Form::Text, 1, {AB_FIELD(businessRefNo)}},
    {"X-QVT-AB_BusinessAccntNo", Form::Text, 1, {AB_FIELD(businessAccountNo)}},
    {"X-QVT-AB_BusinessBuyer", Form::Text, 1, {AB_FIELD(businessBuyer)}},
    {"X-QVT-AB_IndustryType", Form::Text, 1, {AB_FIELD(industryType)}},
    {"X-QVT-AB_X400Name",
     Form::Parts,
     4,
     {AB_FIELD(x400Name1), AB_FIELD(x400Name2), AB_FIELD(x400Name3), AB_FIELD(x400Name4)}},
    {"X-QVT-AB_X400NameAddr",
     Form::Parts,
     8,
     {AB_FIELD(x400Address1), AB_FIELD(x400Address2), AB_FIELD(x400Address3),
      AB_FIELD(x400Address4), AB_FIELD(x400Address5), AB_FIELD(x400Address6),
      AB_FIELD(x400Address7), AB_FIELD(x400Address8)}},
    {"X-QVT-AB_MSAddress",
     Form::Parts,
     3,
     {AB_FIELD(msAddress[0]), AB_FIELD(msAddress[1]), AB_FIELD(msAddress[2])}},
    {"X-QVT-AB_MACADDR",
     Form::Parts,
     3,
     {AB_FIELD(macAddress[0]), AB_FIELD(macAddress[1]), AB_FIELD(macAddress[2])}},
    {"X-QVT-AB_FIX", Form::None, 0, {}},
    {"X_QVT-AB_TEL_Business",
     Form::Phone,
     2,
     {AB_FIELD(businessPhone), AB_FIELD(businessPhoneExt)}},
    {"X_QVT-AB_TEL_Business2",
     Form::Phone,
     2,
     {AB_FIELD(businessPhone2), AB_FIELD(businessPhone2Ext)}},
    {"X_QVT-AB_TEL_Fax", Form::Phone, 2, {AB_FIELD(fax), kNoField}},
    {"X_QVT-AB_TEL_Fax2", Form::Phone, 2, {AB_FIELD(fax2), kNoField}},
    {"X_QVT-AB_TEL_Home", Form::Phone, 2, {AB_FIELD(homePhone), kNoField}},
    {"X_QVT-AB_TEL_Home2", Form::Phone, 2, {AB_FIELD(homePhone2), kNoField}},
    {"X_QVT-AB_TEL_Mobile", Form::Phone, 2, {AB_FIELD(mobilePhone), kNoField}},
    {"X_QVT-AB_TEL_Mobile2", Form::Phone, 2, {AB_FIELD(mobilePhone2), kNoField}},
    {"X_QVT-AB_TEL_Pager", Form::Phone, 2, {AB_FIELD(pager), kNoField}},
    {"X_QVT-AB_Business_Assistant", Form::Text, 1, {AB_FIELD(businessAssistant)}},
    {"X_QVT-AB_TEL_Assistant",
     Form::Phone,
     2,
     {AB_FIELD(assistantPhone), AB_FIELD(assistantPhoneExt)}},
    {"X_QVT-AB_Web1", Form::Text, 1, {AB_FIELD(web1)}},
    {"X_QVT-AB_Web2", Form::Text, 1, {AB_FIELD(web2)}},
    {"X_QVT-AB_EMail1", Form::Text, 1, {AB_FIELD(email1)}},
    {"X_QVT-AB_EMail2", Form::Text, 1, {AB_FIELD(email2)}},
};

// The order of writing; X-QVT-AB_Version follows when anything was written.
constexpr int32_t kWriteOrder[] = {
    AB_X_SECURITY,
    AB_X_FLAGS,
    AB_X_FLAGS2,
    AB_X_RELATION,
    AB_X_DEAR,
    AB_X_ANIVERSARY,
    AB_X_DATE1,
    AB_X_DATE1_INFO,
    AB_X_DATE2,
    AB_X_DATE2_INFO,
    AB_X_SPOUSE_NAME,
    AB_X_INDEXED_KWORDS,
    AB_X_OTHER_KWORDS,
    AB_X_BUSINESS_REF_NO,
    AB_X_BUSINESS_ACCNT_NO,
    AB_X_BUSINESS_BUYER,
    AB_X_INDUSTRY_TYPE,
    AB_X_X400_NAME,
    AB_X_X400_NAME_ADDR,
    AB_X_MS_ADDRESS,
    AB_X_MAC_ADDR,
    AB_X_WEB1,
    AB_X_WEB2,
    AB_X_EMAIL1,
    AB_X_EMAIL2,
    AB_X_BUSINESS_ASSISTANT,
    AB_X_TEL_BUSINESS,
    AB_X_TEL_BUSINESS2,
    AB_X_TEL_FAX,
    AB_X_TEL_FAX2,
    AB_X_TEL_HOME,
    AB_X_TEL_HOME2,
    AB_X_TEL_MOBILE,
    AB_X_TEL_MOBILE2,
    AB_X_TEL_PAGER,
    AB_X_TEL_ASSISTANT,
};

// The order of reading: the codes in turn up to the pager (X-QVT-AB_FIX is
// never read), then the assistant's phone, the assistant, e-mail and web.
constexpr int32_t kReadOrder[] = {
    AB_X_SECURITY,
    AB_X_FLAGS,
    AB_X_FLAGS2,
    AB_X_RELATION,
    AB_X_DEAR,
    AB_X_ANIVERSARY,
    AB_X_DATE1,
    AB_X_DATE1_INFO,
    AB_X_DATE2,
    AB_X_DATE2_INFO,
    AB_X_SPOUSE_NAME,
    AB_X_NOTES,
    AB_X_INDEXED_KWORDS,
    AB_X_OTHER_KWORDS,
    AB_X_BUSINESS_REF_NO,
    AB_X_BUSINESS_ACCNT_NO,
    AB_X_BUSINESS_BUYER,
    AB_X_INDUSTRY_TYPE,
    AB_X_X400_NAME,
    AB_X_X400_NAME_ADDR,
    AB_X_MS_ADDRESS,
    AB_X_MAC_ADDR,
    AB_X_TEL_BUSINESS,
    AB_X_TEL_BUSINESS2,
    AB_X_TEL_FAX,
    AB_X_TEL_FAX2,
    AB_X_TEL_HOME,
    AB_X_TEL_HOME2,
    AB_X_TEL_MOBILE,
    AB_X_TEL_MOBILE2,
    AB_X_TEL_PAGER,
    AB_X_TEL_ASSISTANT,
    AB_X_BUSINESS_ASSISTANT,
    AB_X_EMAIL1,
    AB_X_EMAIL2,
    AB_X_WEB1,
    AB_X_WEB2,
};

struct Parameter {
    const char *name;
    int32_t code;
};
constexpr Parameter kParameterWords[] = {
    {"X-QVT-TYPE", AB_X_PARM_TYPE},
    {"General", AB_X_PVAL_GENERAL},
    {"Personal", AB_X_PVAL_PERSONAL},
};

const Extension &extensionOf(int32_t code) { return kExtensions[code - AB_X_VERSION]; }

const unsigned char *bytesOf(const ABEntryRecord *record, AbField f) {
    return reinterpret_cast<const unsigned char *>(record) + f.offset;
}
unsigned char *bytesOf(ABEntryRecord *record, AbField f) {
    return reinterpret_cast<unsigned char *>(record) + f.offset;
}

// The parts of an ABPhone.
constexpr AbField phonePart(AbField phone, int part) {
    constexpr uint16_t kOffsets[] = {offsetof(ABPhone, prefix), offsetof(ABPhone, area),
                                     offsetof(ABPhone, number)};
    constexpr uint16_t kSizes[] = {sizeof(ABPhone::prefix), sizeof(ABPhone::area),
                                   sizeof(ABPhone::number)};
    return AbField{static_cast<uint16_t>(phone.offset + kOffsets[part]), kSizes[part]};
}

// The text of extension `e` of `record` in `out`; false when it is not
// written.
bool textOf(const ABEntryRecord *record, const Extension &e, char *out) {
    out[0] = '\0';
    const AbField first = e.parts[0];
    switch (e.form) {
    case Form::None:
        return false;
    case Form::Number: {
        uint32_t n = 0;
        std::memcpy(&n, bytesOf(record, first), sizeof n);
        std::snprintf(out, kAbValueSize, "%d", static_cast<int>(static_cast<int32_t>(n)));
        return true;
    }
    case Form::Relation: {
        uint16_t n = 0;
        std::memcpy(&n, bytesOf(record, first), sizeof n);
        std::snprintf(out, kAbValueSize, "%d", static_cast<int>(n));
        return n != 0;
    }
    case Form::Text:
        AB_EscapeAppend(out, abText(record, first));
        return out[0] != '\0';
    case Form::Date: {
        ABDate date = {};
        std::memcpy(&date, bytesOf(record, first), sizeof date);
        return abDateText(date, out);
    }
    case Form::Keywords:
        AB_EscapeAppend(out, abText(record, first));
        if (abText(record, e.parts[1])[0] != '\0') {
            abAppendSeparator(out);
            AB_EscapeAppend(out, abText(record, e.parts[1]));
        }
        return out[0] != '\0';
    case Form::Parts: {
        bool any = false;
        for (int i = 0; i < e.partCount; ++i) {
            if (i > 0) abAppendSeparator(out);
            any = any || abText(record, e.parts[i])[0] != '\0';
            AB_EscapeAppend(out, abText(record, e.parts[i]));
        }
        return any;
    }
    case Form::Phone: {
        bool any = false;
        for (int i = 0; i < 3; ++i) {
            const char *part = abText(record, phonePart(first, i));
            any = any || part[0] != '\0';
            AB_EscapeAppend(out, part);
            abAppendSeparator(out);
        }
        if (e.parts[1].size != 0) {
            any = any || abText(record, e.parts[1])[0] != '\0';
            AB_EscapeAppend(out, abText(record, e.parts[1]));
        }
        return any;
    }
    }
    return false;
}

// Stores the fields of a multi-part text into `fields` (a missing or empty
// part leaves its field alone). 0 or VCARD_ERR_NO_MEMORY.
int32_t storeParts(ABEntryRecord *record, VCardContext *context, char *text, const AbField *fields,
                   int count) {
    char **parts = nullptr;
    int32_t found = 0;
    if (const int32_t failed = VCARD_getFieldEntriesFromCopy(context, text, &parts, &found))
        return failed;
    for (int i = 0; i < count && i < found; ++i) {
        if (fields[i].size != 0 && parts[i][0] != '\0') abStore(record, fields[i], parts[i]);
    }
    std::free(static_cast<void *>(parts));
    return 0;
}

// Converts the text of extension `e` into `record`; *converted tells
// whether it did.
int32_t convert(ABEntryRecord *record, VCardContext *context, const Extension &e, char *text,
                bool *converted) {
    *converted = true;
    unsigned char *at = bytesOf(record, e.parts[0]);
    switch (e.form) {
    case Form::None:
        return 0;
    case Form::Number: {
        const auto n = static_cast<uint32_t>(std::atol(text));
        std::memcpy(at, &n, sizeof n);
        return 0;
    }
    case Form::Relation: {
        const auto n = static_cast<uint16_t>(std::atoi(text));
        std::memcpy(at, &n, sizeof n);
        return 0;
    }
    case Form::Text:
        abStore(record, e.parts[0], text);
        return 0;
    case Form::Date: {
        ABDate date = {};
        *converted = abParseDate(text, &date);
        if (*converted) std::memcpy(at, &date, sizeof date);
        return 0;
    }
    case Form::Keywords:
    case Form::Parts:
        return storeParts(record, context, text, e.parts, e.partCount);
    case Form::Phone: {
        const AbField fields[4] = {phonePart(e.parts[0], 0), phonePart(e.parts[0], 1),
                                   phonePart(e.parts[0], 2), e.parts[1]};
        return storeParts(record, context, text, fields, 4);
    }
    }
    return 0;
}

} // namespace

extern "C" VERSIT_API int32_t RegisterVCXProperties(VCardContext *context) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    // Registered once per context. The last name registered is the one
    // looked for, so that a registration cut short by a failure is
    // completed by the next call.
    const char *name = nullptr;
    if (VCARD_getTokenString(context, AB_X_PVAL_PERSONAL, &name) != VCARD_ERR_NOT_FOUND) return 0;
    for (int i = 0; i < kAbExtensionCount; ++i) {
        if (const int32_t failed =
                VCARD_registerToken(context, kExtensions[i].name, AB_X_VERSION + i))
            return failed;
    }
    for (const Parameter &p : kParameterWords) {
        if (const int32_t failed = VCARD_registerToken(context, p.name, p.code)) return failed;
    }
    return 0;
}

int32_t AB_AddExtensionProperties(const ABEntryRecord *record, VCardContext *context,
                                  vComponent *card, int32_t *count) {
    *count = 0;
    char value[kAbValueSize];
    for (int32_t code : kWriteOrder) {
        if (!textOf(record, extensionOf(code), value)) continue;
        const auto length = static_cast<int32_t>(std::strlen(value) + 1);
        if (const int32_t failed = VCARD_addProperty(context, card, code, value, length, nullptr))
            return failed;
        ++*count;
    }
    if (*count == 0) return 0;
    return VCARD_addProperty(context, card, AB_X_VERSION, "1", 2, nullptr);
}

int32_t AB_ReadExtensionProperties(ABEntryRecord *record, VCardContext *context, vComponent *card,
                                   int32_t *count, bool present[kAbPresenceCount]) {
    *count = 0;
    for (int i = 0; i < kAbPresenceCount; ++i)
        present[i] = false;
    char *values[5] = {};
    int32_t sizes[5] = {};
    int32_t found = 0;
    const int32_t version =
        VCARD_getPropertyValue(context, card, AB_X_VERSION, values, sizes, 1, &found);
    if (version == VCARD_ERR_NOT_FOUND) return 0;
    if (version != 0 && version != VCARD_MORE_ITEMS) return version;
    present[0] = true;
    for (int32_t code : kReadOrder) {
        const Extension &e = extensionOf(code);
        const int32_t size = e.form == Form::Phone ? 5 : 1;
        const int32_t result =
            VCARD_getPropertyValue(context, card, code, values, sizes, size, &found);
        if (result == VCARD_ERR_NOT_FOUND) continue;
        if (result != 0 && result != VCARD_MORE_ITEMS) return result;
        if (found == 0 || values[0] == nullptr || values[0][0] == '\0') continue;
        const size_t bytes = std::strlen(values[0]) + 1;
        char *text = static_cast<char *>(std::malloc(bytes));
        if (text == nullptr) return VCARD_ERR_NO_MEMORY;
        std::memcpy(text, values[0], bytes);
        bool converted = false;
        const int32_t failed = convert(record, context, e, text, &converted);
        std::free(text);
        if (failed != 0) return failed;
        if (converted) {
            present[code - AB_X_VERSION] = true;
            ++*count;
        }
    }
    return 0;
}
