// Tolerant card reading over texts as phones and PIMs write them: each
// card's properties as read (decoded, in text order), the reports with
// their lines and kinds, and the counts.
#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interop/charset/utf8.h"
#include "interop/recover/cardRecover.h"
#include "interop/recover/lines.h"
#include "interop/recover/report.h"
#include "vcard/vcard_support.h"
#include "versit_interop.h"

namespace {

using namespace std::string_literals;

// The import prepends each property and parameter to its list: the lists
// are walked back to front to give them in text order.
template <class T> std::vector<const T *> inTextOrder(const T *first) {
    std::vector<const T *> items;
    for (const T *p = first; p != nullptr; p = p->next)
        items.insert(items.begin(), p);
    return items;
}

std::string valueText(const vValue *v) {
    if (v->encoding != VLIB_ENCODING_BASE64) return v->data;
    std::string hex;
    for (int32_t i = 0; i < v->dataSize; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(v->data[i]));
        hex += digits;
    }
    return "0x" + hex;
}

// A card as "NAME;PARAM=VALUE:value|..." with each nested card in braces
// after its properties.
std::string render(const vComponent *card) {
    std::string out;
    for (const vProperty *p : inTextOrder(card->propertyList)) {
        out += p->name;
        for (const vParameter *q : inTextOrder(p->parameterList)) {
            out += ";" + std::string(q->name) + (q->name[0] != '\0' ? "=" : "");
            for (const vValue *v = q->valueList; v != nullptr; v = v->next)
                out += v->data + std::string(v->next != nullptr ? "," : "");
        }
        out += ":";
        for (const vValue *v = p->valueList; v != nullptr; v = v->next)
            out += valueText(v) + (v->next != nullptr ? ";" : "");
        out += "|";
    }
    for (const vComponent *c = card->subComponent; c != nullptr; c = c->next)
        out += "{" + render(c) + "}";
    return out;
}

using Reports = std::vector<std::pair<uint64_t, int>>;

struct Reading {
    std::vector<std::string> cards;
    Reports reports;
    VI_ReadCounts counts{};
};

void collect(void *user, const VI_Report *report) {
    static_cast<Reports *>(user)->emplace_back(report->line, report->kind);
}

Reading readTolerantly(const std::string &text) {
    vctest::Context context;
    context->flags = VCARD_NO_DEFAULT_TYPES;
    Reading r;
    VI_TolerantReader *reader = nullptr;
    EXPECT_EQ(VI_tolerantReaderCreate(&reader, text.data(), text.size(), collect, &r.reports), 0);
    vComponent *card = nullptr;
    int32_t result = 0;
    for (int calls = 0; calls < 20 && (result = VI_readCardTolerantly(reader, context, &card)) == 0;
         ++calls) {
        r.cards.push_back(render(card));
        VCARD_destroyCard(context, &card);
    }
    EXPECT_EQ(result, VCARD_ERR_NO_CARD);
    EXPECT_EQ(VI_readCardTolerantly(reader, context, &card), VCARD_ERR_NO_CARD);
    VI_tolerantReaderCounts(reader, &r.counts);
    VI_tolerantReaderDestroy(&reader);
    EXPECT_EQ(reader, nullptr);
    return r;
}

// Latin-1 text as UTF-16LE with its byte-order mark.
std::string utf16le(const std::string &latin1) {
    std::string out = "\xFF\xFE";
    for (char c : latin1)
        out += std::string{c, '\0'};
    return out;
}

constexpr int kNote = VI_REPORT_NOTE;
constexpr int kRepaired = VI_REPORT_REPAIRED;
constexpr int kLost = VI_REPORT_LOST;

struct Case {
    const char *what;
    std::string text;
    std::vector<std::string> cards;
    Reports reports;
    uint64_t read, repaired, lossy, junkLines;
};

