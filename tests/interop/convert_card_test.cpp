// Card conversion through the public interface: 2.1 lines as 3.0 and 4.0
// write them, folding, binary data, JSON strings, the counts, and a
// 2.1 -> 4.0 -> 2.1 round trip of the real-world files that keeps every
// decoded value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "interop/convert/card.h"
#include "interop/convert/contentLine.h"
#include "interop/convert/json.h"
#include "interop/convert_support.h"
#include "versit_convert.h"
#include "versit_core.h"

namespace {

using converttest::convert;
using converttest::Result;

bool hasLine(const std::string &text, const std::string &wanted) {
    const std::vector<std::string> lines = converttest::linesOf(text);
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

std::string card21(const std::string &body) {
    return "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John\r\n" + body + "END:VCARD\r\n";
}

// A 1x1 PNG, in BASE64.
const std::string kPng = "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk";

// Every name the converter knows is found whatever its case; names that
// share a known name's first letter and length, or start like one, are not.
TEST(ConvertCard, PropertyNamesLookedUpCaseBlind) {
    static const char *const kKnown[] = {
        "ADR",        "AGENT", "ANNIVERSARY",  "BDAY",        "CALADRURI", "CALURI",
        "CATEGORIES", "CLASS", "CLIENTPIDMAP", "EMAIL",       "FBURL",     "FN",
        "GENDER",     "GEO",   "IMPP",         "KEY",         "KIND",      "LABEL",
        "LANG",       "LOGO",  "MAILER",       "MEMBER",      "N",         "NAME",
        "NICKNAME",   "NOTE",  "ORG",          "PHOTO",       "PRODID",    "PROFILE",
        "RELATED",    "REV",   "ROLE",         "SORT-STRING", "SOUND",     "SOURCE",
        "TEL",        "TITLE", "TZ",           "UID",         "URL",       "VERSION",
        "XML"};
    for (const char *known : kKnown) {
        std::string name = known;
        for (size_t i = 0; i < name.size(); i += 2)
            name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
        for (const std::string &form : {std::string(known), name}) {
            const interop::convert::PropertyInfo *info = interop::convert::findProperty(form);
            ASSERT_NE(info, nullptr) << form;
            EXPECT_EQ(info->name, known);
        }
    }
    for (const char *other :
         {"", "X", "NOTA", "LAND", "MEMBERS", "UIX", "URI", "TE", "TELX", "CLIENTPIDMAPS",
          "SORT-STRINGS", "1TEL", "-N", "N-", "\xC9MAIL", "X-ABLABEL", "TZ ", "NAMEX"}) {
        EXPECT_EQ(interop::convert::findProperty(other), nullptr) << other;
    }
}

TEST(ConvertCard, LinesAsEachVersionWritesThem) {
    struct Case {
        std::string body;
        std::string v30;
        std::string v40;
    };
    const Case cases[] = {
        {"TEL;CELL;PREF:+1 555\r\n", "TEL;TYPE=cell,pref:+1 555", "TEL;TYPE=cell;PREF=1:+1 555"},
        {"TEL;TYPE=HOME,WORK:123\r\n", "TEL;TYPE=home,work:123", "TEL;TYPE=home,work:123"},
        {"ADR;DOM;HOME:;;1 Main St;Town;;12345;\r\n", "ADR;TYPE=dom,home:;;1 Main St;Town;;12345;",
         "ADR;TYPE=dom,home:;;1 Main St;Town;;12345;"},
        {"NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:caf=E9=0D=0Aline 2\r\n",
         "NOTE:caf\xC3\xA9\\nline 2", "NOTE:caf\xC3\xA9\\nline 2"},
        {"NOTE:a,b;c\\d\r\n", "NOTE:a\\,b\\;c\\\\d", "NOTE:a\\,b\\;c\\\\d"},
        {"ORG:Acme\\; Sons;Sales, East\r\n", "ORG:Acme\\; Sons;Sales\\, East",
         "ORG:Acme\\; Sons;Sales\\, East"},
        {"GEO:37.24,-121.88\r\n", "GEO:37.24;-121.88", "GEO:geo:37.24,-121.88"},
        {"BDAY:1995-04-15\r\n", "BDAY:1995-04-15", "BDAY:19950415"},
        {"item1.EMAIL;INTERNET:a@b.c\r\n", "item1.EMAIL;TYPE=internet:a@b.c",
         "item1.EMAIL;TYPE=internet:a@b.c"},
        {"X-FOO;X-BAR=1:x\r\n", "X-FOO;X-BAR=1:x", "X-FOO;X-BAR=1:x"},
        // A delimiter in a value puts it in quotes; only TYPE is lowered.
        {"X-FOO;X-BAR=a,b;X-BAZ=Up;TYPE=Cell:x\r\n", "X-FOO;X-BAR=\"a,b\";X-BAZ=Up;TYPE=cell:x",
         "X-FOO;X-BAR=\"a,b\";X-BAZ=Up;TYPE=cell:x"},
        {"NICKNAME:Jo\r\n", "NICKNAME:Jo", "NICKNAME:Jo"},
        {"X-VCARD-KIND:group\r\n", "X-VCARD-KIND:group", "KIND:group"},
        {"LABEL:1 Main St\r\n", "LABEL:1 Main St", "X-VCARD-LABEL:1 Main St"},
        {"PHOTO;VALUE=URL;TYPE=GIF:http://x.org/a.gif\r\n",
         "PHOTO;TYPE=gif;VALUE=uri:http://x.org/a.gif",
         "PHOTO;MEDIATYPE=image/gif:http://x.org/a.gif"},
        // Labelled JPEG, but the bytes are PNG's.
        {"PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n " + kPng + "\r\n\r\n",
         "PHOTO;ENCODING=b;TYPE=png:" + kPng, "PHOTO:data:image/png;base64," + kPng},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body);
        const std::string in = card21(c.body);
        const Result v30 = convert(in, VI_FORMAT_VCARD21, VI_FORMAT_VCARD30);
        const Result v40 = convert(in, VI_FORMAT_VCARD21, VI_FORMAT_VCARD40);
        ASSERT_EQ(v30.rc, 0);
        ASSERT_EQ(v40.rc, 0);
        EXPECT_TRUE(hasLine(v30.text, c.v30)) << v30.text;
        EXPECT_TRUE(hasLine(v40.text, c.v40)) << v40.text;
        // Both need FN: made from N.
        EXPECT_TRUE(hasLine(v30.text, "FN:John Doe"));
        EXPECT_TRUE(hasLine(v40.text, "FN:John Doe"));
        EXPECT_EQ(converttest::linesOf(v40.text)[1], "VERSION:4.0");
    }
}

// Lines are cut at 75 octets, never inside a UTF-8 sequence.
TEST(ConvertCard, FoldsAt75OctetsBetweenCharacters) {
    // "NOTE:" and 69 letters leave one octet of the line for a 3-octet
    // character.
    const std::string note(69, 'a');
    const Result r =
        convert(card21("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + note + "=E2=82=AC\r\n"),
                VI_FORMAT_VCARD21, VI_FORMAT_VCARD40);
    ASSERT_EQ(r.rc, 0);
    std::istringstream in(r.text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        EXPECT_LE(line.size(), 75u) << line;
        if (!line.empty() && line[0] == ' ') {
            EXPECT_NE(static_cast<unsigned char>(line[1]) & 0xC0, 0x80) << line;
        }
    }
    EXPECT_TRUE(hasLine(r.text, "NOTE:" + note + "\xE2\x82\xAC"));
    EXPECT_NE(r.text.find("a\r\n \xE2\x82\xAC"), std::string::npos);
    // ASCII fills a line to exactly 75 octets, a continuation to 74 after
    // its blank.
    const Result ascii = convert(card21("NOTE:" + std::string(200, 'b') + "\r\n"),
                                 VI_FORMAT_VCARD21, VI_FORMAT_VCARD40);
    EXPECT_NE(ascii.text.find("\r\nNOTE:" + std::string(70, 'b') + "\r\n " + std::string(74, 'b') +
                              "\r\n " + std::string(56, 'b') + "\r\n"),
              std::string::npos)
        << ascii.text;
}

// A line written in place and folded there comes out as a copy of it
// folded: on both sides of 75 octets and of several folds, with a
// character of two to four octets at every place, after what the text held
// before, with the room for the cuts used again.
TEST(ConvertCard, FoldedInPlaceAsFoldedFromACopy) {
    // The fold as it reads: 75 octets, then 74 after each blank, a cut
    // moved back before a byte that continues a UTF-8 character (unless
    // nothing but such bytes stand there).
    auto foldedCopy = [](std::string line) {
        std::string out;
        size_t width = 75;
        while (line.size() > width) {
            size_t cut = width;
            while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
                --cut;
            if (cut == 1) cut = width;
            out += line.substr(0, cut) + "\r\n ";
            line.erase(0, cut);
            width = 74;
        }
        return out + line + "\r\n";
    };
    interop::Array<uint8_t> steps;
    auto check = [&](const std::string &line) {
        vcal::TextBuffer inPlace;
        ASSERT_TRUE(inPlace.append("before\r\n"));
        const size_t start = inPlace.length;
        ASSERT_TRUE(inPlace.append(line));
        ASSERT_TRUE(interop::convert::foldFrom(inPlace, start, steps));
        ASSERT_EQ(std::string(inPlace.text, inPlace.length), "before\r\n" + foldedCopy(line));
    };
    for (const std::string character : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        for (size_t size = 0; size <= 320; ++size) {
            for (size_t at = 0; at < size; at += 7) {
                std::string line(size, 'x');
                line.replace(at, std::min(character.size(), size - at), character);
                SCOPED_TRACE(std::to_string(size) + " " + std::to_string(at));
                check(line);
            }
        }
        // Nothing but the character, and a long run of bytes that start no
        // character (cut where they fall).
        std::string only;
        while (only.size() < 1000)
            only += character;
        check(only);
    }
    check(std::string(1000, '\x80'));
}

// JSON strings stay valid UTF-8 whatever the text holds: bytes that are no
// UTF-8 (a lone continuation byte, an encoded surrogate, an overlong form)
// become U+FFFD; control characters are escaped.
TEST(ConvertCard, JsonStringsAreValidUtf8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\x01\t\n", "\"\\u0001\\t\\n\""},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\x80x", "\"\xEF\xBF\xBDx\""},
    };
    for (const auto &c : cases) {
        vcal::TextBuffer out;
        ASSERT_TRUE(interop::convert::appendJsonString(out, c.in));
        EXPECT_EQ(std::string(out.text, out.length), c.out);
    }
}

