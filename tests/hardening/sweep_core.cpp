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
    // Outputs of the rows.
    char *out = nullptr;
    int32_t count = 0;

    Core() {
        event->parent = tree;
        EXPECT_EQ(VLIB_insert(table, "KEY", "data", -1), 0);
    }
    ~Core() {
        VLIB_destroy_vComponent(&tree);
        VLIB_destroyHashTable(table);
        std::fclose(file);
    }
};

using Row = sweep::Row<Core>;
using sweep::is;
using sweep::made;

int32_t discard(void *, const char *, int32_t) { return 0; }

const std::string kText = "BEGIN:VCARD\r\nN:Doe;John\r\nTEL;HOME;VOICE:1,2\r\n"
                          "BEGIN:X\r\nA:b\r\nEND:X\r\nEND:VCARD\r\n";

// A converter's output: null exactly when it failed.
void expectConverted(Core &f, int32_t result) {
    sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY});
    EXPECT_EQ(f.out == nullptr, result != 0);
    std::free(f.out);
    f.out = nullptr;
}

// Parsers of typed values: run on a copy of the text.
template <class Record>
void expectParsed(int32_t (*parse)(const char *, Record *), const char *text) {
    Record record{};
    sweep::expect(parse(text, &record), 0, {VLIB_ERR_NO_MEMORY});
}

// A setter on a new record gives back that record; one that copies a name
// hands out the copy or, when the copy failed, null.
template <class T> struct Same { using type = T; };
template <class R, class A> void setOn(R *(*set)(R *, A), typename Same<A>::type argument) {
    R record{};
    EXPECT_EQ(set(&record, argument), &record);
}
template <class R, class S> void added(R *(*add)(R *, S *)) {
    R record{};
    S part{};
    EXPECT_EQ(add(&record, &part), &record);
}
template <class R> void named(R *(*set)(R *, const char *)) {
    R record{};
    sweep::expectMade(set(&record, "N"));
    std::free(record.name);
}

// The generator writes into the buffer what it says it would.
template <class R>
void printed(Core &f, int32_t (*sprint)(char *, R *, int32_t), int32_t (*length)(R *, int32_t),
             R *record) {
    EXPECT_EQ(sprint(&f.buffer[0], record, 0), 0);
    EXPECT_EQ(static_cast<size_t>(length(record, 0)), std::strlen(f.buffer.c_str()));
}

// Writes `record` with a generator into the fixture's buffer.
template <class R>
int32_t generated(Core &f, int32_t (*generate)(char *, int32_t, const R *), R record) {
    return generate(&f.buffer[0], 128, &record);
}

const vTime kNoon = {12, 0, 0, 0, 0, 1, 0};
const vPeriod kPeriod = {{{1998, 1, 27}, kNoon}, {}, {0, 0, 1, 0, 0, 0, 0}, 0};

