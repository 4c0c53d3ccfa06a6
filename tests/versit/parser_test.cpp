// The text parser: lines, names, parameters, values, nesting, running
// result codes and the cursor it hands back.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text_support.h"
#include "versit/vParse.h"
#include "versit_core.h"

namespace {

using vtest::Parsed;

// Each row: the content lines of one component X, the flags, the result,
// and the component as vtest::dump shows it (lists in the parser's order,
// the reverse of the text's).
TEST(Parser, ContentLines) {
    struct Case {
        const char *body;
        int32_t flags, result;
        const char *dump;
    } cases[] = {
        // Folding: the first blank after the break goes, others stay.
        {"NOTE:abc\r\n def", 0, 0, "NOTE:abcdef"},
        {"NOTE:abc\r\n  def", 0, 0, "NOTE:abc def"},
        {"NOTE:abc\n\tdef", 0, 0, "NOTE:abcdef"},
        {"NOTE:abc\r\n\r\n def", 0, 0, "NOTE:abcdef"}, // an empty line inside a fold
        // Commas split unless flag 8 says otherwise; leading blanks go.
        {"NOTE:a,b", 8, 0, "NOTE:a,b"},
        {"NOTE:a, b ,c", 0, 0, "NOTE:a|b |c"},
        {"NOTE:a,", 0, 0, "NOTE:a|"},
        {"NOTE:", 0, 0, "NOTE:"},
        {"NOTE:a\\,b", 0, 0, "NOTE:a\\,b"}, // escaped, and kept as written
        {"NOTE:a:b;c", 0, 0, "NOTE:a:b;c"}, // colons and semicolons belong to the value
        // QUOTED-PRINTABLE, decoded unless flag 1; a bare word is just a parameter.
        {"NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db", 0, 0, "NOTE;ENCODING=QUOTED-PRINTABLE:a=b@506"},
        {"NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db", 1, 0, "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db"},
        {"NOTE;ENCODING=Q:a=0D=0Ab", 0, 0, "NOTE;ENCODING=Q:a\r\nb@506"},
        {"NOTE;ENCODING=Q:a,b=2Cc", 0, 0, "NOTE;ENCODING=Q:a@506|b,c@506"},
        {"NOTE;QUOTED-PRINTABLE:a=3Db", 0, 0, "NOTE;QUOTED-PRINTABLE:a=3Db"},
        {"NOTE;BASE64:TWFu", 0, 0, "NOTE;BASE64:TWFu"},
        // The last ENCODING decides, named in any case; one without a
        // value, or another name that starts the same, decides nothing.
        {"NOTE;ENCODING=BASE64;encoding=q:a=3Db", 0, 0, "NOTE;encoding=q;ENCODING=BASE64:a=b@506"},
        {"NOTE;ENCODING=Q;X=1:a=3Db", 0, 0, "NOTE;X=1;ENCODING=Q:a=b@506"},
        {"NOTE;ENCODING=Q;ENCODING=:a=3Db", 0, VLIB_ERR_EMPTY_PARAMETER,
         "NOTE;ENCODING=;ENCODING=Q:a=3Db"},
        {"NOTE;ENCODINGS=Q;ENCODIN=Q:a=3Db", 0, 0, "NOTE;ENCODIN=Q;ENCODINGS=Q:a=3Db"},
        // Soft line break: "=" and the blank of the fold both go, whatever
        // the encoding; without the blank the line ends there.
        {"NOTE;ENCODING=Q:ab=\r\n cd", 0, 0, "NOTE;ENCODING=Q:abcd@506"},
        {"NOTE:ab=\r\n cd", 0, 0, "NOTE:abcd"},
        {"NOTE:ab==\r\n cd", 0, 0, "NOTE:ab=cd"},
        {"NOTE;ENCODING=Q:ab=\r\ncd:ef", 0, 0, "cd:ef\nNOTE;ENCODING=Q:ab@506"},
        // Quotes: the value is unescaped, and so is every later one.
        {"NOTE:\"a,b\"", 0, 0, "NOTE:a,b@507"},
        {"NOTE:x,\"a\\nb\\\\\\\"c\",y\\;z", 0, 0, "NOTE:x|a\r\nb\\\"c@507|y;z@507"},
        {"NOTE:a\\n,\"b\",c\\n", 0, 0, "NOTE:a\\n|b@507|c\r\n@507"},
        {"NOTE:\"a\\Nb\"", 0, 0, "NOTE:a\r\nb@507"},
        {"NOTE:\"tail\\", 0, 0, "NOTE:tail\\@507"},
        // Parameters, bare and named; quoted values are unescaped.
        {"X;TYPE=WORK,FAX;PREF:v", 0, 0, "X;PREF;TYPE=WORK|FAX:v"},
        {"X; TYPE = a , b ;HOME :v", 0, 0, "X;HOME;TYPE=a|b:v"},
        {"X;TYPE=\"x;y\":v", 0, 0, "X;TYPE=x;y@507:v"},
        {"X;TYPE=\"a:b\",c:v", 0, 0, "X;TYPE=a:b@507|c@507:v"},
        {"X;TYPE=:v", 0, VLIB_ERR_EMPTY_PARAMETER, "X;TYPE=:v"},
        {"X;TYPE= ;A:v", 0, VLIB_ERR_EMPTY_PARAMETER, "X;A;TYPE=:v"},
        {"X;TYPE=,a:v", 0, 0, "X;TYPE=|a:v"},
        {"X;;A:v", 0, 0, "X;A;:v"},
        {"X;A\\:B:v", 0, 0, "X;A\\:B:v"},
        {"X;A=b=c:v", 0, 0, "X;A=b=c:v"},
        // Names.
        {"item1.EMAIL;INTERNET:a@b", 0, 0, "item1.EMAIL;INTERNET:a@b"},
        {"TEL  :1", 0, 0, "TEL:1"},   // trailing blanks of the name go
        {"A\\:B:1", 0, 0, "A\\:B:1"}, // a backslash keeps the colon in the name
        {":1", 0, 0, ":1"},           // an empty name is still a property
        {"NOCOLON", 0, VLIB_ERR_NO_COLON, "NOCOLON"},
        {"X;A;B", 0, VLIB_ERR_NO_COLON, "X;B;A"},
        {"X;", 0, VLIB_ERR_NO_COLON, "X"},
        // One property per value under flag 4, each with the parameters;
        // RRULE and EXRULE (not a grouped one) are never split under 0x10.
        {"P;A=1:a,b,c", 4, 0, "P;A=1:c\nP;A=1:b\nP;A=1:a"},
        {"P:a,b,c", 4 | 8, 0, "P:a,b,c"},
        {"P:a,b", 4 | 0x10, 0, "P:b\nP:a"},
        {"rrule:a,b", 4 | 0x10, 0, "rrule:a,b"},
        {"ExRule:a,b", 0x10, 0, "ExRule:a,b"},
        {"x.rrule:a,b", 0x10, 0, "x.rrule:a|b"}};
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, std::string("BEGIN:X\r\n") + c.body + "\r\nEND:X\r\n", c.flags);
        ASSERT_NE(p.tree.root, nullptr) << c.body;
        EXPECT_EQ(p.result, c.result) << c.body;
        EXPECT_EQ(vtest::dump(p.tree.root), "X{" + std::string(c.dump) + "}") << c.body;
        const vProperty *first = p.tree.root->propertyList;
        EXPECT_EQ(first->propertyType, VLIB_PROPERTY_UNIDENTIFIED);
        for (const vValue *v = first->valueList; v != nullptr; v = v->next) {
            EXPECT_EQ(v->dataType, VLIB_DATATYPE_UNRESOLVED);
            EXPECT_EQ(v->dataSize, static_cast<int32_t>(std::strlen(v->data)) + 1)
                << c.body << ": text values count their NUL";
        }
    }
}