// Each card's decoded values, as the tolerant reader gives them, with
// what conversion may change normalised: names (group, carried prefix,
// made valid), line breaks, trailing empty fields, date separators and
// the GEO separator. Text sent in BASE64 is left out (the converter reads
// it in its charset; the reader does not).
std::vector<std::vector<std::string>> decodedValues(const std::string &text) {
    std::vector<std::vector<std::string>> cards;
    VCardContext *context = nullptr;
    VCARD_createContext(&context);
    context->flags |= VCARD_NO_DEFAULT_TYPES;
    VI_TolerantReader *reader = nullptr;
    VI_tolerantReaderCreate(&reader, text.data(), text.size(), nullptr, nullptr);
    vComponent *card = nullptr;
    while (VI_readCardTolerantly(reader, context, &card) == 0) {
        std::vector<std::string> values;
        std::vector<vComponent *> stack{card};
        while (!stack.empty()) {
            vComponent *c = stack.back();
            stack.pop_back();
            for (vProperty *p = c->propertyList; p != nullptr; p = p->next) {
                std::string name = p->name;
                name = name.substr(name.rfind('.') == std::string::npos ? 0 : name.rfind('.') + 1);
                for (char &ch : name)
                    ch = isalnum(static_cast<unsigned char>(ch)) ? toupper(ch) : '-';
                for (const char *prefix : {"X-VCARD-", "X-"})
                    if (name.rfind(prefix, 0) == 0) name = name.substr(strlen(prefix));
                const bool media =
                    name == "PHOTO" || name == "LOGO" || name == "SOUND" || name == "KEY";
                std::string value;
                bool skip = name == "VERSION";
                for (vValue *v = p->valueList; v != nullptr; v = v->next) {
                    skip = skip || (v->encoding == VLIB_ENCODING_BASE64 && !media);
                    value += v->encoding == VLIB_ENCODING_BASE64 ? std::string(v->data, v->dataSize)
                                                                 : std::string(v->data);
                }
                if (skip || (name == "AGENT" && value.empty())) continue;
                std::string normal;
                for (size_t i = 0; i < value.size(); ++i) {
                    if (value.compare(i, 2, "\r\n") == 0) continue;
                    char ch = value[i] == '\r' ? '\n' : value[i];
                    if (name == "GEO" && ch == ';') ch = ',';
                    if ((name == "BDAY" || name == "REV") && (ch == '-' || ch == ':')) continue;
                    normal += ch;
                }
                while (!normal.empty() && normal.back() == ';')
                    normal.pop_back();
                values.push_back(name + ":" + normal);
            }
            for (vComponent *s = c->subComponent; s != nullptr; s = s->next)
                stack.push_back(s);
        }
        std::sort(values.begin(), values.end());
        cards.push_back(values);
        VCARD_destroyCard(context, &card);
    }
    VI_tolerantReaderDestroy(&reader);
    VCARD_destroyContext(&context);
    return cards;
}

