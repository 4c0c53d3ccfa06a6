// The model written as vCard 2.1, 3.0, 4.0 or jCard. Each property is
// first mapped to what the target holds (its name there, its parameters,
// its value's form and type), then rendered: one mapping for 4.0 and
// jCard, as RFC 7095 makes jCard a rendering of 4.0.
#include <algorithm>
#include <cstdlib>

#include "interop/convert/card.h"
#include "interop/convert/contentLine.h"
#include "interop/convert/json.h"
#include "platform/ascii.h"
#include "versit/encoding.h"
#include "versit_core.h"

namespace interop::convert {

using namespace std::string_view_literals;

namespace {

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }

bool isNameChar(char ch) { return ascii::isLetter(ch) || ascii::isDigit(ch) || ch == '-'; }

std::string_view viewOf(const vcal::TextBuffer &b) {
    return b.text == nullptr ? std::string_view() : std::string_view(b.text, b.length);
}

bool isV21(int32_t to) { return to == VI_FORMAT_VCARD21; }
bool isV40(int32_t to) { return to == VI_FORMAT_VCARD40 || to == VI_FORMAT_JCARD; }

uint8_t versionBit(int32_t to) {
    return isV21(to) ? kIn21 : to == VI_FORMAT_VCARD30 ? kIn30 : kIn40;
}

// Appends `bytes` in BASE64, encoded where they go.
bool appendBase64(vcal::TextBuffer &out, std::string_view bytes) {
    const size_t n = venc::base64EncodedLength(bytes.size());
    if (!out.reserve(n)) return false;
    venc::base64Encode(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(),
                       out.end());
    out.close(out.end() + n);
    return true;
}

// What a parameter value's bytes ask of its writing: quotes around it
// (a delimiter in it), or its own quotes replaced.
enum : uint8_t { kNeedsQuotes = 1, kHasQuote = 2 };
struct ParameterBytes {
    uint8_t marks[256];
};
constexpr ParameterBytes parameterBytes() {
    ParameterBytes t{};
    for (const unsigned char c : {':', ';', ','})
        t.marks[c] = kNeedsQuotes;
    t.marks[static_cast<unsigned char>('"')] = kHasQuote;
    return t;
}
constexpr ParameterBytes kParameterBytes = parameterBytes();

struct OutParameter {
    std::string_view name;
    std::string_view value;
    bool carried = false; // written with the carried prefix
    bool named = false;   // 2.1: TYPE=value, not a bare word (a media format)
    bool invalid = false; // a name no version allows: written as an X- name
};

// A parameter at the end of `list`, made where it goes (Array::emplace).
bool addParameter(Array<OutParameter> &list, std::string_view name, std::string_view value,
                  bool carried = false, bool named = false, bool invalid = false) {
    return list.emplace(name, value, carried, named, invalid);
}

// Appends `text` with each character `keep` refuses replaced by `with`, in
// runs: most texts need no change and go in one piece. *changed (may be
// null) tells whether one was replaced.
template <class Keep>
bool appendKept(vcal::TextBuffer &out, std::string_view text, Keep keep, char with,
                bool *changed = nullptr) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (keep(text[i])) continue;
        if (changed != nullptr) *changed = true;
        const std::string_view pieces[2] = {text.substr(start, i - start),
                                            std::string_view(&with, 1)};
        if (!out.append(pieces, 2)) return false;
        start = i + 1;
    }
    return put(out, text.substr(start));
}

// A parameter's name as written: carried, or made a valid X- name.
bool appendParameterName(vcal::TextBuffer &out, const OutParameter &q) {
    if (q.carried && !put(out, kCarried)) return false;
    if (!q.invalid) return put(out, q.name);
    return put(out, "X-") && appendKept(out, q.name, isNameChar, '-');
}

// One property as the target holds it.
struct Mapped {
    std::string_view name;
    Array<OutParameter> parameters;
    std::string_view type; // the value type (jCard), 4.0 names
    bool raw = false;      // `single` is written as it stands (a URI, a date, base64)
    bool hasSingle = false;
    std::string_view single; // the value, when not the property's own fields
    // Bytes written in BASE64 right after `single`, encoded where they go:
    // a photo is not held encoded beside the card's text.
    std::string_view binary;
    vcal::TextBuffer nameText;
    vcal::TextBuffer valueText;

