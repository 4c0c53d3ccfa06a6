// Property validation: the value checks one line at a time, the duplicate
// rule, BEGIN/END forms, block checks, and the messages they produce.
#include <cctype>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include <gtest/gtest.h>

#include "vcal/vcalcheck.h"
#include "vcal/vcalline.h"
#include "vcal/vcalmsg.h"
#include "vcal/vcalprop.h"
#include "versit_vcal.h"

namespace {

constexpr uint32_t kLine = 7;

struct Verdict {
    int32_t accepted;
    std::string message;
};

// Checks `line` as the reader does inside an event, against `flags`.
Verdict check(const char *line, PropertyFlags &flags) {
    std::string text = line;
    PropertyNode node{vcal::vCal_LookupPropertyKeyword(line), text.data(), nullptr};
    char message[vcal::kMessageSize];
    std::memset(message, 'x', sizeof message);
    const int32_t accepted = vcal::vCal_CheckPropertyValue(&node, &flags, message, kLine);
    return Verdict{accepted, message};
}

struct ValueCase {
    const char *line;
    int32_t accepted;
    const char *message;
};

void expectVerdicts(const std::vector<ValueCase> &cases) {
    for (const ValueCase &c : cases) {
        PropertyFlags flags{};
        const Verdict v = check(c.line, flags);
        EXPECT_EQ(v.accepted, c.accepted) << c.line;
        EXPECT_EQ(v.message, c.message) << c.line;
        EXPECT_EQ(flags.flag[VCAL_SLOT_INVALID], c.accepted ? 0 : 1) << c.line;
    }
}

} // namespace

TEST(VcalWords, OneWordFromLine) {
    const struct {
        const char *line;
        uint32_t from;
        const char *word;
        uint32_t stop;
        int32_t atEnd;
    } cases[] = {{"  phone   call;x\r", 0, "PHONE CALL", 14, 0},
                 {"\t;rest", 0, "", 1, 0},
                 {"a;b\r", 2, "B", 3, 1},
                 {"abc", 0, "ABC", 3, 1},
                 {"x \n", 0, "X ", 2, 1},
                 {"", 0, "", 0, 1}};
    for (const auto &c : cases) {
        char word[64];
        uint32_t position = c.from;
        EXPECT_EQ(vCal_GetOneWordFromLine(word, c.line, &position), c.atEnd) << c.line;
        EXPECT_STREQ(word, c.word) << c.line;
        EXPECT_EQ(position, c.stop) << c.line;
    }
    uint32_t position = 0;
    EXPECT_EQ(vCal_GetOneWordFromLine(nullptr, "x", &position), 1);
}

TEST(VcalWords, IsWordInTheStringAndKeywords) {
    EXPECT_EQ(vCal_IsWordInTheString(" \tbegin : vevent", "BEGIN", "VEVENT"), 1);
    EXPECT_EQ(vCal_IsWordInTheString("BEGIN:VEVENTS", "BEGIN", "VEVENT"), 1) << "prefix tests";
    EXPECT_EQ(vCal_IsWordInTheString("BEGINX:VEVENT", "BEGIN", "VEVENT"), 0);
    EXPECT_EQ(vCal_IsWordInTheString("BEGIN:\rVEVENT", "BEGIN", "VEVENT"), 0)
        << "CR stops the skip";
    EXPECT_EQ(vCal_IsWordInTheString("END", "END", nullptr), 1);
    EXPECT_EQ(vCal_IsWordInTheString("EN", "END", nullptr), 0);
    EXPECT_EQ(vCal_IsWordInTheString("END", "", nullptr), 0);
    EXPECT_EQ(vCal_IsWordInTheString(nullptr, "END", nullptr), 0);
    // The reader's own test, for words in capitals, answers the same.
    for (const char *line :
         {" \tbegin : vevent", "BEGIN:VEVENTS", "BEGINX:VEVENT", "BEGIN:\rVEVENT", "END", "EN",
          "end;x=y:vtodo", "", "\tEND:VCALENDAR"}) {
        for (const char *word2 :
             {"VEVENT", "VTODO", "VCALENDAR", static_cast<const char *>(nullptr)}) {
            for (const char *word1 : {"BEGIN", "END"})
                EXPECT_EQ(vcal::isWordLine(line, word1, word2),
                          vCal_IsWordInTheString(line, word1, word2) != 0)
                    << line << " " << word1;
        }
    }
    const struct {
        const char *line;
        uint16_t id;
    } keys[] = {{"  dtstart:x", VCAL_PROP_DTSTART},
                {"X-ANY:x", VCAL_PROP_X},
                {"x-", VCAL_PROP_X},
                {"DTSTARTED:x", VCAL_PROP_DTSTART},
                {"X:x", 0},
                {"BEGIN:VEVENT", 0},
                {"", 0},
                {"RELATED-TO:x", VCAL_PROP_RELATED_TO}};
    for (const auto &k : keys)
        EXPECT_EQ(vcal::vCal_LookupPropertyKeyword(k.line), k.id) << k.line;
}