// Through 4.0 and back nothing 2.1 holds is lost: every decoded value of
// the source is found in the same card again.
void expectRoundTrip(const std::string &in) {
    const Result v40 = convert(in, VI_FORMAT_VCARD21, VI_FORMAT_VCARD40);
    ASSERT_EQ(v40.rc, 0);
    const Result back = convert(v40.text, VI_FORMAT_VCARD40, VI_FORMAT_VCARD21);
    ASSERT_EQ(back.rc, 0);
    const auto before = decodedValues(in);
    const auto after = decodedValues(back.text);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        for (const std::string &value : before[i])
            EXPECT_TRUE(std::binary_search(after[i].begin(), after[i].end(), value))
                << "card " << i << " lost " << value.substr(0, 200);
    }
}

// Binary values are written in BASE64 as they go out: whole in a 4.0 data
// URI and in jCard, on indented lines of 72 in 2.1, on both sides of the
// 54 bytes a 2.1 line holds.
TEST(ConvertCard, BinaryWrittenInBase64) {
    for (const size_t size : {0u, 1u, 2u, 3u, 53u, 54u, 55u, 108u, 109u, 1000u}) {
        SCOPED_TRACE(size);
        std::string bytes = "GIF89a";
        for (size_t i = 0; bytes.size() < size; ++i)
            bytes += static_cast<char>(i * 7);
        bytes.resize(size);
        char *encoded = nullptr;
        ASSERT_EQ(VLIB_convertToBase64(bytes.data(), static_cast<int32_t>(size), &encoded), 0);
        const std::string b64 = encoded;
        std::free(encoded);
        const std::string in = card21("PHOTO;ENCODING=BASE64;TYPE=GIF:" + b64 + "\r\n\r\n");
        const Result v40 = convert(in, VI_FORMAT_VCARD21, VI_FORMAT_VCARD40);
        const Result json = convert(in, VI_FORMAT_VCARD21, VI_FORMAT_JCARD);
        const Result v21 = convert(in, VI_FORMAT_VCARD21, VI_FORMAT_VCARD21);
        ASSERT_EQ(v40.rc, 0);
        std::string unfolded = v40.text;
        for (size_t at; (at = unfolded.find("\r\n ")) != std::string::npos;)
            unfolded.erase(at, 3);
        const std::string mime = "image/gif"; // as labelled, where the bytes say nothing
        EXPECT_TRUE(hasLine(unfolded, "PHOTO:data:" + mime + ";base64," + b64)) << v40.text;
        EXPECT_NE(json.text.find("\"data:" + mime + ";base64," + b64 + "\""), std::string::npos)
            << json.text;
        // The 2.1 lines as written, not unfolded.
        std::vector<std::string> lines;
        for (size_t at = 0, end; (end = v21.text.find("\r\n", at)) != std::string::npos;
             at = end + 2)
            lines.push_back(v21.text.substr(at, end - at));
        const auto photo = std::find(lines.begin(), lines.end(), "PHOTO;ENCODING=BASE64;TYPE=GIF:");
        ASSERT_NE(photo, lines.end()) << v21.text;
        std::string joined;
        for (auto l = photo + 1; l != lines.end() && !l->empty(); ++l) {
            ASSERT_EQ((*l)[0], ' ');
            const bool last = l + 1 == lines.end() || (l + 1)->empty();
            if (!last) {
                EXPECT_EQ(l->size(), 73u);
            }
            EXPECT_LE(l->size(), 73u);
            joined += l->substr(1);
        }
        EXPECT_EQ(joined, b64);
    }
}

