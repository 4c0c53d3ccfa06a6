// The text parser: lines, names, parameters, values, nesting, running
// result codes and the cursor it hands back.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text_support.h"
#include "versit_core.h"

namespace {

using vtest::names;
using vtest::Parsed;
using vtest::property;
using vtest::texts;
using Strings = std::vector<std::string>;

TEST(Parser, CardWithBareParametersComesBackInReverseOrder) {
    Parsed p;
    vtest::parse(p, "BEGIN:VCARD\r\nN:Doe;John\r\nTEL;HOME;VOICE:123\r\nEND:VCARD\r\n", 8);
    ASSERT_EQ(p.result, 0);
    const vComponent *c = p.tree.root;
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->name, "VCARD");
    EXPECT_EQ(c->componentType, VLIB_COMPONENT_UNIDENTIFIED);
    EXPECT_EQ(c->next, nullptr);
    EXPECT_EQ(names(c->propertyList), (Strings{"TEL", "N"}));
    const vProperty *tel = c->propertyList;
    EXPECT_EQ(tel->propertyType, VLIB_PROPERTY_UNIDENTIFIED);
    EXPECT_EQ(tel->parentComponent, c);
    ASSERT_NE(tel->parameterList, nullptr);
    EXPECT_EQ(texts(tel->parameterList->valueList), (Strings{"VOICE"})) << "newest first";
    EXPECT_EQ(texts(tel->valueList), (Strings{"123"}));
    EXPECT_EQ(tel->valueList->dataSize, 4) << "text values count their NUL";
    EXPECT_EQ(tel->valueList->dataType, VLIB_DATATYPE_UNRESOLVED);
    EXPECT_EQ(texts(c->propertyList->next->valueList), (Strings{"Doe;John"}));
    EXPECT_EQ(p.remaining, 0);
    EXPECT_EQ(p.rest, nullptr);
}

// Each row: the body of one card (CR LF between lines), the flags, the
// property looked at, its expected values and their encoding.
TEST(Parser, ValuesOfOneLine) {
    struct Case {
        const char *body;
        int32_t flags;
        Strings values;
        int32_t encoding;
    } cases[] = {
        // Folding: the first blank after the break goes, others stay.
        {"NOTE:abc\r\n def", 0, {"abcdef"}, 0},
        {"NOTE:abc\r\n  def", 0, {"abc def"}, 0},
        {"NOTE:abc\n\tdef", 0, {"abcdef"}, 0},
        {"NOTE:abc\r\n\r\n def", 0, {"abcdef"}, 0}, // an empty line inside a fold
        // Commas split unless flag 8 says otherwise.
        {"NOTE:a,b", 8, {"a,b"}, 0},
        {"NOTE:a,b", 0, {"a", "b"}, 0},
        {"NOTE:a, b ,c", 0, {"a", "b ", "c"}, 0}, // leading blanks only
        {"NOTE:a,", 0, {"a", ""}, 0},
        {"NOTE:", 0, {""}, 0},
        {"NOTE:a\\,b", 0, {"a\\,b"}, 0}, // escaped, and kept as written
        // Colons and semicolons belong to a property value.
        {"NOTE:a:b;c", 0, {"a:b;c"}, 0},
        // QUOTED-PRINTABLE, decoded unless flag 1.
        {"NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db", 0, {"a=b"}, VLIB_ENCODING_QUOTED_PRINTABLE},
        {"NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db", 1, {"a=3Db"}, 0},
        {"NOTE;ENCODING=Q:a=0D=0Ab", 0, {"a\r\nb"}, VLIB_ENCODING_QUOTED_PRINTABLE},
        {"NOTE;ENCODING=QUOTED-PRINTABLE:a,b=2Cc", 0, {"a", "b,c"}, 0x506},
        // A bare encoding word is just a bare parameter.
        {"NOTE;QUOTED-PRINTABLE:a=3Db", 0, {"a=3Db"}, 0},
        {"NOTE;BASE64:TWFu", 0, {"TWFu"}, 0},
        // Soft line break: "=" and the blank of the fold both go.
        {"NOTE;ENCODING=QUOTED-PRINTABLE:ab=\r\n cd", 0, {"abcd"}, 0x506},
        {"NOTE:ab=\r\n cd", 0, {"abcd"}, 0}, // whatever the encoding
        {"NOTE:ab==\r\n cd", 0, {"ab=cd"}, 0},
        // Without the blank the line ends there.
        {"NOTE;ENCODING=QUOTED-PRINTABLE:ab=\r\ncd:ef", 0, {"ab"}, 0x506},
        // Quotes: the value is unescaped, and so is every later one.
        {"NOTE:\"a,b\"", 0, {"a,b"}, VLIB_ENCODING_UNESCAPED},
        {"NOTE:x,\"a\\nb\\\\\\\"c\",y\\;z", 0, {"x", "a\r\nb\\\"c", "y;z"}, 0},
        {"NOTE:\"a\\Nb\"", 0, {"a\r\nb"}, VLIB_ENCODING_UNESCAPED},
        {"NOTE:\"tail\\", 0, {"tail\\"}, VLIB_ENCODING_UNESCAPED},
    };
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, std::string("BEGIN:VCARD\r\n") + c.body + "\r\nEND:VCARD\r\n", c.flags);
        ASSERT_NE(p.tree.root, nullptr) << c.body;
        EXPECT_EQ(p.result, 0) << c.body;
        const vProperty *note = property(p.tree.root, "NOTE");
        ASSERT_NE(note, nullptr) << c.body;
        EXPECT_EQ(texts(note->valueList), c.values) << c.body;
        if (c.encoding != 0 || note->valueList->next == nullptr) {
            EXPECT_EQ(note->valueList->encoding, c.encoding) << c.body;
        }
    }
}