TEST(TolerantCards, RepairsWhatWritersBreak) {
    // clang-format off
    const Case cases[] = {
        {"files joined without a line break, with byte-order marks and NUL padding",
         "\xEF\xBB\xBF" "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jane\r\nEND:VCARD"
         "\xEF\xBB\xBF" "BEGIN:VCARD\r\nN:Roe;Rick\0\r\nEND:VCARD\r\n\0\0\0\0"
         "\0\0BEGIN:VCARD\r\nN:Poe;Ed\r\nEND:VCARD\r\n"s,
         {"VERSION:2.1|N:Doe;Jane|", "N:Roe;Rick|", "N:Poe;Ed|"},
         {{5, kRepaired}, {7, kRepaired}}, 3, 2, 0, 0},
        {"line ends of every kind",
         "BEGIN:VCARD\rN:Doe;Jane\rEND:VCARD\rBEGIN:VCARD\nN:Roe;Rick\nNOTE;QUOTED-PRINTABLE:a=\n"
         "b\nEND:VCARD\n",
         {"N:Doe;Jane|", "N:Roe;Rick|NOTE;ENCODING=QUOTED-PRINTABLE:ab|"},
         {{6, kRepaired}, {7, kRepaired}}, 2, 1, 0, 0},
        {"junk before, between and inside cards",
         "Exported by PhoneSuite 3.2\r\n\r\n"
         "BEGIN:VCARD\r\nN:Doe;Jane\r\n--- page 2 ---\r\nTEL;CELL:+1 555 0100\r\nEND:VCARD\r\n"
         "Contacts: 2\r\n BEGIN:VCARD\r\n  (SIM)\r\nN:Roe;Rick\r\nEND:VCARD\r\n",
         {"N:Doe;Jane|TEL;CELL:+1 555 0100|", "N:Roe;Rick|"},
         {{1, kNote}, {5, kLost}, {8, kNote}, {10, kLost}}, 2, 2, 2, 2},
        {"a card cut by the next file's BEGIN, and a last card cut inside a soft break",
         "BEGIN:VCARD\r\nN:Doe;Jane\r\nTEL;HOME:1" "\xEF\xBB\xBF"
         "BEGIN:VCARD\r\nN:Roe;Rick\r\nNOTE;ENCODING=QUOTED-PRINTABLE:call back=",
         {"N:Doe;Jane|TEL;HOME:1|", "N:Roe;Rick|NOTE;ENCODING=QUOTED-PRINTABLE:call back|"},
         {{1, kRepaired}, {5, kRepaired}, {3, kRepaired}}, 2, 2, 0, 0},
        {"soft breaks continued without indentation",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Moved to 3pm=0D=0A=\r\n"
         "Agenda: budget=\r\n\r\nand staff=\r\nTEL;HOME:1\r\n"
         "ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;Main St=\r\n 1;Springfield\r\nEND:VCARD\r\n",
         {"VERSION:2.1|NOTE;ENCODING=QUOTED-PRINTABLE:Moved to 3pm\r\nAgenda: budgetand staff|"
          "TEL;HOME:1|ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;Main St1;Springfield|"},
         {{4, kRepaired}, {6, kRepaired}}, 1, 1, 0, 0},
        {"encoding words, base64 without indentation, faulty escapes",
         "BEGIN:VCARD\r\nPHOTO;TYPE=JPEG;BASE64:/9j/\r\n4AAQ\r\n\r\nLOGO;ENCODING=B:R0lG\r\n"
         "SOUND;B:QUJD\r\nNOTE;QUOTED-PRINTABLE:a=3db=\r\n=3D\r\n"
         "LABEL;ENCODING=QUOTEDPRINTABLE:1=2\r\n"
         "ADR;PARCEL,ENCODING=QUOTED-PRINTABLE:;;M=FChlweg 2\r\nEND:VCARD\r\n",
         {"PHOTO;TYPE=JPEG;ENCODING=BASE64:0xffd8ffe00010|LOGO;ENCODING=BASE64:0x474946|"
          "SOUND;ENCODING=BASE64:0x414243|NOTE;ENCODING=QUOTED-PRINTABLE:a=b=|"
          "LABEL;ENCODING=QUOTED-PRINTABLE:1=2|"
          "ADR;PARCEL;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:;;M\xC3\xBChlweg 2|"},
         {{2, kRepaired}, {3, kRepaired}, {5, kRepaired}, {6, kRepaired}, {7, kRepaired},
          {7, kRepaired}, {8, kRepaired}, {9, kRepaired}, {9, kRepaired}, {10, kRepaired},
          {1, kRepaired}}, 1, 1, 0, 0},
        {"charsets named, aliased, unknown and missing",
         "BEGIN:VCARD\r\nN;CHARSET=ISO-8859-1:M\xFCller;J\xFCrgen\r\n"
         "FN;CHARSET=Windows-1251:\xC8\xE2\xE0\xED\r\n"
         "ORG;CHARSET=KOI8-R:\xF0\xD2\xCF\xC5\xCB\xD4\r\n"
         "TITLE;CHARSET=Shift_JIS:\x93\xFA\x96\x7B\r\nNOTE;CHARSET=UTF8:caf\xC3\xA9\r\n"
         "X-PHONETIC;CHARSET=X-MAC-KLINGON:\xE9t\xE9\r\nX-NICK:Jos\xC3\xA9\r\n"
         "X-CITY:K\xF6ln \x97 Deutz\r\n" // Windows-1252's em dash
         "X-ALIAS;CHARSET=UTF-8:Ren\xE9\r\nEND:VCARD\r\n",
         {"N;CHARSET=UTF-8:M\xC3\xBCller;J\xC3\xBCrgen|FN;CHARSET=UTF-8:"
          "\xD0\x98\xD0\xB2\xD0\xB0\xD0" "\xBD|ORG;CHARSET=UTF-8:"
          "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82|"
          "TITLE;CHARSET=UTF-8:\xE6\x97\xA5\xE6\x9C\xAC|NOTE;CHARSET=UTF-8:caf\xC3\xA9|"
          "X-PHONETIC;CHARSET=UTF-8:\xC3\xA9t\xC3\xA9|X-NICK;CHARSET=UTF-8:Jos\xC3\xA9|"
          "X-CITY;CHARSET=UTF-8:K\xC3\xB6ln \xE2\x80\x94 Deutz|X-ALIAS;CHARSET=UTF-8:Ren\xC3\xA9|"},
         {{1, kRepaired}, {1, kRepaired}, {1, kRepaired}}, 1, 1, 0, 0},
        {"UTF-16 text",
         utf16le("BEGIN:VCARD\r\nN:M\xFCller;J\xFCrgen\r\nTEL;CELL:+49 30 1234\r\nEND:VCARD\r\n"),
         {"N;CHARSET=UTF-8:M\xC3\xBCller;J\xC3\xBCrgen|TEL;CELL:+49 30 1234|"},
         {{1, kNote}}, 1, 0, 0, 0},
        {"a nested agent card repaired as its own",
         "BEGIN:VCARD\r\nN:Boss;Big\r\nAGENT:\r\n"
         "BEGIN:VCARD\r\nN;CHARSET=ISO-8859-1:Sm\xF8rg\xE5rd;Al\r\nNOTE;QUOTED-PRINTABLE:call=\r\n"
         "first\r\nEND:VCARD\r\nTEL;WORK:1\r\nEND:VCARD\r\n",
         {"N:Boss;Big|AGENT:|TEL;WORK:1|{N;CHARSET=UTF-8:Sm\xC3\xB8rg\xC3\xA5rd;Al|"
          "NOTE;ENCODING=QUOTED-PRINTABLE:callfirst|}"},
         {{6, kRepaired}, {7, kRepaired}}, 1, 1, 0, 0},
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Reading r = readTolerantly(c.text);
        EXPECT_EQ(r.cards, c.cards);
        EXPECT_EQ(r.reports, c.reports);
        const VI_ReadCounts &n = r.counts;
        EXPECT_EQ((std::vector<uint64_t>{n.read, n.repaired, n.lossy, n.skipped, n.junkLines}),
                  (std::vector<uint64_t>{c.read, c.repaired, c.lossy, 0, c.junkLines}));
    }
}

