// Cards into the model: the tolerant reader's records of vCard 2.1, and
// the content lines of vCard 3.0 and 4.0. Both meet the same parameters
// (bare 2.1 words in older 3.0 writers too), so one classification serves.
#include <cstdlib>
#include <cstring>

#include "interop/charset/utf8.h"
#include "interop/convert/card.h"
#include "interop/convert/contentLine.h"
#include "versit_core.h"

namespace interop::convert {

using namespace std::string_view_literals;

namespace {

// Cards nested deeper are kept as text: each level is written whole into
// its parent, so the depth costs memory and time.
constexpr int kMaxDepth = 8;

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }

struct Pair {
    std::string_view name;
    std::string_view value;
};

// What the parameters of one property say, before the property is added.
struct Draft {
    Array<Pair> parameters;
    bool base64 = false;
    bool quotedPrintable = false;
    bool uri = false;
    bool typed = false; // a VALUE other than a URI was given
    std::string_view charset;
    std::string_view media;

    // Ready for the next property; the parameters' room is kept.
    void reset() {
        parameters.clear();
        base64 = quotedPrintable = uri = typed = false;
        // (Each cleared by itself: see Mapped::reset in the writer.)
        charset = {};
        media = {};
    }
};

bool isWord(std::string_view item, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words) {
        if (sameWord(item, w)) return true;
    }
    return false;
}

// One TYPE item, or one bare 2.1 word. Most are plain TYPE words (HOME,
// CELL ...): the few read here differ in length, which is looked at first.
bool classifyType(std::string_view item, Shape shape, Draft &d) {
    switch (item.size()) {
    case 1:
    case 6:
        if (isWord(item, {"B", "BASE64"})) {
            d.base64 = true;
            return true;
        }
        if (sameWord(item, "INLINE")) return true;
        break;
    case 3:
        if (isWord(item, {"URL", "URI"})) {
            d.uri = true;
            return true;
        }
        if (sameWord(item, "CID")) return d.parameters.emplace("VALUE"sv, item);
        break;
    case 4:
        if (isWord(item, {"7BIT", "8BIT"})) return true;
        break;
    case 10:
        if (sameWord(item, "CONTENT-ID")) return d.parameters.emplace("VALUE"sv, item);
        break;
    case 16:
        if (sameWord(item, "QUOTED-PRINTABLE")) {
            d.quotedPrintable = true;
            return true;
        }
        break;
    default:
        break;
    }
    if (shape == Shape::Media && d.media.empty() && mediaByLabel(item) != nullptr) {
        d.media = item;
        return true;
    }
    return d.parameters.emplace("TYPE"sv, item);
}

// One item of a named parameter. `name` without the carried prefix.
bool classify(std::string_view name, std::string_view item, Shape shape, Draft &d) {
    if (name.empty() || sameWord(name, "TYPE")) return classifyType(item, shape, d);
    if (sameWord(name, "ENCODING")) {
        if (isWord(item, {"B", "BASE64"})) d.base64 = true;
        if (sameWord(item, "QUOTED-PRINTABLE")) d.quotedPrintable = true;
        return true;
    }
    if (sameWord(name, "CHARSET")) {
        d.charset = item;
        return true;
    }
    if (sameWord(name, "VALUE")) {
        if (isWord(item, {"URL", "URI"})) {
            d.uri = true;
            return true;
        }
        if (isWord(item, {"INLINE", "BINARY"})) return true;
        d.typed = true;
        return d.parameters.emplace("VALUE"sv, item);
    }
    if (sameWord(name, "MEDIATYPE")) {
        d.media = item;
        return true;
    }
    return d.parameters.emplace(name, item);
}

std::string_view withoutCarried(std::string_view name, bool property) {
    if (name.size() <= kCarried.size() || !sameWord(name.substr(0, kCarried.size()), kCarried))
        return name;
    const std::string_view rest = name.substr(kCarried.size());
    if (!property || findProperty(rest) != nullptr) return rest;
    return name;
}

