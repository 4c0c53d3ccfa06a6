// The tolerant reader as clients hold it: the front end that finds and
// repairs each card, the strict import, and the values into UTF-8.
#include <cstdlib>
#include <cstring>
#include <new>

#include "interop/api/reader.h"
#include "interop/charset/cardValues.h"
#include "interop/charset/utf8.h"
#include "platform/charset.h"
#include "vcard/vcInternal.h"
#include "versit_interop.h"

namespace {

// UTF-16 text (known by its byte-order mark) in UTF-8: *out is null when
// the text is not UTF-16 or the system cannot convert it.
bool fromUtf16(const char *text, size_t length, char **out, size_t *outLength) {
    *out = nullptr;
    if (length < 2) return true;
    const auto b0 = static_cast<unsigned char>(text[0]);
    const auto b1 = static_cast<unsigned char>(text[1]);
    const char *charset = b0 == 0xFF && b1 == 0xFE   ? "UTF-16LE"
                          : b0 == 0xFE && b1 == 0xFF ? "UTF-16BE"
                                                     : nullptr;
    if (charset == nullptr) return true;
    return charset::toUtf8(charset, text + 2, length - 2, out, outLength) !=
           charset::Outcome::NoMemory;
}

bool lostValue(int32_t result) {
    return result == VLIB_ERR_BAD_QUOTED_PRINTABLE || result == VLIB_ERR_BAD_BASE64_VALUE;
}

} // namespace

namespace interop {

int32_t readCard(VI_TolerantReader &r, VCardContext *context, vComponent **card, CardPlace *place,
                 vcard::Verify verify) {
    for (;;) {
        const CardScanner::Mark mark = r.scanner.mark();
        r.report.startItem();
        CardText text;
        switch (r.scanner.next(context, r.report, text)) {
        case CardScanner::Step::End:
            r.counts.junkLines = r.scanner.junkLines();
            return VCARD_ERR_NO_CARD;
        case CardScanner::Step::NoMemory:
            return VLIB_ERR_NO_MEMORY;
        case CardScanner::Step::Card:
            break;
        }
        const char *rest = nullptr;
        int32_t left = 0;
        // The exact import, told where the lines the scan went through end.
        const vparse::KnownBreaks breaks{text.text, text.breaks, text.breakCount, text.joins,
                                         text.joinCount};
        const int32_t result = vcard::importObject(
            context, card, text.text, static_cast<int32_t>(text.importLength), &rest, &left,
            text.breaks != nullptr || text.joinCount > 0 ? &breaks : nullptr, verify);
        if (*card == nullptr) {
            if (result == VLIB_ERR_NO_MEMORY) {
                r.scanner.reset(mark);
                return VLIB_ERR_NO_MEMORY;
            }
            const char *name = VI_resultName(result);
            r.report(text.firstLine, VI_REPORT_SKIPPED, "left out a card that cannot be read: %s",
                     name != nullptr ? name : "unknown failure");
            ++r.counts.skipped;
            continue;
        }
        if (result == VLIB_ERR_NO_MEMORY || result == VCARD_ERR_NO_MEMORY) {
            // A card read only in part: read it again once memory is there.
            VCARD_destroyCard(context, card);
            r.scanner.reset(mark);
            return VLIB_ERR_NO_MEMORY;
        }
        if (lostValue(result))
            r.report(text.firstLine, VI_REPORT_LOST,
                     "a value of the card could not be decoded and was dropped (%s)",
                     VI_resultName(result));
        // Values are decoded to UTF-8 only where one can hold 8-bit text:
        // most cards are ASCII throughout.
        if (text.eightBit && !decodeCardValues(*card, r.report, text.firstLine)) {
            VCARD_destroyCard(context, card);
            r.scanner.reset(mark);
            return VLIB_ERR_NO_MEMORY;
        }
        if (place != nullptr) *place = {text.firstLine, text.at};
        ++r.counts.read;
        if (r.report.repaired()) ++r.counts.repaired;
        if (r.report.lossy()) ++r.counts.lossy;
        r.counts.junkLines = r.scanner.junkLines();
        return 0;
    }
}

} // namespace interop

extern "C" {

VERSIT_INTEROP_API int32_t VI_tolerantReaderCreate(VI_TolerantReader **reader, const char *text,
                                                   size_t length, VI_ReportFn report, void *user) {
    if (reader == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *reader = nullptr;
    if (text == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    char *converted = nullptr;
    size_t convertedLength = 0;
    if (!fromUtf16(text, length, &converted, &convertedLength)) return VLIB_ERR_NO_MEMORY;
    void *memory = std::malloc(sizeof(VI_TolerantReader));
    if (memory == nullptr) {
        std::free(converted);
        return VLIB_ERR_NO_MEMORY;
    }
    if (converted != nullptr) {
        text = converted;
        length = convertedLength;
    }
    *reader = new (memory) VI_TolerantReader(text, length, report, user, converted);
    if (converted != nullptr) (*reader)->report(1, VI_REPORT_NOTE, "read UTF-16 text as UTF-8");
    return 0;
}

VERSIT_INTEROP_API int32_t VI_readCardTolerantly(VI_TolerantReader *reader, VCardContext *context,
                                                 vComponent **card) {
    if (card != nullptr) *card = nullptr;
    if (reader == nullptr || context == nullptr || card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    return interop::readCard(*reader, context, card, nullptr, vcard::Verify::Everything);
}

VERSIT_INTEROP_API void VI_tolerantReaderCounts(const VI_TolerantReader *reader,
                                                VI_ReadCounts *counts) {
    if (reader == nullptr || counts == nullptr) return;
    *counts = reader->counts;
}

VERSIT_INTEROP_API void VI_tolerantReaderDestroy(VI_TolerantReader **reader) {
    if (reader == nullptr || *reader == nullptr) return;
    (*reader)->~VI_TolerantReader();
    std::free(*reader);
    *reader = nullptr;
}

} // extern "C"
