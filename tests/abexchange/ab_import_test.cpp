// vCards as new entries: what each lookup fills, the counters and the
// budget, bad arguments, texts without NUL, and real files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ab_support.h"

namespace {

using abtest::cardText;

struct ImportCase {
    const char *name;
    std::string text;
    size_t entries; // created, all checked by `check` (newest first)
    std::function<void(CalapiClient *, const std::vector<ABEntryRecord> &)> check;
};

std::vector<ABEntryRecord> records(CalapiClient *book, const std::vector<ABEntryId> &ids) {
    std::vector<ABEntryRecord> out;
    for (const ABEntryId &id : ids)
        out.push_back(abtest::entry(book, id));
    return out;
}

TEST(Import, CardsBecomeEntries) {
    const std::string x = "X-QVT-AB_Version:1";
    const ImportCase cases[] = {
        {"names from N", cardText({"N:Smith;John;Paul"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].familyName, "Smith");
             EXPECT_STREQ(r[0].givenName, "John");
             EXPECT_STREQ(r[0].middleName, "Paul");
         }},
        {"names from FN without N", cardText({"FN:John Smith Jr"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].givenName, "John");
             EXPECT_STREQ(r[0].familyName, "Smith Jr");
         }},
        {"no family name is one blank", cardText({"N:;Ann", "FN:Bob Roy"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].familyName, " ");
             EXPECT_STREQ(r[0].givenName, "Ann");
         }},
        {"N of more than ten fields is not taken, but found", cardText({"N:a;b;c;d;e;f;g;h;i;j;k"}),
         1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].familyName, " ");
         }},
        {"work phones: first in the property list first",
         cardText({"TEL;WORK;VOICE:111", "TEL;WORK;VOICE:222", "TEL;WORK:777"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].businessPhone.number, "222");
             EXPECT_STREQ(r[0].businessPhone2.number, "111");
             EXPECT_STREQ(r[0].assistantPhone.number, "");
             EXPECT_STREQ(r[0].homePhone.number, "");
         }},
        {"one home phone fills both", cardText({"TEL;HOME;VOICE:555"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].homePhone.number, "555");
             EXPECT_STREQ(r[0].homePhone2.number, "555");
         }},
        {"a TEL without TYPE is a home phone; fax, cell, pager",
         cardText({"TEL:1", "TEL;WORK;FAX:2", "TEL;CELL;WORK:3", "TEL;PAGER;WORK:4"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].homePhone.number, "1");
             EXPECT_STREQ(r[0].homePhone2.number, "");
             EXPECT_STREQ(r[0].fax.number, "2");
             EXPECT_STREQ(r[0].mobilePhone.number, "3");
             EXPECT_STREQ(r[0].pager.number, "4");
         }},
        {"the pager extension wins", cardText({"TEL;WORK;PAGER:999", x, "X_QVT-AB_TEL_Pager:1;2;3;"}),
         1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].pager.prefix, "1");
             EXPECT_STREQ(r[0].pager.area, "2");
             EXPECT_STREQ(r[0].pager.number, "3");
         }},
        {"extensions need X-QVT-AB_Version", cardText({"N:a", "X_QVT-AB_TEL_Pager:1;2;3;"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].pager.number, "");
         }},
        {"extension forms",
         cardText({x, "X-QVT-AB_IndexedKWords:a;b\\;c", "X-QVT-AB_Security:-2",
                   "X-QVT-AB_Relation:65535", "X-QVT-AB_Date2:20010203", "X-QVT-AB_Notes:n",
                   "X_QVT-AB_TEL_Assistant:;;5;12345678", "X-QVT-AB_MSAddress:;b"}),
         1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].indexedKeyword1, "a");
             EXPECT_STREQ(r[0].indexedKeyword2, "b;c");
             EXPECT_EQ(+r[0].security, 0xFFFFFFFEu);
             EXPECT_EQ(+r[0].relation, 65535);
             EXPECT_EQ(+r[0].date2.day, 3);
             EXPECT_EQ(+r[0].date2.month, 1);
             EXPECT_EQ(+r[0].date2.year, 2001);
             EXPECT_STREQ(r[0].assistantPhone.number, "5");
             EXPECT_STREQ(r[0].assistantPhoneExt, "12345") << "cut to the field";
             EXPECT_STREQ(r[0].msAddress[0], "");
             EXPECT_STREQ(r[0].msAddress[1], "b");
         }},
        {"addresses, organization, e-mail, dates",
         cardText({"ADR;HOME:;Apt 1;2 Main\\;St;Town;Reg;H0H;CA", "ADR:;;x;y", "ORG:Acme;R&D;Lab",
                   "EMAIL;INTERNET:a@b", "EMAIL;INTERNET:c@d", "EMAIL:e@f", "BDAY:1998/01/27",
                   "REV:19980127", "TZ:-0500", "TITLE:Boss", "URL:http://a", "URL:http://b"}),
         1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].homeStreet, "Apt 12 Main;St");
             EXPECT_STREQ(r[0].homeCity, "Town");
             EXPECT_STREQ(r[0].homeRegion, "Reg");
             EXPECT_STREQ(r[0].homePostalCode, "H0H");
             EXPECT_STREQ(r[0].homeCountry, "CA");
             EXPECT_STREQ(r[0].businessStreet, "x") << "default TYPE includes WORK";
             EXPECT_STREQ(r[0].businessCity, "y");
             EXPECT_STREQ(r[0].organization, "Acme");
             EXPECT_STREQ(r[0].unit1, "R&D");
             EXPECT_STREQ(r[0].unit2, "Lab");
             EXPECT_STREQ(r[0].email1, "e@f") << "INTERNET by default";
             EXPECT_STREQ(r[0].email2, "c@d");
             EXPECT_EQ(+r[0].emailKind, 3);
             EXPECT_EQ(+r[0].birthday.day, 27);
             EXPECT_EQ(+r[0].birthday.month, 0);
             EXPECT_EQ(+r[0].birthday.year, 1998);
             EXPECT_EQ(+r[0].revisionTime, 2583u * 1440u);
             EXPECT_STREQ(r[0].timeZone, "-0500");
             EXPECT_STREQ(r[0].title, "Boss");
             EXPECT_STREQ(r[0].web1, "http://b");
             EXPECT_STREQ(r[0].web2, "http://a");
         }},
        {"photo and notes as streams",
         cardText({"PHOTO;ENCODING=BASE64:AAAA", "PHOTO;ENCODING=BASE64;TYPE=BMP:AAEC",
                   "NOTE;X-QVT-TYPE=General;ENCODING=QUOTED-PRINTABLE:a=3Db\\;", "NOTE:plain",
                   "NOTE;X-QVT-TYPE=Personal:p", "NOTE;X-QVT-TYPE=Personal:q", "N:x"}),
         1,
         [](CalapiClient *book, const std::vector<ABEntryRecord> &r) {
             EXPECT_EQ(+r[0].photoFormat, AB_PHOTO_PMB);
             EXPECT_EQ(abtest::stream(book, r[0], AB_STREAM_PHOTO), "AAEC");
             EXPECT_EQ(abtest::stream(book, r[0], AB_STREAM_GENERAL_NOTE), "a=b\\;");
             EXPECT_EQ(abtest::stream(book, r[0], AB_STREAM_PERSONAL_NOTE), "q");
             EXPECT_EQ(+r[0].photo, 1u);
             EXPECT_EQ(+r[0].generalNote, 1u);
             EXPECT_EQ(+r[0].personalNote, 1u);
         }},
        {"a photo without TYPE, a note without X-QVT-TYPE: no streams",
         cardText({"PHOTO;ENCODING=BASE64:AAEC", "NOTE:n", "N:x"}), 1,
         [](CalapiClient *book, const std::vector<ABEntryRecord> &r) {
             EXPECT_EQ(abtest::stream(book, r[0], AB_STREAM_PHOTO), "(none)");
             EXPECT_EQ(abtest::stream(book, r[0], AB_STREAM_GENERAL_NOTE), "(none)");
             EXPECT_EQ(+r[0].photoFormat, 0);
         }},
        {"unknown names are complaints only", cardText({"FOO:1", "TEL;BAR=2:3", "N:a"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].familyName, "a");
         }},
        {"more than 16 of a kind", cardText(std::vector<std::string>(17, "TEL;WORK;VOICE:1")), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].businessPhone.number, "1");
         }},
        {"two cards, newest first", cardText({"N:One"}) + cardText({"N:Two"}), 2,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].familyName, "Two");
             EXPECT_STREQ(r[1].familyName, "One");
         }},
        {"a card of VERSION only is skipped", cardText({}) + cardText({"N:b"}), 1,
         [](CalapiClient *, const std::vector<ABEntryRecord> &r) {
             EXPECT_STREQ(r[0].familyName, "b");
         }},
        {"no BEGIN: nothing", "N:a\r\n" + cardText({"N:b"}), 0, nullptr},
    };
    abtest::Book book(nullptr, 0x1111, 0x2222);
    abtest::Context context;
    const uint8_t owner[6] = {1, 2, 3, 4, 5, 6};
    for (const ImportCase &c : cases) {
        SCOPED_TRACE(c.name);
        const abtest::Imported in = abtest::importText(book, context, c.text, 100, owner);
        EXPECT_EQ(in.result, 0);
        ASSERT_EQ(in.ids.size(), c.entries);
        const bool skippedOne = std::string(c.name).find("skipped") != std::string::npos;
        EXPECT_EQ(in.skipped, skippedOne ? 1 : 0);
        EXPECT_EQ(in.budget, 100 - c.entries) << "only entries use the budget";
        const std::vector<ABEntryRecord> r = records(book, in.ids);
        for (const ABEntryRecord &e : r) {
            EXPECT_EQ(+e.owner, 0x04030201u);
            EXPECT_EQ(+e.ownerExtension, 0x0605);
            EXPECT_EQ(+e.clientField18, 0x1111);
            EXPECT_EQ(+e.clientField20, 0x2222);
            EXPECT_NE(e.givenName[0], '\0');
        }
        if (c.check) c.check(book, r);
    }
}

