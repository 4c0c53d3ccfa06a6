// Typed value codecs: what each parser accepts and fills in, what each
// generator writes and the buffer sizes it insists on.
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "versit_core.h"

namespace {

// The generators by type code (0x103 ..), over a record of unknown type.
using Writer = int32_t (*)(char *, int32_t, const void *);
template <class Record, int32_t (*F)(char *, int32_t, const Record *)>
int32_t as(char *buffer, int32_t size, const void *record) {
    return F(buffer, size, static_cast<const Record *>(record));
}
const Writer kWriters[] = {
    as<vDate, VLIB_generateAsDate>,         as<vDateTime, VLIB_generateAsDateTime>,
    as<vDuration, VLIB_generateAsDuration>, as<double, VLIB_generateAsFloat>,
    as<int32_t, VLIB_generateAsInteger>,    as<vPeriod, VLIB_generateAsPeriod>,
    as<char, VLIB_generateAsText>,          as<vTime, VLIB_generateAsTime>,
    as<char, VLIB_generateAsUrl>,           as<vUtcOffset, VLIB_generateAsUtcOffset>,
    as<int32_t, VLIB_generateAsBoolean>,    as<vCalAddress, VLIB_generateAsCalAddress>,
};

// Texts the parser takes and what the type's generator writes of the
// record; then texts the parser refuses.
TEST(TypedValues, ParsedAndWrittenBack) {
    constexpr int32_t D = VLIB_TYPE_DATE, T = VLIB_TYPE_TIME, DT = VLIB_TYPE_DATE_TIME,
                      P = VLIB_TYPE_PERIOD, DU = VLIB_TYPE_DURATION, F = VLIB_TYPE_FLOAT,
                      I = VLIB_TYPE_INTEGER, B = VLIB_TYPE_BOOLEAN, O = VLIB_TYPE_UTC_OFFSET;
    // Days are not checked against the month; no leap second is read.
    // Per type: each text followed by what is written of it.
    const std::pair<int32_t, std::vector<const char *>> cases[] = {
        {D,
         {"19980127", "19980127", "1998/01/27", "19980127", " 1998 01 27\t", "19980127", "19980230",
          "19980230", "00010101", "00010101"}},
        {T,
         {"12:30:00", "123000", "123000Z", "123000Z", "123000z", "123000Z", "123000-0500",
          "123000-0500", "12:30:00 -05:30", "123000-0530", "235959+02", "235959+0200"}},
        {DT, {"19980127T123000Z", "19980127T123000Z", "19980127t123000", "19980127T123000"}},
        {P,
         {"19980127T120000Z/P1DT2H", "19980127T120000Z/P0Y0M1DT2H0M0S",
          "19980127T120000Z/19980128T080000Z", "19980127T120000Z/19980128T080000Z",
          "19980127T120000Z/p2w", "19980127T120000Z/P2W"}},
        {DU,
         {"P1Y2M3DT4H5M6S", "P1Y2M3DT4H5M6S", "P2W", "P2W", "PT15M", "P0Y0M0DT0H15M0S", "p1d",
          "P0Y0M1DT0H0M0S", "P99999999999D", "P0Y0M2147483647DT0H0M0S"}},
        {F,
         {"3.25", "3.250000", " -1.5", "-1.500000", "+2", "2.000000", "7.5x", "7.500000", "",
          "0.000000", "-.5", "-0.500000"}},
        {I,
         {"42", "42", " -17", "-17", "12 34", "12", "+-5", "0", "", "0", "99999999999",
          "2147483647"}},
        {B, {"TRUE", "TRUE", "yes", "TRUE", "False", "FALSE", "NO", "FALSE"}},
        {O, {"-0500", "-0500", "+05 30", "+0530", "00130", "+0130"}}};
    for (const auto &c : cases) {
        for (size_t i = 0; i < c.second.size(); i += 2) {
            void *record = nullptr;
            EXPECT_EQ(VLIB_parseValue(c.first, c.second[i], &record), 0) << c.second[i];
            char buffer[128] = "";
            EXPECT_EQ(kWriters[c.first - VLIB_TYPE_DATE](buffer, sizeof buffer, record), 0);
            EXPECT_STREQ(buffer, c.second[i + 1]) << c.second[i];
            std::free(record);
        }
    }
    const std::pair<int32_t, std::vector<const char *>> refused[] = {
        {D, {"1998-01-27", "1998012", "199801270", "19981332", "19981331", "19980100", ""}},
        {T,
         {"1230", "123000+", "123000Z00", "123000+2400", "123000+0060", "240000", "126000",
          "123060", "12.30.00", "12Z000"}},
        {DT, {"19980127 123000", "19981327T123000", "19980127T1230"}},
        {P, {"19980127T120000Z", "1998T120000Z/P1D"}},
        {DU, {"1D", "P1X2D", ""}},
        {F, {"1x.5", "abc"}},
        {I, {"12a"}},
        {B, {"maybe", " TRUE"}},
        {O, {"-05:00", "+2400", "+050"}}};
    for (const auto &r : refused) {
        for (const char *text : r.second) {
            void *record = nullptr;
            EXPECT_EQ(VLIB_parseValue(r.first, text, &record), 1) << text;
            std::free(record);
        }
    }
}

TEST(TypedValues, OffsetsAddressesAndUrls) {
    struct AddressCase {
        const char *text, *address, *name;
    } addresses[] = {{"John Doe <jdoe@example.com>", "jdoe@example.com", "John Doe"},
                     {"  MAILTO:jdoe@example.com", "jdoe@example.com", ""},
                     {"mailto:Jane <  j@x.org  >", "j@x.org", "Jane"},
                     {"<j@x.org", "j@x.org", ""},
                     {"just text ", "just text ", ""}};
    for (const AddressCase &c : addresses) {
        vCalAddress a;
        EXPECT_EQ(VLIB_parseAsCalAddress(c.text, &a), 0) << c.text;
        EXPECT_STREQ(a.address, c.address) << c.text;
        EXPECT_STREQ(a.name, c.name) << c.text;
    }
    vCalAddress a;
    const std::string longName(300, 'n');
    EXPECT_EQ(VLIB_parseAsCalAddress((longName + " <" + std::string(100, 'a') + ">").c_str(), &a),
              0);
    EXPECT_EQ(std::strlen(a.address), 63u);
    EXPECT_EQ(std::strlen(a.name), 127u);

    char url[VLIB_URL_SIZE];
    EXPECT_EQ(VLIB_parseAsUrl(std::string(200, 'u').c_str(), url), 0);
    EXPECT_EQ(std::strlen(url), 127u);
    EXPECT_EQ(VLIB_parseAsText("x", url), VLIB_ERR_NOT_SUPPORTED);
}

// A generator bound to its record: f(buffer, size, &record).
template <class Record>
std::function<int32_t(char *, int32_t)> bound(int32_t (*f)(char *, int32_t, const Record *),
                                              const Record &record) {
    return [f, &record](char *buffer, int32_t size) { return f(buffer, size, &record); };
}

TEST(TypedValues, Generators) {
    int32_t yes = 1, no = 0, minus7 = -7;
    double twoAndAHalf = 2.5;
    vDate date{1998, 1, 27};
    vTime local{12, 30, 60, 0, 0, 0, 1}, utc{1, 2, 3, 0, 0, 1, 0}, offset{1, 2, 3, -5, -30, 0, 0};
    vDateTime dateTime{{1998, 1, 27}, {12, 0, 0, 0, 0, 1, 0}};
    vDuration full{6, 5, 4, 0, 3, 2, 1}, weeks{0, 0, 0, 2, 3, 0, 0};
    vPeriod period{};
    period.start = {{1998, 1, 27}, {12, 0, 0, 0, 0, 0, 1}};
    period.duration.hours = 2;
    vUtcOffset utcOffset{-5, 0};
    vCalAddress address{"j@x.org", "Jane"};
    struct Case {
        const char *what;
        std::function<int32_t(char *, int32_t)> generate;
        int32_t needed;   // the least size that works
        const char *text; // what it writes then
    } cases[] = {
        {"true", bound(VLIB_generateAsBoolean, yes), 5, "TRUE"},
        {"false", bound(VLIB_generateAsBoolean, no), 6, "FALSE"},
        {"date", bound(VLIB_generateAsDate, date), 9, "19980127"},
        {"local time", bound(VLIB_generateAsTime, local), 7, "123060"},
        {"utc time", bound(VLIB_generateAsTime, utc), 8, "010203Z"},
        {"offset time", bound(VLIB_generateAsTime, offset), 12, "010203-0530"},
        {"date-time", bound(VLIB_generateAsDateTime, dateTime), 17, "19980127T120000Z"},
        {"duration", bound(VLIB_generateAsDuration, full), 35, "P1Y2M3DT4H5M6S"},
        {"weeks", bound(VLIB_generateAsDuration, weeks), 8, "P2W"},
        {"period", bound(VLIB_generateAsPeriod, period), 16 + 35, "19980127T120000/P0Y0M0DT2H0M0S"},
        {"float", bound(VLIB_generateAsFloat, twoAndAHalf), 20, "2.500000"},
        {"integer", bound(VLIB_generateAsInteger, minus7), 20, "-7"},
        {"offset", bound(VLIB_generateAsUtcOffset, utcOffset), 6, "-0500"},
        {"address", bound(VLIB_generateAsCalAddress, address), 7 + 4 + 11, "MAILTO:j@x.org"},
        {"url", [](char *b, int32_t n) { return VLIB_generateAsUrl(b, n, "http://x/"); }, 10,
         "http://x/"}};
    char buffer[256];
    for (const Case &c : cases) {
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c.generate(buffer, c.needed - 1), 1) << c.what << ": one byte short";
        if (std::strcmp(c.what, "date-time") != 0 && std::strcmp(c.what, "period") != 0) {
            EXPECT_EQ(buffer[0], '#') << c.what << ": nothing written";
        }
        EXPECT_EQ(c.generate(buffer, c.needed), 0) << c.what;
        EXPECT_STREQ(buffer, c.text) << c.what;
    }
}