    // Ready for the next property, memory kept.
    void reset() {
        // (One by one: a chain of assignments reads the first back whole
        // from the two stores that cleared it.)
        name = {};
        type = {};
        single = {};
        binary = {};
        parameters.clear();
        raw = hasSingle = false;
        nameText.length = valueText.length = 0;
    }
};

bool hasScheme(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (ascii::isLetter(text[i]) || text[i] == '+' || text[i] == '-' ||
                               text[i] == '.' || (i > 0 && ascii::isDigit(text[i]))))
        ++i;
    return i > 0 && i < text.size() && text[i] == ':';
}

bool startsWithX(std::string_view word) {
    return word.size() > 2 && (word[0] == 'X' || word[0] == 'x') && word[1] == '-';
}

bool isDateProperty(std::string_view name) {
    return name == "BDAY" || name == "ANNIVERSARY" || name == "REV";
}

// VALUE types each version knows beside uri.
bool knownValue(int32_t to, std::string_view value) {
    if (isV21(to)) return sameWord(value, "CID") || sameWord(value, "CONTENT-ID");
    constexpr std::string_view kBoth[] = {"text",    "date",        "time",    "date-time",
                                          "integer", "float",       "boolean", "utc-offset",
                                          "binary",  "phone-number"};
    for (std::string_view v : kBoth) {
        if (sameWord(value, v))
            return !(to != VI_FORMAT_VCARD30 && (v == "binary" || v == "phone-number"));
    }
    if (isV40(to))
        return sameWord(value, "date-and-or-time") || sameWord(value, "timestamp") ||
               sameWord(value, "language-tag");
    return false;
}

// QUOTED-PRINTABLE as the 2.1 writer writes it: every byte outside
// printable ASCII (and "=") escaped, a line break as =0D=0A whatever it
// was, and a soft break ("=", CR LF, blank) before the line passes 75.
bool appendQuotedPrintable(vcal::TextBuffer &out, std::string_view text, size_t column) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr size_t kWidth = 73;
    const size_t n = text.size();
    auto plain = [](char c) { return c >= 0x20 && c < 0x7F && c != '='; };
    // Readers trim the blanks around a value: those are escaped.
    auto edge = [&](size_t i) { return (i == 0 || i + 1 == n) && ascii::isBlank(text[i]); };
    for (size_t i = 0; i < n;) {
        if (plain(text[i]) && !edge(i)) {
            // A run of bytes that stand as they are, put as far as the
            // line has room for them.
            size_t end = i + 1;
            while (end < n && plain(text[end]) && !edge(end))
                ++end;
            while (i < end) {
                if (column >= kWidth) {
                    if (!put(out, "=\r\n ")) return false;
                    column = 1;
                }
                const size_t take = std::min(end - i, kWidth - column);
                if (!put(out, text.substr(i, take))) return false;
                column += take;
                i += take;
            }
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        const char escaped[3] = {'=', kHex[c >> 4], kHex[c & 15]};
        std::string_view piece(escaped, 3);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
            piece = "=0D=0A";
        }
        if (column + piece.size() > kWidth) {
            if (!put(out, "=\r\n ")) return false;
            column = 1;
        }
        if (!put(out, piece)) return false;
        column += piece.size();
        ++i;
    }
    return true;
}

class Writer {
  public:
    Writer(Card &card, CardConversion &c, vcal::TextBuffer &out) : card_(card), c_(c), out_(out) {}
    bool run();

  private:
    bool map(const CardProperty &p, Mapped &m);
    bool mapName(const CardProperty &p, Mapped &m);
    bool mapParameters(const CardProperty &p, Mapped &m, std::string_view *valueType);
    bool mapBinary(const CardProperty &p, Mapped &m);
    bool emitText(const CardProperty &p, Mapped &m);
    bool emit21(const CardProperty &p, Mapped &m);
    bool emitJson(const CardProperty &p, Mapped &m);
    bool fieldsText(const CardProperty &p, vcal::TextBuffer &out);
    bool parameterText(const Mapped &m, size_t first, vcal::TextBuffer &out);
    bool repairNames();