// `info`: findProperty(name), which the caller has looked up already.
bool startProperty(Card &card, uint64_t line, std::string_view group, std::string_view name,
                   const PropertyInfo *info, Form form, const Draft &d) {
    if (!card.beginProperty(line, group, name, info, form)) return false;
    for (size_t i = 0; i < d.parameters.size(); ++i) {
        if (!card.addParameter(d.parameters[i].name, d.parameters[i].value)) return false;
    }
    return d.media.empty() || card.setMedia(d.media);
}

bool addSingle(Card &card, std::string_view text) {
    return card.beginField() && card.addItem(text);
}

// "data:image/png;base64,...": the media type and the decoded bytes.
// False (with *isData false) for any other URI.
bool fromDataUri(std::string_view uri, Card &card, bool *isData) {
    *isData = false;
    if (uri.size() < 5 || !sameWord(uri.substr(0, 5), "data:")) return true;
    const size_t comma = uri.find(',');
    if (comma == std::string_view::npos) return true;
    std::string_view head = uri.substr(5, comma - 5);
    constexpr std::string_view kBase64 = ";base64";
    if (head.size() < kBase64.size() ||
        !sameWord(head.substr(head.size() - kBase64.size()), kBase64))
        return true;
    head.remove_suffix(kBase64.size());
    const size_t semicolon = head.find(';');
    if (semicolon != std::string_view::npos) head = head.substr(0, semicolon);
    vcal::TextBuffer data;
    if (!put(data, uri.substr(comma + 1))) return false;
    int32_t size = 0;
    char *bytes = nullptr;
    if (VLIB_convertFromBase64(data.text, &size, &bytes) == VLIB_ERR_NO_MEMORY) return false;
    const bool ok =
        card.setMedia(head) && addSingle(card, std::string_view(bytes, static_cast<size_t>(size)));
    std::free(bytes);
    card.current().form = Form::Binary;
    *isData = true;
    return ok;
}

// One escaped field: its items unescaped.
bool addEscapedField(Card &card, std::string_view field) {
    if (!card.beginField()) return false;
    bool ok = true;
    forEachEscapedPiece(field, ',', [&](std::string_view item) {
        card.startItem();
        ok = appendUnescaped(card.itemText(), item) && card.endItem();
        return ok;
    });
    return ok;
}

// Splits an escaped structured value into fields of items.
bool addStructured(Card &card, std::string_view escaped) {
    bool ok = true;
    forEachEscapedPiece(escaped, ';', [&](std::string_view field) {
        ok = addEscapedField(card, field);
        return ok;
    });
    return ok;
}

bool addUnescaped(Card &card, std::string_view escaped) {
    if (!card.beginField()) return false;
    card.startItem();
    return appendUnescaped(card.itemText(), escaped) && card.endItem();
}

// A nested card (AGENT) written in the target's form into the card.
bool addNested(Card &card, std::string_view text, CardConversion &c) {
    vcal::TextBuffer out;
    if (!convertNestedCard(text, c, out)) return false;
    return addSingle(card, std::string_view(out.text == nullptr ? "" : out.text, out.length));
}

// A text that holds a whole card, BEGIN to END.
bool holdsCard(std::string_view text) {
    while (!text.empty() && (text[0] == '\r' || text[0] == '\n' || text[0] == ' '))
        text.remove_prefix(1);
    if (text.size() < 11 || !sameWord(text.substr(0, 11), "BEGIN:VCARD")) return false;
    constexpr std::string_view kEnd = "END:VCARD";
    for (size_t i = 11; i + kEnd.size() <= text.size(); ++i) {
        if (sameWord(text.substr(i, kEnd.size()), kEnd)) return true;
    }
    return false;
}

// ---- vCard 2.1 records ----

std::string_view valueOf(const vValue *v) {
    if (v->data == nullptr) return {};
    if (v->encoding == VLIB_ENCODING_BASE64 && v->dataSize >= 0)
        return {v->data, static_cast<size_t>(v->dataSize)};
    return v->data;
}

// The records keep lists newest first: gathered, then walked backwards.
template <class T> bool gather(T *first, Array<T *> &out) {
    out.clear();
    for (T *p = first; p != nullptr; p = p->next) {
        if (!out.push(p)) return false;
    }
    return true;
}