TEST(Parser, QuotedValuesAfterTheFirstQuoteAreUnescaped) {
    Parsed p;
    vtest::parse(p, "BEGIN:X\r\nNOTE:a\\n,\"b\",c\\n\r\nEND:X\r\n", 0);
    const vValue *v = p.tree.root->propertyList->valueList;
    EXPECT_EQ(texts(v), (Strings{"a\\n", "b", "c\r\n"}));
    EXPECT_EQ(v->encoding, 0);
    EXPECT_EQ(v->next->encoding, VLIB_ENCODING_UNESCAPED);
    EXPECT_EQ(v->next->next->encoding, VLIB_ENCODING_UNESCAPED);
    EXPECT_EQ(v->next->next->dataSize, 4) << "the unescaped length plus one";
}

TEST(Parser, Base64ValuesAreBytes) {
    Parsed p;
    vtest::parse(p, "BEGIN:VCARD\r\nPHOTO;ENCODING=BASE64:AAEC\r\n  /w==\r\n\r\nEND:VCARD\r\n", 0);
    ASSERT_EQ(p.result, 0);
    const vValue *v = p.tree.root->propertyList->valueList;
    ASSERT_NE(v, nullptr);
    // The second blank of the fold is skipped by the decoder, not reported.
    ASSERT_EQ(v->dataSize, 4);
    EXPECT_EQ(v->encoding, VLIB_ENCODING_BASE64);
    EXPECT_EQ(std::string(v->data, 4), std::string("\0\1\2\xff", 4));
    EXPECT_EQ(v->data[4], '\0');
}

TEST(Parser, ParametersOfOneLine) {
    struct Case {
        const char *line;
        // name=values, newest first, as the list holds them ("" for bare)
        std::vector<std::pair<std::string, Strings>> parameters;
        int32_t result;
    } cases[] = {
        {"X;TYPE=WORK,FAX;PREF:v", {{"", {"PREF"}}, {"TYPE", {"WORK", "FAX"}}}, 0},
        {"X; TYPE = a , b ;HOME :v", {{"", {"HOME"}}, {"TYPE", {"a", "b"}}}, 0},
        {"X;TYPE=\"x;y\":v", {{"TYPE", {"x;y"}}}, 0},
        {"X;TYPE=\"a:b\",c:v", {{"TYPE", {"a:b", "c"}}}, 0},
        {"X;TYPE=:v", {{"TYPE", {}}}, VLIB_ERR_EMPTY_PARAMETER},
        {"X;TYPE= ;A:v", {{"", {"A"}}, {"TYPE", {}}}, VLIB_ERR_EMPTY_PARAMETER},
        {"X;TYPE=,a:v", {{"TYPE", {"", "a"}}}, 0},
        {"X;;A:v", {{"", {"A"}}, {"", {""}}}, 0},
        {"X;A\\:B:v", {{"", {"A\\:B"}}}, 0},
        {"X;A=b=c:v", {{"A", {"b=c"}}}, 0},
    };
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, std::string("BEGIN:X\r\n") + c.line + "\r\nEND:X\r\n", 0);
        ASSERT_NE(p.tree.root, nullptr) << c.line;
        EXPECT_EQ(p.result, c.result) << c.line;
        const vProperty *x = p.tree.root->propertyList;
        EXPECT_EQ(texts(x->valueList), Strings{"v"}) << c.line;
        std::vector<std::pair<std::string, Strings>> got;
        for (const vParameter *q = x->parameterList; q != nullptr; q = q->next) {
            got.emplace_back(q->name, texts(q->valueList));
            EXPECT_EQ(q->parameterType,
                      q->name[0] == '\0' ? VLIB_PARAMETER_BARE : VLIB_PARAMETER_NAMED);
            EXPECT_EQ(q->parentProperty, nullptr) << "parsed parameters keep null parent links";
        }
        EXPECT_EQ(got, c.parameters) << c.line;
    }
}