    Card &card_;
    CardConversion &c_;
    vcal::TextBuffer &out_;
    bool firstJson_ = true;
    // Scratch texts of one property at a time, kept for the card's next.
    vcal::TextBuffer value_;
    vcal::TextBuffer text_;
    vcal::TextBuffer written_; // a parameter's name as written
    Array<uint8_t> folding_;   // where a long line is cut
};

bool Writer::mapName(const CardProperty &p, Mapped &m) {
    const std::string_view name = card_.name(p);
    const PropertyInfo *info = p.info;
    if (name == "AGENT" && isV40(c_.to)) {
        m.name = "RELATED";
        return true;
    }
    bool valid = !name.empty();
    for (char ch : name)
        valid = valid && isNameChar(ch);
    if (valid && (info == nullptr || (info->versions & versionBit(c_.to)) != 0)) {
        m.name = name;
        return true;
    }
    if (valid) {
        // A property of another version, carried under a name this one
        // allows and read back under its own.
        const std::string_view pieces[2] = {kCarried, name};
        if (!m.nameText.append(pieces, 2)) return false;
        m.name = viewOf(m.nameText);
        return true;
    }
    if ((!startsWithX(name) && !put(m.nameText, "X-")) ||
        !appendKept(m.nameText, name, isNameChar, '-'))
        return false;
    m.name = viewOf(m.nameText);
    c_.report(p.line, VI_REPORT_LOST, "property name %.*s written as %.*s",
              static_cast<int>(name.size()), name.data(), static_cast<int>(m.name.size()),
              m.name.data());
    return true;
}

// TYPE and PREF as the target spells them, names of other versions
// carried. The VALUE given is handed back for map() to decide on.
bool Writer::mapParameters(const CardProperty &p, Mapped &m, std::string_view *valueType) {
    bool pref = false;
    bool prefNumber = false;
    for (uint32_t i = 0; i < p.parameterCount; ++i) {
        const CardParameter &q = card_.parameter(p, i);
        if (card_.view(q.name) == "PREF") prefNumber = true;
    }
    if (card_.name(p) == "AGENT" && isV40(c_.to) && !addParameter(m.parameters, "TYPE", "agent"))
        return false;
    for (uint32_t i = 0; i < p.parameterCount; ++i) {
        const CardParameter &q = card_.parameter(p, i);
        const std::string_view name = card_.view(q.name);
        const std::string_view value = card_.view(q.value);
        bool ok = true;
        if (name == "TYPE" || name == "PREF") {
            const bool isPref = name == "PREF" || sameWord(value, "PREF");
            if (!isPref)
                ok = addParameter(m.parameters, "TYPE", value);
            else if (isV40(c_.to))
                ok = (name == "TYPE" && prefNumber) ||
                     addParameter(m.parameters, "PREF", name == "PREF" ? value : "1");
            else if (!pref)
                ok = addParameter(m.parameters, "TYPE", "PREF");
            pref = pref || isPref;
        } else if (name == "VALUE") {
            *valueType = value;
        } else {
            bool invalid = name.empty();
            for (char ch : name)
                invalid = invalid || !isNameChar(ch);
            if (invalid)
                c_.report(p.line, VI_REPORT_LOST, "a parameter name was made a valid X- name");
            const bool carried =
                !invalid && isV21(c_.to) && !startsWithX(name) && name != "LANGUAGE";
            ok = addParameter(m.parameters, name, value, carried, false, invalid);
        }
        if (!ok) return false;
    }
    return true;
}

