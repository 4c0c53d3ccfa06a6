// The text generator: exact text, columns and folds, encodings, flags, the
// four sinks agreeing, and deep trees.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text_support.h"
#include "versit_core.h"

namespace {

using vtest::print;
using vtest::Tree;

vValue *value(const char *text, vValue *next = nullptr) {
    return VLIB_new_vValue(VLIB_DATATYPE_UNRESOLVED, text, -1, next);
}

vValue *bytesValue(const std::string &bytes) {
    return VLIB_new_vValue(VLIB_DATATYPE_UNRESOLVED, bytes.data(),
                           static_cast<int32_t>(bytes.size()), nullptr);
}

vValue *unescaped(const char *text, vValue *next = nullptr) {
    return VLIB_set_vValue_encoding(value(text, next), VLIB_ENCODING_UNESCAPED);
}

vParameter *named(const char *name, vValue *values, vParameter *next = nullptr) {
    return VLIB_new_vParameter(VLIB_PARAMETER_NAMED, name, values, next);
}

vParameter *bare(const char *word, vParameter *next = nullptr) {
    return VLIB_new_vParameter(VLIB_PARAMETER_BARE, "", value(word), next);
}

vProperty *prop(const char *name, vValue *values, vParameter *parameters = nullptr) {
    return VLIB_new_vProperty(VLIB_PROPERTY_UNIDENTIFIED, name, values, parameters, nullptr);
}

vComponent *component(const char *name, std::vector<vProperty *> properties) {
    vComponent *c = VLIB_new_vComponent(0x400, name, nullptr, nullptr, nullptr);
    for (auto it = properties.rbegin(); it != properties.rend(); ++it)
        VLIB_add_vComponent_property(c, *it);
    return c;
}

// The text of one component holding `p` alone, without its BEGIN and END.
std::string body(vProperty *p, int32_t flags = 0) {
    Tree t(component("X", {p}));
    const std::string text = print(t.root, flags);
    const std::string begin = "BEGIN:X\r\n";
    const std::string end = "END:X\r\n";
    EXPECT_EQ(text.compare(0, begin.size(), begin), 0) << text;
    EXPECT_EQ(text.compare(text.size() - end.size(), end.size(), end), 0) << text;
    return text.substr(begin.size(), text.size() - begin.size() - end.size());
}

TEST(Generator, PropertyLines) {
    const std::string x100(100, 'x');
    const std::string n80(80, 'n');
    struct Case {
        const char *what;
        vProperty *property;
        int32_t flags;
        std::string text;
    } cases[] = {
        {"bare and named parameters",
         prop("tel", value("1"), bare("HOME", named("type", value("WORK", value("FAX"))))), 0,
         "TEL;HOME;TYPE=WORK,FAX:1\r\n"},
        {"no values, no colon", prop("x", nullptr, bare("A")), 0, "X;A\r\n"},
        {"several values", prop("c", value("a", value("b", value("")))), 0, "C:a,b,\r\n"},
        {"100 letters fold at column 74", prop("NOTE", value(x100.c_str())), 0,
         "NOTE:" + std::string(69, 'x') + "\r\n " + std::string(31, 'x') + "\r\n"},
        {"values fold also under flag 8", prop("NOTE", value(x100.c_str())), 8,
         "NOTE:" + std::string(69, 'x') + "\r\n " + std::string(31, 'x') + "\r\n"},
        {"no fold before an equals sign, one right after it",
         prop("N", value((std::string(72, 'a') + "==b").c_str())), 0,
         "N:" + std::string(72, 'a') + "==\r\n b\r\n"},
        {"an equals sign at column 73 ends the line",
         prop("N", value((std::string(71, 'a') + "=bc").c_str())), 0,
         "N:" + std::string(71, 'a') + "=\r\n bc\r\n"},
        {"a parameter's = may end the line too",
         prop("N", value("v"), named(std::string(71, 'P').c_str(), value("x"))), 0,
         "N;" + std::string(71, 'P') + "=\r\n x:v\r\n"},
        {"a CR LF in a value starts a new column",
         prop("N", value(("a\r\n" + std::string(80, 'b')).c_str())), 0,
         "N:a\r\n" + std::string(74, 'b') + "\r\n " + std::string(6, 'b') + "\r\n"},
        {"quoted value", prop("N", unescaped("a;b\r\nc")), 0, "N:\"a\\;b\\nc\"\r\n"},
        {"quoted parameter value", prop("N", value("v"), named("P", unescaped("x;y"))), 0,
         "N;P=\"x\\;y\":v\r\n"},
        {"flag 1 writes quoted values as stored",
         prop("N", unescaped("a;b"), named("P", unescaped("x;y"))), 1, "N;P=x;y:a;b\r\n"},
        {"QUOTED-PRINTABLE",
         prop("NOTE", value("a=b\r\n~"), named("ENCODING", value("QUOTED-PRINTABLE"))), 0,
         "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db=0D=0A=7E\r\n"},
        {"QUOTED-PRINTABLE under flag 1",
         prop("NOTE", value("a=b"), named("ENCODING", value("QUOTED-PRINTABLE"))), 1,
         "NOTE;ENCODING=QUOTED-PRINTABLE:a=b\r\n"},
        {"BASE64 over dataSize bytes",
         prop("PHOTO", bytesValue(std::string("M\0a", 3)), named("ENCODING", value("B"))), 0,
         "PHOTO;ENCODING=B:TQBh\r\n"},
        {"BASE64 with its empty line",
         prop("PHOTO", bytesValue("Man"), named("ENCODING", value("BASE64"))), 4,
         "PHOTO;ENCODING=BASE64:TWFu\r\n\r\n"},
        {"BASE64 under flag 1: the bytes up to the first NUL",
         prop("PHOTO", bytesValue(std::string("Ma\0n", 4)), named("ENCODING", value("BASE64"))),
         1 | 4, "PHOTO;ENCODING=BASE64:Ma\r\n"},
        {"a text value under BASE64 takes its NUL along",
         prop("P", value("Ma"), named("ENCODING", value("BASE64"))), 0,
         "P;ENCODING=BASE64:TWEA\r\n"},
        {"a name folds", prop(n80.c_str(), value("v")), 0,
         std::string(74, 'N') + "\r\n " + std::string(6, 'N') + ":v\r\n"},
        // Under flag 8 the value itself is still folded, being past column 74.
        {"no name fold under flag 8", prop(n80.c_str(), value("v")), 8,
         std::string(80, 'N') + ":\r\n v\r\n"},
        {"no parameter fold under flag 8", prop("X", value("v"), bare(n80.c_str())), 8,
         "X;" + n80 + ":\r\n v\r\n"},
        // The encoder breaks after the byte that reaches column 72; the
        // value's last line then goes on from the encoder's column.
        {"QUOTED-PRINTABLE keeps its own column",
         prop("N", value(std::string(100, 'q').c_str(), value("z")), named("ENCODING", value("Q"))),
         0,
         "N;ENCODING=Q:" + std::string(72 - 13, 'q') + "=\r\n " + std::string(41, 'q') + ",z\r\n"},
        {"BASE64 folds and sets the column back",
         prop("P", bytesValue(std::string(60, '\0')), named("ENCODING", value("BASE64"))), 0,
         "P;ENCODING=BASE64:" + std::string(56, 'A') + "\r\n " + std::string(24, 'A') + "\r\n"},
    };
    for (Case &c : cases) {
        EXPECT_EQ(body(c.property, c.flags), c.text) << c.what;
    }
}

// Past long parameters (not folded under flag 8) a QUOTED-PRINTABLE value
// may start near or beyond column 74: the column alone would then fold
// right after an escape's "=" or between its digits. The escape stays
// whole, wherever it starts, and the value reads back.
TEST(Generator, QuotedPrintableEscapesAreNeverSplit) {
    struct Case {
        int escapeAt; // the column of the first escape's "="
        int32_t flags;
        const char *stored;
        const char *valueText; // as written after the colon
        const char *read;
    } cases[] = {
        {72, 8, "\xe9\xe9", "=E9=\r\n =E9", "\xe9\xe9"},
        {73, 8, "\xe9\xe9", "=E9=\r\n =E9", "\xe9\xe9"},
        {74, 8, "\xe9\xe9", "=E9=\r\n =E9", "\xe9\xe9"},
        {90, 8, "\xe9\xe9", "=E9=\r\n =E9", "\xe9\xe9"},
        // Stored text under flag 1 has no soft breaks of its own: the fold
        // waits for the first character after the escape.
        {73, 1 | 8, "=E9z", "=E9\r\n z", "\xe9z"},
        {72, 1 | 8, "=E9z", "=E9\r\n z", "\xe9z"},
        {70, 1 | 8, "=E9z", "=E9z", "\xe9z"},
    };
    for (const Case &c : cases) {
        // "N;ENCODING=Q;" and a bare word, then the colon.
        const std::string word(static_cast<size_t>(c.escapeAt - 14), 'w');
        const std::string head = "N;ENCODING=Q;" + word + ":";
        vProperty *p =
            prop("N", value(c.stored), named("ENCODING", value("Q"), bare(word.c_str())));
        const std::string text = body(p, c.flags);
        EXPECT_EQ(text, head + c.valueText + "\r\n") << c.escapeAt << " " << c.stored;
        vtest::Parsed back;
        vtest::parse(back, "BEGIN:X\r\n" + text + "END:X\r\n", 0);
        ASSERT_EQ(back.result, 0) << text;
        EXPECT_STREQ(back.tree.root->propertyList->valueList->data, c.read) << text;
    }
}

// Siblings follow unless flag 16 says otherwise; nested components at
// every level keep theirs; names are written (and kept) upper-cased.
TEST(Generator, ComponentChainsAndFlag16) {
    vComponent *first = component("a", {prop("x", value("1"))});
    first->next = component("b", {prop("y", value("2"))});
    vComponent *e1 = component("e1", {prop("p", value("1"))});
    VLIB_add_vComponent_subcomponent(e1, component("a1", {}));
    VLIB_add_vComponent_subcomponent(e1, component("a2", {}));
    VLIB_add_vComponent_subcomponent(first, component("e2", {}));
    VLIB_add_vComponent_subcomponent(first, e1);
    Tree t(first);
    const std::string a = "BEGIN:A\r\nX:1\r\nBEGIN:E1\r\nP:1\r\nBEGIN:A2\r\nEND:A2\r\nBEGIN:A1\r\n"
                          "END:A1\r\nEND:E1\r\nBEGIN:E2\r\nEND:E2\r\nEND:A\r\n";
    EXPECT_EQ(print(first), a + "BEGIN:B\r\nY:2\r\nEND:B\r\n");
    EXPECT_EQ(print(first, VLIB_GEN_SINGLE), a);
    EXPECT_EQ(VLIB_length_vComponent(first, VLIB_GEN_SINGLE), static_cast<int32_t>(a.size()));
    EXPECT_STREQ(e1->propertyList->name, "P");
    EXPECT_EQ(VLIB_length_vComponent(nullptr, 0), 0);
}

TEST(Generator, StandaloneChains) {
    vValue *v = unescaped("a,b", value("c"));
    vParameter *params = bare("HOME", named("type", value("x", value("y"))));
    vProperty *props = prop("a", value("1"));
    props->next = prop("b", nullptr);
    char buffer[64];
    VLIB_sprint_vValue(buffer, v, 0);
    EXPECT_STREQ(buffer, "\"a\\,b\",c");
    VLIB_sprint_vParameter(buffer, params, 0);
    EXPECT_STREQ(buffer, "HOME;TYPE=x,y");
    VLIB_sprint_vProperty(buffer, props, 0);
    EXPECT_STREQ(buffer, "A:1\r\nB\r\n");
    EXPECT_EQ(VLIB_length_vProperty(props, 0), 8);
    EXPECT_EQ(VLIB_length_vParameter(params, 0), 13);
    EXPECT_EQ(VLIB_length_vValue(v, 0), 8);
    VLIB_destroy_vValue(&v);
    VLIB_destroy_vParameter(&params);
    VLIB_destroy_vProperty(&props);
}

struct Collected {
    std::string text;
    int calls = 0;
    int failAt = -1; // the call that returns nonzero
};

int32_t collect(void *argument, const char *bytes, int32_t count) {
    auto *c = static_cast<Collected *>(argument);
    c->text.append(bytes, static_cast<size_t>(count));
    return ++c->calls == c->failAt ? 42 : 0;
}

std::string printToStream(vComponent *c, int32_t flags) {
    FILE *f = std::tmpfile();
    EXPECT_EQ(VLIB_fprint_vComponent(f, c, flags), 0);
    std::string text;
    std::rewind(f);
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    std::fclose(f);
    return text;
}

// A tree that exercises every kind of piece, big enough for several runs.
vComponent *mixedTree() {
    vComponent *root = component("vcard", {});
    for (int i = 0; i < 200; ++i) {
        const std::string note = "line " + std::to_string(i) + "\r\nwith = and ~ " +
                                 std::string(static_cast<size_t>(i % 90), 'n');
        VLIB_add_vComponent_property(
            root, prop("note", value(note.c_str()), named("encoding", value("quoted-printable"))));
        VLIB_add_vComponent_property(root, prop("photo", bytesValue(std::string(i % 300, 'p')),
                                                named("encoding", value("base64"))));
        VLIB_add_vComponent_property(root, prop("x", unescaped("a,b;c", value("d")), bare("w")));
    }
    VLIB_add_vComponent_subcomponent(root, component("agent", {prop("n", value("z"))}));
    return root;
}

TEST(Generator, FourSinksWriteTheSameTextAndFailuresStopThem) {
    for (int32_t flags : {0, 1, 4, 8, 12, 0x10}) {
        Tree t(mixedTree());
        const int32_t length = VLIB_length_vComponent(t.root, flags);
        std::vector<char> buffer(static_cast<size_t>(length) + 16, '\x7f');
        ASSERT_EQ(VLIB_sprint_vComponent(buffer.data(), t.root, flags), 0);
        EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0') << "flags " << flags;
        EXPECT_EQ(buffer[static_cast<size_t>(length) + 1], '\x7f') << "nothing past the NUL";
        const std::string text(buffer.data(), static_cast<size_t>(length));
        EXPECT_EQ(std::strlen(buffer.data()), text.size());

        EXPECT_EQ(printToStream(t.root, flags), text) << "flags " << flags;
        Collected c;
        EXPECT_EQ(VLIB_cprint_vComponent(collect, &c, t.root, flags), 0);
        EXPECT_EQ(c.text, text) << "flags " << flags;
        // Runs, not bytes: a few kilobytes per call.
        EXPECT_LE(c.calls, length / 1024 + 1) << "flags " << flags;
    }
    // A callback's failure stops the calls and is handed back.
    Tree t(mixedTree());
    Collected c;
    c.failAt = 2;
    EXPECT_EQ(VLIB_cprint_vComponent(collect, &c, t.root, 0), 42);
    EXPECT_EQ(c.calls, 2);
    EXPECT_EQ(VLIB_cprint_vComponent(collect, &c, nullptr, 0), 0);
    EXPECT_EQ(c.calls, 2);
    EXPECT_EQ(VLIB_fprint_vComponent(nullptr, t.root, 0), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_sprint_vComponent(nullptr, t.root, 0), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_cprint_vComponent(nullptr, nullptr, t.root, 0), VLIB_ERR_NULL_ARGUMENT);
    char buffer[4] = "abc";
    EXPECT_EQ(VLIB_sprint_vProperty(buffer, nullptr, 0), 0);
    EXPECT_STREQ(buffer, "") << "an empty text is still NUL-terminated";
}

TEST(Generator, DeepTreesNeedNoStackAndGetTheirParentLinks) {
    const int depth = 100000;
    vComponent *root = component("c", {});
    vComponent *c = root;
    for (int i = 1; i < depth; ++i) {
        vComponent *child = VLIB_new_vComponent(0x400, "c", nullptr, nullptr, nullptr);
        c->subComponent = child; // linked by hand: no parent link
        c = child;
    }
    Tree t(root);
    const int32_t length = VLIB_length_vComponent(root, 0);
    EXPECT_EQ(length, depth * 16);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    VLIB_sprint_vComponent(&text[0], root, 0);
    EXPECT_EQ(text.compare(0, 18, "BEGIN:C\r\nBEGIN:C\r\n"), 0);
    for (vComponent *k = root->subComponent; k != nullptr; k = k->subComponent) {
        ASSERT_NE(k->parent, nullptr);
        ASSERT_EQ(k->parent->subComponent, k);
    }
}

} // namespace
