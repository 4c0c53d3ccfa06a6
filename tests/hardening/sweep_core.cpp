// The versit core: records, hash tables, tokens, transfer encodings, the
// parser, the generator, typed values and the diagnostics entry points.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/calapi.h"
#include "support/temp_dir.h"
#include "sweep.h"
#include "versit_core.h"

namespace {

int32_t caseCompare(const char *a, const char *b) { return calapi::strcasecmp(a, b); }

// A calendar holding one property (ENCODING=BASE64 and a bare HOME, two
// values) and one event; a hash table with one entry; an open file.
struct Core {
    vValue *value = VLIB_new_vValue(0x100, "AAEC", -1, VLIB_new_vValue(0x100, "AAED", -1, nullptr));
    vParameter *parameter = VLIB_new_vParameter(
        0x300, "ENCODING", VLIB_new_vValue(0x100, "BASE64", -1, nullptr),
        VLIB_new_vParameter(0x301, "", VLIB_new_vValue(0x100, "HOME", -1, nullptr), nullptr));
    vProperty *property = VLIB_new_vProperty(0x200, "X-A", value, parameter, nullptr);
    vComponent *event = VLIB_new_vComponent(
        0x40A, "VEVENT", VLIB_new_vProperty(0x200, "SUMMARY", nullptr, nullptr, nullptr), nullptr,
        nullptr);
    vComponent *tree = VLIB_new_vComponent(0x405, "VCALENDAR", property, event, nullptr);
    vHashTable *table = VLIB_newHashTable(7, VLIB_symbolCaseHash, caseCompare, nullptr);
    TempDir dir;
    FILE *file = std::fopen(dir.file("out.txt").c_str(), "wb");
    std::string buffer = std::string(4096, '\0');

    Core() {
        event->parent = tree;
        EXPECT_EQ(VLIB_insert(table, "KEY", "data", -1), 0);
    }
    ~Core() {
        VLIB_destroy_vComponent(&tree);
        VLIB_destroyHashTable(table);
        std::fclose(file);
    }
    Core(const Core &) = delete;
    Core &operator=(const Core &) = delete;
};

using Row = sweep::Row<Core>;
using sweep::kNever;
using sweep::kSome;

int32_t discard(void *, const char *, int32_t) { return 0; }

const std::string kText = "BEGIN:VCARD\r\nN:Doe;John\r\nTEL;HOME;VOICE:1,2\r\n"
                          "BEGIN:X\r\nA:b\r\nEND:X\r\nEND:VCARD\r\n";

// A converter's output: null exactly when it failed.
void expectConverted(int32_t result, char *&out) {
    sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY});
    EXPECT_EQ(out == nullptr, result != 0);
    std::free(out);
}

// Parsers of typed values: run on a copy of the text.
template <class Record>
void expectParsed(int32_t (*parse)(const char *, Record *), const char *text) {
    Record record{};
    sweep::expect(parse(text, &record), 0, {VLIB_ERR_NO_MEMORY});
}

