// Running out of memory at any allocation of either direction gives a
// documented code and leaks nothing.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "ab_support.h"
#include "support/alloc_hook.h"

namespace {

const std::set<int32_t> kOutOfMemory = {
    VCARD_ERR_NO_MEMORY,    VLIB_ERR_NO_MEMORY,         VCARD_ERR_CREATE_CARD,
    VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER, VCARD_ERR_CREATE_PROPERTY,
};

TEST(Allocation, Export) {
    abtest::Book book;
    abtest::Context context;
    ASSERT_EQ(RegisterVCXProperties(context), 0);
    ABEntryRecord record = abtest::emptyRecord();
    abtest::set(record.familyName, "Roy;Co");
    abtest::set(record.givenName, "Jean");
    abtest::set(record.homeCity, "Laval");
    abtest::set(record.fax.number, "555");
    abtest::set(record.salutation, "Dear");
    abtest::set(record.email1, "a@b");
    record.birthday = ABDate{1, 2, 1990};
    record.photoFormat = AB_PHOTO_JPEG;
    abtest::createEntry(book, record, {"general", "AAEC/w==", "personal"});
    const int points = alloc_hook::sweep([&] {
        int32_t result = -1;
        const std::string text = abtest::exportEntry(book, context, record, &result);
        if (result == 0) {
            EXPECT_EQ(text.rfind("BEGIN:VCARD", 0), 0u);
        } else {
            EXPECT_EQ(kOutOfMemory.count(result), 1u) << std::hex << result;
            EXPECT_TRUE(text.empty());
        }
    });
    EXPECT_GT(points, 30);
}

TEST(Allocation, Import) {
    abtest::Context context;
    ASSERT_EQ(RegisterVCXProperties(context), 0);
    const std::string text =
        abtest::cardText({"N;ENCODING=QUOTED-PRINTABLE:Roy=3B;Jean", "TEL;WORK;VOICE:1",
                          "ADR;HOME:;;a;b;c", "EMAIL;INTERNET:a@b", "ORG:o;u", "BDAY:19900101",
                          "PHOTO;ENCODING=BASE64;TYPE=GIF:AAEC", "NOTE;X-QVT-TYPE=General:g",
                          "NOTE;X-QVT-TYPE=Personal:p", "X-QVT-AB_Version:1",
                          "X-QVT-AB_X400Name:a;b;c;d", "X_QVT-AB_TEL_Pager:1;2;3;"}) +
        abtest::cardText({"N:Two"});
    std::set<int32_t> expected = kOutOfMemory;
    expected.insert({0, VLIB_ERR_BAD_QUOTED_PRINTABLE, VLIB_ERR_BAD_BASE64_VALUE,
                     KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ADD_FRONT});
    const int points = alloc_hook::sweep([&] {
        CalapiClient *book = nullptr;
        if (CalapiOpen(nullptr, 1, 2, &book) != 0) return;
        const abtest::Imported in = abtest::importText(book, context, text);
        EXPECT_EQ(expected.count(in.result), 1u) << std::hex << in.result;
        EXPECT_LE(in.ids.size(), 2u);
        if (in.result == 0) {
            EXPECT_EQ(in.ids.size() + in.skipped, 2u);
        }
        CalapiClose(&book);
    });
    EXPECT_GT(points, 50);
}

} // namespace