// A 2.1 value of several fields, ';' escaped as "\;" inside a field: a ';'
// after a backslash stays in its field, without the backslash.
bool add21Structured(Card &card, std::string_view text) {
    if (!card.beginField()) return false;
    card.startItem();
    size_t from = 0; // of the field's text not yet copied
    for (size_t at = text.find(';');; at = text.find(';', at + 1)) {
        if (at == std::string_view::npos)
            return put(card.itemText(), text.substr(from)) && card.endItem();
        const bool escaped = at > 0 && text[at - 1] == '\\';
        if (!put(card.itemText(), text.substr(from, at - from - (escaped ? 1 : 0)))) return false;
        from = escaped ? at : at + 1;
        if (escaped) continue;
        if (!card.endItem() || !card.beginField()) return false;
        card.startItem();
    }
}

bool addSplit(Card &card, std::string_view text, char separator) {
    if (!card.beginField()) return false;
    for (;;) {
        const size_t at = text.find(separator);
        if (!card.addItem(text.substr(0, at))) return false;
        if (at == std::string_view::npos) return true;
        text.remove_prefix(at + 1);
    }
}

bool addGeo(Card &card, std::string_view text, std::string_view separators) {
    const size_t at = text.find_first_of(separators);
    if (at == std::string_view::npos || text.find_first_of(separators, at + 1) != text.npos)
        return false;
    card.current().form = Form::Structured;
    return card.beginField() && card.addItem(text.substr(0, at)) && card.beginField() &&
           card.addItem(text.substr(at + 1));
}

// A value with 8-bit bytes in UTF-8: as declared, else UTF-8,
// else Windows-1252. *owned (to free) holds the converted text.
bool decodeText(std::string_view &value, std::string_view charset, char **owned, Reporter &report,
                uint64_t line) {
    *owned = nullptr;
    bool eightBit = false;
    for (char ch : value)
        eightBit = eightBit || (static_cast<unsigned char>(ch) & 0x80) != 0;
    if (!eightBit) return true;
    char label[64] = {};
    if (!charset.empty() && charset.size() < sizeof label)
        std::memcpy(label, charset.data(), charset.size());
    size_t length = 0;
    bool unknown = false;
    const Decoding d = decodeToUtf8(label, value.data(), value.size(), owned, &length, &unknown);
    if (d == Decoding::NoMemory) return false;
    if (d == Decoding::Guessed)
        report(line, VI_REPORT_REPAIRED, "read a value that is not UTF-8 as Windows-1252");
    if (d == Decoding::Replaced)
        report(line, VI_REPORT_LOST, "bytes invalid in charset %s were replaced", label);
    if (*owned != nullptr) value = std::string_view(*owned, length);
    return true;
}

struct Owned {
    char *text = nullptr;
    Owned() = default;
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned() { std::free(text); }
};

} // namespace

