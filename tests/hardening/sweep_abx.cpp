// The address-book exchange, over a book in memory. The book's own storage
// allocates outside the hook; the exchange's allocations are swept.
#include "abexchange/ab_support.h"
#include "sweep.h"

namespace {

struct Exchange {
    abtest::Book book;
    abtest::Context context;
    ABEntryRecord record = abtest::emptyRecord();

    Exchange() {
        EXPECT_EQ(RegisterVCXProperties(context), 0);
        abtest::set(record.familyName, "Roy;Co");
        abtest::set(record.givenName, "Jean");
        abtest::set(record.homeCity, "Laval");
        abtest::set(record.fax.number, "555");
        abtest::set(record.salutation, "Dear");
        abtest::set(record.email1, "a@b");
        record.birthday = ABDate{1, 2, 1990};
        record.photoFormat = AB_PHOTO_JPEG;
        abtest::createEntry(book, record, {"general", "AAEC/w==", "personal"});
    }
};

using Row = sweep::Row<Exchange>;
using sweep::kSome;

const Row kRows[] = {
    {"RegisterVCXProperties", kSome,
     [](Exchange &) {
         VCardContext *c = nullptr;
         if (VCARD_createContext(&c) == 0) {
             sweep::expect(RegisterVCXProperties(c), 0, {VCARD_ERR_NO_MEMORY});
         }
         VCARD_destroyContext(&c);
     }},
    // Only the status left by the last standard property decides: a
    // property whose add (or stream buffer) failed earlier is just missing.
    {"GetVCardStreamFromABRecID", kSome,
     [](Exchange &f) {
         char *text = nullptr;
         int32_t length = -1;
         const int32_t result =
             GetVCardStreamFromABRecID(f.book, f.context, &f.record, &text, &length);
         sweep::expect(result, 0,
                       {0, VCARD_ERR_NO_MEMORY, VLIB_ERR_NO_MEMORY, VCARD_ERR_CREATE_CARD,
                        VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER,
                        VCARD_ERR_CREATE_PROPERTY});
         EXPECT_EQ(text == nullptr, result != 0);
         if (text != nullptr) {
             EXPECT_EQ(std::string(text).rfind("BEGIN:VCARD", 0), 0u);
         }
         std::free(text);
     }},
    // The entries made before a failure stay made and listed; a failure
    // while storing a card's notes or photo is not reported. A book of its
    // own: where the book's storage is linked in (Windows) its allocations
    // are swept too, and the entries it keeps would count as leaks.
    {"GetNewABRecIDsFromVCardStream", kSome,
     [](Exchange &f) {
         CalapiClient *book = nullptr;
         if (CalapiOpen(nullptr, 1, 2, &book) != 0) return;
         static const std::string kText =
             abtest::cardText({"N;ENCODING=QUOTED-PRINTABLE:Roy=3B;Jean", "TEL;WORK;VOICE:1",
                               "ADR;HOME:;;a;b;c", "EMAIL;INTERNET:a@b", "ORG:o;u", "BDAY:19900101",
                               "PHOTO;ENCODING=BASE64;TYPE=GIF:AAEC", "NOTE;X-QVT-TYPE=General:g",
                               "NOTE;X-QVT-TYPE=Personal:p", "X-QVT-AB_Version:1",
                               "X-QVT-AB_X400Name:a;b;c;d", "X_QVT-AB_TEL_Pager:1;2;3;"}) +
             abtest::cardText({"N:Two", "X-QVT-AB_Version:1"});
         const abtest::Imported in = abtest::importText(book, f.context, kText);
         sweep::expect(in.result, 0,
                       {0, VCARD_ERR_NO_MEMORY, VLIB_ERR_NO_MEMORY, VCARD_ERR_CREATE_VALUE,
                        VCARD_ERR_CREATE_PARAMETER, KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ADD_FRONT,
                        VLIB_ERR_BAD_QUOTED_PRINTABLE, VLIB_ERR_BAD_BASE64_VALUE});
         EXPECT_LE(in.ids.size(), 2u);
         if (in.result == 0) {
             EXPECT_EQ(in.ids.size() + in.skipped, 2u);
         }
         CalapiClose(&book);
     }},
};

const bool registered = sweep::claims(kRows);

TEST(AllocationSweep, AddressBook) {
    ASSERT_TRUE(registered);
    Exchange fixture;
    sweep::run(fixture, kRows);
}

} // namespace
