// An entry as a vCard: which properties, values and parameters each field
// gives, and the running status of the adds.
#include <cstdlib>

#include <gtest/gtest.h>

#include "ab_support.h"

namespace {

TEST(Export, FieldsBecomeProperties) {
    const struct {
        std::vector<abtest::Field> fields;
        abtest::Streams streams;
        std::vector<std::string> lines; // lines (without CR LF) the text holds
        std::vector<std::string> absent;
    } cases[] = {
        // clang-format off
        {{}, {}, {"N;ENCODING=QUOTED-PRINTABLE:;"}, {"FN"}},
        {{TEXT(familyName, " "), TEXT(givenName, "Ann")}, {},
         {"FN;ENCODING=QUOTED-PRINTABLE:Ann", "N;ENCODING=QUOTED-PRINTABLE:;Ann"}, {}},
        {{TEXT(givenName, "Jean"), TEXT(middleName, "Paul"), TEXT(familyName, "Roy;Co")}, {},
         {"FN;ENCODING=QUOTED-PRINTABLE:Jean Paul Roy\\;Co",
          "N;ENCODING=QUOTED-PRINTABLE:Roy\\;Co;Jean;Paul"}, {}},
        {{TEXT(businessCity, "Laval")}, {}, {"ADR;WORK:;;;Laval;;;"}, {"HOME"}},
        {{NUMBER(birthday.day, 4), NUMBER(birthday.month, 8), NUMBER(birthday.year, 1998)}, {},
         {"BDAY:19980904"}, {"ANIVERSARY"}},
        {{NUMBER(birthday.day, 4), NUMBER(birthday.month, 12)}, {}, {}, {"BDAY"}},
        {{}, {"a:b", nullptr, nullptr},
         {"NOTE;ENCODING=QUOTED-PRINTABLE;X-QVT-TYPE=General:a:b"}, {}},
        {{}, {nullptr, nullptr, "x\r\ny"},
         {"NOTE;ENCODING=QUOTED-PRINTABLE;X-QVT-TYPE=Personal:x=0D=0Ay"}, {"General"}},
        {{NUMBER(photoFormat, AB_PHOTO_JPEG)}, {nullptr, "AAEC/w==", nullptr},
         {"PHOTO;JPEG;ENCODING=BASE64:AAEC/w==", ""}, {}},
        {{}, {nullptr, "AAEC", nullptr}, {}, {"PHOTO"}},
        {{TEXT(businessPhone2.number, "222")}, {}, {"TEL;VOICE;PREF;WORK:222"}, {}},
        {{TEXT(businessPhone.number, "111"), TEXT(businessPhone2.number, "222")}, {},
         {"TEL;VOICE;PREF;WORK:111", "TEL;VOICE;WORK:222"}, {}},
        {{TEXT(fax.prefix, "1"), TEXT(fax.area, "514"), TEXT(fax.number, "5551234"),
          TEXT(pager.number, "9"), TEXT(assistantPhone.number, "8")}, {},
         {"TEL;PREF;FAX;WORK:15145551234", "TEL;PAGER;WORK:9", "TEL;WORK:8",
          "X_QVT-AB_TEL_FAX:1;514;5551234;", "X_QVT-AB_TEL_ASSISTANT:;;8;"}, {}},
        {{TEXT(salutation, "a\tb:c;d\\e"), NUMBER(security, 0xFFFFFFFFu), NUMBER(relation, 7)}, {},
         {"X-QVT-AB_DEAR:a\\\tb\\:c\\;d\\\\e", "X-QVT-AB_SECURITY:-1", "X-QVT-AB_FLAGS:0",
          "X-QVT-AB_RELATION:7", "X-QVT-AB_VERSION:1"},
         {"X-QVT-AB_ANIVERSARY", "X-QVT-AB_X400NAME"}},
        {{TEXT(indexedKeyword1, "k1"), TEXT(otherKeyword2, "o2"), TEXT(x400Address6, "250")}, {},
         {"X-QVT-AB_INDEXEDKWORDS:k1", "X-QVT-AB_OTHERKWORDS:;o2",
          "X-QVT-AB_X400NAMEADDR:;;;;;250;;"}, {"X-QVT-AB_MSADDRESS"}},
        {{TEXT(unit2, "Lab"), TEXT(email2, "a@b"), TEXT(web1, "http://x/;y")}, {},
         {"ORG:;;Lab", "EMAIL;INTERNET:a@b", "URL:http://x/;y", "X_QVT-AB_WEB1:http\\://x/\\;y"},
         {}},
        // clang-format on
    };
    abtest::Book book;
    abtest::Context context;
    for (const auto &c : cases) {
        ABEntryRecord record = abtest::emptyRecord();
        for (const abtest::Field &f : c.fields)
            abtest::put(record, f);
        abtest::createEntry(book, record, c.streams);
        const std::string text = abtest::exportEntry(book, context, record);
        EXPECT_EQ(text.rfind("BEGIN:VCARD\r\n", 0), 0u);
        for (const std::string &line : c.lines)
            EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << line << " in\n"
                                                                            << text;
        for (const std::string &word : c.absent)
            EXPECT_EQ(text.find(word), std::string::npos) << word << " in\n" << text;
    }
}

// A failing client-library call leaves its code as the running status,
// which decides when no property is added after it; so does a photo format
// without a name.
TEST(Export, RunningStatusAndArguments) {
    abtest::Book book;
    abtest::Context context;
    const struct {
        CalapiClient *client;
        std::vector<abtest::Field> fields;
        const char *photo;
        int32_t result;
    } cases[] = {
        // clang-format off
        {book, {NUMBER(photo, 1), NUMBER(photoFormat, 1)}, nullptr, CALAPI_ERR_NO_STREAM},
        {book, {NUMBER(reserved0[2], 231), NUMBER(personalNote, 1)}, nullptr, // no such entry
         CALAPI_ERR_NO_ENTRY},
        {nullptr, {NUMBER(generalNote, 1)}, nullptr, CALAPI_ERR_ARGUMENT},
        {book, {NUMBER(generalNote, 1), TEXT(title, "t")}, nullptr, 0},
        {book, {NUMBER(photoFormat, 17)}, "AAEC", VCARD_ERR_NOT_FOUND},
        // clang-format on
    };
    for (const auto &c : cases) {
        ABEntryRecord r = abtest::emptyRecord();
        abtest::createEntry(book, r, {nullptr, c.photo, nullptr});
        for (const abtest::Field &f : c.fields)
            abtest::put(r, f);
        int32_t result = -1;
        const std::string out = abtest::exportEntry(c.client, context, r, &result);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(out.empty(), c.result != 0);
    }

    ABEntryRecord record = abtest::emptyRecord();
    char *text = static_cast<char *>(std::malloc(8)); // released on entry
    int32_t length = 5;
    EXPECT_EQ(GetVCardStreamFromABRecID(book, nullptr, &record, &text, &length),
              VCARD_ERR_NO_CONTEXT);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(GetVCardStreamFromABRecID(book, context, nullptr, &text, &length),
              VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(GetVCardStreamFromABRecID(book, context, &record, nullptr, &length),
              VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(GetVCardStreamFromABRecID(book, context, &record, &text, nullptr),
              VCARD_ERR_NULL_ARGUMENT);
}

} // namespace
