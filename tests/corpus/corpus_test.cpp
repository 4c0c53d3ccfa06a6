// Every real-world file listed in the corpus's MANIFEST.tsv (when the
// corpus is there), through every layer a client uses:
// - vCards: imported card by card and exported, imported and exported
//   twice more (every import reverses the order, so the third text must be
//   the first), and the whole file added to an address book in memory
//   whose entries are exported again;
// - vCalendars: read, then every event and to-do taken out with its
//   occurrences, added to a new tree, written and read back.
// No crash, no leak (sanitizers and memcheck watch the rest); a summary of
// what was read and how many results were failures is printed.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calapi32.h"
#include "support/alloc_hook.h"
#include "support/memory_source.h"
#include "vcard/vcard_support.h"
#include "versit_abx.h"
#include "versit_interop.h"
#include "versit_vcal.h"
#include "versit_vcard.h"

namespace {

namespace fs = std::filesystem;

struct Summary {
    int files = 0;
    int cards = 0;
    int entries = 0;
    int calendars = 0;
    int items = 0;
    std::map<std::string, int> unstable; // cards by reason
    // Tolerant reading: cards, and reports by kind and by what they say.
    int tolerantCards = 0;
    int tolerantSkipped = 0;
    int itemsInText = 0;
    int tolerantItems = 0;
    int tolerantItemsSkipped = 0;
    int reports = 0;
    int failed = 0; // results other than success the walk went on after
    void seen(const char *, int32_t code) { failed += code != 0 ? 1 : 0; }
    void print() const {
        std::printf("corpus: %d files, %d cards, %d address-book entries, %d calendars, "
                    "%d events and to-dos, %d failed results\n",
                    files, cards, entries, calendars, items, failed);
        for (const auto &[reason, count] : unstable)
            std::printf("  not written back alike: %d cards, %s\n", count, reason.c_str());
        std::printf("tolerant: %d cards, %d skipped\n", tolerantCards, tolerantSkipped);
        std::printf("tolerant: %d of %d events and to-dos (%.1f%%), %d skipped\n", tolerantItems,
                    itemsInText, itemsInText > 0 ? 100.0 * tolerantItems / itemsInText : 0.0,
                    tolerantItemsSkipped);
        std::printf("tolerant: %d reports\n", reports);
    }
};

bool readFile(const fs::path &path, std::string &text) {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
    return static_cast<bool>(in);
}

using vctest::Card;

// The card's text as exported, or "" when the export fails.
std::string exported(VCardContext *context, vComponent *card, Summary &summary) {
    char *text = nullptr;
    const int32_t rc = VCARD_exportObjectToBuffer(context, card, &text);
    summary.seen("export", rc);
    std::string out = rc == 0 && text != nullptr ? text : "";
    std::free(text);
    return out;
}

// A text read back: it holds one card.
std::string reexported(VCardContext *context, const std::string &text, Summary &summary) {
    Card card;
    const char *rest = nullptr;
    int32_t left = 0;
    summary.seen("import of an export",
                 VCARD_importObjectFromBuffer(context, &card.root, text.c_str(),
                                              static_cast<int32_t>(text.size()), &rest, &left));
    EXPECT_NE(card.root, nullptr) << text;
    return card.root != nullptr ? exported(context, card.root, summary) : "";
}

// Why the third text of a card may differ from the first. Some writers
// break QUOTED-PRINTABLE or BASE64 values with a soft line break ("=" at
// the end of the line) but without the blank that continues the value on
// the next line. The parser reads such a break as the end of the value: the
// rest of the value becomes lines of their own that are no property. They
// are kept as names with parameters, and lose or gain empty parameters and
// quotes when written and read again (a QUOTED-PRINTABLE value that
// starts with a blank may lose it on the way). Likewise an "=" ending a
// line that is not continued is read as such a break and lost, and so is
// one that a fold follows in a value that is not QUOTED-PRINTABLE (one
// whose ENCODING is misspelt, say). Null when the text has none of these.
const char *unstableReason(const std::string &text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    auto continued = [&](size_t i) {
        return i < lines.size() && !lines[i].empty() && (lines[i][0] == ' ' || lines[i][0] == '\t');
    };
    // Looked for first: the checks below also match what reads back alike
    // (the empty line after a BASE64 value, the "=" of its padding), so a
    // card they name may owe its change to this one.
    std::string head; // the current property's name and parameters, upper-cased
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (!continued(i)) {
            head = line.substr(0, line.find(':'));
            for (char &c : head)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        if (!line.empty() && line.back() == '=' && continued(i + 1) &&
            head.find("QUOTED-PRINTABLE") == std::string::npos)
            return "an \"=\" before a fold in a value that is not QUOTED-PRINTABLE";
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (!continued(i) && line.find(':') == std::string::npos)
            return "a line that is no property (soft break without blank)";
        if (!line.empty() && line.back() == '=' && !continued(i + 1))
            return "an \"=\" ending a line that is not continued";
    }
    return nullptr;
}

void cardByCard(VCardContext *context, const std::string &text, const std::string &name,
                Summary &summary) {
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text.c_str(), static_cast<int32_t>(text.size()));
    for (int calls = 0;; ++calls) {
        ASSERT_LT(calls, 100000) << name << ": the import must move on";
        if (reader.next == nullptr || reader.remaining == 0) break; // read to the end
        Card card;
        const int32_t before = reader.remaining;
        const int32_t rc = VI_readCard(&reader, &card.root);
        summary.seen("import", rc);
        if (rc == VCARD_ERR_NO_CARD) break;
        ASSERT_TRUE(reader.remaining < before || reader.next == nullptr) << name;
        if (card.root == nullptr) continue;
        ++summary.cards;
        const std::string first = exported(context, card.root, summary);
        if (first.empty()) continue;
        const std::string third = reexported(context, reexported(context, first, summary), summary);
        if (third == first) continue;
        const char *reason = unstableReason(first);
        ASSERT_NE(reason, nullptr) << name << "\n" << first << "\nwritten back as\n" << third;
        ++summary.unstable[reason];
    }
}

