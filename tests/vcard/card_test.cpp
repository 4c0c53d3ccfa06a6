// Cards: creation, import card by card, export to the three sinks,
// navigation, and counting without parsing.
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "vcard_support.h"

namespace {

using vctest::cardText;

TEST(CreateCard, HoldsVersionAndUtcRevision) {
    vctest::Context context;
    vctest::Card card;
    ASSERT_EQ(VCARD_createCard(context, &card.root), 0);
    EXPECT_STREQ(card->name, "VCARD");
    EXPECT_EQ(card->componentType, VCARD_COMP_VCARD);
    EXPECT_EQ(card->propertyList->propertyType, VCARD_PROP_REV);
    const std::string text = vctest::exported(context, card);
    EXPECT_TRUE(std::regex_match(
        text, std::regex("BEGIN:VCARD\r\nREV:[0-9]{8}T[0-9]{6}Z\r\nVERSION:2.1\r\nEND:VCARD\r\n")))
        << text;
    EXPECT_EQ(VCARD_destroyCard(context, &card.root), 0);
    EXPECT_EQ(VCARD_destroyCard(context, &card.root), VCARD_ERR_NULL_ARGUMENT);
}

TEST(Import, CardByCardThroughTheRestPointer) {
    vctest::Context context;
    const std::string text =
        cardText({"N:one"}) + "\r\n" + cardText({"N:two", "TEL:2"}) + "NOTE:not a card\r\n";
    const char *at = text.c_str();
    auto remaining = static_cast<int32_t>(text.size());
    std::vector<std::string> names;
    for (int call = 0; call < 2; ++call) {
        vctest::Card card;
        const char *rest = nullptr;
        int32_t left = 0;
        ASSERT_EQ(VCARD_importObjectFromBuffer(context, &card.root, at, remaining, &rest, &left),
                  0);
        ASSERT_NE(rest, nullptr);
        EXPECT_EQ(left, remaining - (rest - at));
        names.push_back(vctest::first(context, card, VCARD_PROP_N)->valueList->data);
        at = rest;
        remaining = left;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
    vComponent *card = reinterpret_cast<vComponent *>(&names);
    const char *rest = at;
    int32_t left = -1;
    EXPECT_EQ(VCARD_importObjectFromBuffer(context, &card, at, remaining, &rest, &left),
              VCARD_ERR_NO_CARD);
    EXPECT_EQ(card, nullptr);
    EXPECT_EQ(rest, nullptr);
    EXPECT_EQ(left, 0);
}

TEST(Import, ResultsOfEachStage) {
    vctest::Context context;
    struct Case {
        std::string text;
        int32_t result;
        bool card;
    } cases[] = {
        {"", VCARD_ERR_NO_CARD, false},
        {"N:x\r\n" + cardText({}), VCARD_ERR_NO_CARD, false},
        {"=\r\n" + cardText({}), VLIB_ERR_NO_NAME, false},   // the parser's code, unchanged
        {cardText({"N", "FOO:1"}), VLIB_ERR_NO_COLON, true}, // parser before verification
        {cardText({"FOO:1"}), VCARD_ERR_BAD_PROPERTY, true},
        {cardText({"TEL:1"}), 0, true},
    };
    for (const Case &c : cases) {
        vctest::Card card;
        int32_t result = 0;
        vctest::import(context, card, c.text, &result);
        EXPECT_EQ(result, c.result) << c.text;
        EXPECT_EQ(card.root != nullptr, c.card) << c.text;
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

int32_t collect(void *argument, const char *bytes, int32_t count) {
    static_cast<std::string *>(argument)->append(bytes, static_cast<size_t>(count));
    return 0;
}

TEST(Export, ThreeSinksOneText) {
    vctest::Context context;
    vctest::Card card;
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

    char *text = reinterpret_cast<char *>(&received);
    EXPECT_EQ(VCARD_exportObjectToBuffer(context, nullptr, &text), VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(VCARD_exportObjectToFile(context, card, nullptr), VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VCARD_exportObjectToCallback(context, card, nullptr, nullptr),
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
    EXPECT_EQ(VCARD_getCardFromCard(context, card, cards, 1, &count), VCARD_MORE_ITEMS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(VCARD_getCardFromCard(context, card, cards, 2, &count), VCARD_MORE_ITEMS);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(VCARD_getCardFromCard(context, card, cards, 3, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(cards[2], nullptr);
    // Subcomponent order: the reverse of the text.
    EXPECT_STREQ(cards[0]->propertyList->valueList->data, "b");
    EXPECT_STREQ(cards[1]->propertyList->valueList->data, "a");
    vComponent *none[1] = {};
    EXPECT_EQ(VCARD_getCardFromCard(context, card->subComponent->next, none, 1, &count), 1);

    LogCapture log;
    vComponent *next = card;
    EXPECT_EQ(VCARD_getNextCard(context, card, &next), VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(VCARD_getNextCard(context, cards[0], &next), 0);
    EXPECT_EQ(next, card->subComponent->next);
    ASSERT_FALSE(log.records().empty()); // traced whatever the flags
    EXPECT_EQ(log.records()[0].message, "VCARD_getNextCard()");
}

TEST(CountCards, ScansLinesWithoutParsing) {
    vctest::Context context;
    struct Case {
        std::string text;
        int32_t count;
    } cases[] = {
        {"BEGIN:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\nEND:VCARD\r\n", 1},
        {"begin:vcard\nend:vcard\nBegin:X\nEnd:X\n", 2},
        {" BEGIN:VCARD\r\nEND:VCARD\r\n", 0},
        {"BEGIN \t:VCARD\r\r\n\nEND  :VCARD", 1},
        {"BEGINX:VCARD\r\nEND:VCARD\r\n", 0},
        {"END:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\n", 0}, // the depth went below 0
        {std::string("BEGIN:A\r\nEND:A\r\n") + '\0' + "BEGIN:A\r\nEND:A\r\n", 1},
        {"", 0},
    };
    for (const Case &c : cases) {
        int32_t count = -1;
        EXPECT_EQ(VCARD_countCardsInTextBuffer(context, c.text.c_str(),
                                               static_cast<int32_t>(c.text.size()), &count),
                  0);
        EXPECT_EQ(count, c.count) << c.text;
    }
    // The length bounds the scan: the END past it is not seen.
    const std::string text = "BEGIN:A\r\nEND:A\r\n";
    int32_t count = -1;
    EXPECT_EQ(VCARD_countCardsInTextBuffer(context, text.c_str(), 11, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(VCARD_countCardsInTextBuffer(context, nullptr, 1, &count), VCARD_ERR_NULL_ARGUMENT);
}

} // namespace
