// An entry as a vCard: which properties, values and parameters each field
// gives, and the running status of the adds.
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ab_support.h"

namespace {

using abtest::set;

struct ExportCase {
    const char *name;
    std::function<void(ABEntryRecord &)> fill;
    abtest::Streams streams;
    std::vector<std::string> present; // lines (without CR LF) the text must hold
    std::vector<std::string> absent;  // texts it must not hold
};

TEST(Export, FieldsBecomeProperties) {
    const ExportCase cases[] = {
        {"no names", [](ABEntryRecord &) {}, {}, {"N;ENCODING=QUOTED-PRINTABLE:;"}, {"FN"}},
        {"blank family name",
         [](ABEntryRecord &r) {
             set(r.familyName, " ");
             set(r.givenName, "Ann");
         },
         {},
         {"FN;ENCODING=QUOTED-PRINTABLE:Ann", "N;ENCODING=QUOTED-PRINTABLE:;Ann"},
         {}},
        {"three names",
         [](ABEntryRecord &r) {
             set(r.givenName, "Jean");
             set(r.middleName, "Paul");
             set(r.familyName, "Roy;Co");
         },
         {},
         {"FN;ENCODING=QUOTED-PRINTABLE:Jean Paul Roy\\;Co",
          "N;ENCODING=QUOTED-PRINTABLE:Roy\\;Co;Jean;Paul"},
         {}},
        {"business city", [](ABEntryRecord &r) { set(r.businessCity, "Laval"); }, {},
         {"ADR;WORK:;;;Laval;;;"}, {"HOME"}},
        {"birthday",
         [](ABEntryRecord &r) { r.birthday = ABDate{4, 8, 1998}; },
         {},
         {"BDAY:19980904"},
         {"X-QVT-AB_ANIVERSARY"}},
        {"birthday the DATE form cannot write", [](ABEntryRecord &r) { r.birthday = ABDate{4, 12, 1998}; },
         {}, {}, {"BDAY"}},
        {"general note",
         [](ABEntryRecord &) {},
         {"a:b", nullptr, nullptr},
         {"NOTE;ENCODING=QUOTED-PRINTABLE;X-QVT-TYPE=General:a:b"},
         {"Personal"}},
        {"personal note", [](ABEntryRecord &) {}, {nullptr, nullptr, "x\r\ny"},
         {"NOTE;ENCODING=QUOTED-PRINTABLE;X-QVT-TYPE=Personal:x=0D=0Ay"}, {"General"}},
        {"photo in base64 with its format",
         [](ABEntryRecord &r) { r.photoFormat = AB_PHOTO_JPEG; },
         {nullptr, "AAEC/w==", nullptr},
         {"PHOTO;JPEG;ENCODING=BASE64:AAEC/w==", ""},
         {}},
        {"photo without a format", [](ABEntryRecord &) {}, {nullptr, "AAEC", nullptr}, {},
         {"PHOTO"}},
        {"business phone 2 preferred",
         [](ABEntryRecord &r) { set(r.businessPhone2.number, "222"); },
         {},
         {"TEL;VOICE;PREF;WORK:222"},
         {}},
        {"business phone first",
         [](ABEntryRecord &r) {
             set(r.businessPhone.number, "111");
             set(r.businessPhone2.number, "222");
         },
         {},
         {"TEL;VOICE;PREF;WORK:111", "TEL;VOICE;WORK:222"},
         {}},
        {"phone parts joined, pager and assistant",
         [](ABEntryRecord &r) {
             set(r.fax.prefix, "1");
             set(r.fax.area, "514");
             set(r.fax.number, "5551234");
             set(r.pager.number, "9");
             set(r.assistantPhone.number, "8");
         },
         {},
         {"TEL;PREF;FAX;WORK:15145551234", "TEL;PAGER;WORK:9", "TEL;WORK:8",
          "X_QVT-AB_TEL_FAX:1;514;5551234;", "X_QVT-AB_TEL_ASSISTANT:;;8;"},
         {}},
        {"extension texts escaped, numbers always",
         [](ABEntryRecord &r) {
             set(r.salutation, "a\tb:c;d\\e");
             r.security = 0xFFFFFFFFu;
             r.relation = 7;
         },
         {},
         {"X-QVT-AB_DEAR:a\\\tb\\:c\\;d\\\\e", "X-QVT-AB_SECURITY:-1", "X-QVT-AB_FLAGS:0",
          "X-QVT-AB_RELATION:7", "X-QVT-AB_VERSION:1"},
         {"X-QVT-AB_ANIVERSARY", "X-QVT-AB_X400NAME"}},
        {"keywords and parts",
         [](ABEntryRecord &r) {
             set(r.indexedKeyword1, "k1");
             set(r.otherKeyword2, "o2");
             set(r.x400Address6, "250");
         },
         {},
         {"X-QVT-AB_INDEXEDKWORDS:k1", "X-QVT-AB_OTHERKWORDS:;o2", "X-QVT-AB_X400NAMEADDR:;;;;;250;;"},
         {"X-QVT-AB_MSADDRESS"}},
        {"organization, e-mail, web",
         [](ABEntryRecord &r) {
             set(r.unit2, "Lab");
             set(r.email2, "a@b");
             set(r.web1, "http://x/;y");
         },
         {},
         {"ORG:;;Lab", "EMAIL;INTERNET:a@b", "URL:http://x/;y", "X_QVT-AB_WEB1:http\\://x/\\;y"},
         {}},
    };
    abtest::Book book;
    abtest::Context context;
    for (const ExportCase &c : cases) {
        ABEntryRecord record = abtest::emptyRecord();
        c.fill(record);
        abtest::createEntry(book, record, c.streams);
        const std::string text = abtest::exportEntry(book, context, record);
        EXPECT_EQ(text.rfind("BEGIN:VCARD\r\n", 0), 0u) << c.name;
        for (const std::string &line : c.present)
            EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos)
                << c.name << ": no line " << line << " in\n"
                << text;
        for (const std::string &word : c.absent)
            EXPECT_EQ(text.find(word), std::string::npos) << c.name << ": " << word << " in\n" << text;
    }
}