TEST(ConvertCard, CountsAndRepairsOfContentLines) {
    const std::string in = "junk\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nN:A;;;;\r\nEND:VCARD\r\n"
                           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:B;;;;\r\n"
                           "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:C\r\n";
    const Result r = convert(in, VI_FORMAT_VCARD30, VI_FORMAT_VCARD40);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.counts.read, 3u);
    EXPECT_EQ(r.counts.written, 3u);
    EXPECT_EQ(r.counts.junkLines, 1u);
    EXPECT_TRUE(hasLine(r.text, "FN:B"));
    EXPECT_TRUE(hasLine(r.text, "FN:C"));
}

// The lines a report names are looked for only when it is made: they must
// still be the card's own, in a nested card and in a card after junk.
TEST(ConvertCard, ReportsNameTheirLines) {
    const Result r = convert("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John\r\nTEL;CELL:1\r\n"
                             "a.b.TEL:2\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Inner\r\n"
                             "x.y.EMAIL:i@x\r\nEND:VCARD\r\nNOTE:n\r\nEND:VCARD\r\njunk\r\n"
                             "\xEF\xBB\xBF BEGIN:VCARD\r\nVERSION:2.1\r\nN:Second\r\n"
                             "c.d.URL:http://x\r\nEND:VCARD\r\n",
                             VI_FORMAT_VCARD21, VI_FORMAT_VCARD40);
    const std::vector<std::string> expected = {
        "7: the card had no FN; made one from N",
        "10: group x.y written as x-y",
        "1: the card had no FN; made one from N",
        "5: group a.b written as a-b",
        "6: the AGENT card is kept as the text of RELATED;TYPE=agent",
        "14: passed over 1 line of text outside any card",
        "15: the card had no FN; made one from N",
        "18: group c.d written as c-d",
    };
    EXPECT_EQ(r.reports, expected);
}

