#include "interop/charset/cardValues.h"

#include <cstdlib>
#include <cstring>

#include "interop/cardTree.h"
#include "interop/charset/utf8.h"
#include "interop/recover/lines.h"
#include "versit/vMemory.h"

namespace interop {
namespace {

vParameter *charsetParameter(vProperty *property) {
    for (vParameter *p = property->parameterList; p != nullptr; p = p->next) {
        if (p->name != nullptr && sameWord(p->name, "CHARSET")) return p;
    }
    return nullptr;
}

size_t textLength(const vValue *value) {
    if (value->data == nullptr) return 0;
    if (value->dataSize > 0) return static_cast<size_t>(value->dataSize) - 1;
    return std::strlen(value->data);
}

// CHARSET=UTF-8 on the property: the parameter's value replaced, or a new
// parameter.
bool labelUtf8(vProperty *property, vParameter *charset) {
    vValue *utf8 = VLIB_new_vValue(VLIB_DATATYPE_UNRESOLVED, "UTF-8", -1, nullptr);
    if (utf8 == nullptr) return false;
    if (charset != nullptr) {
        VLIB_destroy_vValue(&charset->valueList);
        charset->valueList = utf8;
        return true;
    }
    vParameter *added = VLIB_new_vParameter(VLIB_PARAMETER_NAMED, "CHARSET", utf8, nullptr);
    if (added == nullptr) {
        VLIB_destroy_vValue(&utf8);
        return false;
    }
    VLIB_add_vProperty_parameter(property, added);
    return true;
}

bool decodeProperty(vProperty *property, Reporter &report, uint64_t line) {
    bool any = false;
    for (const vValue *v = property->valueList; v != nullptr && !any; v = v->next)
        any = v->encoding != VLIB_ENCODING_BASE64 && hasEightBitBytes(v->data, textLength(v));
    if (!any) return true;
    vParameter *charset = charsetParameter(property);
    const char *declared =
        charset != nullptr && charset->valueList != nullptr ? charset->valueList->data : nullptr;
    bool eightBit = false;
    bool unknownReported = false;
    for (vValue *v = property->valueList; v != nullptr; v = v->next) {
        if (v->encoding == VLIB_ENCODING_BASE64) continue;
        const size_t length = textLength(v);
        if (!hasEightBitBytes(v->data, length)) continue;
        eightBit = true;
        char *out = nullptr;
        size_t outLength = 0;
        bool unknown = false;
        const Decoding d = decodeToUtf8(declared, v->data, length, &out, &outLength, &unknown);
        if (d == Decoding::NoMemory) return false;
        if (unknown && !unknownReported) {
            report(line, VI_REPORT_REPAIRED, "unknown charset \"%s\" read as %s (%s)", declared,
                   d == Decoding::Guessed ? "Windows-1252" : "UTF-8", property->name);
            unknownReported = true;
        } else if (d == Decoding::Guessed && declared != nullptr && declared[0] != '\0') {
            // Only a charset that names UTF-8 gets here: the writer said
            // UTF-8 and wrote something else.
            report(line, VI_REPORT_REPAIRED,
                   "8-bit text declared %s that is not UTF-8 read as Windows-1252 (%s)", declared,
                   property->name);
        } else if (d == Decoding::Guessed) {
            report(line, VI_REPORT_REPAIRED,
                   "8-bit text that is not UTF-8 and names no charset read as Windows-1252 (%s)",
                   property->name);
        } else if (d == Decoding::Replaced) {
            report(line, VI_REPORT_LOST, "bytes that are not %s replaced by U+FFFD (%s)", declared,
                   property->name);
        }
        if (out != nullptr) {
            vmem::release(v->data); // the record may lie in the reader's arena
            v->data = out;
            v->dataSize = static_cast<int32_t>(outLength + 1);
        }
    }
    if (!eightBit) return true;
    if (charset != nullptr && declared != nullptr && std::strcmp(declared, "UTF-8") == 0)
        return true;
    return labelUtf8(property, charset);
}

} // namespace

bool decodeCardValues(vComponent *card, Reporter &report, uint64_t line) {
    return forEachProperty(card, [&](vProperty *p) { return decodeProperty(p, report, line); });
}

} // namespace interop
