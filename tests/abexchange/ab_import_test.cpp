// vCards as new entries: what each lookup fills, the counters and the
// budget, bad arguments, texts without NUL, and real files.

#include <gtest/gtest.h>

#include "ab_support.h"

namespace {

using abtest::cardText;

TEST(Import, CardsBecomeEntries) {
    const std::string x = "X-QVT-AB_Version:1";
    const struct {
        const char *name;
        std::string text;
        std::vector<abtest::Field> newest; // checked on the newest entry
    } cases[] = {
        // clang-format off
        {"N", cardText({"N:Smith;John;Paul"}),
         {TEXT(familyName, "Smith"), TEXT(givenName, "John"), TEXT(middleName, "Paul")}},
        {"FN without N", cardText({"FN:John Smith Jr"}),
         {TEXT(givenName, "John"), TEXT(familyName, "Smith Jr")}},
        {"no family name: one blank", cardText({"N:;Ann", "FN:Bob Roy"}),
         {TEXT(familyName, " "), TEXT(givenName, "Ann")}},
        {"N of ten fields: taken", cardText({"N:a;b;c;d;e;f;g;h;i;j"}),
         {TEXT(familyName, "a"), TEXT(givenName, "b"), TEXT(middleName, "c")}},
        {"N of eleven fields: found, not taken", cardText({"N:a;b;c;d;e;f;g;h;i;j;k"}),
         {TEXT(familyName, " ")}},
        {"work phones, the first of the property list first",
         cardText({"TEL;WORK;VOICE:111", "TEL;WORK;VOICE:222", "TEL;WORK:777"}),
         {TEXT(businessPhone.number, "222"), TEXT(businessPhone2.number, "111"),
          TEXT(assistantPhone.number, ""), TEXT(homePhone.number, "")}},
        {"one home phone fills both", cardText({"TEL;HOME;VOICE:555"}),
         {TEXT(homePhone.number, "555"), TEXT(homePhone2.number, "555")}},
        {"TEL without TYPE is a home phone; fax, cell, pager",
         cardText({"TEL:1", "TEL;WORK;FAX:2", "TEL;CELL;WORK:3", "TEL;PAGER;WORK:4"}),
         {TEXT(homePhone.number, "1"), TEXT(homePhone2.number, ""), TEXT(fax.number, "2"),
          TEXT(mobilePhone.number, "3"), TEXT(pager.number, "4")}},
        {"the pager extension wins", cardText({"TEL;WORK;PAGER:9", x, "X_QVT-AB_TEL_Pager:1;2;3;"}),
         {TEXT(pager.prefix, "1"), TEXT(pager.area, "2"), TEXT(pager.number, "3")}},
        {"extensions need X-QVT-AB_Version", cardText({"N:a", "X_QVT-AB_TEL_Pager:1;2;3;"}),
         {TEXT(pager.number, "")}},
        {"extension forms",
         cardText({x, "X-QVT-AB_IndexedKWords:a;b\\;c", "X-QVT-AB_Security:-2",
                   "X-QVT-AB_Relation:65535", "X-QVT-AB_Date2:20010203", "X-QVT-AB_Notes:n",
                   "X_QVT-AB_TEL_Assistant:;;5;12345678", "X-QVT-AB_MSAddress:;b"}),
         {TEXT(indexedKeyword1, "a"), TEXT(indexedKeyword2, "b;c"), NUMBER(security, 0xFFFFFFFEu),
          NUMBER(relation, 65535), NUMBER(date2.day, 3), NUMBER(date2.month, 1),
          NUMBER(date2.year, 2001), TEXT(assistantPhone.number, "5"),
          TEXT(assistantPhoneExt, "12345"), TEXT(msAddress[0], ""), TEXT(msAddress[1], "b")}},
        {"addresses, organization, e-mail, dates",
         cardText({"ADR;HOME:;Apt 1;2 Main\\;St;Town;Reg;H0H;CA", "ADR:;;x;y", "ORG:Acme;R&D;Lab",
                   "EMAIL;INTERNET:a@b", "EMAIL;INTERNET:c@d", "EMAIL:e@f", "BDAY:1998/01/27",
                   "REV:19980127", "TZ:-0500", "TITLE:Boss", "URL:http://a", "URL:http://b"}),
         {TEXT(homeStreet, "Apt 12 Main;St"), TEXT(homeCity, "Town"), TEXT(homeRegion, "Reg"),
          TEXT(homePostalCode, "H0H"), TEXT(homeCountry, "CA"), TEXT(businessStreet, "x"),
          TEXT(businessCity, "y"), TEXT(organization, "Acme"), TEXT(unit1, "R&D"),
          TEXT(unit2, "Lab"), TEXT(email1, "e@f"), TEXT(email2, "c@d"), NUMBER(emailKind, 3),
          NUMBER(birthday.day, 27), NUMBER(birthday.month, 0), NUMBER(birthday.year, 1998),
          NUMBER(revisionTime, 2583u * 1440u), TEXT(timeZone, "-0500"), TEXT(title, "Boss"),
          TEXT(web1, "http://b"), TEXT(web2, "http://a")}},
        {"photo and notes as streams",
         cardText({"PHOTO;ENCODING=BASE64:AAAA", "PHOTO;ENCODING=BASE64;TYPE=BMP:AAEC",
                   "NOTE;X-QVT-TYPE=General;ENCODING=QUOTED-PRINTABLE:a=3Db\\;", "NOTE:plain",
                   "NOTE;X-QVT-TYPE=Personal:p", "NOTE;X-QVT-TYPE=Personal:q", "N:x"}),
         {NUMBER(photoFormat, AB_PHOTO_PMB), NUMBER(photo, 1), NUMBER(generalNote, 1),
          NUMBER(personalNote, 1), STREAM(AB_STREAM_PHOTO, "AAEC"),
          STREAM(AB_STREAM_GENERAL_NOTE, "a=b\\;"), STREAM(AB_STREAM_PERSONAL_NOTE, "q")}},
        {"no TYPE, no X-QVT-TYPE: no streams", cardText({"PHOTO;BASE64:AAEC", "NOTE:n", "N:x"}),
         {NUMBER(photoFormat, 0), STREAM(AB_STREAM_PHOTO, "(none)"),
          STREAM(AB_STREAM_GENERAL_NOTE, "(none)")}},
        {"unknown names are complaints only", cardText({"FOO:1", "TEL;BAR=2:3", "N:a"}),
         {TEXT(familyName, "a")}},
        {"more than 16 of a kind", cardText(std::vector<std::string>(17, "TEL;WORK;VOICE:1")),
         {TEXT(businessPhone.number, "1")}},
        // clang-format on
    };
    abtest::Book book(nullptr, 0x1111, 0x2222);
    abtest::Context context;
    const uint8_t owner[6] = {1, 2, 3, 4, 5, 6};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const abtest::Imported in = abtest::importText(book, context, c.text, 100, owner);
        EXPECT_EQ(in.result, 0);
        EXPECT_EQ(in.skipped, 0);
        EXPECT_EQ(in.budget, 99u);
        ASSERT_EQ(in.ids.size(), 1u);
        const ABEntryRecord r = abtest::entry(book, in.ids[0]);
        for (const abtest::Field &w :
             {NUMBER(owner, 0x04030201u), NUMBER(ownerExtension, 0x0605),
              NUMBER(clientField18, 0x1111), NUMBER(clientField20, 0x2222)})
            abtest::expectField(book, r, w);
        for (const abtest::Field &w : c.newest)
            abtest::expectField(book, r, w);
    }
}