// A 2.1 structured value splits at each ';' that follows no backslash;
// "\;" puts a ';' in its field. Every text of up to six of 'a', ';' and
// backslash, each read as ORG and written in 4.0, where each field is
// escaped.
TEST(ConvertCard, StructuredFieldsSplitAtUnescapedSemicolons) {
    std::vector<std::string> values{""};
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].size() < 6)
            for (char c : {'a', ';', '\\'})
                values.push_back(values[i] + c);
    }
    std::string in = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:x\r\n";
    std::vector<std::string> expected;
    for (const std::string &v : values) {
        if (v.empty()) continue;
        in += "ORG:" + v + "\r\n";
        std::string line = "ORG:";
        for (size_t i = 0; i < v.size(); ++i) {
            const bool split = v[i] == ';' && (i == 0 || v[i - 1] != '\\');
            const bool dropped = v[i] == '\\' && i + 1 < v.size() && v[i + 1] == ';';
            if (split)
                line += ';';
            else if (!dropped)
                line += v[i] == ';' ? "\\;" : v[i] == '\\' ? "\\\\" : "a";
        }
        expected.push_back(line);
    }
    in += "END:VCARD\r\n";
    const Result r = convert(in, VI_FORMAT_VCARD21, VI_FORMAT_VCARD40);
    ASSERT_EQ(r.rc, 0);
    std::vector<std::string> written;
    std::istringstream lines(r.text);
    for (std::string l; std::getline(lines, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.compare(0, 4, "ORG:") == 0) written.push_back(l);
    }
    EXPECT_EQ(written, expected);
}