// Binary data: the format its bytes show, else its label.
bool Writer::mapBinary(const CardProperty &p, Mapped &m) {
    const std::string_view bytes = card_.value(p);
    const std::string_view label = card_.view(p.media);
    const MediaType *sniffed = sniffMedia(bytes);
    const MediaType *labelled = label.empty() ? nullptr : mediaByLabel(label);
    if (sniffed != nullptr && labelled != nullptr && sniffed->mime != labelled->mime)
        c_.report(p.line, VI_REPORT_REPAIRED, "%.*s labelled %.*s holds %.*s data",
                  static_cast<int>(card_.name(p).size()), card_.name(p).data(),
                  static_cast<int>(label.size()), label.data(),
                  static_cast<int>(sniffed->label.size()), sniffed->label.data());
    const MediaType *type = sniffed != nullptr ? sniffed : labelled;
    bool ok = true;
    if (isV40(c_.to)) {
        const std::string_view mime = type != nullptr ? type->mime
                                      : label.find('/') != std::string_view::npos
                                          ? label
                                          : "application/octet-stream";
        const std::string_view pieces[3] = {"data:", mime, ";base64,"};
        ok = m.valueText.append(pieces, 3);
        m.type = "uri";
        const PropertyInfo *info = p.info;
        if (info == nullptr || info->type4 != "uri")
            ok = ok && addParameter(m.parameters, "VALUE", "uri");
    } else {
        ok = addParameter(m.parameters, "ENCODING", isV21(c_.to) ? "BASE64"sv : "b"sv);
        const std::string_view typeLabel = type != nullptr ? type->label : label;
        if (ok && !typeLabel.empty())
            ok = addParameter(m.parameters, "TYPE", typeLabel, false, true);
    }
    m.raw = true;
    m.hasSingle = true;
    m.single = viewOf(m.valueText);
    m.binary = bytes;
    return ok;
}

bool Writer::map(const CardProperty &p, Mapped &m) {
    std::string_view valueType;
    if (!mapName(p, m) || !mapParameters(p, m, &valueType)) return false;
    const std::string_view name = card_.name(p);
    const PropertyInfo *info = p.info;
    const Shape shape = info != nullptr ? info->shape : Shape::Text;
    const std::string_view default4 = info != nullptr ? info->type4 : "unknown";
    if (!valueType.empty() && !knownValue(c_.to, valueType) && !startsWithX(valueType)) {
        c_.report(p.line, VI_REPORT_LOST, "VALUE=%.*s dropped", static_cast<int>(valueType.size()),
                  valueType.data());
        valueType = {};
    }
    m.type = valueType.empty() ? default4 : valueType;
    switch (p.form) {
    case Form::Binary:
        return mapBinary(p, m);
    case Form::Card:
        m.type = "text";
        if (isV40(c_.to)) {
            c_.report(p.line, VI_REPORT_LOST,
                      "the AGENT card is kept as the text of RELATED;TYPE=agent");
            return addParameter(m.parameters, "VALUE", "text");
        }
        return true;
    case Form::Uri: {
        const std::string_view uri = card_.value(p);
        if (!isV40(c_.to) && name == "TEL" && uri.size() > 4 &&
            sameWord(uri.substr(0, 4), "tel:")) {
            m.hasSingle = true;
            m.single = uri.substr(4);
            return true;
        }
        m.type = "uri";
        m.raw = true;
        m.hasSingle = true;
        m.single = uri;
        const std::string_view label = card_.view(p.media);
        if (!label.empty()) {
            const MediaType *type = mediaByLabel(label);
            const bool ok =
                isV40(c_.to)
                    ? addParameter(m.parameters, "MEDIATYPE", type != nullptr ? type->mime : label)
                    : addParameter(m.parameters, "TYPE", type != nullptr ? type->label : label,
                                   false, true);
            if (!ok) return false;
        }
        if (isV40(c_.to)) return default4 == "uri" || addParameter(m.parameters, "VALUE", "uri");
        if (shape == Shape::Uri) return true;
        return addParameter(m.parameters, "VALUE", isV21(c_.to) ? "URL"sv : "uri"sv);
    }
    default:
        break;
    }
    if (shape == Shape::Geo && p.form == Form::Structured) {
        const std::string_view lat = card_.item(p, 0, 0);
        const std::string_view lon = card_.item(p, 1, 0);
        const std::string_view pieces[4] = {isV40(c_.to) ? "geo:"sv : ""sv, lat,
                                            isV40(c_.to) || isV21(c_.to) ? ","sv : ";"sv, lon};
        if (!m.valueText.append(pieces, 4)) return false;
        m.raw = true;
        m.hasSingle = true;
        m.single = viewOf(m.valueText);
        m.type = "uri";
        return true;
    }
    if (isV40(c_.to) && isDateProperty(name) && p.form == Form::Text &&
        (valueType.empty() || !sameWord(valueType, "text"))) {
        const std::string_view value = card_.value(p);
        if (appendIsoDate(m.valueText, value, c_.to == VI_FORMAT_JCARD)) {
            m.raw = true;
            m.hasSingle = true;
            m.single = viewOf(m.valueText);
            m.type = name == "REV"                             ? "timestamp"
                     : value.find_first_of("Tt") == value.npos ? "date"
                                                               : "date-time";
            if (name == "REV" && m.type == "timestamp" && m.single.find('T') == m.single.npos)
                m.type = "date";
            return true;
        }
        m.type = "text";
        return addParameter(m.parameters, "VALUE", "text");
    }
    const bool related = isV40(c_.to) && name == "AGENT"; // RELATED's value is a URI
    if (isV40(c_.to) && (default4 == "uri" || related) && p.form == Form::Text &&
        valueType.empty()) {
        // UID, KEY, RELATED: a URI unless the text is none.
        m.type = hasScheme(card_.value(p)) ? "uri"sv : "text"sv;
        if (m.type == "text") return addParameter(m.parameters, "VALUE", "text");
        return true;
    }
    if (!valueType.empty() && knownValue(c_.to, valueType) && !sameWord(valueType, default4))
        return addParameter(m.parameters, "VALUE", valueType);
    if (startsWithX(valueType)) return addParameter(m.parameters, "VALUE", valueType);
    return true;
}