// The encoding a line's parameters name, in any case, the first
// ENCODING parameter deciding, and only within the length given.
TEST(VcalWords, LineEncodings) {
    using vcal::LineEncoding;
    const struct {
        const char *head;
        LineEncoding encoding;
    } cases[] = {
        {"NOTE;ENCODING=QUOTED-PRINTABLE", LineEncoding::QuotedPrintable},
        {"NOTE;charset=utf-8;encoding=quoted-printablex", LineEncoding::QuotedPrintable},
        {"NOTE;Encoding=Base64", LineEncoding::Base64},
        {"NOTE;ENCODING=8-bit", LineEncoding::EightBit},
        {"NOTE;ENCODING=8-BIT;ENCODING=BASE64", LineEncoding::EightBit},
        {"NOTE;ENCODINGS=BASE64", LineEncoding::Base64},
        {"NOTE;ENCODING", LineEncoding::None},
        {"NOTE;ENCODING=7BIT;ENCODING=BASE64", LineEncoding::None},
        {"NOTE;QUOTED-PRINTABLE", LineEncoding::None},
        {"ENCODING=BASE64", LineEncoding::None},
        {"NOTE;ENCODING=QUOTED-PRINTABL", LineEncoding::None},
        {"NOTE;X=1;ENCODIN=BASE64;ENCODING=BASE6", LineEncoding::None},
    };
    for (const auto &c : cases) {
        const std::string line = std::string(c.head) + ":value;ENCODING=BASE64";
        EXPECT_EQ(vcal::lineEncoding(line.data(), std::strlen(c.head)), c.encoding) << c.head;
    }
}

// Every keyword, cut short at every length, in either case and with what
// lines put after it, is found as a walk of the whole table finds it: the
// first keyword the line starts with; so too when the line's length is
// given, short lines and lines long enough to be compared in wide steps.
TEST(VcalWords, KeywordsAsTheTableOrdersThem) {
    auto walk = [](const std::string &line) -> uint16_t {
        const size_t from = line.find_first_not_of(" \t");
        for (uint16_t id = 1; id <= VCAL_PROPERTY_COUNT; ++id) {
            const char *k = vcal::kProperties[id].keyword;
            if (from != std::string::npos &&
                strncasecmp(line.c_str() + from, k, std::strlen(k)) == 0)
                return id;
        }
        return 0;
    };
    for (uint16_t id = 1; id <= VCAL_PROPERTY_COUNT; ++id) {
        const std::string keyword = vcal::kProperties[id].keyword;
        for (size_t n = 0; n <= keyword.size(); ++n) {
            for (const char *after : {"", ":x", ";ENCODING=QUOTED-PRINTABLE:x", "S:x", "-A",
                                      "\xC3\xA9\xFF{`@[:x", "0123456789abcdef"}) {
                std::string line = keyword.substr(0, n) + after;
                for (int lower = 0; lower < 2; ++lower) {
                    if (lower != 0) {
                        for (char &c : line)
                            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    }
                    const std::string blanks = " \t" + line;
                    EXPECT_EQ(vcal::vCal_LookupPropertyKeyword(line.c_str()), walk(line)) << line;
                    EXPECT_EQ(vcal::vCal_LookupPropertyKeyword(blanks.c_str()), walk(line)) << line;
                    EXPECT_EQ(vcal::vCal_LookupPropertyKeyword(line.c_str(), line.size()),
                              walk(line))
                        << line;
                    EXPECT_EQ(vcal::vCal_LookupPropertyKeyword(blanks.c_str(), blanks.size()),
                              walk(line))
                        << line;
                }
            }
        }
    }
}