bool cardFromRecord(const vComponent *record, RecordLines &lines, uint64_t beginLine, Card &card,
                    CardConversion &c) {
    card.line = beginLine;
    Array<vProperty *> properties;
    Array<vComponent *> nested;
    if (!gather(record->propertyList, properties) || !gather(record->subComponent, nested))
        return false;
    size_t nextNested = nested.size(); // nested cards, like properties, newest first
    uint64_t line = beginLine;
    Array<vParameter *> parameters;
    Draft d;
    for (size_t k = properties.size(); k-- > 0;) {
        const vProperty *p = properties[k];
        std::string_view fullName = p->name != nullptr ? p->name : "";
        const size_t dot = fullName.rfind('.');
        const std::string_view group =
            dot == std::string_view::npos ? std::string_view() : fullName.substr(0, dot);
        std::string_view name = fullName.substr(dot == std::string_view::npos ? 0 : dot + 1);
        line = lines.property(name, line);
        name = withoutCarried(name, true);
        const PropertyInfo *info = findProperty(name);
        const Shape shape = info != nullptr ? info->shape : Shape::Text;
        d.reset();
        if (!gather(p->parameterList, parameters)) return false;
        for (size_t i = parameters.size(); i-- > 0;) {
            const vParameter *q = parameters[i];
            const std::string_view qName = withoutCarried(q->name != nullptr ? q->name : "", false);
            for (const vValue *v = q->valueList; v != nullptr; v = v->next) {
                bool ok = true;
                const std::string_view value = valueOf(v);
                if (qName.empty() || sameWord(qName, "TYPE"))
                    forEachParameterItem(value, [&](std::string_view item) {
                        ok = classify(qName, item, shape, d);
                        return ok;
                    });
                else
                    ok = classify(qName, value, shape, d);
                if (!ok) return false;
            }
        }
        if (sameWord(name, "VERSION")) continue;
        bool base64 = false;
        std::string_view value;
        for (const vValue *v = p->valueList; v != nullptr; v = v->next) {
            base64 = base64 || v->encoding == VLIB_ENCODING_BASE64;
            if (value.empty()) value = valueOf(v);
        }
        // Some writers send text in BASE64 (N;ENCODING=BASE64;CHARSET=GBK):
        // the bytes are text in the declared charset.
        Owned text;
        if (base64 && info != nullptr && shape != Shape::Media) {
            base64 = false;
            if (!decodeText(value, d.charset, &text.text, c.report, line)) return false;
        }
        if (sameWord(name, "AGENT") && value.empty() && nextNested > 0 && c.depth < kMaxDepth) {
            const vComponent *inner = nested[--nextNested];
            if (!startProperty(card, line, group, name, info, Form::Card, d)) return false;
            Card innerCard;
            CardConversion innerC{c.from, c.to == VI_FORMAT_JCARD ? VI_FORMAT_VCARD40 : c.to,
                                  c.report, c.depth + 1};
            vcal::TextBuffer out;
            const bool read = cardFromRecord(inner, lines, lines.begin(line), innerCard, innerC);
            lines.end();
            if (!read || !writeCard(innerCard, innerC, out) ||
                !addSingle(card, std::string_view(out.text == nullptr ? "" : out.text, out.length)))
                return false;
            continue;
        }
        Form form = base64 ? Form::Binary : d.uri ? Form::Uri : Form::Text;
        if (form == Form::Text && (shape == Shape::Uri)) form = Form::Uri;
        if (!startProperty(card, line, group, name, info, form, d)) return false;
        if (form != Form::Text) {
            if (!addSingle(card, value)) return false;
            continue;
        }
        bool ok = true;
        switch (shape) {
        case Shape::Structured:
            card.current().form = Form::Structured;
            ok = add21Structured(card, value);
            break;
        case Shape::List:
            card.current().form = Form::List;
            ok = addSplit(card, value, ',');
            break;
        case Shape::Geo:
            if (addGeo(card, value, ",;")) break;
            ok = card.current().form == Form::Text && addSingle(card, value);
            break;
        default:
            ok = addSingle(card, value);
            break;
        }
        if (!ok) return false;
    }
    return true;
}

