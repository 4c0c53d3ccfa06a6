// Verification, default TYPE parameters, and the helpers beside them.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "vcard/vcInternal.h"
#include "vcard_support.h"

namespace {

using vctest::cardText;

// Parses without verifying, so that each test sees verification alone.
vComponent *parse(const std::string &text) {
    vComponent *c = nullptr;
    auto remaining = static_cast<int32_t>(text.size());
    VLIB_buildComponentFromBuffer(&c, text.c_str(), VLIB_PARSE_NO_COMMA_SPLIT, &remaining, nullptr);
    return c;
}

std::vector<int32_t> parameterTypes(const vProperty *p) {
    std::vector<int32_t> types;
    for (const vParameter *q = p->parameterList; q != nullptr; q = q->next)
        types.push_back(q->parameterType);
    return types;
}

TEST(Verify, PropertiesParametersAndValueTypes) {
    vctest::Context context;
    struct Case {
        const char *line;
        int32_t result, propertyType, datatype;
        std::vector<int32_t> parameters; // in list order
        const char *value;
    } cases[] = {
        {"TEL;WORK;QUOTED-PRINTABLE:12=33", 0, 0x3216, 0x109, {0x3304, 0x3307}, "123"},
        {"item1.EMAIL:a@b", 0, 0x3217, 0x10E, {}, "a@b"},
        {"x-abc.X-ABLabel:l", 0, 0x3202, 0x109, {}, "l"},
        {"FOO:1", VCARD_ERR_BAD_PROPERTY, 0x3200, 0x100, {}, "1"},
        {"item1.:1", VCARD_ERR_BAD_PROPERTY, 0x3200, 0x100, {}, "1"},
        {":1", VCARD_ERR_NO_PROPERTY_NAME, 0x3200, 0x100, {}, "1"},
        {"N;CHARSET=ISO-8859-1:a", 0, 0x3211, 0x109, {0x3305}, "a"},
        {"N;FOO=1;X-Y=2:a", VCARD_ERR_BAD_PARAMETER, 0x3211, 0x109, {0x3302, 0x3300}, "a"},
        {"URL;VALUE=URL:http://x", 0, 0x3223, 0x10B, {0x3306}, "http://x"},
        {"NOTE;VALUE=bogus:x", 0, 0x3220, 0, {0x3306}, "x"}, // an unknown type word stays 0
        {"NOTE;8bit:x=41", 0, 0x3220, 0x109, {0x3304}, "x=41"},
        {"NOTE;ENCODING=QUOTED-PRINTABLE:x=41", 0, 0x3220, 0x109, {0x3304}, "xA"},
        {"PHOTO;base64:TW*Fu", 0, 0x3212, 0x10F, {0x3304}, "Man"}, // skipped characters
        {"PHOTO;GIF;BASE64:TWFu", 0, 0x3212, 0x10F, {0x3304, 0x3307}, "Man"}};
    for (const Case &c : cases) {
        vctest::Card card;
        card.root = parse(cardText({c.line}));
        ASSERT_NE(card.root, nullptr) << c.line;
        EXPECT_EQ(VCARD_verify(context, card), c.result) << c.line;
        EXPECT_EQ(card->componentType, VCARD_COMP_VCARD);
        const vProperty *p = card->propertyList;
        EXPECT_EQ(p->propertyType, c.propertyType) << c.line;
        EXPECT_EQ(p->datatype, c.datatype) << c.line;
        EXPECT_EQ(parameterTypes(p), c.parameters) << c.line;
        EXPECT_STREQ(p->valueList->data, c.value) << c.line;
    }
}

TEST(Verify, ComponentsAndTheLastProblem) {
    vctest::Context context;
    struct Case {
        std::string text;
        int32_t result;
    } cases[] = {
        // A following known property does not clear the result (list order
        // is the reverse of the text).
        {cardText({"TEL:1", "FOO:2"}), VCARD_ERR_BAD_PROPERTY},
        {cardText({"FOO:2", "N;BAR=1:x"}), VCARD_ERR_BAD_PROPERTY},
        {cardText({"N;BAR=1:x", "FOO:2"}), VCARD_ERR_BAD_PARAMETER},
        {"BEGIN:VCARD\r\nBEGIN:\r\nEND:\r\nEND:VCARD\r\n", VCARD_ERR_NO_COMPONENT_NAME},
        {"BEGIN:VCARD\r\nBEGIN:VEVENT\r\nEND:VEVENT\r\nEND:VCARD\r\n", VCARD_ERR_BAD_COMPONENT},
        {"BEGIN:X-THING\r\nBEGIN:vcard\r\nFOO:1\r\nEND:vcard\r\nEND:X-THING\r\n",
         VCARD_ERR_BAD_PROPERTY}};
    for (const Case &c : cases) {
        vctest::Card card;
        card.root = parse(c.text);
        EXPECT_EQ(VCARD_verifyLevel2(context, card), c.result) << c.text;
    }
    vctest::Card nested;
    nested.root = parse("BEGIN:X-THING\r\nBEGIN:VCARD\r\nEND:VCARD\r\nEND:X-THING\r\n");
    EXPECT_EQ(VCARD_verify(context, nested), 0);
    EXPECT_EQ(nested->componentType, VCARD_COMP_X);
    EXPECT_EQ(nested->subComponent->componentType, VCARD_COMP_VCARD);

    // Every card of a chain is verified.
    vctest::Card chain;
    chain.root = parse(cardText({"N:a"}));
    chain->next = parse(cardText({"BAD:b"}));
    EXPECT_EQ(VCARD_verify(context, chain), VCARD_ERR_BAD_PROPERTY);
    EXPECT_EQ(chain->next->propertyList->propertyType, VCARD_PROP_UNKNOWN);
    EXPECT_EQ(VCARD_verify(context, nullptr), VCARD_ERR_NULL_ARGUMENT);
}

// An import for a converter verifies a card only where that changes a
// value: the codes it would give are not read.
TEST(Verify, ValuesOnlyWhereTheyChange) {
    vctest::Context context;
    auto import = [&](const std::string &text, vctest::Card &card) {
        const char *rest = nullptr;
        int32_t left = 0;
        return vcard::importObject(context, &card.root, text.c_str(),
                                   static_cast<int32_t>(text.size()), &rest, &left, nullptr,
                                   vcard::Verify::Values);
    };
    context->flags |= VCARD_NO_DEFAULT_TYPES;
    {
        // Nothing bare: the parse as it stands, its result the parse's.
        vctest::Card card;
        EXPECT_EQ(import(cardText({"FOO;BAR=1:x", "NOTE;HOME:y"}), card), 0);
        ASSERT_NE(card.root, nullptr);
        EXPECT_EQ(card->propertyList->propertyType, VLIB_PROPERTY_UNIDENTIFIED);
    }
    struct Case {
        std::string text;
        const char *value; // of the first NOTE, the innermost card's last
    } cases[] = {
        {cardText({"NOTE;QUOTED-PRINTABLE:caf=C3=A9", "FOO:1"}), "caf\xC3\xA9"},
        {cardText({"NOTE;WORK;base64:QUJD"}), "ABC"},
        {cardText({"NOTE;7BIT:x=41"}), "x=41"},
        {"BEGIN:VCARD\r\nAGENT:\r\nBEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:=41\r\nEND:VCARD\r\n"
         "END:VCARD\r\n",
         "A"}};
    for (const Case &c : cases) {
        // A bare encoding word: the whole card verified, as the exported
        // import verifies it.
        vctest::Card card;
        vctest::Card whole;
        const int32_t result = import(c.text, card);
        int32_t expected = 0;
        vctest::import(context, whole, c.text, &expected);
        EXPECT_EQ(result, expected) << c.text;
        ASSERT_NE(card.root, nullptr) << c.text;
        const vComponent *inner = card->subComponent != nullptr ? card->subComponent : card.root;
        const vProperty *note = inner->propertyList;
        while (note != nullptr && std::strcmp(note->name, "NOTE") != 0)
            note = note->next;
        ASSERT_NE(note, nullptr) << c.text;
        EXPECT_STREQ(note->valueList->data, c.value) << c.text;
        EXPECT_STREQ(note->parameterList->name, "ENCODING") << c.text;
        EXPECT_EQ(note->propertyType, VCARD_PROP_NOTE) << c.text;
    }
    // Default TYPE parameters need the codes: with them, every card is
    // verified.
    context->flags &= ~VCARD_NO_DEFAULT_TYPES;
    vctest::Card typed;
    EXPECT_EQ(import(cardText({"TEL:1"}), typed), 0);
    ASSERT_NE(typed.root, nullptr);
    EXPECT_EQ(vctest::line(typed->propertyList), "TEL;VOICE:1");
}

TEST(Helpers, EscapeAndDatatype) {
    vctest::Context context;
    char *escaped = nullptr;
    ASSERT_EQ(VCARD_escapeText(context, "a;b:c\\d\te", &escaped), 0);
    EXPECT_STREQ(escaped, "a\\;b\\:c\\\\d\te");
    std::free(escaped);
    LogCapture log;
    context->flags = VCARD_TRACE;
    ASSERT_EQ(VCARD_escapeText(context, "50%;", &escaped), 0);
    std::free(escaped);
    ASSERT_EQ(log.records().size(), 3u);
    EXPECT_EQ(log.records()[1].message, "VCARD_escapeText(): source text \"50%%;\"");
    EXPECT_EQ(log.records()[2].message, "VCARD_escapeText(): target text \"50%%\\;\"");

    // The timestamp is checked in the REV of a new card.
    // Answers nothing: 1, and nothing written.
    vProperty p{};
    int32_t datatype = 7;
    EXPECT_EQ(VCARD_getPropertyDatatype(context, &p, &datatype), 1);
    EXPECT_EQ(datatype, 7);
    EXPECT_EQ(VCARD_getPropertyDatatype(context, &p, nullptr), VCARD_ERR_NULL_ARGUMENT);
}

} // namespace