TEST(ConvertCard, CorpusRoundTripThrough40) {
    const std::vector<std::string> files = converttest::corpusFiles("vcard21");
    if (files.empty()) GTEST_SKIP() << "no corpus";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        const std::string text = converttest::fileText(path);
        if (VI_detectFormat(text.data(), text.size()) != VI_FORMAT_VCARD21) continue;
        expectRoundTrip(text);
    }
}

} // namespace

// A report function may make records of its own and keep them: they must
// outlive the card being converted when the report was made.
TEST(ConvertCard, RecordsMadeInAReportOutliveTheCard) {
    std::string in;
    for (int i = 0; i < 3; ++i)
        in += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe" + std::to_string(i) +
              "\r\na.b.TEL:1\r\nEND:VCARD\r\n";
    struct Kept {
        std::vector<std::string> messages;
        std::vector<vValue *> records;
    } kept;
    std::string out;
    const int32_t rc = VI_convert(
        in.data(), in.size(), VI_FORMAT_VCARD21, VI_FORMAT_VCARD40,
        [](void *user, const char *bytes, size_t n) {
            static_cast<std::string *>(user)->append(bytes, n);
            return 0;
        },
        &out,
        [](void *user, const VI_Report *report) {
            auto &k = *static_cast<Kept *>(user);
            k.messages.emplace_back(report->message);
            k.records.push_back(VLIB_new_vValue(0, report->message, -1, nullptr));
        },
        &kept, nullptr);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(kept.records.size(), 6u);
    for (size_t i = 0; i < kept.records.size(); ++i) {
        ASSERT_NE(kept.records[i], nullptr);
        EXPECT_EQ(kept.messages[i], kept.records[i]->data);
        VLIB_destroy_vValue(&kept.records[i]);
    }
}

// Messages no one reads are not made, but what they say of each item is
// still counted: with and without a report function, the counts agree.
TEST(ConvertCard, CountsTheSameWithoutAReportFunction) {
    const std::string cards = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:A;B\r\nFN:B A\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:C;D\r\na.b.TEL:1\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:E;F\r\nX_ODD:1\r\n"
                              "NOTE;ENCODING=QUOTED-PRINTABLE:a=ZZb\r\n"
                              "END:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:G\r\nno property\r\nEND:VCARD\r\n";
    const std::string calendar =
        "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nDTSTART:20240101T090000Z\r\n"
        "DTEND:20240101T100000Z\r\nSUMMARY:a\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\n"
        "SUMMARY:no start\r\nEND:VEVENT\r\nBEGIN:VTODO\r\nDUE:2024\r\nEND:VTODO\r\n"
        "END:VCALENDAR\r\n";
    const struct {
        const std::string &text;
        int32_t to;
    } cases[] = {{cards, VI_FORMAT_VCARD40}, {cards, VI_FORMAT_VCARD21},
                 {cards, VI_FORMAT_JCARD},   {calendar, VI_FORMAT_ICAL20},
                 {calendar, VI_FORMAT_JCAL}, {calendar, VI_FORMAT_VCAL10}};
    uint64_t lossy = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.to);
        const Result heard = convert(c.text, VI_FORMAT_UNKNOWN, c.to);
        std::string text;
        VI_ConvertCounts counts{};
        const int32_t rc = VI_convert(
            c.text.data(), c.text.size(), VI_FORMAT_UNKNOWN, c.to,
            [](void *user, const char *bytes, size_t n) {
                static_cast<std::string *>(user)->append(bytes, n);
                return 0;
            },
            &text, nullptr, nullptr, &counts);
        ASSERT_EQ(rc, heard.rc);
        EXPECT_FALSE(heard.reports.empty());
        lossy += heard.counts.lossy;
        EXPECT_EQ(counts.read, heard.counts.read);
        EXPECT_EQ(counts.written, heard.counts.written);
        EXPECT_EQ(counts.lossy, heard.counts.lossy);
        EXPECT_EQ(counts.skipped, heard.counts.skipped);
        EXPECT_EQ(text, heard.text);
    }
    EXPECT_GT(lossy, 0u);
}