// The line cursor against a plain byte-by-byte split, on texts whose
// breaks, NULs and 8-bit bytes fall on every side of the 16-byte blocks
// the cursor reads.
TEST(TolerantCards, LinesMatchAPlainSplit) {
    // clang-format off
    const std::string pieces[] = {"", "a", "\r\n", "\n", "\r", std::string(1, '\0'), "\xC3\xA9",
                                  "\t", "\x0B", std::string(15, 'x'), std::string(16, 'y'),
                                  std::string(31, 'z')};
    // clang-format on
    uint32_t seed = 7;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int k = 0; k < 12; ++k) {
            seed = seed * 1103515245u + 12345u;
            text += pieces[(seed >> 16) % (sizeof pieces / sizeof pieces[0])];
        }
        interop::LineCursor cursor(text.data(), text.size());
        size_t at = 0;
        uint64_t number = 0;
        interop::Line line;
        while (cursor.next(line)) {
            size_t stop = at;
            while (stop < text.size() && text[stop] != '\r' && text[stop] != '\n')
                ++stop;
            const std::string_view expected(text.data() + at, stop - at);
            ASSERT_EQ(line.text, expected) << round;
            EXPECT_EQ(line.number, ++number);
            EXPECT_EQ(line.nul, expected.find('\0') != std::string_view::npos) << round;
            EXPECT_EQ(line.eightBit, expected.find('\xC3') != std::string_view::npos) << round;
            size_t end = stop;
            if (end < text.size())
                end += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
            EXPECT_EQ(line.end, end);
            at = end;
        }
        EXPECT_EQ(at, text.size()) << round;
        // Back to the start: breaks found ahead must not hide nearer ones.
        interop::Line start;
        start.number = 1;
        cursor.resume(start, 0);
        ASSERT_EQ(cursor.next(line), !text.empty());
        EXPECT_EQ(line.text, std::string_view(text).substr(0, text.find_first_of("\r\n"))) << round;
    }
}