// Cards that give no entry leave the budget as it was; a card that fails
// gives its share back and ends the run.
TEST(Import, CountersAndBudget) {
    const std::string broken =
        "BEGIN:VCARD\r\nN:x\r\nNOTE;QUOTED-PRINTABLE:a=\r\nb\r\nEND:VCARD\r\n";
    const struct {
        std::string text;
        uint32_t budget;
        int32_t result;
        size_t entries;
        uint16_t skipped;
        uint32_t budgetAfter;
        const char *newest;
    } cases[] = {
        {cardText({"N:One"}) + cardText({"N:Two"}), 9, 0, 2, 0, 7, "Two"},
        {cardText({"N:a"}) + cardText({"N:b"}) + cardText({"N:c"}), 1, 0, 1, 0, 0, "a"},
        {cardText({}) + cardText({"N:b"}), 1, 0, 1, 1, 0, "b"},
        {cardText({"N:a"}) + broken + cardText({"N:c"}), 5, VLIB_ERR_NO_COLON, 1, 1, 5, "a"},
        {"N:a\r\n" + cardText({"N:b"}), 5, 0, 0, 0, 5, nullptr},
    };
    abtest::Book book;
    abtest::Context context;
    for (const auto &c : cases) {
        const abtest::Imported in = abtest::importText(book, context, c.text, c.budget);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(in.result, c.result);
        EXPECT_EQ(in.skipped, c.skipped);
        EXPECT_EQ(in.budget, c.budgetAfter);
        ASSERT_EQ(in.ids.size(), c.entries);
        if (c.newest != nullptr) {
            EXPECT_STREQ(abtest::entry(book, in.ids[0]).familyName, c.newest);
        }
    }
}