TEST(Import, BudgetAndFailures) {
    abtest::Book book;
    abtest::Context context;
    const std::string three = cardText({"N:a"}) + cardText({"N:b"}) + cardText({"N:c"});
    abtest::Imported in = abtest::importText(book, context, three, 1);
    EXPECT_EQ(in.result, 0);
    EXPECT_EQ(in.ids.size(), 1u);
    EXPECT_EQ(in.budget, 0u);

    // A skipped card leaves the budget: the card after it still fits.
    in = abtest::importText(book, context, cardText({}) + cardText({"N:b"}), 1);
    EXPECT_EQ(in.ids.size(), 1u);
    EXPECT_EQ(in.skipped, 1);
    EXPECT_EQ(in.budget, 0u);

    // A card the parser cannot read ends the run; what came before stays.
    const std::string broken = "BEGIN:VCARD\r\nN:x\r\nNOTE;QUOTED-PRINTABLE:a=\r\nb\r\nEND:VCARD\r\n";
    in = abtest::importText(book, context, cardText({"N:a"}) + broken + cardText({"N:c"}), 5);
    EXPECT_EQ(in.result, VLIB_ERR_NO_COLON);
    EXPECT_EQ(in.ids.size(), 1u);
    EXPECT_EQ(in.skipped, 1);
    EXPECT_EQ(in.budget, 5u) << "one entry, then one more for the failed card";
}

