// Internals of the address-book exchange shared by its files: the record's
// pinned layout, the text forms of its fields, the extension vocabulary and
// the per-card worker.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calapi32.h"
#include "versit_abx.h"

// The record is exchanged byte for byte with the client library.
static_assert(sizeof(ABDate) == 4 && sizeof(ABPhone) == 33 && sizeof(ABEntryId) == 10,
              "small records");
static_assert(offsetof(ABPhone, area) == 6 && offsetof(ABPhone, number) == 12, "ABPhone layout");
static_assert(offsetof(ABEntryId, number) == 2 && offsetof(ABEntryId, check) == 6,
              "ABEntryId layout");
static_assert(sizeof(ABEntryRecord) == 3129, "ABEntryRecord is 3129 bytes");
#define AB_AT(field, offset) static_assert(offsetof(ABEntryRecord, field) == (offset), #field)
AB_AT(owner, 10);
AB_AT(ownerExtension, 14);
AB_AT(clientField18, 16);
AB_AT(clientField20, 18);
AB_AT(security, 20);
AB_AT(flags, 24);
AB_AT(flags2, 28);
AB_AT(familyName, 32);
AB_AT(givenName, 73);
AB_AT(middleName, 106);
AB_AT(relation, 139);
AB_AT(salutation, 141);
AB_AT(birthday, 270);
AB_AT(reserved274, 274);
AB_AT(anniversary, 286);
AB_AT(reserved290, 290);
AB_AT(date1, 302);
AB_AT(reserved306, 306);
AB_AT(date1Info, 318);
AB_AT(date2, 447);
AB_AT(reserved451, 451);
AB_AT(date2Info, 463);
AB_AT(spouseName, 592);
AB_AT(personalNote, 657);
AB_AT(revisionTime, 661);
AB_AT(reserved665, 665);
AB_AT(timeZone, 680);
AB_AT(indexedKeyword1, 689);
AB_AT(indexedKeyword2, 722);
AB_AT(otherKeyword1, 755);
AB_AT(otherKeyword2, 788);
AB_AT(homeStreet, 821);
AB_AT(homeCity, 950);
AB_AT(homeCountry, 983);
AB_AT(homeRegion, 1016);
AB_AT(homePostalCode, 1049);
AB_AT(businessStreet, 1066);
AB_AT(businessCity, 1195);
AB_AT(businessCountry, 1228);
AB_AT(businessRegion, 1261);
AB_AT(businessPostalCode, 1294);
AB_AT(reserved1311, 1311);
AB_AT(title, 1315);
AB_AT(organization, 1348);
AB_AT(unit1, 1413);
AB_AT(unit2, 1446);
AB_AT(businessAssistant, 1479);
AB_AT(businessRefNo, 1544);
AB_AT(businessAccountNo, 1577);
AB_AT(businessBuyer, 1610);
AB_AT(industryType, 1643);
AB_AT(businessPhone, 1676);
AB_AT(businessPhoneExt, 1709);
AB_AT(businessPhone2, 1715);
AB_AT(businessPhone2Ext, 1748);
AB_AT(fax, 1754);
AB_AT(fax2, 1787);
AB_AT(homePhone, 1820);
AB_AT(homePhone2, 1853);
AB_AT(mobilePhone, 1886);
AB_AT(mobilePhone2, 1919);
AB_AT(pager, 1952);
AB_AT(assistantPhone, 1985);
AB_AT(assistantPhoneExt, 2018);
AB_AT(reserved2024, 2024);
AB_AT(generalNote, 2028);
AB_AT(reserved2032, 2032);
AB_AT(photo, 2036);
AB_AT(photoFormat, 2040);
AB_AT(web1, 2042);
AB_AT(web2, 2171);
AB_AT(x400Name1, 2300);
AB_AT(x400Name2, 2341);
AB_AT(x400Name3, 2358);
AB_AT(x400Name4, 2364);
AB_AT(x400Address1, 2368);
AB_AT(x400Address2, 2401);
AB_AT(x400Address3, 2434);
AB_AT(x400Address4, 2467);
AB_AT(x400Address5, 2500);
AB_AT(x400Address6, 2565);
AB_AT(x400Address7, 2569);
AB_AT(x400Address8, 2586);
AB_AT(email1, 2603);
AB_AT(email2, 2668);
AB_AT(msAddress, 2733);
AB_AT(macAddress, 2928);
AB_AT(emailKind, 3123);
AB_AT(reserved3125, 3125);
#undef AB_AT

