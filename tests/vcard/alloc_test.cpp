// Running out of memory at any allocation of a vCard operation gives one of
// its documented codes (the core's own, unchanged, where the core failed)
// and leaks nothing.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "vcard_support.h"

namespace {

using vctest::cardText;

const std::string kCard =
    cardText({"N:Doe;John", "TEL;WORK:1", "TEL:2", "ADR:;;x", "EMAIL;INTERNET:a@b",
              "PHOTO;BASE64:AAEC", "NOTE;QUOTED-PRINTABLE:a=3Db", "item1.X-A;CHARSET=X:y",
              "AGENT:", "BEGIN:VCARD", "TEL:3", "END:VCARD"});

TEST(Allocation, ImportReturnsTheFailingLayersCode) {
    vctest::Context context;
    const std::set<int32_t> withCard = {
        0,
        VLIB_ERR_NO_MEMORY,            // a decoding of verification
        VLIB_ERR_BAD_QUOTED_PRINTABLE, // the parser's decoders
        VLIB_ERR_BAD_BASE64_VALUE,
        VCARD_ERR_CREATE_VALUE, // default TYPE parameters
        VCARD_ERR_CREATE_PARAMETER,
    };
    const int points = alloc_hook::sweep([&] {
        vComponent *card = nullptr;
        const char *rest = nullptr;
        int32_t remaining = 0;
        const int32_t result = VCARD_importObjectFromBuffer(
            context, &card, kCard.c_str(), static_cast<int32_t>(kCard.size()), &rest, &remaining);
        if (card == nullptr) {
            // The parser failed: nothing read, so the call can be repeated.
            EXPECT_EQ(result, VLIB_ERR_NO_MEMORY);
            EXPECT_EQ(rest, kCard.c_str());
            EXPECT_EQ(remaining, static_cast<int32_t>(kCard.size()));
        } else {
            EXPECT_EQ(withCard.count(result), 1u) << std::hex << result;
            VLIB_destroy_vComponent(&card);
        }
    });
    EXPECT_GT(points, 50);
}

TEST(Allocation, ExportAndCreation) {
    vctest::Context context;
    vctest::Card bare;
    context->flags = VCARD_NO_DEFAULT_TYPES;
    vctest::import(context, bare, kCard);
    context->flags = 0;
    std::string expected;
    {
        vctest::Card copy;
        copy.root = VLIB_dup_vComponent_recursive(bare);
        expected = vctest::exported(context, copy); // with the default TYPE parameters
    }
    alloc_hook::sweep([&] {
        vctest::Card copy;
        copy.root = VLIB_dup_vComponent_recursive(bare);
        if (copy.root == nullptr) return;
        char *text = nullptr;
        const int32_t result = VCARD_exportObjectToBuffer(context, copy, &text);
        if (result == 0) {
            EXPECT_EQ(text, expected);
        } else {
            EXPECT_TRUE(result == VCARD_ERR_NO_MEMORY || result == VCARD_ERR_CREATE_VALUE ||
                        result == VCARD_ERR_CREATE_PARAMETER)
                << std::hex << result;
            EXPECT_EQ(text, nullptr);
        }
        std::free(text);
    });
    alloc_hook::sweep([&] {
        vComponent *created = nullptr;
        const int32_t result = VCARD_createCard(context, &created);
        EXPECT_TRUE(result == 0 || result == VCARD_ERR_CREATE_CARD ||
                    result == VCARD_ERR_CREATE_VALUE || result == VCARD_ERR_CREATE_PROPERTY)
            << std::hex << result;
        EXPECT_EQ(created == nullptr, result == VCARD_ERR_CREATE_CARD);
        VLIB_destroy_vComponent(&created);
    });
}

TEST(Allocation, AccessAndHelpers) {
    vctest::Context context;
    vctest::Card card;
    vctest::import(context, card, kCard);
    const int32_t wanted[] = {VCARD_PVAL_VOICE};
    alloc_hook::sweep([&] {
        char *values[4] = {};
        int32_t sizes[4] = {};
        int32_t count = -1;
        const int32_t result = VCARD_getPropertyValueCopyByType(
            context, card, VCARD_PROP_TEL, 2, wanted, 1, values, sizes, 4, &count);
        EXPECT_TRUE(result == 0 || result == VCARD_ERR_NO_MEMORY) << std::hex << result;
        EXPECT_EQ(count, result == 0 ? 1 : 0);
        for (int32_t i = 0; i < count; ++i)
            std::free(values[i]);
    });
    alloc_hook::sweep([&] {
        std::string text = "a;b\\;c;d";
        char **fields = nullptr;
        int32_t count = 0;
        const int32_t result = VCARD_getFieldEntriesFromCopy(context, &text[0], &fields, &count);
        EXPECT_EQ(result, alloc_hook::failed() ? VCARD_ERR_NO_MEMORY : 0);
        std::free(static_cast<void *>(fields));
        char *escaped = nullptr;
        if (VCARD_escapeText(context, "a;b", &escaped) != 0) {
            EXPECT_EQ(escaped, nullptr);
        }
        std::free(escaped);
    });
    alloc_hook::sweep([&] {
        vctest::Card built;
        built.root = VLIB_new_vComponent(VCARD_COMP_VCARD, "VCARD", nullptr, nullptr, nullptr);
        if (built.root == nullptr) return;
        const int32_t types[] = {VCARD_PVAL_WORK, VCARD_PVAL_FAX};
        const int32_t result = VCARD_addCompleteProperty(
            context, built, VCARD_PROP_TEL, "1", -1, types, 2, VCARD_PVAL_URL, VCARD_PVAL_BASE64);
        EXPECT_TRUE(result == 0 || result == VCARD_ERR_CREATE_VALUE ||
                    result == VCARD_ERR_CREATE_PROPERTY || result == VCARD_ERR_CREATE_PARAMETER)
            << std::hex << result;
    });
}

} // namespace
