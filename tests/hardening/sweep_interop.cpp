// The interop library's client forms: taking, rewriting and releasing
// calendar items, and walking the cards of a text.
#include <cstdlib>
#include <string>

#include "sweep.h"
#include "vcal/vcal_support.h"
#include "vcard/vcard_support.h"
#include "versit_convert.h"
#include "versit_dates.h"
#include "versit_interop.h"

namespace {

const std::string kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nDTSTART:19990104T100000Z\r\n"
    "DTEND:19990104T110000Z\r\nRRULE:D1 #3\r\nEXDATE:19990105T100000Z\r\nATTENDEE:a@b\r\n"
    "ATTENDEE:c@d\r\nUID:u-1\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
const std::string kCards =
    "BEGIN:VCARD\r\nN:a;b\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:c\r\nEND:VCARD\r\n";

// 2.1 with QUOTED-PRINTABLE, BASE64 and a nested card; the same as 3.0.
const std::string kCard =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:M\xFCller;Ann\r\nTEL;CELL;PREF:1\r\n"
    "NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab\r\nPHOTO;ENCODING=BASE64;TYPE=GIF:\r\n"
    " R0lGODlhAQABAAAAACw=\r\n\r\nX-A;B=c:d,e\r\nAGENT:\r\nBEGIN:VCARD\r\nN:X\r\nEND:VCARD\r\n"
    "END:VCARD\r\n";

int append(void *user, const char *bytes, size_t length) {
    static_cast<std::string *>(user)->append(bytes, length);
    return 0;
}

struct Forms {
    vcaltest::Reading reading;
    vctest::Context context;
    std::string card30;
    Forms() {
        vcaltest::read(reading, kCalendar);
        EXPECT_EQ(VI_convert(kCard.data(), kCard.size(), VI_FORMAT_VCARD21, VI_FORMAT_VCARD30,
                             append, &card30, nullptr, nullptr, nullptr),
                  0);
    }
};

using Row = sweep::Row<Forms>;
using sweep::kSome;

const Row kRows[] = {
    {"VI_readCalendarText", kSome,
     [](Forms &) {
         ParseTreeHandle *tree = nullptr;
         char *errors = nullptr;
         char *warnings = nullptr;
         const int32_t result =
             VI_readCalendarText(&tree, kCalendar.data(), kCalendar.size(), &errors, &warnings);
         sweep::expect(result, 0, {VCAL_ERR_NO_MEMORY});
         EXPECT_EQ(tree == nullptr, result != 0);
         if (tree != nullptr) vCal_DestroyParseTree(&tree);
         std::free(errors);
         std::free(warnings);
     }},
    {"VI_takeItem VI_itemToWriterForm VI_releaseItem", kSome,
     [](Forms &f) {
         PropertyParam item{};
         const PropertyNode *lines = nullptr;
         int32_t result =
             VI_takeItem(f.reading.tree->firstCalendar, VCAL_ITEM_EVENT, 1, &item, &lines);
         if (result == 0) result = VI_itemToWriterForm(&item, VCAL_ITEM_EVENT, lines);
         VI_releaseItem(&item);
         sweep::expect(result, 0,
                       {VCAL_ERR_NO_MEMORY, KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ADD_FRONT,
                        KL_LIST_E_NO_MEMORY, KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_SORTED_INSERT});
     }},
    {"VI_cardReaderStart VI_readCard VI_destroyCard", kSome,
     [](Forms &f) {
         VI_CardReader reader;
         VI_cardReaderStart(&reader, f.context, kCards.c_str(),
                            static_cast<int32_t>(kCards.size()));
         int cards = 0;
         bool failed = false;
         for (;;) {
             vComponent *card = nullptr;
             const int32_t result = VI_readCard(&reader, &card);
             if (result == VCARD_ERR_NO_CARD) break;
             if (card == nullptr && result == VLIB_ERR_NO_MEMORY) {
                 failed = true; // nothing was read: the walk would stay here
                 break;
             }
             if (card != nullptr) {
                 ++cards;
                 EXPECT_EQ(VI_destroyCard(f.context, &card), 0);
             }
         }
         // A card whose import ran out of memory after it was read counts.
         if (!alloc_hook::failed()) {
             EXPECT_EQ(cards, 2);
         }
         EXPECT_TRUE(!failed || alloc_hook::failed());
     }},
    {"VI_tolerantReaderCreate VI_readCardTolerantly VI_tolerantReaderCounts "
     "VI_tolerantReaderDestroy",
     kSome,
     [](Forms &f) {
         // Every repair path: junk, an unindented soft break, a bare
         // encoding word, 8-bit text without a charset, a missing END.
         static const std::string kText =
             "junk\r\nBEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:a=\r\nb=3d\r\nN:M\xFCller\r\n"
             "END:VCARD\r\nBEGIN:VCARD\r\nFN:x=y\r\n";
         VI_TolerantReader *reader = nullptr;
         int32_t result =
             VI_tolerantReaderCreate(&reader, kText.data(), kText.size(), nullptr, nullptr);
         while (result == 0) {
             vComponent *card = nullptr;
             result = VI_readCardTolerantly(reader, f.context, &card);
             VCARD_destroyCard(f.context, &card);
         }
         VI_ReadCounts counts{};
         VI_tolerantReaderCounts(reader, &counts);
         VI_tolerantReaderDestroy(&reader);
         // The parser drops a quoted-printable value whose decoding finds no
         // memory, and goes on, as the exact interface does: the reading
         // then ends as usual.
         sweep::expect(result, VCARD_ERR_NO_CARD, {VLIB_ERR_NO_MEMORY, VCARD_ERR_NO_CARD});
         if (!alloc_hook::failed()) {
             EXPECT_EQ(counts.read, 2u);
         }
         // UTF-16 text is converted first: that copy is released on every path.
         static const char kUtf16[] = "\xFF\xFEN\0:\0a\0\r\0\n\0";
         VI_TolerantReader *wide = nullptr;
         const int32_t made =
             VI_tolerantReaderCreate(&wide, kUtf16, sizeof kUtf16 - 1, nullptr, nullptr);
         EXPECT_TRUE(made == 0 || made == VLIB_ERR_NO_MEMORY);
         VI_tolerantReaderDestroy(&wide);
     }},
    {"VI_exportCard", kSome,
     [](Forms &f) {
         vctest::Card card;
         vctest::import(f.context, card, "BEGIN:VCARD\r\nNOTE:a=b\r\nEND:VCARD\r\n");
         if (card.root == nullptr) return; // the set-up itself ran out of memory
         char *text = nullptr;
         // The export's final shrink of its buffer may fail unnoticed (0).
         sweep::expect(VI_exportCard(f.context, card.root, &text), 0,
                       {VLIB_ERR_NO_MEMORY, VCARD_ERR_NO_MEMORY, 0});
         std::free(text);
     }},
    {"VI_readCalendarsTolerantly VI_takeItemTolerantly", kSome,
     [](Forms &) {
         // A duplicate, a missing DTEND, a TZ without its colon, an
         // unknown category, a rule that cannot be expanded.
         static const std::string kText =
             "BEGIN:VCALENDAR\r\nTZ:+0100\r\nBEGIN:VEVENT\r\nDTSTART:20240101T100000\r\n"
             "SUMMARY:a\r\nSUMMARY:b\r\nCATEGORIES:X-MEETING,NONE\r\n"
             "RRULE:W1 #3\r\nEND:VEVENT\r\nBEGIN:VTODO\r\nDUE:20240102\r\nEND:VTODO\r\n"
             "END:VCALENDAR\r\n";
         VI_TolerantReader *reader = nullptr;
         if (VI_tolerantReaderCreate(&reader, kText.data(), kText.size(), nullptr, nullptr) != 0)
             return;
         ParseTreeHandle *tree = nullptr;
         int32_t result = VI_readCalendarsTolerantly(reader, &tree);
         int items = 0;
         for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
             PropertyParam item{};
             int32_t rc = result == 0 ? VI_takeItemTolerantly(reader, tree->firstCalendar, type, 1,
                                                              &item, nullptr)
                                      : VCAL_ERR_NO_MORE_ENTITIES;
             for (; rc == 0; rc = VI_takeItemTolerantly(reader, tree->firstCalendar, type, 0, &item,
                                                        nullptr)) {
                 ++items;
                 VI_releaseItem(&item);
             }
             VI_releaseItem(&item);
             if (rc != VCAL_ERR_NO_MORE_ENTITIES && result == 0) result = rc;
         }
         VI_tolerantReaderDestroy(&reader);
         sweep::expect(result, 0,
                       {VCAL_ERR_NO_MEMORY, KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ADD_FRONT,
                        KL_LIST_E_NO_MEMORY, KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_SORTED_INSERT});
         if (!alloc_hook::failed()) {
             EXPECT_EQ(items, 2);
         }
     }},
    {"VI_resultName VI_resultText", sweep::kNever,
     [](Forms &) {
         EXPECT_STREQ(VI_resultName(VCARD_ERR_NO_CARD), "VCARD_ERR_NO_CARD");
         EXPECT_NE(VI_resultText(0), nullptr);
         EXPECT_EQ(VI_resultName(0x7FFFFFFF), nullptr);
     }},
    {"VI_detectFormat VI_formatName", sweep::kNever,
     [](Forms &) {
         EXPECT_EQ(VI_detectFormat(kCards.data(), kCards.size()), VI_FORMAT_VCARD21);
         EXPECT_STREQ(VI_formatName(VI_FORMAT_ICAL20), "ical");
     }},
    {"VI_calapiTimeToIso VI_isoToCalapiTime VI_calapiTimeToTm VI_tmToCalapiTime "
     "VI_dateTimeToIso VI_isoToDateTime VI_dateTimeToCalapiTime VI_calapiTimeToDateTime "
     "VI_abDateToIso VI_isoToAbDate",
     sweep::kNever,
     [](Forms &) {
         char text[VI_ISO_TEXT_SIZE];
         CalapiTime time = 0;
         struct tm tm {};
         vDateTime value{};
         ABDate date{};
         // Each in turn, and only while the one before went through.
         EXPECT_TRUE(VI_isoToCalapiTime("2024-06-03T09:00+02:00", &time) == 0 &&
                     VI_calapiTimeToIso(time, text, sizeof text) == 0 &&
                     VI_calapiTimeToTm(time, &tm) == 0 && VI_tmToCalapiTime(&tm, &time) == 0 &&
                     VI_isoToDateTime("20240603T0900-0130", &value) == 0 &&
                     VI_dateTimeToIso(&value, text, sizeof text) == 0 &&
                     VI_dateTimeToCalapiTime(&value, &time) == 0 &&
                     VI_calapiTimeToDateTime(time, &value) == 0 &&
                     VI_isoToAbDate("1992-02-29", &date) == 0 &&
                     VI_abDateToIso(&date, text, sizeof text) == 0);
     }},
    {"VI_convert", kSome,
     [](Forms &f) {
         // Each direction, from text that needs repairs and conversions of
         // every kind the converters make.
         static const std::string kCard4 =
             "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:A\\, B\r\nN:B;A;;;\r\nTEL;TYPE=cell;PREF=1:1\r\n"
             "KIND:individual\r\nEND:VCARD\r\n";
         static const std::string kIcal =
             "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:1\r\n"
             "DTSTAMP:20240101T000000Z\r\nDTSTART:20240101T100000Z\r\nRRULE:FREQ=WEEKLY;BYDAY="
             "MO\r\n"
             "SUMMARY:\xC3\xA9t\xC3\xA9\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\n"
             "DESCRIPTION:x\r\nEND:VALARM\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:2\r\n"
             "DTSTAMP:20240101T000000Z\r\nDTSTART:20240102T090000Z\r\n"
             "RRULE:FREQ=MONTHLY;BYDAY=-1FR\r\nCATEGORIES:A,B\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
         // A zone with its summer time, a local alarm, a status 2.0 has not.
         static const std::string kZoned =
             "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:-05\r\n"
             "DAYLIGHT:TRUE;-04;20240310T020000;20241103T020000;EST;EDT\r\nBEGIN:VEVENT\r\n"
             "DTSTART:20240102T090000\r\nDTEND:20240102T090000\r\nRRULE:MP1 1+ MO #2\r\n"
             "DALARM:20240102T080000;;;x\r\nATTENDEE;STATUS=SENT:a@b.example\r\n"
             "CATEGORIES:BUSINESS\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
         const struct {
             const std::string &text;
             int32_t to;
         } kCases[] = {{kCard, VI_FORMAT_VCARD40},    {kCard, VI_FORMAT_VCARD30},
                       {kCard, VI_FORMAT_JCARD},      {kCard, VI_FORMAT_VCARD21},
                       {f.card30, VI_FORMAT_VCARD30}, {f.card30, VI_FORMAT_JCARD},
                       {f.card30, VI_FORMAT_VCARD21}, {kCard4, VI_FORMAT_VCARD21},
                       {kCalendar, VI_FORMAT_ICAL20}, {kCalendar, VI_FORMAT_JCAL},
                       {kZoned, VI_FORMAT_ICAL20},    {kZoned, VI_FORMAT_JCAL},
                       {kZoned, VI_FORMAT_VCAL10},    {kIcal, VI_FORMAT_VCAL10},
                       {kIcal, VI_FORMAT_JCAL}};
         for (const auto &c : kCases) {
             SCOPED_TRACE(c.text.substr(0, 40) + " to " + VI_formatName(c.to));
             // The one failure the sweep makes may have come in an earlier
             // case: this one then runs whole.
             const bool failedBefore = alloc_hook::failed();
             std::string out;
             const int32_t result = VI_convert(c.text.data(), c.text.size(), VI_FORMAT_UNKNOWN,
                                               c.to, append, &out, nullptr, nullptr, nullptr);
             // The exact import, under the 2.1 reader, drops a value whose
             // decoding finds no memory and goes on, as it always has.
             if (failedBefore)
                 EXPECT_EQ(result, 0);
             else if (&c.text == &kCard || &c.text == &f.card30)
                 sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY, 0});
             else
                 sweep::expect(result, 0, {VLIB_ERR_NO_MEMORY});
         }
     }},
};

const bool registered = sweep::claims(kRows);

TEST(AllocationSweep, InteropForms) {
    ASSERT_TRUE(registered);
    Forms fixture;
    ASSERT_EQ(fixture.reading.rc, 0);
    sweep::run(fixture, kRows);
}

} // namespace