TEST(Import, Arguments) {
    abtest::Book book;
    abtest::Context context;
    const std::string text = cardText({"N:a"});
    const uint8_t owner[6] = {};
    struct Args {
        CalapiClient *client;
        VCardContext *context;
        const char *text;
        int32_t length;
        bool list, skipped, budget;
        uint32_t budgetValue;
    };
    const Args ok = {book, context, text.c_str(), static_cast<int32_t>(text.size()),
                     true, true, true, 1};
    std::vector<Args> bad(9, ok);
    bad[0].client = nullptr;
    bad[1].context = nullptr;
    bad[2].text = nullptr;
    bad[3].length = 0;
    bad[4].length = -1;
    bad[5].list = false;
    bad[6].skipped = false;
    bad[7].budget = false;
    bad[8].budgetValue = 0;
    for (size_t i = 0; i < bad.size(); ++i) {
        const Args &a = bad[i];
        abtest::List list;
        uint16_t skipped = 77;
        uint32_t budget = a.budgetValue;
        EXPECT_EQ(GetNewABRecIDsFromVCardStream(a.client, a.context, a.text, owner, a.length,
                                                a.list ? &list.l : nullptr,
                                                a.skipped ? &skipped : nullptr,
                                                a.budget ? &budget : nullptr),
                  VCARD_ERR_BAD_CODE)
            << i;
        EXPECT_EQ(list.l, nullptr) << i;
        EXPECT_EQ(skipped, 77) << i;
    }
    ABEntryId first;
    EXPECT_EQ(ABEntryGetNext(book, nullptr, &first, nullptr), CALAPI_END) << "nothing created";

    // A list handed in is emptied first.
    abtest::List list;
    uint16_t skipped = 0;
    uint32_t budget = 9;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(GetNewABRecIDsFromVCardStream(book, context, text.c_str(), nullptr,
                                                static_cast<int32_t>(text.size()), &list.l,
                                                &skipped, &budget),
                  0);
        EXPECT_EQ(list.ids().size(), 1u);
    }
}

// The text's last byte is not NUL: nothing past `length` is read (the
// buffer below is exactly that long; sanitizers see any read past it).
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

// Cards written by other programs: every file of the corpus's vCard folder
// imports without crash or leak; the test reports how many cards became
// entries.
TEST(Import, Corpus) {
    const std::filesystem::path dir = std::filesystem::path(VERSIT_CORPUS_DIR) / "vcard21";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir;
    abtest::Context context;
    size_t files = 0, entries = 0, skipped = 0, stopped = 0;
    for (const auto &file : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(file.path(), std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        const std::string text = content.str();
        if (text.empty()) continue;
        abtest::Book book;
        const abtest::Imported got = abtest::importText(book, context, text, 100000);
        ++files;
        entries += got.ids.size();
        skipped += got.skipped;
        if (got.result != 0) ++stopped;
        for (const ABEntryId &id : got.ids) {
            const ABEntryRecord r = abtest::entry(book, id);
            EXPECT_NE(r.familyName[0], '\0') << file.path();
            EXPECT_FALSE(abtest::exportEntry(book, context, r).empty()) << file.path();
        }
    }
    std::printf("corpus: %zu files, %zu entries, %zu cards skipped, %zu runs ended early\n", files,
                entries, skipped, stopped);
    EXPECT_GT(entries, files / 2);
}

} // namespace