TEST(Parser, ParameterListOnItsOwn) {
    struct Case {
        const char *text;
        int32_t consumed;
        size_t count;
        int32_t result;
    } cases[] = {
        {"HOME;VOICE:123", 10, 2, 0},
        {"TYPE=a,b:x;y", 8, 1, 0},
        {"", 0, 0, 0},
        {"A;", 2, 1, 0},
        {"E=;F:x", 4, 2, VLIB_ERR_EMPTY_PARAMETER},
        {"Q=\"a:b\";R:v", 9, 2, 0},
    };
    for (const Case &c : cases) {
        std::string text = c.text;
        vParameter *list = reinterpret_cast<vParameter *>(1);
        int32_t running = 77;
        int32_t consumed = -1;
        const int32_t expected = c.result != 0 ? c.result : 77;
        EXPECT_EQ(VLIB_getParameterList(&list, &running, &text[0], &consumed, 0), expected)
            << c.text;
        EXPECT_EQ(running, expected) << c.text << ": overwritten only by a problem";
        EXPECT_EQ(consumed, c.consumed) << c.text;
        EXPECT_EQ(text, c.text) << "the text is restored";
        size_t count = 0;
        for (const vParameter *q = list; q != nullptr; q = q->next)
            ++count;
        EXPECT_EQ(count, c.count) << c.text;
        VLIB_destroy_vParameter(&list);
    }
    int32_t running = 0;
    int32_t consumed = 0;
    vParameter *list = nullptr;
    EXPECT_EQ(VLIB_getParameterList(&list, &running, nullptr, &consumed, 0),
              VLIB_ERR_NULL_ARGUMENT);
}

TEST(Parser, NamesAndLines) {
    struct Case {
        const char *line;
        const char *name;
        int32_t result;
        size_t values;
    } cases[] = {
        {"item1.EMAIL;INTERNET:a@b", "item1.EMAIL", 0, 1},
        {"TEL  :1", "TEL", 0, 1},   // trailing blanks of the name go
        {"A\\:B:1", "A\\:B", 0, 1}, // a backslash keeps the colon in the name
        {":1", "", 0, 1},           // an empty name is still a property
        {"NOCOLON", "NOCOLON", VLIB_ERR_NO_COLON, 0},
        {"X;A;B", "X", VLIB_ERR_NO_COLON, 0},
        {"X;", "X", VLIB_ERR_NO_COLON, 0},
    };
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, std::string("BEGIN:X\r\n") + c.line + "\r\nEND:X\r\n", 0);
        ASSERT_NE(p.tree.root, nullptr) << c.line;
        EXPECT_EQ(p.result, c.result) << c.line;
        ASSERT_NE(p.tree.root->propertyList, nullptr) << c.line;
        EXPECT_STREQ(p.tree.root->propertyList->name, c.name);
        EXPECT_EQ(texts(p.tree.root->propertyList->valueList).size(), c.values) << c.line;
    }
}

