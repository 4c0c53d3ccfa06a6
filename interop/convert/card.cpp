#include "interop/convert/card.h"

#include <cstring>

#include "interop/convert/contentLine.h"
#include "platform/ascii.h"

namespace interop::convert {

using namespace std::string_view_literals;

void Card::clear() {
    line = 0;
    properties.clear();
    parameters.clear();
    fields.clear();
    items.clear();
    text_.length = 0;
}

bool Card::store(std::string_view text, Span &out) {
    out.at = text_.length;
    out.length = text.size();
    return text.empty() || text_.append(&text, 1);
}

// Names are kept in capitals, raised as they are copied: raising them in
// place after the copy read each byte back from the copy's wide stores,
// which made this the slowest step of taking a property.
bool Card::storeName(std::string_view text, Span &out) {
    out.at = text_.length;
    out.length = text.size();
    return appendCased(text_, text, false);
}

bool Card::beginProperty(uint64_t at, std::string_view group, std::string_view name, Form form) {
    return beginProperty(at, group, name, findProperty(name), form);
}

bool Card::beginProperty(uint64_t at, std::string_view group, std::string_view name,
                         const PropertyInfo *info, Form form) {
    Span groupAt;
    Span nameAt;
    return store(group, groupAt) && storeName(name, nameAt) &&
           properties.emplace(at, info, groupAt, nameAt, form, Span{},
                              static_cast<uint32_t>(parameters.size()), uint32_t{0},
                              static_cast<uint32_t>(fields.size()), uint32_t{0});
}

bool Card::addParameter(std::string_view name, std::string_view value) {
    Span nameAt;
    Span valueAt;
    if (!storeName(name, nameAt) || !store(value, valueAt) || !parameters.emplace(nameAt, valueAt))
        return false;
    ++current().parameterCount;
    return true;
}

bool Card::beginField() {
    if (!fields.emplace(static_cast<uint32_t>(items.size()), uint32_t{0})) return false;
    ++current().fieldCount;
    return true;
}

bool Card::addItem(std::string_view text) {
    Span s;
    if (!store(text, s) || !items.emplace(s.at, s.length)) return false;
    ++fields[fields.size() - 1].itemCount;
    return true;
}

bool Card::endItem() {
    if (!items.emplace(pending_, text_.length - pending_)) return false;
    ++fields[fields.size() - 1].itemCount;
    return true;
}

bool Card::setMedia(std::string_view label) { return store(label, current().media); }

std::string_view Card::item(const CardProperty &p, uint32_t field, uint32_t index) const {
    if (field >= p.fieldCount) return {};
    const CardField &f = fields[p.firstField + field];
    if (index >= f.itemCount) return {};
    return view(items[f.firstItem + index]);
}

std::string_view Card::value(const CardProperty &p) const { return item(p, 0, 0); }

long Card::find(std::string_view wanted) const {
    for (size_t i = 0; i < properties.size(); ++i) {
        if (view(properties[i].name) == wanted) return static_cast<long>(i);
    }
    return -1;
}

void Card::dropParameter(CardProperty &p, std::string_view wantedName, std::string_view value) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < p.parameterCount; ++i) {
        const CardParameter q = parameters[p.firstParameter + i];
        if (view(q.name) == wantedName && sameWord(view(q.value), value)) continue;
        parameters[p.firstParameter + kept++] = q;
    }
    p.parameterCount = kept;
}