// Every property of a card and the cards nested in it, as "NAME=values":
// what a round trip must keep (parameters may gain default types).
std::vector<std::string> properties(const vComponent *card) {
    std::vector<std::string> out;
    std::vector<const vComponent *> pending = {card};
    while (!pending.empty()) {
        const vComponent *c = pending.back();
        pending.pop_back();
        for (const vProperty *p = c->propertyList; p != nullptr; p = p->next) {
            std::string entry = p->name;
            for (const vValue *v = p->valueList; v != nullptr; v = v->next) {
                entry += '=';
                if (v->encoding == VLIB_ENCODING_BASE64) {
                    entry.append(v->data, static_cast<size_t>(v->dataSize));
                } else {
                    // Readers drop the blanks a value starts with, whatever
                    // wrote them (a quoted-printable "=20" included).
                    const char *text = v->data;
                    while (*text == ' ' || *text == '\t')
                        ++text;
                    entry += text;
                }
            }
            out.push_back(entry);
        }
        for (const vComponent *n = c->subComponent; n != nullptr; n = n->next)
            pending.push_back(n);
    }
    std::sort(out.begin(), out.end());
    return out;
}

void countReport(void *user, const VI_Report *report) {
    static_cast<Summary *>(user)->reports += std::strlen(report->message) > 0 ? 1 : 0;
}

// Tolerant reading: every card of the text, each written and read back
// strictly with every property and value it had.
void tolerantCards(VCardContext *context, const std::string &text, const std::string &name,
                   Summary &summary) {
    VI_TolerantReader *reader = nullptr;
    ASSERT_EQ(VI_tolerantReaderCreate(&reader, text.data(), text.size(), countReport, &summary), 0);
    for (;;) {
        Card card;
        const int32_t rc = VI_readCardTolerantly(reader, context, &card.root);
        if (rc == VCARD_ERR_NO_CARD) break;
        ASSERT_EQ(rc, 0) << name;
        ++summary.tolerantCards;
        char *exported = nullptr;
        ASSERT_EQ(VI_exportCard(context, card.root, &exported), 0) << name;
        Card back;
        vctest::import(context, back, exported);
        std::free(exported);
        ASSERT_NE(back.root, nullptr) << name;
        EXPECT_EQ(properties(card.root), properties(back.root)) << name << ": properties changed";
    }
    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(reader, &counts);
    summary.tolerantSkipped += static_cast<int>(counts.skipped);
    VI_tolerantReaderDestroy(&reader);
}