// The checks for 8-bit text read words or blocks at a time, the last one
// where the text ends: a byte at any place, in texts of any length, is seen.
TEST(Utf8Checks, SeeEveryByte) {
    for (size_t length = 0; length < 140; ++length) {
        const std::string ascii(length, 'a');
        EXPECT_FALSE(interop::hasEightBitBytes(ascii.data(), ascii.size())) << length;
        EXPECT_TRUE(interop::isUtf8(ascii.data(), ascii.size())) << length;
        for (size_t at = 0; at + 1 < length; ++at) {
            std::string text = ascii;
            text.replace(at, 2, "\xC3\xA9"); // é
            EXPECT_TRUE(interop::hasEightBitBytes(text.data(), text.size())) << length << at;
            EXPECT_TRUE(interop::isUtf8(text.data(), text.size())) << length << " " << at;
            text[at + 1] = 'a'; // a cut sequence
            EXPECT_FALSE(interop::isUtf8(text.data(), text.size())) << length << " " << at;
            // (Only the bytes given count.)
            EXPECT_FALSE(interop::hasEightBitBytes(text.data(), at)) << length << " " << at;
        }
    }
}

// Lines with more than 64 bytes after their start are read, where they
// can be, by a quicker lane than the rest; the last ones are always read
// the long way. Each line below, after each kind of line before it and
// with each kind of break, is read the same both ways: alone in a short
// card, and with blank lines after the card (which are passed over
// without a word) to bring it into the quick lane.
TEST(TolerantCards, QuickLinesReadAsTheLongWay) {
    // clang-format off
    const std::string lines[] = {
        "TEL;WORK;VOICE:+1 555 0100", "N:Doe;Jane", "BDAY:19700101", "AGENT:", "AGENT:x",
        "item1.AGENT:", "ADR:;;Main St", "EMAIL;INTERNET:a@b.c", "END:VCARD", "END;X=1:VCARD",
        "BEGIN:VCARD", "BEGIN:VCALENDAR", "begin:vcard", "\xEF\xBB\xBFN:x",
        "X-FIFTEEN-CHARS:x", "X-SIXTEEN-CHARSS:x", "TEL;TYPE=CELL:1", "TEL;CELL,VOICE:1",
        "TEL; CELL:1", "TEL;CELL :1", "PHOTO;BASE64:QUJD", "PHOTO;ENCODING=b:QUJD",
        "NOTE;ENCODING=QUOTED-PRINTABLE:a=3db", "NOTE;QP:a", "NOTE;ENCODING=quoted-printable:x",
        "NOTE;CHARSET=UTF-8:caf\xC3\xA9", "NOTE:a\tb", "NOTE:caf\xC3\xA9", "NOTE:abc"s + '\0' + "d",
        "N\x7F:x", "NOTE:ends in d", "NOTE:ends in a blank ", "NOTE:xEND:VCARDBEGIN:VCARD",
        " indented", "\tindented", " ", "", "a.b.NOTE:x", ".N:x", "N.:x", "N;:x", "X:",
        "TEL;WORK;VOICE;PREF;HOME;X-A:1", "TEL;WORK;VOICE;PREF;HOME;X-AB:1",
        "ADR;HOME:;;a:b", "Agenda: call back", "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=",
        "N:\x0B", "N;WORK\x0B:x", "b.N:x", "bday;x-a:1", "NOTE:xbegin:vcard", "NOTE:x.BEGIN:VCARD",
        "NOTE:BEGIN:VCARD\t", "ing room and=", "=0D=0Abc", ":x", "word  ;a:b", "word\t:b",
        "a=b:c", "x\x7F:y", "a.:x", "X-SIXTEEN-CHARSS and more",
        "NOTE;ENCODING=QUOTED-PRINTABLE:a=3D=", "NOTE;ENCODING=QUOTED-PRINTABLE:=C3=A9",
        "NOTE;ENCODING=QUOTED-PRINTABLE:a=3db", "NOTE;ENCODING=QUOTED-PRINTABLE:a=", "TEL;X-A=b:1",
        "NOTE;ENCODING=QUOTED-PRINTABLE:", "N;CHARSET=X;ENCODING=QUOTED-PRINTABLE:=",
        "NOTE;ENCODING=QUOTED-PRINTABLE:a=zz", "NOTE;ENCODING=BASE64:QUJD", "NOTE;X-B:x",
        "=C3=A9=", "b=3Dc", "x=3dy=", "x=q", "=", "PHOTO;TYPE=JPEG;ENCODING=B:QUJD",
        " =C3=A9", " a=3Db=", " a=3db", " a=zz", " x=", "\t=0D=0A", " a\xC3\xA9=",
        // (Names of sixteen bytes or more, and parameters that end past
        // the first 32 bytes.)
        "X-MS-OL-DEFAULT-POSTAL-ADDRESS:2", "X-THIRTY-ONE-BYTES-NAME-XXXXXXX:x",
        "X-THIRTY-TWO-BYTES-NAME-XXXXXXXX:x", "X-NAME-OF-TWENTY-BYTE;X-A:1",
        "group-name-longer.NOTE:x", "a.b.c.d.e.f.g.h.i.j.NOTE-LONGER:x", "long-group-name.END:x",
        "long-group-name.AGENT:", "X-SIXTEEN-CHARSS;ENCODING=QUOTED-PRINTABLE:a=3db",
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=3db",
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=A9=",
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=zz", "N;CHARSET=UTF-8;X-LONG-PARAMETER-NAME;QP:x",
        "N;CHARSET=UTF-8;X-LONG-PARAMETER;BASE64:QUJD", "TEL;WORK;VOICE;PREF;HOME;CELL;MSG;X-A,B:1",
        "TEL;WORK;VOICE;PREF;HOME;CELL;MSG;X-A B:1", "TEL;WORK;VOICE;PREF;HOME;CELL;MSG;X-ABC:1",
        "TEL;WORK;VOICE;PREF;HOME;CELL;MSG;FAX;X-ABCDEFGHIJ", "N;X-PARAMETER-LONG-ENOUGH-TO-PASS\x0B:x",
        "N;X-PARAMETER-LONG-ENOUGH-TO-PASS=\xC3\xA9:x", ";;Main St", ";", ";;=", ":;x",
        "\x7F;x", "=;x",
    };
    const std::string before[] = {"", "N:x", "NOTE;ENCODING=QUOTED-PRINTABLE:a",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a=", "PHOTO;ENCODING=BASE64:QUJD",
                                  "AGENT:", "END:VCARD\r\nBEGIN:VCARD",
                                  // (Runs of lines the quick lane passes in one go.)
                                  "N:x\r\n more\r\nFN:\xC3\xA9\r\nTEL;CELL:1",
                                  "PHOTO;ENCODING=BASE64:QUJD\r\n QUJD\r\n QUJD",
                                  "AGENT:\r\n TEL:1\r\nN:x",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nb=\r\nc=",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nb=3d=",
                                  "N:x\r\nNOTE;ENCODING=QUOTED-PRINTABLE:=C3=A9=\r\nd",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n\r\nb=",
                                  "TEL;X-A=b:1\r\n c",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n b",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a\r\n b=\r\n c=",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a\r\n =E9",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a\r\nN:x\r\n x=",
                                  "NOTE;QUOTED-PRINTABLE:a\r\nN:x\r\n x=",
                                  "long-group-name.AGENT:",
                                  "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a="};
    // clang-format on
    auto same = [](const Reading &a, const Reading &b) {
        return a.cards == b.cards && a.reports == b.reports && a.counts.read == b.counts.read &&
               a.counts.repaired == b.counts.repaired && a.counts.lossy == b.counts.lossy &&
               a.counts.junkLines == b.counts.junkLines && a.counts.skipped == b.counts.skipped;
    };
    const std::string padding(80, '\n');
    for (const char *lineBreak : {"\r\n", "\n", "\r"}) {
        for (const std::string &first : before) {
            for (const std::string &line : lines) {
                std::string text = "BEGIN:VCARD"s + lineBreak;
                if (!first.empty()) text += first + lineBreak;
                text += line + lineBreak + "END:VCARD" + lineBreak;
                // (Alone, the line starts fewer than 64 bytes from the end.)
                ASSERT_LT(line.size(), 51u);
                const Reading alone = readTolerantly(text);
                const Reading padded = readTolerantly(text + padding);
                EXPECT_TRUE(same(alone, padded)) << "line \"" << line << "\" after \"" << first
                                                 << "\", break " << int(lineBreak[0]);
            }
        }
    }
}