TEST(Export, ArgumentsAndClientFailures) {
    abtest::Book book;
    abtest::Context context;
    ABEntryRecord record = abtest::emptyRecord();
    abtest::createEntry(book, record);
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

    // A stream the book does not have: the client library's code is the
    // running status, which decides when no property is added after it.
    const struct {
        const char *name;
        CalapiClient *client;
        std::function<void(ABEntryRecord &)> fill;
        int32_t result;
    } cases[] = {
        {"photo without its stream", book,
         [](ABEntryRecord &r) {
             r.photo = 1;
             r.photoFormat = 1;
         },
         CALAPI_ERR_NO_STREAM},
        {"note of an entry not in the book", book,
         [](ABEntryRecord &r) {
             const ABEntryId missing = {1, 999, 0};
             std::memcpy(r.reserved0, &missing, sizeof missing);
             r.personalNote = 1;
         },
         CALAPI_ERR_NO_ENTRY},
        {"no connection", nullptr, [](ABEntryRecord &r) { r.generalNote = 1; },
         CALAPI_ERR_ARGUMENT},
        {"a later property overwrites the status", book,
         [](ABEntryRecord &r) {
             r.generalNote = 1;
             set(r.title, "t");
         },
         0},
        {"a photo format without a name", book,
         [](ABEntryRecord &r) {
             r.photo = 1;
             r.photoFormat = 17;
         },
         VCARD_ERR_NOT_FOUND},
    };
    for (const auto &c : cases) {
        ABEntryRecord r = abtest::emptyRecord();
        abtest::createEntry(book, r, {nullptr, c.result == VCARD_ERR_NOT_FOUND ? "AAEC" : nullptr,
                                      nullptr});
        c.fill(r);
        int32_t result = -1;
        const std::string out = abtest::exportEntry(c.client, context, r, &result);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(out.empty(), c.result != 0) << c.name;
    }
}

} // namespace
