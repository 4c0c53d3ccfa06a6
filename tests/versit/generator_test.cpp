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
         "P;ENCODING=BASE64:" + std::string(56, 'A') + "\r\n " + std::string(24, 'A') + "\r\n"}};
    for (Case &c : cases) {
        EXPECT_EQ(body(c.property, c.flags), c.text) << c.what;
    }
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