TEST(Import, Arguments) {
    abtest::Book book;
    abtest::Context context;
    const std::string text = cardText({"N:a"});
    const auto size = static_cast<int32_t>(text.size());
    // Which argument is wrong: each case leaves one out (or zero).
    for (int bad = 0; bad < 9; ++bad) {
        abtest::List list;
        uint16_t skipped = 77;
        uint32_t budget = bad == 8 ? 0 : 1;
        EXPECT_EQ(GetNewABRecIDsFromVCardStream(
                      bad == 0 ? nullptr : book.c, bad == 1 ? nullptr : context.c,
                      bad == 2 ? nullptr : text.c_str(), nullptr,
                      bad == 3   ? 0
                      : bad == 4 ? -1
                                 : size,
                      bad == 5 ? nullptr : &list.l, bad == 6 ? nullptr : &skipped,
                      bad == 7 ? nullptr : &budget),
                  VCARD_ERR_BAD_CODE)
            << bad;
        EXPECT_EQ(list.l, nullptr) << bad;
        EXPECT_EQ(skipped, 77) << bad;
    }
    ABEntryId first;
    EXPECT_EQ(ABEntryGetNext(book, nullptr, &first, nullptr), CALAPI_END) << "nothing created";

    // A list handed in is emptied first.
    abtest::List list;
    uint16_t skipped = 0;
    uint32_t budget = 9;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(GetNewABRecIDsFromVCardStream(book, context, text.c_str(), nullptr, size, &list.l,
                                                &skipped, &budget),
                  0);
        EXPECT_EQ(list.ids().size(), 1u);
    }
}

// The text's last byte is not NUL: nothing past `length` is read (the
// buffer is exactly that long; the sanitizers see any read past it).
TEST(Import, TextWithoutNul) {
    abtest::Book book;
    abtest::Context context;
    const std::string two = cardText({"N:a"}) + cardText({"N:b"});
    const size_t length = two.size() - 11; // the second card without its END line
    char *exact = static_cast<char *>(std::malloc(length));
    std::memcpy(exact, two.data(), length);
    abtest::List list;
    uint16_t skipped = 0;
    uint32_t budget = 10;
    EXPECT_EQ(GetNewABRecIDsFromVCardStream(book, context, exact, nullptr,
                                            static_cast<int32_t>(length), &list.l, &skipped,
                                            &budget),
              0);
    EXPECT_EQ(list.ids().size(), 2u) << "a missing END is no error";
    std::free(exact);
}

} // namespace
