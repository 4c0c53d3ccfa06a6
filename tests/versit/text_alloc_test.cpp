// Running out of memory at any allocation of the parser gives the
// documented code and leaks nothing.
#include <string>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "text_support.h"
#include "versit_core.h"

namespace {

TEST(ParserAllocation, EveryFailurePointLeavesNothingBehind) {
    struct Case {
        const char *text;
        int32_t flags;
    } cases[] = {
        {"BEGIN:VCARD\r\nN:Doe;John\r\nTEL;HOME;VOICE:123\r\nEND:VCARD\r\n", 8},
        {"BEGIN:VCARD\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=3Db,c=0D=0A\r\n"
         "PHOTO;ENCODING=BASE64;TYPE=JPEG:TWFu\r\n TWE=\r\n\r\n"
         "X;A=\"q;r\",s;B:\"x\\ny\",z\r\nEND:VCARD\r\n",
         0},
        {"BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nRRULE:W1 MO,TU\r\nCATEGORIES:A,B,C\r\n"
         "BEGIN:VALARM\r\nEND:VALARM\r\nEND:VEVENT\r\nBAD LINE\r\nX;E=:1\r\nEND:VCALENDAR\r\n",
         4 | 0x10},
        {"BEGIN\r\n=\r\nA:1\r\n", 1},
        {"N:not a begin line\r\n", 0},
    };
    for (const Case &c : cases) {
        const std::string text = c.text;
        int32_t expected = 0;
        {
            vtest::Parsed p;
            vtest::parse(p, text, c.flags);
            expected = p.result;
        }
        const int points = alloc_hook::sweep([&] {
            vComponent *component = nullptr;
            auto remaining = static_cast<int32_t>(text.size());
            char *rest = nullptr;
            const int32_t result =
                VLIB_buildComponentFromBuffer(&component, text.c_str(), c.flags, &remaining, &rest);
            if (!alloc_hook::failed()) {
                EXPECT_EQ(result, expected) << c.text;
            } else if (result == VLIB_ERR_NO_MEMORY) {
                EXPECT_EQ(component, nullptr) << c.text;
                EXPECT_EQ(remaining, static_cast<int32_t>(text.size())) << "nothing read";
                EXPECT_EQ(rest, text.c_str()) << c.text;
            } else {
                // A decoder that cannot have its buffer reports a value it
                // could not decode; parsing goes on.
                EXPECT_TRUE(result == VLIB_ERR_BAD_QUOTED_PRINTABLE ||
                            result == VLIB_ERR_BAD_BASE64_VALUE)
                    << c.text << ": " << result;
                EXPECT_NE(component, nullptr) << c.text;
            }
            VLIB_destroy_vComponent(&component);
        });
        EXPECT_GT(points, 0) << c.text;
    }
}

TEST(ParserAllocation, ParameterListGivesNothingOnFailure) {
    const int points = alloc_hook::sweep([] {
        std::string text = "HOME;TYPE=\"a;b\",c;E=;VOICE:1";
        vParameter *list = nullptr;
        int32_t running = 0;
        int32_t consumed = 0;
        const int32_t result = VLIB_getParameterList(&list, &running, &text[0], &consumed, 0);
        if (alloc_hook::failed()) {
            EXPECT_EQ(result, VLIB_ERR_NO_MEMORY);
            EXPECT_EQ(running, VLIB_ERR_NO_MEMORY);
            EXPECT_EQ(list, nullptr);
        } else {
            EXPECT_EQ(result, VLIB_ERR_EMPTY_PARAMETER);
            EXPECT_EQ(consumed, 26);
        }
        EXPECT_EQ(text, "HOME;TYPE=\"a;b\",c;E=;VOICE:1") << "restored on every way out";
        VLIB_destroy_vParameter(&list);
    });
    EXPECT_GT(points, 8);
}

} // namespace