TEST(Parser, RunningResultIsTheLastProblem) {
    struct Case {
        const char *text;
        int32_t result;
        const char *name;
    } cases[] = {
        {"BEGIN:VCARD\r\nA\r\nB;X=:1\r\nEND:VCARD\r\n", VLIB_ERR_EMPTY_PARAMETER, "VCARD"},
        {"BEGIN:VCARD\r\nB;X=:1\r\nA\r\nEND:VCARD\r\n", VLIB_ERR_NO_COLON, "VCARD"},
        {"BEGIN\r\nA:1\r\nEND\r\n", VLIB_ERR_NO_COLON, ""},
        {"BEGIN:\r\nA:1\r\nEND:\r\n", 0, ""}, // an empty value is a name
        {"BEGIN;X=1\r\nEND\r\n", VLIB_ERR_NO_COLON, ""},
        // The reader drops the "=" before the break: "x" has no colon.
        {"BEGIN:A\r\nx=\r\nEND:A\r\n", VLIB_ERR_NO_COLON, "A"},
        {"BEGIN:A\r\n=\r\nB:1\r\nEND:A\r\n", VLIB_ERR_LINE_WITHOUT_NAME, "A"},
        {"begin:vcard\r\nn:x\r\nend:whatever\r\ntail:1\r\n", 0, "vcard"},
        {"BEGIN:VCARD\r\nN:x\r\n", 0, "VCARD"}, // no END: the text ends it
        // A BEGIN line without a value names nothing (the nested one here).
        {"BEGIN\r\nEND:X\r\n", VLIB_ERR_BEGIN_WITHOUT_NAME, ""},
        {"BEGIN:A\r\nBEGIN;X=y\r\nEND:B\r\nEND:A\r\n", VLIB_ERR_BEGIN_WITHOUT_NAME, ""},
        // One empty value: a nested component named "".
        {"BEGIN:A\r\nBEGIN;X=y:\r\nEND:B\r\nEND:A\r\n", 0, ""},
    };
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, c.text, 0);
        ASSERT_NE(p.tree.root, nullptr) << c.text;
        EXPECT_EQ(p.result, c.result) << c.text;
        const vComponent *named =
            p.tree.root->subComponent ? p.tree.root->subComponent : p.tree.root;
        EXPECT_STREQ(named->name, c.name) << c.text;
    }
}

TEST(Parser, WhatTheFirstLineDecides) {
    struct Case {
        const char *text;
        int32_t count;
        int32_t result;
        int32_t remaining; // afterwards
        int restAt;        // offset of the rest pointer, -1 for null
    } cases[] = {
        {"N:Doe\r\nBEGIN:VCARD\r\nEND:VCARD\r\n", vtest::kWholeText, VLIB_ERR_NO_BEGIN, 24, 7},
        {"", vtest::kWholeText, VLIB_ERR_NO_BEGIN, 0, -1},
        {"\r\n \r\n", vtest::kWholeText, VLIB_ERR_NO_BEGIN, 0, -1},
        {"BEGIN:VCARD\r\n", 0, VLIB_ERR_NO_BEGIN, 0, -1},
        {"BEGIN:VCARD\r\n", -5, VLIB_ERR_NO_BEGIN, 0, -1},
        {"=\r\nBEGIN:VCARD\r\n", vtest::kWholeText, VLIB_ERR_NO_NAME, 13, 3},
        // Leading blanks are part of the first line, so it is not BEGIN.
        {"  BEGIN:VCARD\r\nEND:VCARD\r\n", vtest::kWholeText, VLIB_ERR_NO_BEGIN, 11, 15},
        // The count stops the reader: the card ends where the count does.
        {"BEGIN:A\r\nB:1\r\nEND:A\r\n", 14, 0, 0, 14},
    };
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, c.text, 0, c.count);
        EXPECT_EQ(p.result, c.result) << c.text;
        EXPECT_EQ(p.remaining, c.remaining) << c.text;
        EXPECT_EQ(p.restAt(), c.restAt) << c.text;
        EXPECT_EQ(p.tree.root != nullptr, c.result == 0) << c.text;
    }
}

TEST(Parser, TwoCardsOneCallEach) {
    const std::string text =
        "BEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:B\r\nEND:VCARD\r\n";
    Parsed first;
    vtest::parse(first, text, 8);
    ASSERT_EQ(first.result, 0);
    EXPECT_EQ(texts(first.tree.root->propertyList->valueList), Strings{"A"});
    EXPECT_EQ(first.restAt(), 29);
    EXPECT_EQ(first.remaining, static_cast<int32_t>(text.size()) - 29);

    vComponent *second = nullptr;
    int32_t remaining = first.remaining;
    char *rest = reinterpret_cast<char *>(1);
    EXPECT_EQ(VLIB_buildComponentFromBuffer(&second, first.rest, 8, &remaining, &rest), 0);
    vtest::Tree owner(second);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(texts(second->propertyList->valueList), Strings{"B"});
    EXPECT_EQ(rest, nullptr);
    EXPECT_EQ(remaining, 0);
}