TEST(VcalChecks, AlarmsAndDurations) {
    expectVerdicts({
        {"AALARM:19980612T140000Z;PT15M;2\r", 1, ""},
        {"AALARM:19980612T140000Z;;0;\r", 1, ""},
        {"DALARM:19980612T140000Z;PT10M;1;Reminder: lunch\r", 1, ""},
        {"AALARM:19980612T140000Z;P1Y2M3W4DT5H6M7S;1\r", 1, ""},
        {"AALARM:19980612T140000Z;P;1\r", 1, ""},
        {"AALARM:19980612T140000Z;T15M;2\r", 0, " 7: property value is not valid"},
        {"AALARM:19980612T140000Z;P1;2\r", 0, " 7: property value is not valid"},
        {"AALARM:19980612T140000Z;P1M1Y;2\r", 0, " 7: property value is not valid"},
        {"AALARM:19980612T140000Z;PT1M1H;2\r", 0, " 7: property value is not valid"},
        {"AALARM:19980612T140000Z;\r", 0, " 7: missing property value at position 24"},
        {"AALARM:19980612T140000Z;PT5M;\r", 0, " 7: missing property value at position 29"},
        {"AALARM:19980612T140000Z;PT5M;x\r", 1, " 7: property value is not valid"},
        {"DALARM:;PT5M\r", 0, " 7: missing property value at position 7"},
        {"DALARM:1998\r", 0, " 7: Date or Time value is not valid"},
    });
}

TEST(VcalChecks, ZonesAndDaylight) {
    expectVerdicts({
        {"TZ:-05\r", 1, ""},
        {"TZ:+05:30\r", 1, ""},
        {"TZ:-0500\r", 0, " 7: illegal character at position 6"},
        {"TZ:-05:30x\r", 0, " 7: illegal character at position 9"},
        {"TZ:EST\r", 0, " 7: TimeZone is not valid"},
        {"TZ:-5\r", 0, " 7: TimeZone is not valid"},
        {"DAYLIGHT:FALSE\r", 1, ""},
        {"DAYLIGHT:TRUE;-04;19980405T020000;19981025T020000;EST;EDT\r", 1, ""},
        {"DAYLIGHT:true;+01:00;20400405T020000;20401025T020000;CET;CEST\r", 1, ""},
        {"DAYLIGHT: TRUE\r", 0, " 7: illegal white space at position 9"},
        {"DAYLIGHT:1\r", 0, " 7: illegal character at position 9"},
        {"DAYLIGHT:FALSE;\r", 0, " 7: illegal character at position 14"},
        {"DAYLIGHT:TRUE\r", 0, " 7: some property values are missing or in wrong order"},
        {"DAYLIGHT:TRUE;-04;19980405T020000\r", 0,
         " 7: some property values are missing or in wrong order"},
        {"DAYLIGHT:TRUE;;19980405T020000;19981025T020000;EST;EDT\r", 0,
         " 7: some property values are missing or in wrong order"},
        {"DAYLIGHT:TRUE;-04;19980405T020000;19981025T020000;;EDT\r", 0,
         " 7: some property values are missing or in wrong order"},
        {"DAYLIGHT:TRUE;-04;1998040T020000;19981025T020000;EST;EDT\r", 0,
         " 7: Date or Time value is not valid"},
        {"DAYLIGHT:TRUE;-04;19980405T020000,19981025T020000;EST;EDT\r", 0,
         " 7: illegal character at position 33"},
        {"DAYLIGHT:TRUE;-04;19980405T020000;19981025T020000;EST;EDT1\r", 0,
         " 7: illegal character at position 57"},
    });
}

