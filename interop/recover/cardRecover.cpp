// The repairs are general rules, each written for a way real writers break
// the format:
//  - Phones end quoted-printable lines with a soft break ("=") and go on
//    without the blank that continues a line. The line after a soft break
//    continues the value unless it starts a property the context knows
//    (or an X- one): a value's text rarely looks like "TEL;HOME:" or
//    "X-FOO:", while an unknown word before a colon ("Agenda:") is common.
//  - BASE64 data comes unindented from some writers: a line of nothing but
//    base64 characters after a BASE64 line continues it.
//  - A bare QUOTED-PRINTABLE, BASE64 or B parameter, ENCODING=B and
//    ENCODING=QUOTEDPRINTABLE name the encoding the writer used; the
//    strict reader wants ENCODING= and the full names. A "NAME=value"
//    joined to a TYPE list by a comma ("PARCEL,ENCODING=...") is one
//    parameter of its own.
//  - Quoted-printable escapes in lower case, or an "=" that starts no
//    escape, are read as meant: the digits in upper case, the "=" as
//    "=3D".
//  - Lines that are no property and continue nothing are dropped (a loss,
//    reported with their start).
//  - A card ends at its END line; at the next BEGIN:VCARD that follows no
//    AGENT property, or at the end of the text, it ends all the same.
#include "interop/recover/cardRecover.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "platform/ascii.h"

namespace interop {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kNone = std::string_view::npos;

enum class Encoding : uint8_t { Plain, QuotedPrintable, Base64 };

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && ascii::isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && ascii::isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// What the parameters of a property line say about its encoding, and
// whether the strict reader needs them written otherwise to see it too.
struct Parameters {
    Encoding encoding = Encoding::Plain;
    bool rewrite = false;
    size_t colon = kNone; // where the value starts, after this ":"
};

// One parameter as the strict reader wants it (see the rules above).
// Calls `put` with the parameter's new text, or with the item unchanged.
template <class Put> Encoding normalParameter(std::string_view item, bool &changed, Put put) {
    const size_t equals = item.find('=');
    if (equals == kNone) {
        if (sameWord(item, "QUOTED-PRINTABLE")) {
            changed = true;
            put("ENCODING=QUOTED-PRINTABLE");
            return Encoding::QuotedPrintable;
        }
        if (sameWord(item, "BASE64") || sameWord(item, "B")) {
            changed = true;
            put("ENCODING=BASE64");
            return Encoding::Base64;
        }
        put(item);
        return Encoding::Plain;
    }
    const std::string_view value = trimmed(item.substr(equals + 1));
    if (!sameWord(trimmed(item.substr(0, equals)), "ENCODING")) {
        put(item);
        return Encoding::Plain;
    }
    if (sameWord(value, "B")) {
        changed = true;
        put("ENCODING=BASE64");
        return Encoding::Base64;
    }
    if (sameWord(value, "QUOTEDPRINTABLE") || sameWord(value, "QP")) {
        changed = true;
        put("ENCODING=QUOTED-PRINTABLE");
        return Encoding::QuotedPrintable;
    }
    put(item);
    if (sameWord(value, "QUOTED-PRINTABLE")) return Encoding::QuotedPrintable;
    if (sameWord(value, "BASE64")) return Encoding::Base64;
    return Encoding::Plain;
}

// Walks the parameters of a property line: each item between ";" (and a
// "NAME=value" after a "," in one, as in "PARCEL,ENCODING=..."), with the
// text each should have. `put(text, separatorFirst)` gets them in order.
template <class Put> Parameters walkParameters(std::string_view line, Put put) {
    Parameters p;
    size_t i = line.find_first_of(";:");
    while (i != kNone && line[i] == ';') {
        const size_t start = i + 1;
        i = line.find_first_of(";:", start);
        std::string_view item = line.substr(start, (i == kNone ? line.size() : i) - start);
        // Split off every ",NAME=value" that a comma joined to the item.
        for (;;) {
            size_t comma = kNone;
            for (size_t c = item.find(','); c != kNone; c = item.find(',', c + 1)) {
                const size_t equals = item.find('=', c);
                const size_t next = item.find(',', c + 1);
                if (equals != kNone && (next == kNone || equals < next) &&
                    item.substr(0, c).find('=') == kNone) {
                    comma = c;
                    break;
                }
            }
            const std::string_view head = comma == kNone ? item : item.substr(0, comma);
            const Encoding e = normalParameter(trimmed(head), p.rewrite, put);
            if (e != Encoding::Plain) p.encoding = e;
            if (comma == kNone) break;
            p.rewrite = true;
            item = item.substr(comma + 1);
        }
    }
    p.colon = i != kNone && line[i] == ':' ? i : kNone;
    return p;
}

Parameters scanParameters(std::string_view line) {
    return walkParameters(line, [](std::string_view) {});
}

bool isHex(char c) { return ascii::hexValue(c) >= 0; }
bool isLowerHex(char c) { return c >= 'a' && c <= 'f'; }

// What the quoted-printable text needs: lower-case digits raised, "="
// that starts no escape written as "=3D". A final "=" is a soft break.
struct QuotedPrintableFaults {
    bool lowerCase = false;
    bool looseEquals = false;
    bool any() const { return lowerCase || looseEquals; }
};

QuotedPrintableFaults quotedPrintableFaults(std::string_view text) {
    QuotedPrintableFaults f;
    for (size_t i = text.find('='); i != kNone; i = text.find('=', i + 1)) {
        if (i + 1 == text.size()) break; // a soft break
        if (i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            f.lowerCase = f.lowerCase || isLowerHex(text[i + 1]) || isLowerHex(text[i + 2]);
            i += 2;
        } else {
            f.looseEquals = true;
        }
    }
    return f;
}

bool isBase64Data(std::string_view line) {
    if (isBlankLine(line)) return false;
    for (char c : line) {
        if (!ascii::isAlnum(c) && c != '+' && c != '/' && c != '=' && !ascii::isBlank(c))
            return false;
    }
    return true;
}

// A property name the context knows, or an extension.
bool isKnownName(VCardContext *context, std::string_view name) {
    char word[64];
    if (name.size() >= sizeof word) return false;
    std::memcpy(word, name.data(), name.size());
    word[name.size()] = '\0';
    int32_t code = 0;
    return VCARD_identifyToken(context, word, 0x3200, &code) == 0 && code >= 0x3200 &&
           code <= 0x32FF;
}

} // namespace