TEST(TypedValues, GeneratorsRejectInvalidRecords) {
    char buffer[128];
    vDate badMonth{1998, 13, 1};
    vDate noYear{0, 1, 1};
    vDate wideYear{12345, 1, 1};
    EXPECT_EQ(VLIB_generateAsDate(buffer, sizeof buffer, &badMonth), 1);
    EXPECT_EQ(VLIB_generateAsDate(buffer, sizeof buffer, &noYear), 1);
    EXPECT_EQ(VLIB_generateAsDate(buffer, 9, &wideYear), 1) << "would need 10 bytes";
    EXPECT_EQ(VLIB_generateAsDate(buffer, 10, &wideYear), 0);
    vTime badSecond{0, 0, 61, 0, 0, 0, 1};
    EXPECT_EQ(VLIB_generateAsTime(buffer, sizeof buffer, &badSecond), 1);
    vTime wideOffset{0, 0, 0, 100, 0, 0, 0};
    EXPECT_EQ(VLIB_generateAsTime(buffer, 12, &wideOffset), 1);
    vUtcOffset minimum{INT32_MIN, INT32_MIN};
    EXPECT_EQ(VLIB_generateAsUtcOffset(buffer, 6, &minimum), 1);
    EXPECT_EQ(VLIB_generateAsText(buffer, sizeof buffer, "x"), VLIB_ERR_NOT_SUPPORTED);
    EXPECT_EQ(VLIB_generateAsDate(nullptr, 9, &badMonth), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_generateAsDate(buffer, 9, nullptr), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_parseAsDate(nullptr, &badMonth), VLIB_ERR_NULL_ARGUMENT);
}

// The record is handed back whatever the result; the other types are
// read through VLIB_parseValue above.
TEST(TypedValues, ParseValueAllocatesTheRecord) {
    for (int32_t type : {VLIB_TYPE_TEXT, VLIB_TYPE_URL, VLIB_TYPE_CAL_ADDRESS}) {
        void *record = nullptr;
        EXPECT_EQ(VLIB_parseValue(type, "a <b@c>", &record),
                  type == VLIB_TYPE_TEXT ? VLIB_ERR_NOT_SUPPORTED : 0);
        EXPECT_NE(record, nullptr);
        std::free(record);
    }
    void *record = reinterpret_cast<void *>(1);
    EXPECT_EQ(VLIB_parseValue(0x100, "x", &record), VLIB_ERR_BAD_DATATYPE);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(VLIB_parseValue(0x10F, "x", &record), VLIB_ERR_BAD_DATATYPE);
    EXPECT_EQ(VLIB_parseValue(VLIB_TYPE_DATE, nullptr, &record), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_parseValue(VLIB_TYPE_DATE, "x", nullptr), VLIB_ERR_NULL_ARGUMENT);
}

} // namespace