namespace {

constexpr uint8_t kAll = kIn21 | kIn30 | kIn40;
constexpr uint8_t kNew = kIn30 | kIn40;

// Sorted by name for the binary search.
constexpr PropertyInfo kProperties[] = {
    {"ADR", kAll, Shape::Structured, "text"},
    {"AGENT", kIn21 | kIn30, Shape::Text, "text"},
    {"ANNIVERSARY", kIn40, Shape::Text, "date-and-or-time"},
    {"BDAY", kAll, Shape::Text, "date-and-or-time"},
    {"CALADRURI", kNew, Shape::Uri, "uri"},
    {"CALURI", kNew, Shape::Uri, "uri"},
    {"CATEGORIES", kNew, Shape::List, "text"},
    {"CLASS", kIn30, Shape::Text, "text"},
    {"CLIENTPIDMAP", kIn40, Shape::Structured, "text"},
    {"EMAIL", kAll, Shape::Text, "text"},
    {"FBURL", kNew, Shape::Uri, "uri"},
    {"FN", kAll, Shape::Text, "text"},
    {"GENDER", kIn40, Shape::Structured, "text"},
    {"GEO", kAll, Shape::Geo, "uri"},
    {"IMPP", kNew, Shape::Uri, "uri"},
    {"KEY", kAll, Shape::Media, "uri"},
    {"KIND", kIn40, Shape::Text, "text"},
    {"LABEL", kIn21 | kIn30, Shape::Text, "text"},
    {"LANG", kIn40, Shape::Text, "language-tag"},
    {"LOGO", kAll, Shape::Media, "uri"},
    {"MAILER", kIn21 | kIn30, Shape::Text, "text"},
    {"MEMBER", kIn40, Shape::Uri, "uri"},
    {"N", kAll, Shape::Structured, "text"},
    {"NAME", kIn30, Shape::Text, "text"},
    {"NICKNAME", kNew, Shape::List, "text"},
    {"NOTE", kAll, Shape::Text, "text"},
    {"ORG", kAll, Shape::Structured, "text"},
    {"PHOTO", kAll, Shape::Media, "uri"},
    {"PRODID", kNew, Shape::Text, "text"},
    {"PROFILE", kIn30, Shape::Text, "text"},
    {"RELATED", kIn40, Shape::Uri, "uri"},
    {"REV", kAll, Shape::Text, "timestamp"},
    {"ROLE", kAll, Shape::Text, "text"},
    {"SORT-STRING", kIn30, Shape::Text, "text"},
    {"SOUND", kAll, Shape::Media, "uri"},
    {"SOURCE", kNew, Shape::Uri, "uri"},
    {"TEL", kAll, Shape::Text, "text"},
    {"TITLE", kAll, Shape::Text, "text"},
    {"TZ", kAll, Shape::Text, "text"},
    {"UID", kAll, Shape::Text, "text"},
    {"URL", kAll, Shape::Uri, "uri"},
    {"VERSION", kAll, Shape::Text, "text"},
    {"XML", kIn40, Shape::Text, "text"},
};

// First bytes of each format, checked in this order; `skip` bytes (a
// RIFF or FORM length) stand between the two parts of a signature.
struct Signature {
    std::string_view head;
    size_t skip;
    std::string_view tail;
    MediaType type;
};

constexpr Signature kSignatures[] = {
    {"\xFF\xD8\xFF", 0, "", {"JPEG", "image/jpeg"}},
    {"\x89PNG", 0, "", {"PNG", "image/png"}},
    {"GIF8", 0, "", {"GIF", "image/gif"}},
    {"RIFF", 4, "WAVE", {"WAVE", "audio/wav"}},
    {"RIFF", 4, "AVI ", {"AVI", "video/x-msvideo"}},
    {"FORM", 4, "AIFF", {"AIFF", "audio/aiff"}},
    {"II*\0", 0, "", {"TIFF", "image/tiff"}},
    {"MM\0*", 0, "", {"TIFF", "image/tiff"}},
    {"%PDF", 0, "", {"PDF", "application/pdf"}},
    {"%!PS", 0, "", {"PS", "application/postscript"}},
    {"ID3", 0, "", {"MP3", "audio/mpeg"}},
    {"BM", 0, "", {"BMP", "image/bmp"}},
};

// Labels as 2.1 and 3.0 writers give them, and media types as 4.0 does.
constexpr MediaType kLabels[] = {
    {"JPEG", "image/jpeg"},
    {"JPG", "image/jpeg"},
    {"PNG", "image/png"},
    {"GIF", "image/gif"},
    {"BMP", "image/bmp"},
    {"DIB", "image/bmp"},
    {"TIFF", "image/tiff"},
    {"WMF", "image/wmf"},
    {"CGM", "image/cgm"},
    {"PICT", "image/pict"},
    {"PDF", "application/pdf"},
    {"PS", "application/postscript"},
    {"WAVE", "audio/wav"},
    {"WAV", "audio/wav"},
    {"AIFF", "audio/aiff"},
    {"PCM", "audio/basic"},
    {"MP3", "audio/mpeg"},
    {"MPEG", "video/mpeg"},
    {"MPEG2", "video/mpeg"},
    {"QTIME", "video/quicktime"},
    {"AVI", "video/x-msvideo"},
    {"X509", "application/pkix-cert"},
    {"PGP", "application/pgp-keys"},
};

constexpr std::string_view kTypes21[] = {
    "DOM",      "INTL",    "POSTAL",  "PARCEL",     "HOME",      "WORK",    "PREF",
    "VOICE",    "FAX",     "MSG",     "CELL",       "PAGER",     "BBS",     "MODEM",
    "CAR",      "ISDN",    "VIDEO",   "AOL",        "APPLELINK", "ATTMAIL", "CIS",
    "INTERNET", "IBMMAIL", "MCIMAIL", "POWERSHARE", "PRODIGY",   "TLX",     "X400",
};

bool digits(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) return false;
    for (size_t i = 0; i < count; ++i) {
        if (!ascii::isDigit(text[at + i])) return false;
    }
    return true;
}

} // namespace

