// The text forms of the entry record's fields: escaping, bounded copies,
// dates, the revision time and the photo formats.
#include <cstring>

#include "abexchange/abInternal.h"
#include "date/kldate.h"

namespace {

bool escaped(char c) { return c == '\t' || c == ':' || c == ';' || c == '\\'; }

// Photo formats 1 to 16 as the export names them.
constexpr int32_t kPhotoTypes[] = {
    VCARD_PVAL_GIF,  VCARD_PVAL_DIB,   VCARD_PVAL_CGM, VCARD_PVAL_WMF,
    VCARD_PVAL_BMP,  VCARD_PVAL_MET,   VCARD_PVAL_PMB, VCARD_PVAL_PICT,
    VCARD_PVAL_TIFF, VCARD_PVAL_PDF,   VCARD_PVAL_PS,  VCARD_PVAL_JPEG,
    VCARD_PVAL_MPEG, VCARD_PVAL_MPEG2, VCARD_PVAL_AVI, VCARD_PVAL_QTIME,
};

// What the import stores for each TYPE (any other, or none, is GIF). It is
// not the inverse of the export's table: BMP and PMB trade places, so a
// photo stored as one comes back as the other.
struct PhotoFormat {
    int32_t type;
    uint16_t format;
};
constexpr PhotoFormat kPhotoFormats[] = {
    {VCARD_PVAL_CGM, AB_PHOTO_CGM},   {VCARD_PVAL_WMF, AB_PHOTO_WMF},
    {VCARD_PVAL_BMP, AB_PHOTO_PMB},   {VCARD_PVAL_MET, AB_PHOTO_MET},
    {VCARD_PVAL_PMB, AB_PHOTO_BMP},   {VCARD_PVAL_DIB, AB_PHOTO_DIB},
    {VCARD_PVAL_PICT, AB_PHOTO_PICT}, {VCARD_PVAL_TIFF, AB_PHOTO_TIFF},
    {VCARD_PVAL_PDF, AB_PHOTO_PDF},   {VCARD_PVAL_PS, AB_PHOTO_PS},
    {VCARD_PVAL_JPEG, AB_PHOTO_JPEG}, {VCARD_PVAL_QTIME, AB_PHOTO_QTIME},
    {VCARD_PVAL_MPEG, AB_PHOTO_MPEG}, {VCARD_PVAL_MPEG2, AB_PHOTO_MPEG2},
    {VCARD_PVAL_AVI, AB_PHOTO_AVI},
};

} // namespace

void AB_EscapeAppend(char *buffer, const char *text) {
    size_t at = std::strlen(buffer);
    // Room for a backslash, the character and the NUL.
    for (; *text != '\0' && at + 2 < kAbValueSize; ++text) {
        if (escaped(*text)) buffer[at++] = '\\';
        buffer[at++] = *text;
    }
    buffer[at] = '\0';
}

void abAppendSeparator(char *buffer) {
    const size_t at = std::strlen(buffer);
    if (at + 1 < kAbValueSize) {
        buffer[at] = ';';
        buffer[at + 1] = '\0';
    }
}

char *AB_Unescape(char *text) {
    char *to = text;
    for (const char *from = text; *from != '\0'; ++from) {
        if (*from == '\\' && escaped(from[1])) ++from;
        *to++ = *from;
    }
    *to = '\0';
    return text;
}

void AB_BoundedAppend(char *field, size_t maximum, const char *text) {
    if (field == nullptr || text == nullptr || maximum == 0 || *text == '\0') return;
    size_t at = std::strlen(field);
    for (; at < maximum && *text != '\0'; ++at, ++text)
        field[at] = *text;
    field[at] = '\0';
}

void abStore(ABEntryRecord *record, AbField f, char *text) {
    AB_BoundedAppend(abText(record, f), f.size - 1u, AB_Unescape(text));
}

bool abDateText(const ABDate &date, char *out) {
    out[0] = '\0';
    if (date.day == 0 && date.month == 0 && date.year == 0) return false;
    const vDate value = {date.year, date.month + 1, date.day};
    return VLIB_generateAsDate(out, static_cast<int32_t>(kAbValueSize), &value) == 0 &&
           out[0] != '\0';
}

bool abParseDate(const char *text, ABDate *date) {
    vDate value = {};
    if (VLIB_parseAsDate(text, &value) != 0) return false;
    date->day = static_cast<uint8_t>(value.day);
    date->month = static_cast<uint8_t>(value.month - 1);
    date->year = static_cast<uint16_t>(value.year);
    return true;
}

uint32_t abRevisionTime(const char *text) {
    vDate value = {};
    if (VLIB_parseAsDate(text, &value) != 0) return 0;
    KL_DATE day = {};
    uint16_t number = 0;
    if (KL_DateSet(&day, static_cast<uint32_t>(value.day), static_cast<uint32_t>(value.month - 1),
                   static_cast<uint32_t>(value.year)) != 0 ||
        KL_DateGetDayId(&day, &number) != 0)
        return 0;
    return (static_cast<uint32_t>(number) - 1u) * 1440u;
}

int32_t abPhotoTypeCode(uint16_t format) {
    return format >= 1 && format <= 16 ? kPhotoTypes[format - 1] : VCARD_PVAL_NONE;
}

uint16_t abPhotoFormat(int32_t typeCode) {
    for (const PhotoFormat &p : kPhotoFormats) {
        if (p.type == typeCode) return p.format;
    }
    return AB_PHOTO_GIF;
}