// Long lines are found whole by the quick lane, over as many blocks as
// they take, with a break or a byte that sends them the long way at any
// place in them.
TEST(TolerantCards, LongQuickLinesAreWhole) {
    for (size_t length = 20; length < 140; ++length) {
        for (const char *odd : {"", "\t", "\xC3\xA9", "\x0B"}) {
            std::string value(length, 'x');
            value.replace(length / 2, std::strlen(odd), odd);
            const std::string text = "BEGIN:VCARD\r\nNOTE:" + value + "\r\nN:Doe\r\nEND:VCARD\r\n" +
                                     std::string(80, '\n');
            const Reading r = readTolerantly(text);
            ASSERT_EQ(r.cards.size(), 1u);
            // (8-bit text is labelled as what it is read as: only a line
            // whose high bytes were all seen is.)
            const std::string head = *odd == '\xC3' ? "NOTE;CHARSET=UTF-8:" : "NOTE:";
            EXPECT_EQ(r.cards[0], head + value + "|N:Doe|") << length << " " << odd;
        }
    }
}

// The breaks the scan hands the parse with each card are exactly those of
// the card's text, whether the card is used in place or rebuilt, and the
// text ends in its END line: texts from pieces that need every kind of
// repair.
TEST(TolerantCards, KnownBreaksAreTheCardsOwn) {
    const std::string pieces[] = {"BEGIN:VCARD\r\n",
                                  "END:VCARD\r\n",
                                  "END:VCARD",
                                  "N:a;b\r\n",
                                  "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n",
                                  "NOTE;QUOTED-PRINTABLE:x=3d=\r\n",
                                  "b=0a=\r\n",
                                  "c\r\n",
                                  " folded\r\n",
                                  "junk\n",
                                  "\r",
                                  "\n",
                                  std::string("FN:a\0b\r\n", 8),
                                  "PHOTO;BASE64:QUJD\r\n",
                                  "REVRRg==\r\n",
                                  "\r\n",
                                  "AGENT:\r\n",
                                  "TEL;PARCEL,ENCODING=B:eA==\r\n",
                                  "\xEF\xBB\xBF" // NOLINT(bugprone-suspicious-missing-comma)
                                  "BEGIN:VCARD\n",
                                  "END:VCARDBEGIN:VCARD\r\n"};
    uint32_t seed = 5;
    auto pick = [&seed](size_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    vctest::Context context;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (size_t n = 1 + pick(16); n > 0; --n)
            text += pieces[pick(sizeof pieces / sizeof pieces[0])];
        interop::Reporter report(nullptr, nullptr);
        interop::CardScanner scanner(text.data(), text.size());
        interop::CardText card;
        while (scanner.next(context, report, card) == interop::CardScanner::Step::Card) {
            SCOPED_TRACE(std::string(card.text, card.length));
            ASSERT_NE(card.breaks, nullptr);
            std::vector<size_t> expected;
            interop::LineCursor cursor(card.text, card.length);
            interop::Line line;
            std::string_view last;
            while (cursor.next(line)) {
                ASSERT_FALSE(line.nul);
                if (line.start + line.text.size() < line.end)
                    expected.push_back(line.start + line.text.size());
                last = line.text;
            }
            ASSERT_EQ(std::vector<size_t>(card.breaks, card.breaks + card.breakCount), expected);
            // (Every card handed out ends in an END line, kept or made.)
            EXPECT_EQ(last.substr(0, 4), "END:");
        }
    }
}

} // namespace