const Row kRows[] = {
    // Records
    SOME("VLIB_new_vValue VLIB_destroy_vValue",
         made(VLIB_new_vValue(0x100, "x", -1, nullptr), VLIB_destroy_vValue)),
    SOME("VLIB_new_vParameter VLIB_destroy_vParameter",
         made(VLIB_new_vParameter(0x300, "TYPE", nullptr, nullptr), VLIB_destroy_vParameter)),
    SOME("VLIB_new_vProperty VLIB_destroy_vProperty",
         made(VLIB_new_vProperty(0x200, "TEL", nullptr, nullptr, nullptr), VLIB_destroy_vProperty)),
    SOME("VLIB_new_vComponent VLIB_destroy_vComponent",
         made(VLIB_new_vComponent(0x400, "VCARD", nullptr, nullptr, nullptr),
              VLIB_destroy_vComponent)),
    SOME("VLIB_dup_vValue", made(VLIB_dup_vValue(f.value), VLIB_destroy_vValue)),
    MADE(VLIB_dup_vValue_recursive, (f.value), VLIB_destroy_vValue),
    SOME("VLIB_dup_vParameter", made(VLIB_dup_vParameter(f.parameter), VLIB_destroy_vParameter)),
    MADE(VLIB_dup_vParameter_recursive, (f.parameter), VLIB_destroy_vParameter),
    SOME("VLIB_dup_vProperty", made(VLIB_dup_vProperty(f.property), VLIB_destroy_vProperty)),
    MADE(VLIB_dup_vProperty_recursive, (f.property), VLIB_destroy_vProperty),
    SOME("VLIB_dup_vComponent", made(VLIB_dup_vComponent(f.tree), VLIB_destroy_vComponent)),
    MADE(VLIB_dup_vComponent_recursive, (f.tree), VLIB_destroy_vComponent),
    NEVER("VLIB_add_vComponent_property", added(VLIB_add_vComponent_property)),
    NEVER("VLIB_add_vComponent_subcomponent", added(VLIB_add_vComponent_subcomponent)),
    NEVER("VLIB_add_vProperty_parameter", added(VLIB_add_vProperty_parameter)),
    {"VLIB_remove_vProperty", sweep::kSome,
     [](Core &) {
         vProperty *p = VLIB_new_vProperty(0x200, "A", nullptr, nullptr, nullptr);
         if (p != nullptr) is(VLIB_remove_vProperty(p), nullptr);
     }},
    // Setters. The name setters copy: a failed copy leaves the record as it was.
    SOME("VLIB_set_vComponent_name", named(VLIB_set_vComponent_name)),
    SOME("VLIB_set_vProperty_name", named(VLIB_set_vProperty_name)),
    SOME("VLIB_set_vParameter_name", named(VLIB_set_vParameter_name)),
    {"VLIB_set_vValue_value", sweep::kSome,
     [](Core &) {
         vValue v{};
         sweep::expectMade(VLIB_set_vValue_value(&v, "N"));
         std::free(v.data);
     }},
    NEVER("VLIB_set_vProperty_valueList", setOn(VLIB_set_vProperty_valueList, nullptr)),
    NEVER("VLIB_set_vProperty_parameterList", setOn(VLIB_set_vProperty_parameterList, nullptr)),
    NEVER("VLIB_set_vParameter_valueList", setOn(VLIB_set_vParameter_valueList, nullptr)),
    NEVER("VLIB_set_vComponent_parent", setOn(VLIB_set_vComponent_parent, f.tree)),
    NEVER("VLIB_set_vComponent_componentType", setOn(VLIB_set_vComponent_componentType, 0x405)),
    NEVER("VLIB_set_vProperty_propertyType", setOn(VLIB_set_vProperty_propertyType, 0x201)),
    NEVER("VLIB_set_vParameter_parameterType", setOn(VLIB_set_vParameter_parameterType, 0x301)),
    NEVER("VLIB_set_vValue_id", setOn(VLIB_set_vValue_id, 0x109)),
    NEVER("VLIB_set_vProperty_datatype", setOn(VLIB_set_vProperty_datatype, 0x109)),
    NEVER("VLIB_set_vValue_encoding", setOn(VLIB_set_vValue_encoding, 0x503)),
    NEVER("VLIB_set_vComponent_propertyList", setOn(VLIB_set_vComponent_propertyList, nullptr)),
    NEVER("VLIB_set_vProperty_propertyList", setOn(VLIB_set_vProperty_propertyList, nullptr)),
    {"VLIB_set_vComponent_extraData VLIB_get_vComponent_extraData", sweep::kNever,
     [](Core &) {
         vComponent c{};
         void *data = &c;
         EXPECT_EQ(VLIB_set_vComponent_extraData(&c, nullptr), 0);
         EXPECT_EQ(VLIB_get_vComponent_extraData(&c, &data), 0);
         EXPECT_EQ(data, nullptr);
     }},
    // Getters and lookups
    NEVER("VLIB_get_vComponent_name", is(VLIB_get_vComponent_name(f.tree), "VCALENDAR")),
    IS(VLIB_get_vComponent_componentType, (f.tree), 0x405),
    IS(VLIB_get_vComponent_propertyList, (f.tree), f.property),
    IS(VLIB_get_vComponent_subComponent, (f.tree), f.event),
    NEVER("VLIB_get_vComponent_next", is(VLIB_get_vComponent_next(f.tree), nullptr)),
    NEVER("VLIB_get_vComponent_parent", is(VLIB_get_vComponent_parent(f.event), f.tree)),
    NEVER("VLIB_get_vProperty_name", is(VLIB_get_vProperty_name(f.property), "X-A")),
    IS(VLIB_get_vProperty_propertyType, (f.property), 0x200),
    IS(VLIB_get_vProperty_encoding, (f.property), f.property->encoding),
    IS(VLIB_get_vProperty_datatype, (f.property), f.property->datatype),
    NEVER("VLIB_get_vProperty_valueList", is(VLIB_get_vProperty_valueList(f.property), f.value)),
    IS(VLIB_get_vProperty_parameterList, (f.property), f.parameter),
    NEVER("VLIB_get_vProperty_next", is(VLIB_get_vProperty_next(f.property), nullptr)),
    IS(VLIB_get_vProperty_parentComponent, (f.property), f.tree),
    NEVER("VLIB_get_vParameter_name", is(VLIB_get_vParameter_name(f.parameter), "ENCODING")),
    IS(VLIB_get_vParameter_parameterType, (f.parameter), 0x300),
    IS(VLIB_get_vParameter_valueList, (f.parameter), f.parameter->valueList),
    NEVER("VLIB_get_vParameter_next", is(VLIB_get_vParameter_next(f.parameter), f.parameter->next)),
    IS(VLIB_get_vParameter_parentProperty, (f.parameter), f.property),
    NEVER("VLIB_get_vValue_data", is(VLIB_get_vValue_data(f.value), "AAEC")),
    NEVER("VLIB_get_vValue_dataType", is(VLIB_get_vValue_dataType(f.value), 0x100)),
    NEVER("VLIB_get_vValue_encoding", is(VLIB_get_vValue_encoding(f.value), 0)),
    NEVER("VLIB_get_vValue_dataSize", is(VLIB_get_vValue_dataSize(f.value), 5)),
    NEVER("VLIB_get_vValue_next", is(VLIB_get_vValue_next(f.value), f.value->next)),
    NEVER("VLIB_get_vValue_string", is(VLIB_get_vValue_string(f.value, 1), "AAED")),
    IS(VLIB_get_vParameter_named, (f.parameter, "encoding"), f.parameter),
    IS(VLIB_get_vProperty_parameterNamed, (f.property, "x"), nullptr),
    IS(VLIB_get_vProperty_parameterValueString, (f.property, "ENCODING"), "BASE64"),
    // Hash tables and tokens
    NEVER("VLIB_symbolHash", is(VLIB_symbolHash("KEY", 7) % 7, VLIB_symbolHash("KEY", 7))),
    NEVER("VLIB_symbolCaseHash", is(VLIB_symbolCaseHash("key", 7), VLIB_symbolCaseHash("KEY", 7))),
    SOME("VLIB_newHashTable VLIB_destroyHashTable",
         made(VLIB_newHashTable(173, VLIB_symbolHash, caseCompare, nullptr),
              VLIB_destroyHashTable)),
    {"VLIB_insert VLIB_destroyKey", sweep::kSome,
     [](Core &f) {
         const int32_t result = VLIB_insert(f.table, "NEW", "x", -1);
         sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY});
         EXPECT_EQ(VLIB_destroyKey(f.table, "NEW"), result == 0 ? 0 : VLIB_ERR_KEY_NOT_FOUND);
     }},
    NEVER("VLIB_findKey VLIB_findNext",
          is(VLIB_findNext(f.table, VLIB_findKey(f.table, "key")), nullptr)),
    NEVER("VLIB_findDataForKey",
          is(static_cast<char *>(VLIB_findDataForKey(f.table, "KEY", nullptr)), "data")),
    NEVER("VLIB_identifyToken", is(VLIB_identifyToken("VEVENT", 0x400), VLIB_COMP_VEVENT)),
    IS(VLIB_getPropertyEncoding, (f.property), VLIB_ENCODING_BASE64),
    IS(VLIB_getPropertyDatatype, (f.property), VLIB_DATATYPE_DEFAULT),
    // Transfer encodings
    SOME("VLIB_convertToBase64", expectConverted(f, VLIB_convertToBase64("abcd", 4, &f.out))),
    SOME("VLIB_convertFromBase64",
         expectConverted(f, VLIB_convertFromBase64("YWJjZA==", &f.count, &f.out))),
    SOME("VLIB_convertToQuotedPrintable",
         expectConverted(f, VLIB_convertToQuotedPrintable("a=b\r\n", &f.out, nullptr))),
    SOME("VLIB_convertFromQuotedPrintable",
         expectConverted(f, VLIB_convertFromQuotedPrintable("a=3Db", &f.out))),
    SOME("VLIB_convertToEscapedString",
         expectConverted(f, VLIB_convertToEscapedString("a;b", &f.out, nullptr))),
    // The parser: a failed allocation reads nothing.
    {"VLIB_buildComponentFromBuffer", sweep::kSome,
     [](Core &) {
         vComponent *c = nullptr;
         auto remaining = static_cast<int32_t>(kText.size());
         const int32_t result =
             VLIB_buildComponentFromBuffer(&c, kText.c_str(), 0, &remaining, nullptr);
         sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY});
         EXPECT_EQ(c == nullptr, result != 0);
         EXPECT_EQ(remaining == static_cast<int32_t>(kText.size()), result != 0);
         VLIB_destroy_vComponent(&c);
     }},
    {"VLIB_getParameterList", sweep::kSome,
     [](Core &) {
         char text[] = "HOME;TYPE=a,b;VOICE:1";
         vParameter *list = nullptr;
         int32_t running = 0, consumed = 0;
         sweep::expect(VLIB_getParameterList(&list, &running, text, &consumed, 0), 0,
                       {VLIB_ERR_NO_MEMORY});
         EXPECT_EQ(list == nullptr, alloc_hook::failed());
         VLIB_destroy_vParameter(&list);
     }},
    // The generator works without allocating.
    NEVER("VLIB_length_vComponent VLIB_sprint_vComponent",
          printed(f, VLIB_sprint_vComponent, VLIB_length_vComponent, f.tree)),
    NEVER("VLIB_length_vProperty VLIB_sprint_vProperty",
          printed(f, VLIB_sprint_vProperty, VLIB_length_vProperty, f.property)),
    NEVER("VLIB_length_vParameter VLIB_sprint_vParameter",
          printed(f, VLIB_sprint_vParameter, VLIB_length_vParameter, f.parameter)),
    NEVER("VLIB_length_vValue VLIB_sprint_vValue",
          printed(f, VLIB_sprint_vValue, VLIB_length_vValue, f.value)),
    NEVER("VLIB_fprint_vComponent", is(VLIB_fprint_vComponent(f.file, f.tree, 0), 0)),
    NEVER("VLIB_fprint_vProperty", is(VLIB_fprint_vProperty(f.file, f.property, 0), 0)),
    NEVER("VLIB_fprint_vParameter", is(VLIB_fprint_vParameter(f.file, f.parameter, 0), 0)),
    NEVER("VLIB_fprint_vValue", is(VLIB_fprint_vValue(f.file, f.value, 0), 0)),
    NEVER("VLIB_cprint_vComponent", is(VLIB_cprint_vComponent(discard, nullptr, f.tree, 0), 0)),
    NEVER("VLIB_cprint_vProperty", is(VLIB_cprint_vProperty(discard, nullptr, f.property, 0), 0)),
    IS(VLIB_cprint_vParameter, (discard, nullptr, f.parameter, 0), 0),
    NEVER("VLIB_cprint_vValue", is(VLIB_cprint_vValue(discard, nullptr, f.value, 0), 0)),
    // Typed values: the parsers work on a copy of the text.
    SOME("VLIB_parseAsBoolean", expectParsed(VLIB_parseAsBoolean, "TRUE")),
    SOME("VLIB_parseAsDate", expectParsed(VLIB_parseAsDate, "19980127")),
    SOME("VLIB_parseAsTime", expectParsed(VLIB_parseAsTime, "120000Z")),
    SOME("VLIB_parseAsDateTime", expectParsed(VLIB_parseAsDateTime, "19980127T120000")),
    SOME("VLIB_parseAsDuration", expectParsed(VLIB_parseAsDuration, "P1DT2H")),
    SOME("VLIB_parseAsPeriod", expectParsed(VLIB_parseAsPeriod, "19980127T120000Z/PT1H")),
    SOME("VLIB_parseAsFloat", expectParsed(VLIB_parseAsFloat, "-1.5")),
    SOME("VLIB_parseAsInteger", expectParsed(VLIB_parseAsInteger, "42")),
    SOME("VLIB_parseAsUtcOffset", expectParsed(VLIB_parseAsUtcOffset, "-0500")),
    SOME("VLIB_parseAsCalAddress", expectParsed(VLIB_parseAsCalAddress, "Jo <jo@example.com>")),
    SOME("VLIB_parseAsUrl",
         sweep::expect(VLIB_parseAsUrl("http://a/", &f.buffer[0]), 0, {VLIB_ERR_NO_MEMORY})),
    NEVER("VLIB_parseAsText", is(VLIB_parseAsText("a", &f.buffer[0]), VLIB_ERR_NOT_SUPPORTED)),
    {"VLIB_parseValue", sweep::kSome,
     [](Core &) {
         void *record = nullptr;
         sweep::expect(VLIB_parseValue(VLIB_TYPE_DATE, "19980127", &record), 0,
                       {VLIB_ERR_NO_MEMORY});
         std::free(record);
     }},
    NEVER("VLIB_generateAsBoolean", is(generated(f, VLIB_generateAsBoolean, int32_t{1}), 0)),
    NEVER("VLIB_generateAsDate", is(generated(f, VLIB_generateAsDate, vDate{1998, 1, 27}), 0)),
    NEVER("VLIB_generateAsTime", is(generated(f, VLIB_generateAsTime, kNoon), 0)),
    NEVER("VLIB_generateAsDateTime",
          is(generated(f, VLIB_generateAsDateTime, vDateTime{{1998, 1, 27}, kNoon}), 0)),
    NEVER("VLIB_generateAsDuration",
          is(generated(f, VLIB_generateAsDuration, vDuration{0, 0, 2, 0, 1, 0, 0}), 0)),
    NEVER("VLIB_generateAsPeriod",
          is(generated(f, VLIB_generateAsPeriod, kPeriod), 0)),
    NEVER("VLIB_generateAsFloat", is(generated(f, VLIB_generateAsFloat, 1.5), 0)),
    NEVER("VLIB_generateAsInteger", is(generated(f, VLIB_generateAsInteger, int32_t{42}), 0)),
    NEVER("VLIB_generateAsUtcOffset",
          is(generated(f, VLIB_generateAsUtcOffset, vUtcOffset{-5, 0}), 0)),
    NEVER("VLIB_generateAsCalAddress",
          is(generated(f, VLIB_generateAsCalAddress, vCalAddress{"jo@example.com", "Jo"}), 0)),
    NEVER("VLIB_generateAsUrl", is(VLIB_generateAsUrl(&f.buffer[0], 32, "http://a/"), 0)),
    IS(VLIB_generateAsText, (&f.buffer[0], 32, "a"), VLIB_ERR_NOT_SUPPORTED),
    // Diagnostics never fail.
    NEVER("VLIB_logError", is(VLIB_logError("here", 1, "text"), 0)),
    NEVER("VLIB_trace", is(VLIB_trace("text"), 0)),
};

const bool registered = sweep::claims(kRows);

TEST(AllocationSweep, Core) {
    ASSERT_TRUE(registered);
    Core fixture;
    ASSERT_NE(fixture.file, nullptr);
    sweep::run(fixture, kRows);
}

} // namespace