// Parameters grouped by name (first appearance decides the order), the
// items of one name joined by commas: ";TYPE=cell,pref".
bool Writer::parameterText(const Mapped &m, size_t first, vcal::TextBuffer &out) {
    const OutParameter &head = m.parameters[first];
    const bool lower = head.name == "TYPE" || head.name == "VALUE";
    bool ok = true;
    bool any = false;
    for (size_t i = first; i < m.parameters.size() && ok; ++i) {
        const OutParameter &q = m.parameters[i];
        if (q.name != head.name) continue;
        std::string_view value = q.value;
        if (any) ok = put(out, ",");
        any = true;
        // (One look at each byte: values are a word or two, and a search
        // per kind of byte costs more than the bytes.)
        unsigned marks = 0;
        for (const char c : value)
            marks |= kParameterBytes.marks[static_cast<unsigned char>(c)];
        const bool quote = (marks & kNeedsQuotes) != 0;
        if (quote) ok = ok && put(out, "\"");
        // A quote cannot stand inside a quoted value.
        while (ok && !value.empty()) {
            const size_t at = (marks & kHasQuote) != 0 ? value.find('"') : std::string_view::npos;
            ok =
                lower ? appendCased(out, value.substr(0, at), true) : put(out, value.substr(0, at));
            if (at == std::string_view::npos) break;
            ok = ok && put(out, "'");
            value.remove_prefix(at + 1);
        }
        if (quote) ok = ok && put(out, "\"");
    }
    return ok;
}

bool firstOfName(const Mapped &m, size_t i) {
    for (size_t k = 0; k < i; ++k) {
        if (m.parameters[k].name == m.parameters[i].name) return false;
    }
    return true;
}

// The fields of a structured or list value, escaped for 3.0/4.0: N and
// ADR have all their fields there.
bool Writer::fieldsText(const CardProperty &p, vcal::TextBuffer &out) {
    const std::string_view name = card_.name(p);
    uint32_t count = p.fieldCount;
    if (p.form == Form::Structured) {
        if (name == "N" && count < 5) count = 5;
        if (name == "ADR" && count < 7) count = 7;
    }
    for (uint32_t f = 0; f < count; ++f) {
        if (f > 0 && !put(out, ";")) return false;
        if (f >= p.fieldCount) continue;
        const CardField &field = card_.fields[p.firstField + f];
        for (uint32_t i = 0; i < field.itemCount; ++i) {
            if (i > 0 && !put(out, ",")) return false;
            if (!appendEscaped(out, card_.view(card_.items[field.firstItem + i]))) return false;
        }
    }
    return true;
}