// Each row: a text (or its first `count` bytes), the result, the tree made
// (null for none), and the cursor afterwards: bytes left, offset of the rest.
TEST(Parser, ResultCodesAndTheCursor) {
    constexpr int32_t kAll = vtest::kWholeText;
    struct Case {
        const char *text;
        int32_t count, result;
        const char *dump;
        int32_t remaining;
        long restAt; // -1 for null
    } cases[] = {
        {"BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:a\r\nBEGIN:VALARM\r\nT:1\r\n"
         "END:VALARM\r\nEND:VEVENT\r\nBEGIN:VTODO\r\nEND:VTODO\r\nX:1\r\nEND:VCALENDAR\r\n",
         kAll, 0, "VCALENDAR{X:1\nVERSION:1.0\nVTODO{}\nVEVENT{SUMMARY:a\nVALARM{T:1}}}", 0, -1},
        // The running result is the last problem met.
        {"BEGIN:VCARD\r\nA\r\nB;X=:1\r\nEND:VCARD\r\n", kAll, VLIB_ERR_EMPTY_PARAMETER,
         "VCARD{B;X=:1\nA}", 0, -1},
        {"BEGIN:VCARD\r\nB;X=:1\r\nA\r\nEND:VCARD\r\n", kAll, VLIB_ERR_NO_COLON, "VCARD{A\nB;X=:1}",
         0, -1},
        {"BEGIN\r\nA:1\r\nEND\r\n", kAll, VLIB_ERR_NO_COLON, "{A:1}", 0, -1},
        {"BEGIN:\r\nA:1\r\nEND:\r\n", kAll, 0, "{A:1}", 0, -1}, // an empty value is a name
        {"BEGIN;X=1\r\nEND\r\n", kAll, VLIB_ERR_NO_COLON, "{}", 0, -1},
        // The reader drops the "=" before the break: "x" has no colon.
        {"BEGIN:A\r\nx=\r\nEND:A\r\n", kAll, VLIB_ERR_NO_COLON, "A{x}", 0, -1},
        {"BEGIN:A\r\n=\r\nB:1\r\nEND:A\r\n", kAll, VLIB_ERR_LINE_WITHOUT_NAME, "A{B:1}", 0, -1},
        {"begin:vcard\r\nn:x\r\nend:whatever\r\ntail:1\r\n", kAll, 0, "vcard{n:x}", 8, 32},
        {"BEGIN:VCARD\r\nN:x\r\n", kAll, 0, "VCARD{N:x}", 0, -1}, // no END: the text ends it
        // A BEGIN line without a value names nothing (the nested one here).
        {"BEGIN\r\nEND:X\r\n", kAll, VLIB_ERR_BEGIN_WITHOUT_NAME, "{}", 0, -1},
        {"BEGIN:A\r\nBEGIN;X=y\r\nEND:B\r\nEND:A\r\n", kAll, VLIB_ERR_BEGIN_WITHOUT_NAME, "A{\n{}}",
         0, -1},
        // One empty value: a nested component named "".
        {"BEGIN:A\r\nBEGIN;X=y:\r\nEND:B\r\nEND:A\r\n", kAll, 0, "A{\n{}}", 0, -1},
        // What the first line decides.
        {"N:Doe\r\nBEGIN:VCARD\r\nEND:VCARD\r\n", kAll, VLIB_ERR_NO_BEGIN, nullptr, 24, 7},
        {"", kAll, VLIB_ERR_NO_BEGIN, nullptr, 0, -1},
        {"\r\n \r\n", kAll, VLIB_ERR_NO_BEGIN, nullptr, 0, -1},
        {"BEGIN:VCARD\r\n", 0, VLIB_ERR_NO_BEGIN, nullptr, 0, -1},
        {"BEGIN:VCARD\r\n", -5, VLIB_ERR_NO_BEGIN, nullptr, 0, -1},
        {"=\r\nBEGIN:VCARD\r\n", kAll, VLIB_ERR_NO_NAME, nullptr, 13, 3},
        // Leading blanks are part of the first line, so it is not BEGIN.
        {"  BEGIN:VCARD\r\nEND:VCARD\r\n", kAll, VLIB_ERR_NO_BEGIN, nullptr, 11, 15},
        // The count stops the reader: the card ends where the count does.
        {"BEGIN:A\r\nB:1\r\nEND:A\r\n", 14, 0, "A{B:1}", 0, 14},
        // One card per call: the rest is the next one.
        {"BEGIN:A\r\nEND:A\r\nBEGIN:B\r\nEND:B\r\n", kAll, 0, "A{}", 16, 16}};
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, c.text, 0, c.count);
        EXPECT_EQ(p.result, c.result) << c.text;
        EXPECT_EQ(p.remaining, c.remaining) << c.text;
        EXPECT_EQ(p.restAt(), c.restAt) << c.text;
        ASSERT_EQ(p.tree.root != nullptr, c.dump != nullptr) << c.text;
        EXPECT_EQ(c.dump != nullptr ? vtest::dump(p.tree.root) : "", c.dump ? c.dump : "")
            << c.text;
    }
}