namespace {

bool addLine(const ContentLine &l, Card &card, CardConversion &c, int32_t from) {
    std::string_view name = withoutCarried(l.name, true);
    const PropertyInfo *info = findProperty(name);
    const Shape shape = info != nullptr ? info->shape : Shape::Text;
    Draft d;
    bool agent = false;
    for (size_t i = 0; i < l.parameters.size(); ++i) {
        const std::string_view qName = withoutCarried(l.parameters[i].name, false);
        bool ok = true;
        forEachParameterItem(l.parameters[i].value, [&](std::string_view item) {
            if (sameWord(name, "RELATED") && sameWord(qName, "TYPE") && sameWord(item, "agent")) {
                agent = true;
                return true;
            }
            ok = classify(qName, item, shape, d);
            return ok;
        });
        if (!ok) return false;
    }
    std::string_view value = l.value;
    Owned decoded;
    vcal::TextBuffer scratch;
    if (d.quotedPrintable) {
        if (!put(scratch, value)) return false;
        if (VLIB_convertFromQuotedPrintable(scratch.text, &decoded.text) != 0) return false;
        value = decoded.text;
    }
    Owned converted;
    if (!d.base64 && !decodeText(value, d.charset, &converted.text, c.report, l.number))
        return false;
    if (d.base64) {
        scratch.length = 0;
        if (!put(scratch, value)) return false;
        int32_t size = 0;
        Owned bytes;
        if (VLIB_convertFromBase64(scratch.text, &size, &bytes.text) == VLIB_ERR_NO_MEMORY)
            return false;
        return startProperty(card, l.number, l.group, name, info, Form::Binary, d) &&
               addSingle(card, std::string_view(bytes.text, static_cast<size_t>(size)));
    }
    const bool uriShaped =
        shape == Shape::Uri || (shape == Shape::Media && from == VI_FORMAT_VCARD40);
    if (d.uri || (uriShaped && !d.typed && !agent)) {
        if (agent) name = "AGENT";
        if (!startProperty(card, l.number, l.group, name, agent ? findProperty(name) : info,
                           Form::Uri, d))
            return false;
        bool isData = false;
        if (!fromDataUri(value, card, &isData)) return false;
        if (isData) return true;
        // Some 3.0 writers escape URIs ("http\://"); a URI holds no
        // backslash of its own.
        return from == VI_FORMAT_VCARD30 ? addUnescaped(card, value) : addSingle(card, value);
    }
    if (agent || sameWord(name, "AGENT")) {
        vcal::TextBuffer text;
        if (!appendUnescaped(text, value)) return false;
        const std::string_view inner(text.text == nullptr ? "" : text.text, text.length);
        if (!startProperty(card, l.number, l.group, "AGENT", findProperty("AGENT"),
                           holdsCard(inner) && c.depth < kMaxDepth ? Form::Card : Form::Text, d))
            return false;
        if (card.current().form == Form::Text) return addSingle(card, inner);
        CardConversion innerC{from, c.to == VI_FORMAT_JCARD ? VI_FORMAT_VCARD40 : c.to, c.report,
                              c.depth + 1};
        return addNested(card, inner, innerC);
    }
    switch (shape) {
    case Shape::Structured:
        return startProperty(card, l.number, l.group, name, info, Form::Structured, d) &&
               addStructured(card, value);
    case Shape::List:
        return startProperty(card, l.number, l.group, name, info, Form::List, d) &&
               addEscapedField(card, value);
    case Shape::Geo: {
        if (!startProperty(card, l.number, l.group, name, info, Form::Text, d)) return false;
        std::string_view geo = value;
        const bool uri = geo.size() > 4 && sameWord(geo.substr(0, 4), "geo:");
        if (uri) {
            geo.remove_prefix(4);
            geo = geo.substr(0, geo.find(';'));
        }
        if (addGeo(card, geo, uri ? "," : ";")) return true;
        // Not two coordinates: kept as text (unless memory ran out).
        return card.current().form == Form::Text && addUnescaped(card, value);
    }
    default:
        return startProperty(card, l.number, l.group, name, info, Form::Text, d) &&
               addUnescaped(card, value);
    }
}

} // namespace

bool cardFromLines(ContentReader &reader, uint64_t beginLine, Card &card, CardConversion &c,
                   bool *ended, uint64_t *nextBegin) {
    card.line = beginLine;
    *ended = false;
    *nextBegin = 0;
    ContentLine l;
    const int32_t from = c.from;
    for (;;) {
        switch (reader.next(l)) {
        case ContentReader::Step::End:
            return true;
        case ContentReader::Step::NoMemory:
            return false;
        case ContentReader::Step::Malformed:
            c.report(l.number, VI_REPORT_LOST, "left out a line that is no property");
            continue;
        case ContentReader::Step::Line:
            break;
        }
        if (sameWord(l.name, "END")) {
            *ended = true;
            return true;
        }
        if (sameWord(l.name, "BEGIN") && sameWord(l.value, "VCARD")) {
            *nextBegin = l.number;
            return true;
        }
        if (sameWord(l.name, "VERSION")) continue;
        if (!addLine(l, card, c, from)) return false;
    }
}

} // namespace interop::convert
