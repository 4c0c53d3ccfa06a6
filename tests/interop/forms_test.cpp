// The client forms: walking the cards of a text and the items of a
// calendar, and putting an item in the writer's form.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert_support.h"
#include "vcal/vcal_support.h"
#include "vcard/vcard_support.h"
#include "versit_interop.h"

namespace {

// Each step of a walk over `text`: the import's result and whether a card
// came with it.
std::vector<std::pair<int32_t, bool>> walk(const std::string &text) {
    vctest::Context context;
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text.c_str(), static_cast<int32_t>(text.size()));
    std::vector<std::pair<int32_t, bool>> steps;
    for (int calls = 0; calls < 100; ++calls) {
        vComponent *card = nullptr;
        const int32_t result = VI_readCard(&reader, &card);
        if (result == VCARD_ERR_NO_CARD) {
            // The end stays the end.
            EXPECT_EQ(VI_readCard(&reader, &card), VCARD_ERR_NO_CARD);
            EXPECT_EQ(card, nullptr);
            return steps;
        }
        steps.emplace_back(result, card != nullptr);
        if (card != nullptr) {
            EXPECT_EQ(VI_destroyCard(context, &card), 0);
            EXPECT_EQ(card, nullptr);
        }
    }
    ADD_FAILURE() << "the walk does not end";
    return steps;
}

TEST(CardReader, WalksEveryCardAndGoesOnPastOneThatFails) {
    const std::string good = "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n";
    const std::string noColon = "BEGIN:VCARD\r\nN:a\r\njunk\r\nEND:VCARD\r\n";
    using Steps = std::vector<std::pair<int32_t, bool>>;
    EXPECT_EQ(walk(good + good), (Steps{{0, true}, {0, true}}));
    EXPECT_EQ(walk(good + noColon + good),
              (Steps{{0, true}, {VLIB_ERR_NO_COLON, true}, {0, true}}));
    EXPECT_EQ(walk(""), Steps{});
    // Text after the last card that starts no card ends the walk.
    EXPECT_EQ(walk(good + "trailing\r\n"), (Steps{{0, true}}));
}

// VI_destroyCard answers as VCARD_destroyCard: the context is asked for
// first, and a card already destroyed is no card.
TEST(CardReader, DestroyAnswersAsTheLibrarysDestroy) {
    vctest::Context context;
    const std::string text = "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n";
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text.c_str(), static_cast<int32_t>(text.size()));
    vComponent *card = nullptr;
    ASSERT_EQ(VI_readCard(&reader, &card), 0);
    EXPECT_EQ(VI_destroyCard(nullptr, &card), VCARD_ERR_NO_CONTEXT);
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(VI_destroyCard(context, &card), 0);
    EXPECT_EQ(card, nullptr);
    EXPECT_EQ(VI_destroyCard(context, &card), VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VI_destroyCard(context, nullptr), VCARD_ERR_NULL_ARGUMENT);
}

const char *const kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:1.0\r\n"
    "BEGIN:VEVENT\r\nDTSTART:19990104T100000Z\r\nDTEND:19990104T110000Z\r\nSUMMARY:one\r\n"
    "ATTENDEE:a@b\r\nATTENDEE:c@d\r\nRESOURCES:ROOM;PROJECTOR\r\n"
    "EXDATE:19990105T100000Z;19990106T100000Z\r\nPRIORITY:2\r\nUID:id-1\r\n"
    "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:=0D=0A\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nDTSTART:19990107T100000Z\r\nDTEND:19990107T110000Z\r\nSUMMARY:two\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VTODO\r\nSUMMARY:todo\r\nPRIORITY:2\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";

TEST(ItemForms, TakesEventsThenToDosAndNamesTheirLines) {
    vcaltest::Reading reading;
    vcaltest::read(reading, kCalendar);
    ASSERT_EQ(reading.rc, 0) << reading.errors;
    VCalendarNode *calendar = reading.tree->firstCalendar;
    std::vector<std::string> summaries;
    for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
        PropertyParam item{};
        const PropertyNode *lines = nullptr;
        int32_t rc = VI_takeItem(calendar, type, 1, &item, &lines);
        for (; rc == 0; rc = VI_takeItem(calendar, type, 0, &item, &lines)) {
            ASSERT_NE(lines, nullptr);
            summaries.push_back(item.summary);
            VI_releaseItem(&item);
            EXPECT_EQ(vcaltest::value(item.recurrenceOccurrences), nullptr);
        }
        EXPECT_EQ(rc, VCAL_ERR_NO_MORE_ENTITIES);
        EXPECT_EQ(lines, nullptr);
        VI_releaseItem(&item);
    }
    EXPECT_EQ(summaries, (std::vector<std::string>{"one", "two", "todo"}));
    PropertyParam item{};
    EXPECT_EQ(VI_takeItem(calendar, 7, 1, &item, nullptr), VCAL_ERR_BAD_ITEM_TYPE);
    VI_releaseItem(nullptr);
}

int32_t appendByte(void *stream, uint8_t byte) {
    static_cast<std::string *>(stream)->push_back(static_cast<char>(byte));
    return 0;
}