// The line is written where it goes, at the end of the card's text, and
// folded there.
bool Writer::emitText(const CardProperty &p, Mapped &m) {
    vcal::TextBuffer &out = out_;
    const size_t start = out.length;
    const std::string_view group = card_.view(p.group);
    // One group of letters, digits and '-' (2.1 writers nest them with dots).
    bool changed = false;
    if (!appendKept(out, group, isNameChar, '-', &changed)) return false;
    if (changed)
        c_.report(p.line, VI_REPORT_LOST, "group %.*s written as %.*s",
                  static_cast<int>(group.size()), group.data(),
                  static_cast<int>(out.length - start), out.text + start);
    const std::string_view pieces[2] = {group.empty() ? ""sv : "."sv, m.name};
    if (!out.append(pieces, 2)) return false;
    for (size_t i = 0; i < m.parameters.size(); ++i) {
        if (!firstOfName(m, i)) continue;
        if (!put(out, ";") || !appendParameterName(out, m.parameters[i]) || !put(out, "=") ||
            !parameterText(m, i, out))
            return false;
    }
    if (!put(out, ":")) return false;
    bool ok;
    if (m.hasSingle)
        ok = m.raw ? put(out, m.single) && appendBase64(out, m.binary)
                   : appendEscaped(out, m.single);
    else if (p.form == Form::Text || p.form == Form::Card)
        ok = appendEscaped(out, card_.value(p));
    else
        ok = fieldsText(p, out);
    return ok && foldFrom(out, start, folding_);
}

bool Writer::emit21(const CardProperty &p, Mapped &m) {
    vcal::TextBuffer &text = text_;
    text.length = 0;
    const std::string_view group = card_.view(p.group);
    const std::string_view head[3] = {group, group.empty() ? ""sv : "."sv, m.name};
    if (!text.append(head, 3)) return false;
    for (size_t i = 0; i < m.parameters.size(); ++i) {
        const OutParameter &q = m.parameters[i];
        // 2.1 has no quoting: a delimiter in a parameter value is lost.
        vcal::TextBuffer &value = value_;
        value.length = 0;
        bool replaced = false;
        if (!appendKept(
                value, q.value, [](char ch) { return ch != ';' && ch != ':' && ch != '"'; }, '_',
                &replaced))
            return false;
        if (replaced)
            c_.report(p.line, VI_REPORT_LOST, "a delimiter in parameter %.*s was replaced",
                      static_cast<int>(q.name.size()), q.name.data());
        bool ok;
        if (q.name == "TYPE" && !q.named) {
            const bool known =
                isKnownType21(q.value) || startsWithX(q.value) || mediaByLabel(q.value) != nullptr;
            ok = put(text, known ? ";"sv : ";X-"sv) && appendCased(text, viewOf(value), false);
        } else {
            ok = put(text, ";") && appendParameterName(text, q) && put(text, "=") &&
                 put(text, viewOf(value));
        }
        if (!ok) return false;
    }
    if (p.form == Form::Card) {
        const std::string_view pieces[3] = {":\r\n", card_.value(p)};
        return put(out_, viewOf(text)) && out_.append(pieces, 2);
    }
    if (p.form == Form::Binary) {
        // BASE64 on indented lines of 72 (54 bytes each), ended by a blank
        // line.
        std::string_view data = m.binary;
        if (!put(out_, viewOf(text)) || !put(out_, ":\r\n")) return false;
        while (!data.empty()) {
            const size_t n = data.size() < 54 ? data.size() : 54;
            if (!put(out_, " ") || !appendBase64(out_, data.substr(0, n)) || !put(out_, "\r\n"))
                return false;
            data.remove_prefix(n);
        }
        return put(out_, "\r\n");
    }
    vcal::TextBuffer &value = value_;
    value.length = 0;
    if (m.hasSingle) {
        if (!put(value, m.single)) return false;
    } else if (p.form == Form::Text) {
        if (!put(value, card_.value(p))) return false;
    } else {
        for (uint32_t f = 0; f < p.fieldCount; ++f) {
            if (f > 0 && !put(value, ";")) return false;
            const CardField &field = card_.fields[p.firstField + f];
            for (uint32_t i = 0; i < field.itemCount; ++i) {
                if (i > 0 && !put(value, ",")) return false;
                std::string_view item = card_.view(card_.items[field.firstItem + i]);
                // A ';' inside a field is escaped in 2.1.
                while (p.form == Form::Structured) {
                    const size_t at = item.find(';');
                    if (at == std::string_view::npos) break;
                    const std::string_view pieces[2] = {item.substr(0, at), "\\;"};
                    if (!value.append(pieces, 2)) return false;
                    item.remove_prefix(at + 1);
                }
                if (!put(value, item)) return false;
            }
        }
    }
    const std::string_view v = viewOf(value);
    // (Without a branch per byte, which the compiler can widen.)
    unsigned bits = 0;
    unsigned specials = 0;
    for (char ch : v) {
        bits |= static_cast<unsigned char>(ch);
        specials |= static_cast<unsigned>(ch == '\r') | static_cast<unsigned>(ch == '\n') |
                    static_cast<unsigned>(ch == '=');
    }
    const bool eightBit = (bits & 0x80) != 0;
    const bool special = specials != 0;
    const bool blankEdge = !v.empty() && (v.front() == ' ' || v.front() == '\t' ||
                                          v.back() == ' ' || v.back() == '\t');
    const bool quoted = eightBit || special || blankEdge || text.length + 1 + v.size() > 75;
    if (quoted) {
        const std::string_view qp = ";ENCODING=QUOTED-PRINTABLE";
        if (!put(text, qp) || (eightBit && !put(text, ";CHARSET=UTF-8"))) return false;
    }
    if (!put(out_, viewOf(text)) || !put(out_, ":")) return false;
    if (quoted ? !appendQuotedPrintable(out_, v, text.length + 1) : !put(out_, v)) return false;
    return put(out_, "\r\n");
}

