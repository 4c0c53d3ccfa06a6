// Cards: creation, import card by card, export to the three sinks,
// navigation, and counting without parsing.
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "vcard_support.h"

namespace {

using vctest::cardText;

int32_t collect(void *argument, const char *bytes, int32_t count) {
    static_cast<std::string *>(argument)->append(bytes, static_cast<size_t>(count));
    return 0;
}

// A new card holds VERSION and a UTC revision; each sink writes one text.
TEST(CreateAndExport, ThreeSinksOneText) {
    vctest::Context context;
    vctest::Card card;
    ASSERT_EQ(VCARD_createCard(context, &card.root), 0);
    EXPECT_EQ(card->componentType, VCARD_COMP_VCARD);
    EXPECT_EQ(card->propertyList->propertyType, VCARD_PROP_REV);
    const std::string text = vctest::exported(context, card);
    EXPECT_TRUE(std::regex_match(
        text, std::regex("BEGIN:VCARD\r\nREV:[0-9]{8}T[0-9]{6}Z\r\nVERSION:2.1\r\nEND:VCARD\r\n")))
        << text;
    EXPECT_EQ(VCARD_destroyCard(context, &card.root), 0);
    EXPECT_EQ(VCARD_destroyCard(context, &card.root), VCARD_ERR_NULL_ARGUMENT);

    vctest::import(context, card, cardText({"N:a", "PHOTO;ENCODING=BASE64:AAEC", "TEL:1"}));
    const std::string expected = cardText({"TEL;VOICE:1", "PHOTO;ENCODING=BASE64:AAEC\r\n", "N:a"});
    EXPECT_EQ(vctest::exported(context, card), expected);
    EXPECT_EQ(VLIB_length_vComponent(card, 12), static_cast<int32_t>(expected.size()));
    std::string received;
    EXPECT_EQ(VCARD_exportObjectToCallback(context, card, collect, &received), 0);
    EXPECT_EQ(received, expected);
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(VCARD_exportObjectToFile(context, card, file), 0);
    std::rewind(file);
    char buffer[256] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer - 1, file), expected.size());
    std::fclose(file);
    EXPECT_EQ(buffer, expected);

    char *out = buffer;
    EXPECT_EQ(VCARD_exportObjectToBuffer(context, nullptr, &out), VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(out, nullptr);
    // Memory running out while the default types are added ends the export.
    vctest::Card bare;
    context->flags = VCARD_NO_DEFAULT_TYPES;
    vctest::import(context, bare, cardText({"TEL:1"}));
    context->flags = 0;
    alloc_hook::failAfter(0);
    EXPECT_NE(VCARD_exportObjectToBuffer(context, bare, &out), 0);
    alloc_hook::failAfter(-1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(VCARD_exportObjectToFile(context, card, nullptr), VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VCARD_exportObjectToCallback(context, card, nullptr, nullptr),
              VCARD_ERR_NULL_ARGUMENT);
}

// Each row: a text, the result of the first import, and the value of N of
// each card read, one call after the other, until the text gives no card.
TEST(Import, ResultsOfEachStageAndTheRestPointer) {
    vctest::Context context;
    struct Case {
        std::string text;
        int32_t result;
        std::vector<std::string> names;
    } cases[] = {
        {"", VCARD_ERR_NO_CARD, {}},
        {"N:x\r\n" + cardText({}), VCARD_ERR_NO_CARD, {}},
        {"=\r\n" + cardText({}), VLIB_ERR_NO_NAME, {}},      // the parser's code, unchanged
        {cardText({"N", "FOO:1"}), VLIB_ERR_NO_COLON, {""}}, // parser before verification
        {cardText({"N:a", "FOO:1"}), VCARD_ERR_BAD_PROPERTY, {"a"}},
        {cardText({"N:one"}) + "\r\n" + cardText({"N:two", "TEL:2"}) + "NOTE:not a card\r\n",
         0,
         {"one", "two"}}};
    for (const Case &c : cases) {
        const char *at = c.text.c_str();
        auto remaining = static_cast<int32_t>(c.text.size());
        std::vector<std::string> names;
        for (;;) {
            vctest::Card card;
            const char *rest = at;
            int32_t left = -1;
            const int32_t result =
                VCARD_importObjectFromBuffer(context, &card.root, at, remaining, &rest, &left);
            EXPECT_TRUE(at != c.text.c_str() || result == c.result) << c.text << ": " << result;
            if (result == VCARD_ERR_NO_CARD) {
                EXPECT_EQ(rest, nullptr);
                EXPECT_EQ(left, 0);
            }
            if (card.root == nullptr) break;
            vProperty *n = vctest::first(context, card, VCARD_PROP_N);
            names.push_back(n != nullptr && n->valueList != nullptr ? n->valueList->data : "");
            if (rest == nullptr) break;
            EXPECT_EQ(left, remaining - (rest - at)) << c.text;
            at = rest;
            remaining = left;
        }
        EXPECT_EQ(names, c.names) << c.text;
    }
    // With the flag, no default TYPE parameters.
    for (bool bare : {false, true}) {
        context->flags = bare ? VCARD_NO_DEFAULT_TYPES : 0;
        vctest::Card card;
        vctest::import(context, card, cardText({"TEL:1"}));
        EXPECT_EQ(vctest::line(card->propertyList), bare ? "TEL:1" : "TEL;VOICE:1");
    }
    vComponent *card = nullptr;
    const char *rest = nullptr;
    int32_t left = 0;
    EXPECT_EQ(VCARD_importObjectFromBuffer(context, &card, nullptr, 1, &rest, &left),
              VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VCARD_importObjectFromFile(context, &card, stdin), VCARD_ERR_NOT_SUPPORTED);
    EXPECT_EQ(VCARD_importObjectFromCallback(context, &card, nullptr, nullptr),
              VCARD_ERR_NULL_ARGUMENT);
}

TEST(Navigation, NextAndNestedCards) {
    vctest::Context context;
    vctest::Card card;
    vctest::import(context, card,
                   "BEGIN:VCARD\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:a\r\nEND:VCARD\r\nBEGIN:X-NOTE\r\n"
                   "END:X-NOTE\r\nBEGIN:VCARD\r\nFN:b\r\nEND:VCARD\r\nEND:VCARD\r\n");
    ASSERT_NE(card.root, nullptr);
    vComponent *cards[3] = {};
    int32_t count = 0;
    for (int32_t size : {1, 2}) {
        EXPECT_EQ(VCARD_getCardFromCard(context, card, cards, size, &count), VCARD_MORE_ITEMS);
        EXPECT_EQ(count, size);
    }
    EXPECT_EQ(VCARD_getCardFromCard(context, card, cards, 3, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(cards[2], nullptr);
    // Subcomponent order: the reverse of the text.
    EXPECT_STREQ(cards[0]->propertyList->valueList->data, "b");
    EXPECT_STREQ(cards[1]->propertyList->valueList->data, "a");

    LogCapture log;
    vComponent *next = card;
    EXPECT_EQ(VCARD_getNextCard(context, card, &next), VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(VCARD_getNextCard(context, cards[0], &next), 0);
    EXPECT_EQ(next, card->subComponent->next);
    ASSERT_FALSE(log.records().empty()); // traced whatever the flags
    EXPECT_EQ(log.records()[0].message, "VCARD_getNextCard()");
    EXPECT_EQ(VCARD_getCardFromCard(context, card->subComponent->next, cards, 1, &count), 1);
}

TEST(CountCards, ScansLinesWithoutParsing) {
    vctest::Context context;
    struct Case {
        std::string text;
        int32_t length; // -1: all of it
        int32_t count;
    } cases[] = {
        {"BEGIN:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\nEND:VCARD\r\n", -1, 1},
        {"begin:vcard\nend:vcard\nBegin:X\nEnd:X\n", -1, 2},
        {" BEGIN:VCARD\r\nEND:VCARD\r\n", -1, 0},
        {"BEGIN \t:VCARD\r\r\n\nEND  :VCARD", -1, 1},
        {"BEGINX:VCARD\r\nEND:VCARD\r\n", -1, 0},
        {"END:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\n", -1, 0}, // the depth went below 0
        {std::string("BEGIN:A\r\nEND:A\r\n") + '\0' + "BEGIN:A\r\nEND:A\r\n", -1, 1},
        {"", -1, 0},
        {"BEGIN:A\r\nEND:A\r\n", 11, 0} // the length bounds the scan
    };
    for (const Case &c : cases) {
        int32_t count = -1;
        const auto length = c.length >= 0 ? c.length : static_cast<int32_t>(c.text.size());
        EXPECT_EQ(VCARD_countCardsInTextBuffer(context, c.text.c_str(), length, &count), 0);
        EXPECT_EQ(count, c.count) << c.text;
    }
    int32_t count = -1;
    EXPECT_EQ(VCARD_countCardsInTextBuffer(context, nullptr, 1, &count), VCARD_ERR_NULL_ARGUMENT);
}

} // namespace