// The writer puts a description after ";ENCODING=QUOTED-PRINTABLE:" as it
// stands: an "=" in it must come back as itself, not as an escape or a
// soft break that swallows the END line.
TEST(ItemForms, DescriptionsComeBackThroughTheWriter) {
    for (const std::string description : {"a=41 b=", "=", "x==y=0D=0A", "50% = half", "plain"}) {
        SCOPED_TRACE(description);
        vcaltest::Reading original;
        vcaltest::read(original, "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\n"
                                 "DTSTART:20260101T100000Z\r\nDTEND:20260101T110000Z\r\n"
                                 "DESCRIPTION:" +
                                     description + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        ASSERT_EQ(original.rc, 0) << original.errors;
        PropertyParam item{};
        const PropertyNode *lines = nullptr;
        ASSERT_EQ(VI_takeItem(original.tree->firstCalendar, VCAL_ITEM_EVENT, 1, &item, &lines), 0);
        ASSERT_EQ(std::string(item.description), description);
        ASSERT_EQ(VI_itemToWriterForm(&item, VCAL_ITEM_EVENT, lines), 0);
        ParseTreeHandle *tree = nullptr;
        ASSERT_EQ(vCal_AddxItemInfoToPTree(&tree, &item, VCAL_ITEM_EVENT, 0), 0);
        VI_releaseItem(&item);
        std::string written;
        ASSERT_EQ(vCal_ParseTreeToStreamPut(tree, &written, appendByte, "1.0", nullptr), 0);
        vCal_DestroyParseTree(&tree);
        vcaltest::Reading again;
        vcaltest::read(again, written);
        ASSERT_EQ(again.rc, 0) << written << again.errors;
        PropertyParam back{};
        ASSERT_EQ(VI_takeItem(again.tree->firstCalendar, VCAL_ITEM_EVENT, 1, &back, &lines), 0);
        EXPECT_EQ(std::string(back.description), description) << written;
        VI_releaseItem(&back);
    }
}

// Everything a reading hands back, the tree as its lines, for comparing
// two ways of reading one text.
std::string described(const vcaltest::Reading &r) {
    std::string out = "rc " + std::to_string(r.rc) + "\nerrors " +
                      (r.hadErrors ? r.errors : "(none)") + "\nwarnings " +
                      (r.hadWarnings ? r.warnings : "(none)") + "\n";
    const ParseTreeHandle *tree = r.tree;
    if (tree == nullptr) return out + "no tree\n";
    auto lines = [&out](const char *what, const PropertyNode *p) {
        out += what;
        out += "\n";
        for (; p != nullptr; p = p->next)
            out += std::to_string(vcaltest::value(p->propertyId)) + " " + p->line + "\n";
    };
    for (const VCalendarNode *c = tree->firstCalendar; c != nullptr; c = c->next) {
        lines("calendar", c->properties);
        for (const VEventNode *e = c->events; e != nullptr; e = e->next)
            lines(e->valid != 0 ? "event" : "invalid event", e->properties);
        for (const VTodoNode *t = c->todos; t != nullptr; t = t->next)
            lines(t->valid != 0 ? "to-do" : "invalid to-do", t->properties);
    }
    return out;
}

std::string readByCallback(const std::string &text) {
    vcaltest::Reading r;
    vcaltest::read(r, text);
    return described(r);
}

std::string readFromMemory(const std::string &text) {
    // A copy of exactly the text's size, so that reading past it shows.
    std::vector<char> bytes(text.begin(), text.end());
    vcaltest::Reading r;
    char *errors = nullptr;
    char *warnings = nullptr;
    r.rc = VI_readCalendarText(&r.tree, bytes.data(), bytes.size(), &errors, &warnings);
    vcaltest::keepTexts(r, errors, warnings);
    return described(r);
}

TEST(CalendarText, ReadsAsTheByteSourceDoes) {
    const std::string calendar =
        vcaltest::crlf("BEGIN:VCALENDAR|VERSION:1.0|BEGIN:VEVENT|DTSTART:20260101T100000Z|"
                       "SUMMARY;ENCODING=QUOTED-PRINTABLE:a=|b|DESCRIPTION:folded|  on|END:VEVENT|"
                       "BEGIN:VTODO|DUE:bad|END:VTODO|END:VCALENDAR");
    std::vector<std::string> texts = {
        calendar,
        "",
        "no calendar here\r\n",
        calendar.substr(0, calendar.size() / 2),     // ends inside an event
        calendar.substr(0, calendar.size() - 1),     // no line break at the end
        std::string(calendar).insert(60, 1, '\0'),   // a NUL ends the text
        std::string(calendar).insert(60, 1, '\xff'), // and so does a 255
        "BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:\xe9t\xe9\nEND:VEVENT\nEND:VCALENDAR",
        "BEGIN:VCALENDAR\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
    };
    for (const std::string &file : converttest::corpusFiles("vcal10"))
        texts.push_back(converttest::fileText(file));
    for (const std::string &text : texts)
        EXPECT_EQ(readFromMemory(text), readByCallback(text)) << text.substr(0, 200);
}

TEST(CalendarText, NullArgumentsAreTheReadersOwn) {
    ParseTreeHandle *tree = nullptr;
    char *errors = nullptr;
    char *warnings = nullptr;
    EXPECT_EQ(VI_readCalendarText(&tree, nullptr, 5, &errors, &warnings), VCAL_ERR_NULL_STREAM);
    EXPECT_EQ(VI_readCalendarText(&tree, "x", 1, nullptr, &warnings), VCAL_ERR_NULL_ERROR_TEXT);
    EXPECT_EQ(VI_readCalendarText(nullptr, "x", 1, &errors, &warnings), VCAL_ERR_NULL_HANDLE);
    EXPECT_EQ(tree, nullptr);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(warnings, nullptr);
}

} // namespace