bool Writer::emitJson(const CardProperty &p, Mapped &m) {
    vcal::TextBuffer &o = out_;
    if (!put(o, firstJson_ ? "\n  ["sv : ",\n  ["sv)) return false;
    firstJson_ = false;
    if (!appendJsonLower(o, m.name) || !put(o, ", {")) return false;
    bool any = false;
    const std::string_view group = card_.view(p.group);
    if (!group.empty()) {
        if (!put(o, "\"group\": ") || !appendJsonString(o, group)) return false;
        any = true;
    }
    for (size_t i = 0; i < m.parameters.size(); ++i) {
        if (!firstOfName(m, i) || m.parameters[i].name == "VALUE") continue;
        vcal::TextBuffer &written = written_;
        written.length = 0;
        if (!appendParameterName(written, m.parameters[i]) || !put(o, any ? ", "sv : ""sv) ||
            !appendJsonLower(o, viewOf(written)) || !put(o, ": "))
            return false;
        any = true;
        size_t count = 0;
        for (size_t k = i; k < m.parameters.size(); ++k)
            count += m.parameters[k].name == m.parameters[i].name ? 1 : 0;
        if (count > 1 && !put(o, "[")) return false;
        bool firstItem = true;
        for (size_t k = i; k < m.parameters.size(); ++k) {
            if (m.parameters[k].name != m.parameters[i].name) continue;
            const bool caseless = m.parameters[i].name == "TYPE";
            if (!put(o, firstItem ? ""sv : ", "sv) ||
                !(caseless ? appendJsonLower(o, m.parameters[k].value)
                           : appendJsonString(o, m.parameters[k].value)))
                return false;
            firstItem = false;
        }
        if (count > 1 && !put(o, "]")) return false;
    }
    if (!put(o, "}, ") || !appendJsonLower(o, m.type)) return false;
    if (!m.binary.empty()) {
        // BASE64 needs no escaping: the string stays open for it.
        if (!put(o, ", ") || !appendJsonString(o, m.single)) return false;
        --o.length;
        return appendBase64(o, m.binary) && put(o, "\"]");
    }
    if (m.hasSingle || p.form == Form::Text || p.form == Form::Card)
        return put(o, ", ") && appendJsonString(o, m.hasSingle ? m.single : card_.value(p)) &&
               put(o, "]");
    // A list gives one value each; a structured value one array, its
    // fields strings or, with several items, arrays.
    const bool list = p.form == Form::List;
    if (!put(o, list ? ""sv : ", ["sv)) return false;
    uint32_t count = p.fieldCount;
    const std::string_view name = card_.name(p);
    if (!list && name == "N" && count < 5) count = 5;
    if (!list && name == "ADR" && count < 7) count = 7;
    for (uint32_t f = 0; f < count; ++f) {
        if (!put(o, f > 0 || list ? ", "sv : ""sv)) return false;
        if (f >= p.fieldCount) {
            if (!put(o, "\"\"")) return false;
            continue;
        }
        const CardField &field = card_.fields[p.firstField + f];
        const bool array = !list && field.itemCount > 1;
        if (array && !put(o, "[")) return false;
        for (uint32_t i = 0; i < field.itemCount; ++i) {
            if (i > 0 && !put(o, ", ")) return false;
            if (!appendJsonString(o, card_.view(card_.items[field.firstItem + i]))) return false;
        }
        if (field.itemCount == 0 && !put(o, "\"\"")) return false;
        if (array && !put(o, "]")) return false;
    }
    return put(o, list ? "]"sv : "]]"sv);
}