namespace {

// A card that ends the caller's text is read where it stands, not copied
// (a phone's single card with its photo would be held twice), and the
// import reads nothing past the text: each text sits in a block of its own
// size, without a NUL after it, for the sanitizer to see any byte beyond.
TEST(TolerantCards, LastCardIsReadInPlace) {
    const std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jo\r\n"
                             "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db\r\nEND:VCARD";
    for (const char *end : {"\r\n", "\n", "\r", "  \r\n", ""}) {
        for (const bool two : {false, true}) {
            std::string whole = two ? card + "\r\n" : "";
            whole.append(card).append(end);
            SCOPED_TRACE(whole);
            const std::vector<char> text(whole.begin(), whole.end());
            vctest::Context context;
            context->flags = VCARD_NO_DEFAULT_TYPES;
            interop::Reporter report(nullptr, nullptr);
            interop::CardScanner scanner(text.data(), text.size());
            interop::CardText found;
            std::vector<std::string> cards;
            while (scanner.next(context, report, found) == interop::CardScanner::Step::Card) {
                const bool inPlace =
                    found.text >= text.data() && found.text < text.data() + text.size();
                // Without a break after END the import needs the NUL a copy has.
                EXPECT_EQ(inPlace, *end != '\0' || cards.size() + 1 < (two ? 2u : 1u));
                EXPECT_LE(found.importLength, found.length);
                vComponent *read = nullptr;
                const char *rest = nullptr;
                int32_t left = 0;
                EXPECT_EQ(VCARD_importObjectFromBuffer(context, &read, found.text,
                                                       static_cast<int32_t>(found.importLength),
                                                       &rest, &left),
                          0);
                ASSERT_NE(read, nullptr);
                cards.push_back(render(read));
                VCARD_destroyCard(context, &read);
            }
            EXPECT_EQ(cards, std::vector<std::string>(two ? 2 : 1,
                                                      "VERSION:2.1|N:Doe;Jo|NOTE;ENCODING=QUOTED-"
                                                      "PRINTABLE:a=b|"));
            EXPECT_EQ(readTolerantly(whole).cards, cards);
        }
    }
}

// A line a phone broke after a quoted-printable soft break, without the
// blank that continues it, is joined by telling the parse, not by copying
// the card to write the blank in; a line that needs its own text mended
// as well is written into a copy, still joined the same way.
TEST(TolerantCards, SoftBreakJoinsNeedNoCopy) {
    const std::string head =
        "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:one=\r\n";
    for (const bool mend : {false, true}) {
        const std::string whole =
            head + (mend ? "tw=6f" : "two") + "=\nthree\r\nTEL:1\r\nEND:VCARD\r\n\r\n";
        SCOPED_TRACE(whole);
        const std::vector<char> text(whole.begin(), whole.end());
        vctest::Context context;
        interop::Reporter report(nullptr, nullptr);
        interop::CardScanner scanner(text.data(), text.size());
        interop::CardText card;
        ASSERT_EQ(scanner.next(context, report, card), interop::CardScanner::Step::Card);
        EXPECT_EQ(card.text == text.data() + 0, !mend);
        ASSERT_EQ(card.joinCount, 2u);
        const std::string_view read(card.text, card.length);
        EXPECT_EQ(read.substr(card.joins[0], 3), "\r\nt");
        EXPECT_EQ(read.substr(card.joins[1], mend ? 3 : 2), mend ? "\r\nt" : "\nt");
        EXPECT_EQ(readTolerantly(whole).cards,
                  std::vector<std::string>{"VERSION:2.1|NOTE;ENCODING=QUOTED-PRINTABLE:"
                                           "onetwothree|TEL:1|"});
    }
}

// A report's message is what printf writes from its format, cut to fit
// the reporter's line, whether it is formatted, given as it stands or
// handed on through reporters that forward it.
TEST(Reports, MessagesAreAsPrintfWouldWriteThem) {
#define TEN "0123456789"
#define HUNDRED TEN TEN TEN TEN TEN TEN TEN TEN TEN TEN
    const std::string longWord(400, 'w');
    std::vector<std::string> heard;
    auto collect = [](void *user, const VI_Report *r) {
        static_cast<std::vector<std::string> *>(user)->push_back(r->message);
    };
    interop::Reporter outer(collect, &heard);
    interop::Reporter inner(interop::Reporter::forward, &outer);
    for (interop::Reporter *r : {&outer, &inner}) {
        heard.clear();
        (*r)(1, VI_REPORT_NOTE, "plain words");
        (*r)(1, VI_REPORT_NOTE, "100%% read");
        (*r)(1, VI_REPORT_NOTE, "%s", "handed on");
        (*r)(1, VI_REPORT_NOTE, "%s", longWord.c_str());
        (*r)(1, VI_REPORT_NOTE, HUNDRED HUNDRED HUNDRED TEN TEN TEN "and more");
        (*r)(1, VI_REPORT_NOTE, "%llu line%s", 3ull, "s");
        char cut[320];
        std::snprintf(cut, sizeof cut, "%s", longWord.c_str());
        const std::vector<std::string> expected = {"plain words",
                                                   "100% read",
                                                   "handed on",
                                                   cut,
                                                   (HUNDRED HUNDRED HUNDRED TEN) +
                                                       std::string(TEN).substr(0, 9),
                                                   "3 lines"};
        EXPECT_EQ(heard, expected);
    }
#undef HUNDRED
#undef TEN
}

} // namespace