void throughAddressBook(VCardContext *context, const std::string &text, Summary &summary) {
    if (text.empty()) return;
    // Handed over without a NUL after it, as a client's buffer may be.
    std::vector<char> exact(text.begin(), text.end());
    CalapiClient *book = nullptr;
    ASSERT_EQ(CalapiOpen(nullptr, 1, 2, &book), 0);
    KL_HLIST list = nullptr;
    uint16_t skipped = 0;
    uint32_t budget = 100000;
    summary.seen("address-book import",
                 GetNewABRecIDsFromVCardStream(book, context, exact.data(), nullptr,
                                               static_cast<int32_t>(exact.size()), &list, &skipped,
                                               &budget));
    ABEntryId id;
    for (int32_t got = KL_ListGetFirst(list, &id, nullptr); got == 0;
         got = KL_ListGetNext(list, &id, nullptr)) {
        ++summary.entries;
        ABEntryRecord record;
        ASSERT_EQ(ABEntryGet(book, &id, &record), 0);
        char *card = nullptr;
        int32_t length = 0;
        const int32_t rc = GetVCardStreamFromABRecID(book, context, &record, &card, &length);
        summary.seen("address-book export", rc);
        if (rc == 0) {
            EXPECT_EQ(std::strlen(card), static_cast<size_t>(length));
        }
        std::free(card);
    }
    if (list != nullptr) KL_ListDestroy(&list);
    EXPECT_EQ(CalapiClose(&book), 0);
}

void takeItems(VCalendarNode *calendar, uint16_t type, Summary &summary, ParseTreeHandle **rewrite,
               int &added) {
    PropertyParam item{};
    const PropertyNode *lines = nullptr;
    int32_t rc = VI_takeItem(calendar, type, 1, &item, &lines);
    // A failed conversion leaves the walk where it was: it ends there.
    for (; rc == 0; rc = VI_takeItem(calendar, type, 0, &item, &lines)) {
        ++summary.items;
        TimePlaceRecurList occurrences{};
        summary.seen("occurrences", vCal_GetRecurDateList(&item, nullptr, &occurrences));
        if (occurrences.timeList != nullptr) KL_ListDestroy(&occurrences.timeList);
        if (rewrite != nullptr) {
            // Into a new tree in the writer's form, as versit vcal rewrite does.
            int32_t put = VI_itemToWriterForm(&item, type, lines);
            if (put == 0) put = vCal_AddxItemInfoToPTree(rewrite, &item, type, 0);
            summary.seen("item added to a new tree", put);
            if (put == 0) ++added;
        }
        VI_releaseItem(&item);
    }
    VI_releaseItem(&item);
    summary.seen(type == VCAL_ITEM_EVENT ? "events" : "to-dos", rc);
}

int32_t appendByte(void *stream, uint8_t byte) {
    static_cast<std::string *>(stream)->push_back(static_cast<char>(byte));
    return 0;
}

ParseTreeHandle *read(const std::string &text, Summary &summary, const char *operation) {
    int32_t rc = 0;
    ParseTreeHandle *tree = readTree(text.data(), text.size(), &rc);
    summary.seen(operation, rc);
    return tree;
}

// Every calendar's events and to-dos; with `rewrite`, each also added to
// that tree. Returns the number added.
int takeCalendars(ParseTreeHandle *tree, Summary &summary, ParseTreeHandle **rewrite) {
    int added = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = vCal_GetFirstCalendar(tree, &calendar); got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        ++summary.calendars;
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO})
            takeItems(calendar, type, summary, rewrite, added);
    }
    return added;
}

// Read, taken out, rewritten; the rewritten text read back gives as many
// items as were added.
void readCalendar(const std::string &text, Summary &summary) {
    ParseTreeHandle *tree = read(text, summary, "calendar read");
    if (tree == nullptr) return;
    ParseTreeHandle *rewrite = nullptr;
    const int added = takeCalendars(tree, summary, &rewrite);
    EXPECT_EQ(vCal_DestroyParseTree(&tree), 0);
    if (rewrite == nullptr) return;
    std::string written;
    summary.seen("rewrite",
                 vCal_ParseTreeToStreamPut(rewrite, &written, appendByte, "1.0", nullptr));
    EXPECT_EQ(vCal_DestroyParseTree(&rewrite), 0);
    ParseTreeHandle *back = read(written, summary, "rewrite read back");
    ASSERT_NE(back, nullptr);
    Summary again;
    takeCalendars(back, again, nullptr);
    EXPECT_EQ(again.items, added);
    EXPECT_EQ(vCal_DestroyParseTree(&back), 0);
}