bool CardScanner::put(std::string_view piece) { return repaired_.append(&piece, 1); }

bool CardScanner::putLine(std::string_view line) {
    const std::string_view pieces[2] = {line, "\r\n"};
    return repaired_.append(pieces, 2);
}

// From here on the card is rebuilt: what it had so far goes in as it was.
bool CardScanner::copyUpTo(size_t offset) {
    if (copying_) return true;
    copying_ = true;
    repaired_.length = 0;
    copiedUpTo_ = offset;
    return put(std::string_view(text_ + cardStart_, offset - cardStart_));
}

bool CardScanner::findBegin(Reporter &report, Line &begin) {
    uint64_t firstJunk = 0;
    uint64_t junk = 0;
    auto passedOver = [&] {
        if (junk == 0) return;
        report(firstJunk, VI_REPORT_NOTE, "passed over %llu line%s of text outside any card",
               static_cast<unsigned long long>(junk), junk == 1 ? "" : "s");
        junkLines_ += junk;
    };
    Line line;
    while (cursor_.next(line)) {
        std::string_view text = line.text;
        while (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
            text.remove_prefix(kByteOrderMark.size());
        std::string_view rest;
        if (isKeywordLine(text, "BEGIN", &rest) && sameWord(rest, "VCARD")) {
            passedOver();
            begin = line;
            begin.start += static_cast<size_t>(text.data() - line.text.data());
            begin.text = text;
            return true;
        }
        if (text.find_first_not_of(std::string_view(" \t\0", 3)) == kNone) continue;
        if (junk++ == 0) firstJunk = line.number;
    }
    passedOver();
    return false;
}

CardScanner::Step CardScanner::next(VCardContext *context, Reporter &report, CardText &card) {
    const LineCursor saved = cursor_;
    Line begin;
    if (!findBegin(report, begin)) return Step::End;
    copying_ = false;
    cardStart_ = begin.start;
    card.firstLine = begin.number;

    vcal::TextBuffer scratch;    // one line's repaired form
    vcal::TextBuffer parameters; // a property's name and parameters, rewritten
    bool ok = true;
    // Writes a line: as it stands (nothing to do while the card is used in
    // place), or rebuilt from pieces.
    auto keep = [&](const Line &line) {
        if (copying_) ok = ok && putLine(line.text);
    };
    auto rebuild = [&](const Line &line, std::initializer_list<std::string_view> pieces) {
        ok = ok && copyUpTo(line.start);
        for (std::string_view piece : pieces)
            ok = ok && put(piece);
        ok = ok && put("\r\n");
    };
    // The text with its quoted-printable faults mended, in scratch.
    auto mended = [&](std::string_view text) {
        scratch.length = 0;
        size_t run = 0; // start of the text not yet appended
        for (size_t i = text.find('='); ok && i != kNone && i + 1 < text.size();
             i = text.find('=', i + 1)) {
            char escape[3] = {'=', '3', 'D'};
            size_t consumed = 1;
            if (i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
                escape[1] = ascii::upper(text[i + 1]);
                escape[2] = ascii::upper(text[i + 2]);
                consumed = 3;
            }
            const std::string_view pieces[2] = {text.substr(run, i - run),
                                                std::string_view(escape, 3)};
            ok = scratch.append(pieces, 2);
            run = i + consumed;
            i += consumed - 1;
        }
        const std::string_view tail = text.substr(run);
        ok = ok && scratch.append(&tail, 1);
        return ok ? std::string_view(scratch.text != nullptr ? scratch.text : "", scratch.length)
                  : std::string_view();
    };
    auto reportQuotedPrintable = [&](const Line &line, QuotedPrintableFaults f) {
        if (f.lowerCase)
            report(line.number, VI_REPORT_REPAIRED,
                   "read quoted-printable escapes written in lower case");
        if (f.looseEquals)
            report(line.number, VI_REPORT_REPAIRED,
                   "read an \"=\" that starts no quoted-printable escape as a plain \"=\"");
    };

    int depth = 1;
    Encoding encoding = Encoding::Plain;
    bool softBreak = false;    // the value so far ends in a quoted-printable soft break
    bool agentIsEmpty = false; // the last property is AGENT without a value
    bool base64Joined = false; // already reported for this property
    bool ended = false;
    bool nextCardFound = false;
    size_t cardEnd = 0;
    vcal::TextBuffer withoutNul;
    Line line;
    while (ok && cursor_.next(line)) {
        std::string_view text = line.text;
        bool changed = false;
        if (text.find('\0') != kNone) {
            size_t nuls = 0;
            withoutNul.length = 0;
            for (size_t at = 0; at < text.size() && ok;) {
                size_t stop = text.find('\0', at);
                if (stop == kNone) stop = text.size();
                const std::string_view piece = text.substr(at, stop - at);
                ok = withoutNul.append(&piece, 1);
                nuls += stop < text.size() ? 1 : 0;
                at = stop + 1;
            }
            if (!ok) break;
            report(line.number, VI_REPORT_REPAIRED, "removed %zu NUL byte%s", nuls,
                   nuls == 1 ? "" : "s");
            text = std::string_view(withoutNul.text, withoutNul.length);
            changed = true;
        }
        // Writes the line as it now stands.
        auto keepText = [&] {
            if (changed)
                rebuild(line, {text});
            else
                keep(line);
        };
        if (text.empty() || ascii::isBlank(text.front())) {
            // A blank line keeps a soft break open: some writers put one
            // between the pieces of a value.
            const bool blank = isBlankLine(text);
            if (!blank && encoding == Encoding::QuotedPrintable) {
                const QuotedPrintableFaults f = quotedPrintableFaults(text);
                softBreak = text.back() == '=';
                if (f.any()) {
                    reportQuotedPrintable(line, f);
                    rebuild(line, {mended(text)});
                    continue;
                }
            }
            keepText();
            continue;
        }
        std::string_view rest;
        if (isKeywordLine(text, "END", &rest)) {
            keepText();
            encoding = Encoding::Plain;
            softBreak = agentIsEmpty = false;
            if (--depth == 0) {
                ended = true;
                cardEnd = line.end;
                break;
            }
            continue;
        }
        if (isKeywordLine(text, "BEGIN", &rest)) {
            if (sameWord(rest, "VCARD") && !agentIsEmpty) {
                cursor_.rewind(line);
                nextCardFound = true;
                report(card.firstLine, VI_REPORT_REPAIRED,
                       "the card has no END:VCARD before the next card on line %llu; read as "
                       "ending there",
                       static_cast<unsigned long long>(line.number));
                break;
            }
            ++depth;
            keepText();
            encoding = Encoding::Plain;
            softBreak = agentIsEmpty = false;
            continue;
        }
        std::string_view name;
        const bool shaped = hasPropertyShape(text, &name);
        if (softBreak && !(shaped && isKnownName(context, name))) {
            report(line.number, VI_REPORT_REPAIRED,
                   "joined a quoted-printable soft line break with this line, which was not "
                   "indented");
            const QuotedPrintableFaults f = quotedPrintableFaults(text);
            if (f.any()) reportQuotedPrintable(line, f);
            rebuild(line, {" ", f.any() ? mended(text) : text});
            softBreak = text.back() == '=';
            continue;
        }
        if (encoding == Encoding::Base64 && !shaped && isBase64Data(text)) {
            if (!base64Joined)
                report(line.number, VI_REPORT_REPAIRED,
                       "joined base64 data that was not indented with the value before it");
            base64Joined = true;
            rebuild(line, {" ", text});
            continue;
        }
        if (!shaped) {
            const size_t shown = text.size() < 40 ? text.size() : 40;
            report(line.number, VI_REPORT_LOST, "dropped a line that is no property: \"%.*s%s\"",
                   static_cast<int>(shown), text.data(), text.size() > shown ? "..." : "");
            ok = copyUpTo(line.start);
            continue;
        }
        const Parameters p = scanParameters(text);
        encoding = p.encoding;
        softBreak = encoding == Encoding::QuotedPrintable && text.back() == '=';
        base64Joined = false;
        const std::string_view value = p.colon != kNone ? text.substr(p.colon + 1) : "";
        agentIsEmpty = sameWord(name, "AGENT") && isBlankLine(value);
        const QuotedPrintableFaults f = encoding == Encoding::QuotedPrintable
                                            ? quotedPrintableFaults(value)
                                            : QuotedPrintableFaults{};
        if (p.colon == kNone || (!p.rewrite && !f.any())) {
            keepText();
            continue;
        }
        if (f.any()) reportQuotedPrintable(line, f);
        const std::string_view body = f.any() ? mended(value) : value;
        if (!p.rewrite) {
            rebuild(line, {text.substr(0, p.colon + 1), body});
            continue;
        }
        // The name, then each parameter as the strict reader wants it.
        parameters.length = 0;
        const size_t nameEnd = text.find_first_of(";:");
        std::string_view piece = text.substr(0, nameEnd);
        ok = ok && parameters.append(&piece, 1);
        walkParameters(text, [&](std::string_view item) {
            const std::string_view pieces[2] = {";", item};
            ok = ok && parameters.append(pieces, 2);
        });
        report(line.number, VI_REPORT_REPAIRED, "wrote the parameters \"%.*s\" as \"%.*s\"",
               static_cast<int>(p.colon - nameEnd), text.data() + nameEnd,
               static_cast<int>(parameters.length - nameEnd), parameters.text + nameEnd);
        rebuild(line, {std::string_view(parameters.text, parameters.length), ":", body});
    }
    if (ok && !ended) {
        // Cut short: by the next card (which stays unread) or by the end.
        ok = copyUpTo(nextCardFound ? line.start : cursor_.offset());
        if (ok && softBreak && !nextCardFound) {
            // The last value ends in "=": nothing follows to continue it.
            while (repaired_.length > 0 && (repaired_.text[repaired_.length - 1] == '\r' ||
                                            repaired_.text[repaired_.length - 1] == '\n'))
                --repaired_.length;
            if (repaired_.length > 0 && repaired_.text[repaired_.length - 1] == '=')
                --repaired_.length;
            ok = put("\r\n");
            report(line.number, VI_REPORT_REPAIRED,
                   "dropped the soft line break \"=\" that ends the text");
        }
        if (!nextCardFound)
            report(card.firstLine, VI_REPORT_REPAIRED,
                   "the card has no END:VCARD; kept what the text holds of it");
        if (ok && repaired_.length > 0 && repaired_.text[repaired_.length - 1] != '\n')
            ok = put("\r\n");
        for (; ok && depth > 0; --depth)
            ok = put("END:VCARD\r\n");
    }
    if (!ok) {
        cursor_ = saved;
        return Step::NoMemory;
    }
    if (copying_) {
        card.text = repaired_.text;
        card.length = repaired_.length;
    } else {
        card.text = text_ + cardStart_;
        card.length = cardEnd - cardStart_;
    }
    return Step::Card;
}

} // namespace interop