// Every value is built in a buffer of this size; any record field fits in
// it escaped, multi-part values included.
constexpr size_t kAbValueSize = 1024;

// A text field of the record: its offset and size (NUL included).
struct AbField {
    uint16_t offset;
    uint16_t size;
};
#define AB_FIELD(name)                                                                             \
    AbField { offsetof(ABEntryRecord, name), sizeof(ABEntryRecord::name) }

inline char *abText(ABEntryRecord *record, AbField f) {
    return reinterpret_cast<char *>(record) + f.offset;
}
inline const char *abText(const ABEntryRecord *record, AbField f) {
    return reinterpret_cast<const char *>(record) + f.offset;
}

// ---- Text forms (abRecord.cpp) ----

// Appends `text` to the NUL-terminated text in `buffer` (kAbValueSize
// bytes), with a backslash before each TAB, ':', ';' and '\'.
void AB_EscapeAppend(char *buffer, const char *text);
// Appends one unescaped ";" to the text in `buffer` (kAbValueSize bytes).
void abAppendSeparator(char *buffer);
// Removes, in place, each backslash that stands before TAB, ':', ';' or
// '\' (the character after it stays); other backslashes stay. Returns text.
char *AB_Unescape(char *text);
// Appends at most `maximum` minus the field's length characters of `text`
// to `field` and terminates it; nothing for a missing field or text, a
// maximum of 0 or an empty text.
void AB_BoundedAppend(char *field, size_t maximum, const char *text);
// Unescapes `text` (in place) and appends it to the record field `f`, cut
// to the field's capacity.
void abStore(ABEntryRecord *record, AbField f, char *text);

// A date as DATE text in `out` (kAbValueSize bytes). False for an all-zero
// date or one the DATE form cannot write.
bool abDateText(const ABDate &date, char *out);
// A DATE text as a date; false when it does not parse.
bool abParseDate(const char *text, ABDate *date);
// The revision time of a REV text that parses as a date: midnight of that
// day in minutes since 1 January 1991. 0 when it does not parse or the day
// has no day number.
uint32_t abRevisionTime(const char *text);

// The TYPE value code the export writes for a photo format (0x3600, which
// has no name, outside 1 to 16), and the format the import stores for a
// TYPE value code.
int32_t abPhotoTypeCode(uint16_t format);
uint16_t abPhotoFormat(int32_t typeCode);

// ---- Extension properties (abExtension.cpp) ----

// Number of extension properties, and of presence flags.
constexpr int kAbExtensionCount = AB_X_EMAIL2 - AB_X_VERSION + 1;
constexpr int kAbPresenceCount = 40;

// Adds the extension properties of `record` to `card`; *count receives the
// number added. 0 or the first failing add's result.
int32_t AB_AddExtensionProperties(const ABEntryRecord *record, VCardContext *context,
                                  vComponent *card, int32_t *count);
// Fills `record` from the card's extension properties when it carries
// X-QVT-AB_Version; *count receives the number converted and present[code
// - AB_X_VERSION] is set for each present one. 0, or the first lookup
// failure other than VCARD_ERR_NOT_FOUND.
int32_t AB_ReadExtensionProperties(ABEntryRecord *record, VCardContext *context, vComponent *card,
                                   int32_t *count, bool present[kAbPresenceCount]);

// ---- One card to one entry (abFromCard.cpp) ----

// Imports the card at `*offset` of `text` (`length` bytes, NUL-terminated)
// and creates its entry through `client`; *offset receives the number of
// bytes read so far, *id the new entry's identifier (left zero when none
// was created).
int32_t AB_VCardToEntry(CalapiClient *client, const uint8_t *owner, const char *text,
                        int32_t length, ABEntryRecord *record, ABEntryId *id, VCardContext *context,
                        int32_t *offset);