namespace {

// The names of each first letter and length: at most two, so that a
// lookup compares one name or two, not every name of the letter (every
// property of every card is looked up).
constexpr size_t kLongestName = 12;
constexpr uint8_t kNoName = 0xFF;
struct NameIndex {
    uint8_t slots[26][kLongestName + 1][2];
};

constexpr NameIndex indexNames() {
    NameIndex index{};
    for (auto &letter : index.slots) {
        for (auto &length : letter)
            length[0] = length[1] = kNoName;
    }
    constexpr size_t kCount = sizeof kProperties / sizeof kProperties[0];
    static_assert(kCount < kNoName, "the index holds 8-bit positions");
    for (size_t i = 0; i < kCount; ++i) {
        const std::string_view name = kProperties[i].name;
        uint8_t(&slot)[2] = index.slots[name[0] - 'A'][name.size()];
        slot[slot[0] == kNoName ? 0 : 1] = static_cast<uint8_t>(i);
    }
    return index;
}

constexpr NameIndex kNames = indexNames();

// Every name fits the index, and no third name shares a letter and length.
constexpr bool namesIndexed() {
    for (const PropertyInfo &p : kProperties) {
        const std::string_view name = p.name;
        if (name.size() > kLongestName || name[0] < 'A' || name[0] > 'Z') return false;
        size_t same = 0;
        for (const PropertyInfo &q : kProperties) {
            if (q.name[0] == name[0] && q.name.size() == name.size()) ++same;
        }
        if (same > 2) return false;
    }
    return true;
}
static_assert(namesIndexed(), "the name index holds two names of a letter and length");

} // namespace

const PropertyInfo *findProperty(std::string_view name) {
    if (name.empty() || name.size() > kLongestName) return nullptr;
    const char first = ascii::upper(name[0]);
    if (first < 'A' || first > 'Z') return nullptr;
    for (const uint8_t i : kNames.slots[first - 'A'][name.size()]) {
        if (i == kNoName) break;
        const std::string_view candidate = kProperties[i].name;
        size_t k = 1;
        while (k < name.size() && ascii::upper(name[k]) == candidate[k])
            ++k;
        if (k == name.size()) return &kProperties[i];
    }
    return nullptr;
}

const MediaType *sniffMedia(std::string_view bytes) {
    for (const Signature &s : kSignatures) {
        const size_t tailAt = s.head.size() + s.skip;
        if (bytes.substr(0, s.head.size()) != s.head) continue;
        if (!s.tail.empty() && bytes.substr(tailAt, s.tail.size()) != s.tail) continue;
        return &s.type;
    }
    return nullptr;
}

const MediaType *mediaByLabel(std::string_view label) {
    for (const MediaType &m : kLabels) {
        if (sameWord(label, m.label) || sameWord(label, m.mime)) return &m;
    }
    return nullptr;
}