// FN (3.0, 4.0) and N (3.0) are required: FN made from N, else ORG, N
// left empty. Each is a repair.
bool Writer::repairNames() {
    const bool needFn = !isV21(c_.to);
    const bool needN = c_.to == VI_FORMAT_VCARD30;
    if (needFn && card_.find("FN") < 0) {
        vcal::TextBuffer fn;
        const long n = card_.find("N");
        const long org = card_.find("ORG");
        if (n >= 0) {
            // N is family;given;additional;prefix;suffix; FN reads prefix
            // given additional family suffix.
            constexpr uint32_t kOrder[] = {3, 1, 2, 0, 4};
            for (uint32_t f : kOrder) {
                const CardProperty &p = card_.properties[static_cast<size_t>(n)];
                if (f >= p.fieldCount) continue;
                const CardField &field = card_.fields[p.firstField + f];
                for (uint32_t i = 0; i < field.itemCount; ++i) {
                    const std::string_view item = card_.view(card_.items[field.firstItem + i]);
                    if (item.empty()) continue;
                    if ((fn.length > 0 && !put(fn, " ")) || !put(fn, item)) return false;
                }
            }
        }
        if (fn.length == 0 && org >= 0 &&
            !put(fn, card_.item(card_.properties[static_cast<size_t>(org)], 0, 0)))
            return false;
        c_.report(card_.line, VI_REPORT_REPAIRED, "the card had no FN; made one from %s",
                  n >= 0 && fn.length > 0     ? "N"
                  : org >= 0 && fn.length > 0 ? "ORG"
                                              : "nothing");
        if (!card_.beginProperty(card_.line, "", "FN", Form::Text) || !card_.beginField() ||
            !card_.addItem(viewOf(fn)))
            return false;
    }
    if (needN && card_.find("N") < 0) {
        c_.report(card_.line, VI_REPORT_REPAIRED, "the card had no N; wrote an empty one");
        if (!card_.beginProperty(card_.line, "", "N", Form::Structured) || !card_.beginField() ||
            !card_.addItem(""))
            return false;
    }
    return true;
}

bool Writer::run() {
    if (!repairNames()) return false;
    const int32_t to = c_.to;
    if (to == VI_FORMAT_JCARD) {
        if (!put(out_, "[\"vcard\", [\n  [\"version\", {}, \"text\", \"4.0\"]")) return false;
        firstJson_ = false;
    } else {
        const std::string_view version = to == VI_FORMAT_VCARD21   ? "2.1"
                                         : to == VI_FORMAT_VCARD30 ? "3.0"
                                                                   : "4.0";
        const std::string_view pieces[3] = {"BEGIN:VCARD\r\nVERSION:", version, "\r\n"};
        if (!out_.append(pieces, 3)) return false;
    }
    Mapped m;
    for (size_t i = 0; i < card_.properties.size(); ++i) {
        const CardProperty p = card_.properties[i];
        m.reset();
        if (!map(p, m)) return false;
        bool ok;
        if (to == VI_FORMAT_JCARD)
            ok = emitJson(p, m);
        else if (to == VI_FORMAT_VCARD21)
            ok = emit21(p, m);
        else
            ok = emitText(p, m);
        if (!ok) return false;
    }
    return put(out_, to == VI_FORMAT_JCARD ? "\n]]"sv : "END:VCARD\r\n"sv);
}

} // namespace

bool writeCard(Card &card, CardConversion &c, vcal::TextBuffer &out) {
    Writer writer(card, c, out);
    return writer.run();
}

} // namespace interop::convert