TEST(Parser, NestedComponentsAndTheirOrder) {
    Parsed p;
    vtest::parse(p,
                 "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:a\r\nBEGIN:VALARM\r\n"
                 "T:1\r\nEND:VALARM\r\nEND:VEVENT\r\nBEGIN:VTODO\r\nEND:VTODO\r\nX:1\r\n"
                 "END:VCALENDAR\r\n",
                 0);
    ASSERT_EQ(p.result, 0);
    const vComponent *cal = p.tree.root;
    EXPECT_EQ(names(cal->propertyList), (Strings{"X", "VERSION"}));
    const vComponent *todo = cal->subComponent;
    ASSERT_NE(todo, nullptr);
    EXPECT_STREQ(todo->name, "VTODO");
    EXPECT_EQ(todo->parent, cal);
    const vComponent *event = todo->next;
    ASSERT_NE(event, nullptr);
    EXPECT_STREQ(event->name, "VEVENT");
    EXPECT_EQ(event->parent, cal);
    EXPECT_EQ(event->next, nullptr);
    ASSERT_NE(event->subComponent, nullptr);
    EXPECT_STREQ(event->subComponent->name, "VALARM");
    EXPECT_EQ(event->subComponent->parent, event);
}

TEST(Parser, DeepNestingIsCutAtTheLimitAndTheRestIsRead) {
    const int depth = 100000;
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "BEGIN:C\r\nP:" + std::to_string(i) + "\r\n";
    for (int i = 0; i < depth; ++i)
        text += "END:C\r\n";
    text += "BEGIN:NEXT\r\nEND:NEXT\r\n";
    Parsed p;
    vtest::parse(p, text, 0);
    ASSERT_NE(p.tree.root, nullptr);
    EXPECT_EQ(p.result, VLIB_ERR_NESTED_COMPONENT);
    int levels = 0;
    const vComponent *deepest = nullptr;
    for (const vComponent *c = p.tree.root; c != nullptr; c = c->subComponent) {
        ++levels;
        deepest = c;
    }
    EXPECT_EQ(levels, 100);
    EXPECT_EQ(texts(deepest->propertyList->valueList), Strings{"99"});
    ASSERT_NE(p.rest, nullptr);
    EXPECT_EQ(std::string(p.rest), "BEGIN:NEXT\r\nEND:NEXT\r\n");
}

TEST(Parser, SplitValuesMakesOnePropertyPerValue) {
    struct Case {
        int32_t flags;
        const char *line;
        std::vector<Strings> properties; // the values of each, in list order
    } cases[] = {
        {4, "P;A=1:a,b,c", {{"c"}, {"b"}, {"a"}}}, {0, "P:a,b,c", {{"a", "b", "c"}}},
        {4 | 8, "P:a,b,c", {{"a,b,c"}}},           {4 | 0x10, "P:a,b", {{"b"}, {"a"}}},
        {4 | 0x10, "rrule:a,b", {{"a,b"}}},        {0x10, "ExRule:a,b", {{"a,b"}}},
        {0x10, "x.rrule:a,b", {{"a", "b"}}}, // a group prefix makes another name
    };
    for (const Case &c : cases) {
        Parsed p;
        vtest::parse(p, std::string("BEGIN:X\r\n") + c.line + "\r\nEND:X\r\n", c.flags);
        ASSERT_EQ(p.result, 0) << c.line;
        std::vector<Strings> got;
        for (const vProperty *q = p.tree.root->propertyList; q != nullptr; q = q->next) {
            got.push_back(texts(q->valueList));
            EXPECT_EQ(q->parentComponent, p.tree.root);
        }
        EXPECT_EQ(got, c.properties) << c.line << " flags " << c.flags;
    }
    Parsed p;
    vtest::parse(p, "BEGIN:X\r\nP;A=1:a,b\r\nEND:X\r\n", 4);
    const vProperty *b = p.tree.root->propertyList;
    ASSERT_NE(b->parameterList, nullptr);
    EXPECT_EQ(texts(b->parameterList->valueList), Strings{"1"}) << "each copy keeps the parameters";
}

TEST(Parser, LongLineAndManyProperties) {
    std::string value(1 << 20, 'x');
    std::string text = "BEGIN:X\r\nNOTE:";
    for (size_t i = 0; i < value.size(); i += 73)
        text += value.substr(i, 73) + "\r\n ";
    text += "\r\nEND:X\r\n";
    Parsed p;
    vtest::parse(p, text, 0);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.tree.root->propertyList->valueList->data, value);

    std::string many = "BEGIN:X\r\n";
    for (int i = 0; i < 100000; ++i)
        many += "P:" + std::to_string(i) + "\r\n";
    many += "END:X\r\n";
    Parsed q;
    vtest::parse(q, many, 0);
    ASSERT_EQ(q.result, 0);
    size_t count = 0;
    for (const vProperty *r = q.tree.root->propertyList; r != nullptr; r = r->next)
        ++count;
    EXPECT_EQ(count, 100000u);
    EXPECT_STREQ(q.tree.root->propertyList->valueList->data, "99999");
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