namespace {

// A message as the reporter formats it, or "(left to printf)" when it
// leaves the format to the C library; and as vsnprintf formats it.
std::string plain(size_t size, const char *format, ...) {
    std::vector<char> out(size, '#');
    va_list args;
    va_start(args, format);
    const bool made = interop::formatPlain(out.data(), size, format, args);
    va_end(args);
    return made ? std::string(out.data()) : "(left to printf)";
}

std::string printed(size_t size, const char *format, ...) {
    std::vector<char> out(size, '#');
    va_list args;
    va_start(args, format);
    std::vsnprintf(out.data(), size, format, args);
    va_end(args);
    return out.data();
}

} // namespace

// Messages are formatted without printf where their conversions allow,
// to the same text, cut where vsnprintf cuts it; other formats are left
// to the C library.
TEST(Reports, PlainFormatsAsPrintfDoes) {
    const std::string longText(400, 'x');
#define SAME(size, ...) EXPECT_EQ(plain(size, __VA_ARGS__), printed(size, __VA_ARGS__))
    SAME(320, "words alone");
    SAME(320, "a %s b %d c", "text", -5);
    SAME(320, "%d %d %u", INT_MIN, INT_MAX, UINT_MAX);
    SAME(320, "%ld %lu %lld %llu", LONG_MIN, ULONG_MAX, LLONG_MIN, ULLONG_MAX);
    SAME(320, "%zu of %zu", size_t{0}, SIZE_MAX);
    SAME(320, "[%.*s] [%.*s] [%.*s]", 3, "abcdef", -1, "abc", 10, "abc");
    SAME(320, "[%.2s] [%.0s] [%.12s]", "abc", "abc", "abc");
    SAME(320, "%c%c = 100%%", 'a', 'b');
    SAME(320, "%s", longText.c_str());
    SAME(320, "%s and %d more", longText.c_str(), 7);
    SAME(8, "%d %s", 123456, "abc");
    SAME(8, "%s", "1234567");
    SAME(1, "%s", "a");
#undef SAME
    // (A precision that ends before the text does is all that is read.)
    const char unended[3] = {'a', 'b', 'c'};
    EXPECT_EQ(plain(320, "%.*s!", 3, unended), "abc!");
    for (const char *format : {"%x", "%5d", "%-15s", "%.3d", "%zd", "%f", "%", "%l", "%.*d"})
        EXPECT_EQ(plain(320, format, 1, 2), "(left to printf)") << format;
    EXPECT_EQ(plain(320, "%s", static_cast<const char *>(nullptr)), "(left to printf)");
}