TEST(VcalChecks, RecurrenceRules) {
    expectVerdicts({
        {"RRULE:W1 MO WE #2\r", 1, ""},
        {"RRULE:w1 mo\r", 1, ""},
        {"RRULE:D1 19980110T000000Z\r", 1, ""},
        {"RRULE:D1 #5 19980110T000000\r", 1, ""},
        {"RRULE:MD1 1 15 #6\r", 1, ""},
        {"RRULE:MD1 13+\r", 1, ""},
        {"RRULE:MP1 1+ 1- MO #1\r", 1, ""},
        {"RRULE:MP1 5+ SA #12\r", 1, ""},
        {"RRULE:YM1 6 #3\r", 1, ""},
        {"RRULE:YD1 1 366\r", 1, ""},
        {"EXRULE:  D1 #3\r", 1, ""},
        {"RRULE:X1\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:W\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:W1MO\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:W1 XX\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:D1 MO\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:MD1 1 1-\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:MD1 LD\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:MP1 6+ MO\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:YM1 13\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:YD1 367\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:W1 MO 20101129T100000 #5\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:D1 #5 #6\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:D1 19980110X000000\r", 0, " 7: Date or Time value is not valid"},
        {"RRULE:D1 1998011012\r", 0, " 7: recurrence rule is not valid"},
        {"RRULE:MD1 13+ 21001213T000000\r", 0, " 7: year is outside of system range (1991-2037)"},
        {"RRULE W1\r", 0, " 7: missing or misplaced ':'"},
    });
}

TEST(VcalChecks, VersionValue) {
    const struct {
        const char *line;
        int32_t rc;
        const char *version;
        const char *message;
    } cases[] = {
        {"VERSION:1.0\r", 0, "1.0", ""},
        {"VERSION: 1.0 \r", 0, "1.0", ""},
        {"VERSION:2.0\r", VCAL_ERR_BAD_VERSION, "2.0", " 7: VERSION not valid"},
        {"VERSION:1.0000000000\r", VCAL_ERR_BAD_VERSION, "1.000000", " 7: VERSION not valid"},
        {"VERSION:\r", VCAL_ERR_NO_VALUE, "", " 7: missing property value at position 8"},
        {"VERSION 1.0\r", VCAL_ERR_NO_VALUE, "keep", " 7: missing or misplaced ':'"}};
    for (const auto &c : cases) {
        char version[9] = "keep";
        char message[vcal::kMessageSize];
        EXPECT_EQ(vcal::vCal_CheckVersion(c.line, message, kLine, version), c.rc) << c.line;
        EXPECT_STREQ(version, c.version) << c.line;
        EXPECT_STREQ(message, c.message) << c.line;
    }
}

TEST(VcalChecks, BeginEndForm) {
    const struct {
        const char *line;
        int32_t good;
        const char *message;
    } cases[] = {{"BEGIN:VEVENT\r\r", 1, ""},
                 {"end:vtodo\r", 1, ""},
                 {" BEGIN \t: VCALENDAR  \r", 1, ""},
                 {"BEGIN:VEVENT:\r", 0, " 7: illegal character at position 12"},
                 {"BEGIN:VEVENT X\r", 0, " 7: illegal character at position 13"},
                 {"BEGIN1:VEVENT\r", 0, " 7: illegal character at position 5"},
                 {"BEGIN VEVENT\r", 0, " 7: missing or misplaced ':'"},
                 {"BEGIN:VEVENTS\r", 0, " 7: property value is not valid"},
                 {"END:VJOURNAL\r", 0, " 7: property value is not valid"},
                 {"BEGIN:VCALENDARVCALENDAR\r", 0, " 7: property value is not valid"}};
    for (const auto &c : cases) {
        char message[vcal::kMessageSize];
        EXPECT_EQ(vcal::vCal_CheckBeginEndForm(c.line, message, kLine), c.good) << c.line;
        EXPECT_STREQ(message, c.message) << c.line;
    }
}

// Buffers at least double; one piece larger than that gets a quarter more
// room, so that a short line after a long one does not double the long
// one's room; near the top of size_t nothing wraps.
TEST(VcalBuffers, GrowthLeavesRoomWithoutDoublingALongPiece) {
    const size_t kMax = SIZE_MAX;
    const struct {
        size_t capacity, first, needed, grown;
    } cases[] = {
        {0, 256, 1, 256},
        {0, 256, 1000, 1250},
        {256, 256, 300, 512},
        {512, 256, 2000000, 2500000},
        {2500000, 256, 2500010, 5000000},
        {kMax / 2 + 1, 256, kMax / 2 + 2, kMax},
        {0, 256, kMax - 1, kMax - 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vcal::grownCapacity(c.capacity, c.first, c.needed), c.grown)
            << c.capacity << " " << c.needed;
}