TEST(Parser, DeepNestingIsCutAtTheLimitAndTheRestIsRead) {
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "BEGIN:C\r\nP:" + std::to_string(i) + "\r\n";
    for (int i = 0; i < 100000; ++i)
        text += "END:C\r\n";
    Parsed p;
    vtest::parse(p, text + "BEGIN:NEXT\r\nEND:NEXT\r\n", 0);
    EXPECT_EQ(p.result, VLIB_ERR_NESTED_COMPONENT);
    int levels = 1;
    const vComponent *deepest = p.tree.root;
    for (; deepest->subComponent != nullptr; deepest = deepest->subComponent)
        ++levels;
    EXPECT_EQ(levels, 100);
    EXPECT_STREQ(deepest->propertyList->valueList->data, "99");
    EXPECT_STREQ(p.rest, "BEGIN:NEXT\r\nEND:NEXT\r\n");
}

// A caller that knows the line breaks (the tolerant card reader) gets the
// parse it would get without telling them, on texts of every break form,
// folds, soft breaks and blank lines, read whole or cut short; one that
// joins lines gets the parse of the text with a blank after each join.
TEST(Parser, KnownBreaksChangeNothing) {
    const char *pieces[] = {"BEGIN:X", "END:X", "BEGIN:Y", "NOTE", ";ENCODING=Q", ";A=b", ":",
                            "ab",      "=",     "==",      "=0D",  "\r\n",        "\n",   "\r",
                            "\r\n ",   "\n\t",  " ",       "\t",   "\r\r\n",      "\n\r"};
    uint32_t seed = 11;
    auto pick = [&seed](size_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text = "BEGIN:X\r\n";
        for (size_t n = 1 + pick(30); n > 0; --n)
            text += pieces[pick(sizeof pieces / sizeof pieces[0])];
        std::vector<size_t> breaks;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\r' && text[i] != '\n') continue;
            breaks.push_back(i);
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
        // Some callers know the breaks of only the first lines.
        const size_t known = round % 3 == 0 ? breaks.size() / 2 : breaks.size();
        const vparse::KnownBreaks hints{text.c_str(), breaks.data(), known};
        const auto count = static_cast<int32_t>(round % 5 == 0 ? text.size() / 2 : text.size());
        Parsed plain;
        vtest::parse(plain, text, 0, count);
        int32_t remaining = count;
        char *rest = nullptr;
        vtest::Tree tree;
        const int32_t result = vparse::buildComponentFromBuffer(&tree.root, text.c_str(), 0,
                                                                &remaining, &rest, &hints);
        SCOPED_TRACE(text);
        ASSERT_EQ(result, plain.result);
        ASSERT_EQ(remaining, plain.remaining);
        ASSERT_EQ(rest == nullptr ? -1 : rest - text.c_str(), plain.restAt());
        ASSERT_EQ(tree.root == nullptr, plain.tree.root == nullptr);
        if (tree.root != nullptr) {
            ASSERT_EQ(vtest::dump(tree.root), vtest::dump(plain.tree.root));
        }
        // Breaks the caller joins read as if a blank followed them: the
        // parse of the text with those blanks written in.
        std::vector<size_t> joins;
        std::string blanked;
        size_t copied = 0;
        for (const size_t at : breaks) {
            const size_t after = at + (text.compare(at, 2, "\r\n") == 0 ? 2 : 1);
            if (after >= text.size() || text[after] == ' ' || text[after] == '\t' ||
                text[after] == '\r' || text[after] == '\n' || pick(3) != 0)
                continue;
            joins.push_back(at);
            blanked += text.substr(copied, after - copied) + " ";
            copied = after;
        }
        blanked += text.substr(copied);
        const vparse::KnownBreaks joined{text.c_str(), breaks.data(), known, joins.data(),
                                         joins.size()};
        Parsed expected;
        vtest::parse(expected, blanked, 0);
        remaining = static_cast<int32_t>(text.size());
        vtest::Tree joinedTree;
        ASSERT_EQ(vparse::buildComponentFromBuffer(&joinedTree.root, text.c_str(), 0, &remaining,
                                                   &rest, &joined),
                  expected.result);
        ASSERT_EQ(joinedTree.root == nullptr, expected.tree.root == nullptr);
        if (joinedTree.root != nullptr) {
            ASSERT_EQ(vtest::dump(joinedTree.root), vtest::dump(expected.tree.root));
        }
    }
}