const Row kRows[] = {
    // Records
    {"VLIB_new_vValue VLIB_destroy_vValue", kSome,
     [](Core &) {
         vValue *v = VLIB_new_vValue(0x100, "x", -1, nullptr);
         sweep::expectMade(v);
         VLIB_destroy_vValue(&v);
     }},
    {"VLIB_new_vParameter VLIB_destroy_vParameter", kSome,
     [](Core &) {
         vParameter *p = VLIB_new_vParameter(0x300, "TYPE", nullptr, nullptr);
         sweep::expectMade(p);
         VLIB_destroy_vParameter(&p);
     }},
    {"VLIB_new_vProperty VLIB_destroy_vProperty", kSome,
     [](Core &) {
         vProperty *p = VLIB_new_vProperty(0x200, "TEL", nullptr, nullptr, nullptr);
         sweep::expectMade(p);
         VLIB_destroy_vProperty(&p);
     }},
    {"VLIB_new_vComponent VLIB_destroy_vComponent", kSome,
     [](Core &) {
         vComponent *c = VLIB_new_vComponent(0x400, "VCARD", nullptr, nullptr, nullptr);
         sweep::expectMade(c);
         VLIB_destroy_vComponent(&c);
     }},
    {"VLIB_dup_vValue", kSome,
     [](Core &f) {
         vValue *c = VLIB_dup_vValue(f.value);
         sweep::expectMade(c);
         VLIB_destroy_vValue(&c);
     }},
    {"VLIB_dup_vValue_recursive", kSome,
     [](Core &f) {
         vValue *c = VLIB_dup_vValue_recursive(f.value);
         sweep::expectMade(c);
         VLIB_destroy_vValue(&c);
     }},
    {"VLIB_dup_vParameter", kSome,
     [](Core &f) {
         vParameter *c = VLIB_dup_vParameter(f.parameter);
         sweep::expectMade(c);
         VLIB_destroy_vParameter(&c);
     }},
    {"VLIB_dup_vParameter_recursive", kSome,
     [](Core &f) {
         vParameter *c = VLIB_dup_vParameter_recursive(f.parameter);
         sweep::expectMade(c);
         VLIB_destroy_vParameter(&c);
     }},
    {"VLIB_dup_vProperty", kSome,
     [](Core &f) {
         vProperty *c = VLIB_dup_vProperty(f.property);
         sweep::expectMade(c);
         VLIB_destroy_vProperty(&c);
     }},
    {"VLIB_dup_vProperty_recursive", kSome,
     [](Core &f) {
         vProperty *c = VLIB_dup_vProperty_recursive(f.property);
         sweep::expectMade(c);
         VLIB_destroy_vProperty(&c);
     }},
    {"VLIB_dup_vComponent", kSome,
     [](Core &f) {
         vComponent *c = VLIB_dup_vComponent(f.tree);
         sweep::expectMade(c);
         VLIB_destroy_vComponent(&c);
     }},
    {"VLIB_dup_vComponent_recursive", kSome,
     [](Core &f) {
         vComponent *c = VLIB_dup_vComponent_recursive(f.tree);
         sweep::expectMade(c);
         VLIB_destroy_vComponent(&c);
     }},
    {"VLIB_add_vComponent_property", kNever,
     [](Core &) {
         vComponent c{};
         vProperty p{};
         EXPECT_EQ(VLIB_add_vComponent_property(&c, &p), &c);
     }},
    {"VLIB_add_vComponent_subcomponent", kNever,
     [](Core &) {
         vComponent c{};
         vComponent s{};
         EXPECT_EQ(VLIB_add_vComponent_subcomponent(&c, &s), &c);
     }},
    {"VLIB_add_vProperty_parameter", kNever,
     [](Core &) {
         vProperty p{};
         vParameter q{};
         EXPECT_EQ(VLIB_add_vProperty_parameter(&p, &q), &p);
     }},
    {"VLIB_remove_vProperty", kSome,
     [](Core &) {
         vProperty *p = VLIB_new_vProperty(0x200, "A", nullptr, nullptr, nullptr);
         if (p != nullptr) {
             EXPECT_EQ(VLIB_remove_vProperty(p), nullptr);
         }
     }},
    // Setters. The name setters copy: a failed copy leaves the record as it was.
    {"VLIB_set_vComponent_name", kSome,
     [](Core &) {
         vComponent c{};
         sweep::expectMade(VLIB_set_vComponent_name(&c, "N"));
         std::free(c.name);
     }},
    {"VLIB_set_vProperty_name", kSome,
     [](Core &) {
         vProperty p{};
         sweep::expectMade(VLIB_set_vProperty_name(&p, "N"));
         std::free(p.name);
     }},
    {"VLIB_set_vParameter_name", kSome,
     [](Core &) {
         vParameter p{};
         sweep::expectMade(VLIB_set_vParameter_name(&p, "N"));
         std::free(p.name);
     }},
    {"VLIB_set_vValue_value", kSome,
     [](Core &) {
         vValue v{};
         sweep::expectMade(VLIB_set_vValue_value(&v, "N"));
         std::free(v.data);
     }},
    {"VLIB_set_vProperty_valueList", kNever,
     [](Core &) {
         vProperty p{};
         EXPECT_EQ(VLIB_set_vProperty_valueList(&p, nullptr), &p);
     }},
    {"VLIB_set_vProperty_parameterList", kNever,
     [](Core &) {
         vProperty p{};
         EXPECT_EQ(VLIB_set_vProperty_parameterList(&p, nullptr), &p);
     }},
    {"VLIB_set_vParameter_valueList", kNever,
     [](Core &) {
         vParameter p{};
         EXPECT_EQ(VLIB_set_vParameter_valueList(&p, nullptr), &p);
     }},
    {"VLIB_set_vComponent_parent", kNever,
     [](Core &f) {
         vComponent c{};
         EXPECT_EQ(VLIB_set_vComponent_parent(&c, f.tree), &c);
     }},
    {"VLIB_set_vComponent_componentType", kNever,
     [](Core &) {
         vComponent c{};
         EXPECT_EQ(VLIB_set_vComponent_componentType(&c, 0x405), &c);
     }},
    {"VLIB_set_vProperty_propertyType", kNever,
     [](Core &) {
         vProperty p{};
         EXPECT_EQ(VLIB_set_vProperty_propertyType(&p, 0x201), &p);
     }},
    {"VLIB_set_vParameter_parameterType", kNever,
     [](Core &) {
         vParameter p{};
         EXPECT_EQ(VLIB_set_vParameter_parameterType(&p, 0x301), &p);
     }},
    {"VLIB_set_vValue_id", kNever,
     [](Core &) {
         vValue v{};
         EXPECT_EQ(VLIB_set_vValue_id(&v, 0x109), &v);
     }},
    {"VLIB_set_vProperty_datatype", kNever,
     [](Core &) {
         vProperty p{};
         EXPECT_EQ(VLIB_set_vProperty_datatype(&p, 0x109), &p);
     }},
    {"VLIB_set_vValue_encoding", kNever,
     [](Core &) {
         vValue v{};
         EXPECT_EQ(VLIB_set_vValue_encoding(&v, 0x503), &v);
     }},
    {"VLIB_set_vComponent_propertyList", kNever,
     [](Core &) {
         vComponent c{};
         EXPECT_EQ(VLIB_set_vComponent_propertyList(&c, nullptr), &c);
     }},
    {"VLIB_set_vProperty_propertyList", kNever,
     [](Core &) {
         vProperty p{};
         EXPECT_EQ(VLIB_set_vProperty_propertyList(&p, nullptr), &p);
     }},
    {"VLIB_set_vComponent_extraData VLIB_get_vComponent_extraData", kNever,
     [](Core &) {
         vComponent c{};
         void *data = &c;
         EXPECT_EQ(VLIB_set_vComponent_extraData(&c, nullptr), 0);
         EXPECT_EQ(VLIB_get_vComponent_extraData(&c, &data), 0);
         EXPECT_EQ(data, nullptr);
     }},
    // Getters and lookups
    {"VLIB_get_vComponent_name", kNever,
     [](Core &f) { EXPECT_STREQ(VLIB_get_vComponent_name(f.tree), "VCALENDAR"); }},
    {"VLIB_get_vComponent_componentType", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vComponent_componentType(f.tree), 0x405); }},
    {"VLIB_get_vComponent_propertyList", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vComponent_propertyList(f.tree), f.property); }},
    {"VLIB_get_vComponent_subComponent", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vComponent_subComponent(f.tree), f.event); }},
    {"VLIB_get_vComponent_next", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vComponent_next(f.tree), nullptr); }},
    {"VLIB_get_vComponent_parent", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vComponent_parent(f.event), f.tree); }},
    {"VLIB_get_vProperty_name", kNever,
     [](Core &f) { EXPECT_STREQ(VLIB_get_vProperty_name(f.property), "X-A"); }},
    {"VLIB_get_vProperty_propertyType", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_propertyType(f.property), 0x200); }},
    {"VLIB_get_vProperty_encoding", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_encoding(f.property), f.property->encoding); }},
    {"VLIB_get_vProperty_datatype", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_datatype(f.property), f.property->datatype); }},
    {"VLIB_get_vProperty_valueList", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_valueList(f.property), f.value); }},
    {"VLIB_get_vProperty_parameterList", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_parameterList(f.property), f.parameter); }},
    {"VLIB_get_vProperty_next", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_next(f.property), nullptr); }},
    {"VLIB_get_vProperty_parentComponent", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_parentComponent(f.property), f.tree); }},
    {"VLIB_get_vParameter_name", kNever,
     [](Core &f) { EXPECT_STREQ(VLIB_get_vParameter_name(f.parameter), "ENCODING"); }},
    {"VLIB_get_vParameter_parameterType", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vParameter_parameterType(f.parameter), 0x300); }},
    {"VLIB_get_vParameter_valueList", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vParameter_valueList(f.parameter), f.parameter->valueList); }},
    {"VLIB_get_vParameter_next", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vParameter_next(f.parameter), f.parameter->next); }},
    {"VLIB_get_vParameter_parentProperty", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vParameter_parentProperty(f.parameter), f.property); }},
    {"VLIB_get_vValue_data", kNever,
     [](Core &f) { EXPECT_STREQ(VLIB_get_vValue_data(f.value), "AAEC"); }},
    {"VLIB_get_vValue_dataType", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vValue_dataType(f.value), 0x100); }},
    {"VLIB_get_vValue_encoding", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vValue_encoding(f.value), 0); }},
    {"VLIB_get_vValue_dataSize", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vValue_dataSize(f.value), 5); }},
    {"VLIB_get_vValue_next", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vValue_next(f.value), f.value->next); }},
    {"VLIB_get_vValue_string", kNever,
     [](Core &f) { EXPECT_STREQ(VLIB_get_vValue_string(f.value, 1), "AAED"); }},
    {"VLIB_get_vParameter_named", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vParameter_named(f.parameter, "encoding"), f.parameter); }},
    {"VLIB_get_vProperty_parameterNamed", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_get_vProperty_parameterNamed(f.property, "x"), nullptr); }},
    {"VLIB_get_vProperty_parameterValueString", kNever,
     [](Core &f) {
         EXPECT_STREQ(VLIB_get_vProperty_parameterValueString(f.property, "ENCODING"), "BASE64");
     }},
    // Hash tables and tokens
    {"VLIB_symbolHash", kNever, [](Core &) { EXPECT_LT(VLIB_symbolHash("KEY", 7), 7); }},
    {"VLIB_symbolCaseHash", kNever,
     [](Core &) { EXPECT_EQ(VLIB_symbolCaseHash("key", 7), VLIB_symbolCaseHash("KEY", 7)); }},
    {"VLIB_newHashTable VLIB_destroyHashTable", kSome,
     [](Core &) {
         vHashTable *t = VLIB_newHashTable(173, VLIB_symbolHash, caseCompare, nullptr);
         sweep::expectMade(t);
         VLIB_destroyHashTable(t);
     }},
    {"VLIB_insert VLIB_destroyKey", kSome,
     [](Core &f) {
         const int32_t result = VLIB_insert(f.table, "NEW", "x", -1);
         sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY});
         EXPECT_EQ(VLIB_destroyKey(f.table, "NEW"), result == 0 ? 0 : VLIB_ERR_KEY_NOT_FOUND);
     }},
    {"VLIB_findKey VLIB_findNext", kNever,
     [](Core &f) {
         const vHashEntry *e = VLIB_findKey(f.table, "key");
         ASSERT_NE(e, nullptr);
         EXPECT_EQ(VLIB_findNext(f.table, e), nullptr);
     }},
    {"VLIB_findDataForKey", kNever,
     [](Core &f) { EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(f.table, "KEY", nullptr)), "data"); }},
    {"VLIB_identifyToken", kNever,
     [](Core &) { EXPECT_EQ(VLIB_identifyToken("VEVENT", 0x400), VLIB_COMP_VEVENT); }},
    {"VLIB_getPropertyEncoding", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_getPropertyEncoding(f.property), VLIB_ENCODING_BASE64); }},
    {"VLIB_getPropertyDatatype", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_getPropertyDatatype(f.property), VLIB_DATATYPE_DEFAULT); }},
    // Transfer encodings
    {"VLIB_convertToBase64", kSome,
     [](Core &) {
         char *out = nullptr;
         expectConverted(VLIB_convertToBase64("abcd", 4, &out), out);
     }},
    {"VLIB_convertFromBase64", kSome,
     [](Core &) {
         char *out = nullptr;
         int32_t count = 0;
         expectConverted(VLIB_convertFromBase64("YWJjZA==", &count, &out), out);
     }},
    {"VLIB_convertToQuotedPrintable", kSome,
     [](Core &) {
         char *out = nullptr;
         expectConverted(VLIB_convertToQuotedPrintable("a=b\r\n", &out, nullptr), out);
     }},
    {"VLIB_convertFromQuotedPrintable", kSome,
     [](Core &) {
         char *out = nullptr;
         expectConverted(VLIB_convertFromQuotedPrintable("a=3Db", &out), out);
     }},
    {"VLIB_convertToEscapedString", kSome,
     [](Core &) {
         char *out = nullptr;
         expectConverted(VLIB_convertToEscapedString("a;b", &out, nullptr), out);
     }},
    // The parser: a failed allocation reads nothing.
    {"VLIB_buildComponentFromBuffer", kSome,
     [](Core &) {
         vComponent *c = nullptr;
         auto remaining = static_cast<int32_t>(kText.size());
         const int32_t result = VLIB_buildComponentFromBuffer(&c, kText.c_str(), 0, &remaining, nullptr);
         sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY});
         EXPECT_EQ(c == nullptr, result != 0);
         EXPECT_EQ(remaining == static_cast<int32_t>(kText.size()), result != 0);
         VLIB_destroy_vComponent(&c);
     }},
    {"VLIB_getParameterList", kSome,
     [](Core &) {
         char text[] = "HOME;TYPE=a,b;VOICE:1";
         vParameter *list = nullptr;
         int32_t running = 0;
         int32_t consumed = 0;
         sweep::expect(VLIB_getParameterList(&list, &running, text, &consumed, 0), 0, {VLIB_ERR_NO_MEMORY});
         EXPECT_EQ(list == nullptr, alloc_hook::failed());
         VLIB_destroy_vParameter(&list);
     }},
    // The generator works without allocating.
    {"VLIB_length_vComponent VLIB_sprint_vComponent", kNever,
     [](Core &f) {
         EXPECT_EQ(VLIB_sprint_vComponent(&f.buffer[0], f.tree, 0), 0);
         EXPECT_EQ(static_cast<size_t>(VLIB_length_vComponent(f.tree, 0)), std::strlen(f.buffer.c_str()));
     }},
    {"VLIB_length_vProperty VLIB_sprint_vProperty", kNever,
     [](Core &f) {
         EXPECT_EQ(VLIB_sprint_vProperty(&f.buffer[0], f.property, 0), 0);
         EXPECT_EQ(static_cast<size_t>(VLIB_length_vProperty(f.property, 0)), std::strlen(f.buffer.c_str()));
     }},
    {"VLIB_length_vParameter VLIB_sprint_vParameter", kNever,
     [](Core &f) {
         EXPECT_EQ(VLIB_sprint_vParameter(&f.buffer[0], f.parameter, 0), 0);
         EXPECT_EQ(static_cast<size_t>(VLIB_length_vParameter(f.parameter, 0)), std::strlen(f.buffer.c_str()));
     }},
    {"VLIB_length_vValue VLIB_sprint_vValue", kNever,
     [](Core &f) {
         EXPECT_EQ(VLIB_sprint_vValue(&f.buffer[0], f.value, 0), 0);
         EXPECT_EQ(static_cast<size_t>(VLIB_length_vValue(f.value, 0)), std::strlen(f.buffer.c_str()));
     }},
    {"VLIB_fprint_vComponent", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_fprint_vComponent(f.file, f.tree, 0), 0); }},
    {"VLIB_fprint_vProperty", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_fprint_vProperty(f.file, f.property, 0), 0); }},
    {"VLIB_fprint_vParameter", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_fprint_vParameter(f.file, f.parameter, 0), 0); }},
    {"VLIB_fprint_vValue", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_fprint_vValue(f.file, f.value, 0), 0); }},
    {"VLIB_cprint_vComponent", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_cprint_vComponent(discard, nullptr, f.tree, 0), 0); }},
    {"VLIB_cprint_vProperty", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_cprint_vProperty(discard, nullptr, f.property, 0), 0); }},
    {"VLIB_cprint_vParameter", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_cprint_vParameter(discard, nullptr, f.parameter, 0), 0); }},
    {"VLIB_cprint_vValue", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_cprint_vValue(discard, nullptr, f.value, 0), 0); }},
    // Typed values: the parsers work on a copy of the text.
    {"VLIB_parseAsBoolean", kSome, [](Core &) { expectParsed(VLIB_parseAsBoolean, "TRUE"); }},
    {"VLIB_parseAsDate", kSome, [](Core &) { expectParsed(VLIB_parseAsDate, "19980127"); }},
    {"VLIB_parseAsTime", kSome, [](Core &) { expectParsed(VLIB_parseAsTime, "120000Z"); }},
    {"VLIB_parseAsDateTime", kSome, [](Core &) { expectParsed(VLIB_parseAsDateTime, "19980127T120000"); }},
    {"VLIB_parseAsDuration", kSome, [](Core &) { expectParsed(VLIB_parseAsDuration, "P1DT2H"); }},
    {"VLIB_parseAsPeriod", kSome,
     [](Core &) { expectParsed(VLIB_parseAsPeriod, "19980127T120000Z/PT1H"); }},
    {"VLIB_parseAsFloat", kSome, [](Core &) { expectParsed(VLIB_parseAsFloat, "-1.5"); }},
    {"VLIB_parseAsInteger", kSome, [](Core &) { expectParsed(VLIB_parseAsInteger, "42"); }},
    {"VLIB_parseAsUtcOffset", kSome, [](Core &) { expectParsed(VLIB_parseAsUtcOffset, "-0500"); }},
    {"VLIB_parseAsCalAddress", kSome,
     [](Core &) { expectParsed(VLIB_parseAsCalAddress, "Jo <jo@example.com>"); }},
    {"VLIB_parseAsUrl", kSome,
     [](Core &) {
         char url[VLIB_URL_SIZE];
         sweep::expect(VLIB_parseAsUrl("http://a/", url), 0, {VLIB_ERR_NO_MEMORY});
     }},
    {"VLIB_parseAsText", kNever,
     [](Core &) {
         char text[8];
         EXPECT_EQ(VLIB_parseAsText("a", text), VLIB_ERR_NOT_SUPPORTED);
     }},
    {"VLIB_parseValue", kSome,
     [](Core &) {
         void *record = nullptr;
         sweep::expect(VLIB_parseValue(VLIB_TYPE_DATE, "19980127", &record), 0, {VLIB_ERR_NO_MEMORY});
         std::free(record);
     }},
    {"VLIB_generateAsBoolean", kNever,
     [](Core &f) {
         const int32_t v = 1;
         EXPECT_EQ(VLIB_generateAsBoolean(&f.buffer[0], 8, &v), 0);
     }},
    {"VLIB_generateAsDate", kNever,
     [](Core &f) {
         const vDate d = {1998, 1, 27};
         EXPECT_EQ(VLIB_generateAsDate(&f.buffer[0], 16, &d), 0);
     }},
    {"VLIB_generateAsTime", kNever,
     [](Core &f) {
         const vTime t = {12, 0, 0, 0, 0, 1, 0};
         EXPECT_EQ(VLIB_generateAsTime(&f.buffer[0], 16, &t), 0);
     }},
    {"VLIB_generateAsDateTime", kNever,
     [](Core &f) {
         const vDateTime t = {{1998, 1, 27}, {12, 0, 0, 0, 0, 1, 0}};
         EXPECT_EQ(VLIB_generateAsDateTime(&f.buffer[0], 32, &t), 0);
     }},
    {"VLIB_generateAsDuration", kNever,
     [](Core &f) {
         const vDuration d = {0, 0, 2, 0, 1, 0, 0};
         EXPECT_EQ(VLIB_generateAsDuration(&f.buffer[0], 64, &d), 0);
     }},
    {"VLIB_generateAsPeriod", kNever,
     [](Core &f) {
         vPeriod p{};
         p.start = {{1998, 1, 27}, {12, 0, 0, 0, 0, 1, 0}};
         p.duration.hours = 1;
         EXPECT_EQ(VLIB_generateAsPeriod(&f.buffer[0], 128, &p), 0);
     }},
    {"VLIB_generateAsFloat", kNever,
     [](Core &f) {
         const double v = 1.5;
         EXPECT_EQ(VLIB_generateAsFloat(&f.buffer[0], 32, &v), 0);
     }},
    {"VLIB_generateAsInteger", kNever,
     [](Core &f) {
         const int32_t v = 42;
         EXPECT_EQ(VLIB_generateAsInteger(&f.buffer[0], 32, &v), 0);
     }},
    {"VLIB_generateAsUtcOffset", kNever,
     [](Core &f) {
         const vUtcOffset o = {-5, 0};
         EXPECT_EQ(VLIB_generateAsUtcOffset(&f.buffer[0], 8, &o), 0);
     }},
    {"VLIB_generateAsCalAddress", kNever,
     [](Core &f) {
         const vCalAddress a = {"jo@example.com", "Jo"};
         EXPECT_EQ(VLIB_generateAsCalAddress(&f.buffer[0], 256, &a), 0);
     }},
    {"VLIB_generateAsUrl", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_generateAsUrl(&f.buffer[0], 32, "http://a/"), 0); }},
    {"VLIB_generateAsText", kNever,
     [](Core &f) { EXPECT_EQ(VLIB_generateAsText(&f.buffer[0], 32, "a"), VLIB_ERR_NOT_SUPPORTED); }},
    // Diagnostics never fail.
    {"VLIB_logError", kNever, [](Core &) { EXPECT_EQ(VLIB_logError("here", 1, "text"), 0); }},
    {"VLIB_trace", kNever, [](Core &) { EXPECT_EQ(VLIB_trace("text"), 0); }},
};

const bool registered = sweep::claims(kRows);

TEST(AllocationSweep, Core) {
    ASSERT_TRUE(registered);
    Core fixture;
    ASSERT_NE(fixture.file, nullptr);
    sweep::run(fixture, kRows);
}

} // namespace