// Tolerant reading: every event and to-do the rewritten text keeps, taken
// without the walk ever stopping; each is written back in the writer's
// form. The items in the text (BEGIN lines) are counted to measure the
// share that comes through.
void tolerantCalendar(const std::string &text, Summary &summary) {
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        line.erase(0, line.find_first_not_of(" \t"));
        for (char &c : line)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (line.rfind("BEGIN:VEVENT", 0) == 0 || line.rfind("BEGIN:VTODO", 0) == 0)
            ++summary.itemsInText;
    }
    VI_TolerantReader *reader = nullptr;
    ASSERT_EQ(VI_tolerantReaderCreate(&reader, text.data(), text.size(), countReport, &summary), 0);
    ParseTreeHandle *tree = nullptr;
    VI_readCalendarsTolerantly(reader, &tree);
    ParseTreeHandle *rewrite = nullptr;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = tree != nullptr ? vCal_GetFirstCalendar(tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            const PropertyNode *lines = nullptr;
            int32_t rc = VI_takeItemTolerantly(reader, calendar, type, 1, &item, &lines);
            for (; rc == 0; rc = VI_takeItemTolerantly(reader, calendar, type, 0, &item, &lines)) {
                ++summary.tolerantItems;
                int32_t put = VI_itemToWriterForm(&item, type, lines);
                if (put == 0) put = vCal_AddxItemInfoToPTree(&rewrite, &item, type, 0);
                summary.seen("tolerant item added to a new tree", put);
                VI_releaseItem(&item);
            }
            VI_releaseItem(&item);
            EXPECT_EQ(rc, VCAL_ERR_NO_MORE_ENTITIES);
        }
    }
    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(reader, &counts);
    summary.tolerantItemsSkipped += static_cast<int>(counts.skipped);
    VI_tolerantReaderDestroy(&reader);
    if (rewrite != nullptr) {
        EXPECT_EQ(vCal_DestroyParseTree(&rewrite), 0);
    }
}

TEST(Corpus, EveryFileThroughEveryLayer) {
    const fs::path corpus = VERSIT_CORPUS_DIR;
    std::ifstream manifest(corpus / "MANIFEST.tsv");
    if (!manifest) GTEST_SKIP() << "no corpus at " << corpus;
    VCardContext *context = nullptr;
    ASSERT_EQ(VCARD_createContext(&context), 0);
    Summary summary;
    // The first exchange registers the address book's names in the context,
    // which keeps them: not a leak of any one file.
    throughAddressBook(context, "BEGIN:VCARD\r\nN:a;b\r\nEND:VCARD\r\n", summary);
    summary.entries = 0;
    std::string all; // every file, one after the other, as a careless backup holds them
    std::string line;
    for (std::getline(manifest, line); std::getline(manifest, line);) { // after the column names
        std::istringstream columns(line);
        std::vector<std::string> column;
        for (std::string field; std::getline(columns, field, '\t');)
            column.push_back(field);
        ASSERT_GE(column.size(), 6u) << line;
        const fs::path path = corpus / column[0];
        std::string text;
        ASSERT_TRUE(readFile(path, text)) << path;
        ++summary.files;
        all += text;
        SCOPED_TRACE(column[0]);
        alloc_hook::startTracking();
        if (column[5] == "vcard21") {
            cardByCard(context, text, column[0], summary);
            tolerantCards(context, text, column[0], summary);
            throughAddressBook(context, text, summary);
        } else {
            EXPECT_EQ(column[5], "vcal10") << line;
            readCalendar(text, summary);
            tolerantCalendar(text, summary);
        }
        alloc_hook::stopTracking();
        EXPECT_EQ(alloc_hook::live(), 0u) << column[0];
    }
    // The files run together (a byte-order mark, NUL bytes, calendars and
    // junk between cards, a card cut short by the next file): reading
    // resynchronises at every card.
    {
        int together = 0;
        VI_TolerantReader *reader = nullptr;
        ASSERT_EQ(VI_tolerantReaderCreate(&reader, all.data(), all.size(), nullptr, nullptr), 0);
        Card card;
        while (VI_readCardTolerantly(reader, context, &card.root) == 0) {
            ++together;
            VCARD_destroyCard(context, &card.root);
        }
        VI_tolerantReaderDestroy(&reader);
        EXPECT_EQ(together, summary.tolerantCards);
    }
    VCARD_destroyContext(&context);
    summary.print();
    EXPECT_GT(summary.files, 800);
    EXPECT_GT(summary.cards, summary.files);
    // Tolerant reading: every card; at least 98 items in 100.
    EXPECT_EQ(summary.tolerantSkipped, 0);
    EXPECT_GE(summary.tolerantItems * 100, summary.itemsInText * 98);
}

} // namespace