// A long value that is all the rest of its line is made in the buffer the
// line was read into. It must be what the copy makes: the same line with
// a comma after the value is parsed the usual way, into that value and an
// empty one. The lines after it must find a buffer of their own.
TEST(Parser, LongValuesMadeInTheirLineAsCopiesAre) {
    std::string bytes;
    uint32_t seed = 7;
    for (int i = 0; i < 60000; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes += static_cast<char>(seed >> 16);
    }
    const auto base64 = [&bytes](size_t count) {
        char *text = nullptr;
        EXPECT_EQ(VLIB_convertToBase64(bytes.data(), static_cast<int32_t>(count), &text), 0);
        std::string out(text);
        std::free(text);
        return out;
    };
    std::string quoted; // quoted-printable with escapes, soft breaks' leftovers and strays
    while (quoted.size() < 40000)
        quoted += "abc=3Ddef=0D=0A==41 x=\t=zz=00 ";
    const std::string longName(300, 'N');
    struct Case {
        std::string head;  // the line up to its colon
        std::string value; // as written
        int32_t flags;
    } cases[] = {// BASE64 on either side of the size, 32768 characters.
                 {"PHOTO;ENCODING=BASE64;TYPE=JPEG", base64(24573), 0},
                 {"PHOTO;ENCODING=BASE64;TYPE=JPEG", base64(24576), 0},
                 {"item1.PHOTO;ENCODING=B", "  " + base64(60000), 0},
                 {"LOGO;ENCODING=BASE64", base64(60000) + "*!", 0}, // skipped characters
                 {"LOGO;ENCODING=BASE64", base64(60000), 1},        // not decoded
                 {longName + ";ENCODING=BASE64", base64(60000), 0}, // too long a name to set aside
                 {"NOTE;ENCODING=QUOTED-PRINTABLE", quoted, 0},
                 {"NOTE;ENCODING=QUOTED-PRINTABLE", quoted, 1},
                 {"NOTE", std::string(32767, 'x'), 0},
                 {"NOTE", std::string(32768, 'x') + " \t ", 0},
                 {"X-LONG;CHARSET=UTF-8", quoted, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.head + " " + std::to_string(c.value.size()));
        const auto text = [&c](const std::string &value) {
            std::string folded;
            for (size_t i = 0; i < value.size(); i += 76)
                folded += "\r\n " + value.substr(i, 76);
            return "BEGIN:X\r\n" + c.head + ":" + folded + "\r\n\r\nNOTE:after\r\nEND:X\r\n";
        };
        Parsed inPlace;
        vtest::parse(inPlace, text(c.value), c.flags);
        Parsed copied;
        vtest::parse(copied, text(c.value + ","), c.flags);
        ASSERT_NE(inPlace.tree.root, nullptr);
        ASSERT_NE(copied.tree.root, nullptr);
        EXPECT_EQ(inPlace.result, copied.result);
        // Properties in the parser's order: the last line's first.
        const vProperty *note = inPlace.tree.root->propertyList;
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(vtest::dump(note->valueList), "after");
        // (Each line's encoding is resolved as it is read: without
        // parameters, the default.)
        EXPECT_EQ(note->encoding, VLIB_ENCODING_DEFAULT);
        const vProperty *made = note->next;
        const vProperty *expected = copied.tree.root->propertyList->next;
        ASSERT_NE(made, nullptr);
        EXPECT_STREQ(made->name, expected->name);
        EXPECT_EQ(made->encoding, expected->encoding);
        const vValue *v = made->valueList;
        const vValue *w = expected->valueList;
        ASSERT_NE(v, nullptr);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(v->next, nullptr);
        ASSERT_EQ(v->dataSize, w->dataSize);
        EXPECT_EQ(v->encoding, w->encoding);
        EXPECT_EQ(std::memcmp(v->data, w->data, static_cast<size_t>(w->dataSize)), 0);
        EXPECT_EQ(v->data[v->dataSize], '\0');
    }
    // And the bytes are the photo's.
    Parsed photo;
    vtest::parse(photo, "BEGIN:X\r\nPHOTO;ENCODING=BASE64:" + base64(60000) + "\r\nEND:X\r\n", 0);
    ASSERT_NE(photo.tree.root, nullptr);
    const vValue *v = photo.tree.root->propertyList->valueList;
    ASSERT_EQ(v->dataSize, 60000);
    EXPECT_EQ(std::memcmp(v->data, bytes.data(), bytes.size()), 0);
}

TEST(Parser, NullArguments) {
    int32_t remaining = 5;
    vComponent *c = reinterpret_cast<vComponent *>(1);
    EXPECT_EQ(VLIB_buildComponentFromBuffer(nullptr, "x", 0, &remaining, nullptr),
              VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_buildComponentFromBuffer(&c, nullptr, 0, &remaining, nullptr),
              VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(VLIB_buildComponentFromBuffer(&c, "x", 0, nullptr, nullptr), VLIB_ERR_NULL_ARGUMENT);
}

} // namespace