bool isKnownType21(std::string_view word) {
    for (std::string_view t : kTypes21) {
        if (sameWord(word, t)) return true;
    }
    return false;
}

bool appendIsoDate(vcal::TextBuffer &out, std::string_view text, bool extended) {
    // YYYY[-]MM[-]DD, then optionally T hh[:]mm[:]ss[.fff] and Z or +hh[:]mm,
    // written as it is read into `form` (at most 10 + 9 + 6 bytes).
    char form[32];
    size_t n = 0;
    auto copy = [&](size_t at, size_t count) {
        std::memcpy(form + n, text.data() + at, count);
        n += count;
    };
    auto separator = [&](char c) {
        if (extended) form[n++] = c;
    };
    if (!digits(text, 0, 4)) return false;
    copy(0, 4);
    size_t i = 4;
    for (int part = 1; part < 3; ++part) {
        if (i < text.size() && text[i] == '-') ++i;
        if (!digits(text, i, 2)) return false;
        separator('-');
        copy(i, 2);
        i += 2;
    }
    if (i < text.size() && (text[i] == 'T' || text[i] == 't')) {
        form[n++] = 'T';
        ++i;
        for (int part = 0; part < 3; ++part) {
            if (part > 0 && i < text.size() && text[i] == ':') ++i;
            if (!digits(text, i, 2)) return false;
            if (part > 0) separator(':');
            copy(i, 2);
            i += 2;
        }
        if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
            ++i;
            while (i < text.size() && ascii::isDigit(text[i]))
                ++i;
        }
        const std::string_view zone = text.substr(i);
        if (zone == "Z" || zone == "z") {
            form[n++] = 'Z';
        } else if (!zone.empty()) {
            if ((zone[0] != '+' && zone[0] != '-') || !digits(zone, 1, 2)) return false;
            size_t z = 3;
            if (z < zone.size() && zone[z] == ':') ++z;
            if (z != zone.size() && !(digits(zone, z, 2) && z + 2 == zone.size())) return false;
            form[n++] = zone[0];
            form[n++] = zone[1];
            form[n++] = zone[2];
            separator(':');
            const bool minutes = z != zone.size();
            form[n++] = minutes ? zone[z] : '0';
            form[n++] = minutes ? zone[z + 1] : '0';
        }
        i = text.size();
    }
    if (i != text.size()) return false;
    return out.append(std::string_view(form, n));
}

void RecordLines::card(uint64_t line, size_t at) {
    line_ = line;
    at_ = at;
    restart();
}

void RecordLines::place() {
    // From the line after the card's BEGIN.
    Line line;
    line.number = line_;
    cursor_.resume(line, at_);
    cursor_.next(line);
}

uint64_t RecordLines::search(const Question &q) {
    uint64_t found = 0;
    Line line;
    std::string_view rest;
    switch (q.kind) {
    case Question::Begin:
        while (cursor_.next(line)) {
            if (line.number > value(q.given) && isKeywordLine(line.text, "BEGIN", &rest) &&
                sameWord(rest, "VCARD")) {
                found = line.number;
                break;
            }
        }
        break;
    case Question::Property: {
        found = value(q.given);
        const LineCursor mark = cursor_;
        std::string_view name;
        bool seen = false;
        while (!seen && cursor_.next(line)) {
            // Most often the next line is the property, ungrouped.
            const std::string_view t = line.text;
            const size_t k = q.name.size();
            seen = (t.size() > k && (t[k] == ':' || t[k] == ';') &&
                    sameWord(t.substr(0, k), q.name)) ||
                   (hasPropertyShape(t, &name) && sameWord(name, q.name));
            if (!seen && isKeywordLine(t, "END", &rest) && sameWord(rest, "VCARD")) break;
        }
        if (seen)
            found = line.number;
        else
            cursor_ = mark;
        break;
    }
    case Question::End:
        while (cursor_.next(line)) {
            if (isKeywordLine(line.text, "END", &rest) && sameWord(rest, "VCARD")) break;
        }
        break;
    }
    return found;
}

} // namespace interop::convert
