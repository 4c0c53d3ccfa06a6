// Typed value codecs: what each parser accepts and fills in, what each
// generator writes and the buffer sizes it insists on.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "versit_core.h"

namespace {

TEST(TypedValues, Dates) {
    struct Case {
        const char *text;
        int32_t result;
        vDate date;
    } cases[] = {
        {"19980127", 0, {1998, 1, 27}},
        {"1998/01/27", 0, {1998, 1, 27}},
        {" 1998 01 27\t", 0, {1998, 1, 27}},
        {"19980230", 0, {1998, 2, 30}}, // days are not checked against the month
        {"00010101", 0, {1, 1, 1}},
        {"1998-01-27", 1, {0, 1, 1}},
        {"1998012", 1, {0, 1, 1}},
        {"199801270", 1, {0, 1, 1}},
        {"19981332", 1, {0, 1, 1}},  // the day fails first
        {"19981331", 1, {0, 1, 31}}, // day stored, then the month fails
        {"19980100", 1, {0, 1, 1}},
        {"", 1, {0, 1, 1}},
    };
    for (const Case &c : cases) {
        vDate d{7, 7, 7};
        EXPECT_EQ(VLIB_parseAsDate(c.text, &d), c.result) << c.text;
        EXPECT_EQ(d.year, c.date.year) << c.text;
        EXPECT_EQ(d.month, c.date.month) << c.text;
        EXPECT_EQ(d.day, c.date.day) << c.text;
    }
}

TEST(TypedValues, Times) {
    struct Case {
        const char *text;
        int32_t result;
        vTime time;
    } cases[] = {
        {"12:30:00", 0, {12, 30, 0, 0, 0, 0, 1}},
        {"123000Z", 0, {12, 30, 0, 0, 0, 1, 0}},
        {"123000z", 0, {12, 30, 0, 0, 0, 1, 0}},
        {"123000-0500", 0, {12, 30, 0, -5, 0, 0, 0}},
        {"12:30:00 -05:30", 0, {12, 30, 0, -5, -30, 0, 0}},
        {"235959+02", 0, {23, 59, 59, 2, 0, 0, 0}},
        {"1230", 1, {}},
        {"123000+", 1, {12, 30, 0, 0, 0, 0, 0}}, // a sign where Z belongs
        {"123000Z00", 1, {12, 30, 0, 0, 0, 0, 0}},
        {"123000+2400", 1, {12, 30, 0, 0, 0, 0, 0}},
        {"123000+0060", 1, {12, 30, 0, 0, 0, 0, 0}},
        {"240000", 1, {}},
        {"126000", 1, {}},
        {"123060", 1, {}}, // no leap second when reading
        {"12.30.00", 1, {}},
        {"12Z000", 1, {}},
    };
    for (const Case &c : cases) {
        vTime t{9, 9, 9, 9, 9, 9, 9};
        EXPECT_EQ(VLIB_parseAsTime(c.text, &t), c.result) << c.text;
        EXPECT_EQ(std::memcmp(&t, &c.time, sizeof t), 0)
            << c.text << ": " << t.hour << " " << t.minute << " " << t.second << " "
            << t.offsetHours << " " << t.offsetMinutes << " " << t.utc << " " << t.local;
    }
}

TEST(TypedValues, DateTimesAndPeriods) {
    vDateTime dt{};
    EXPECT_EQ(VLIB_parseAsDateTime("19980127T123000Z", &dt), 0);
    EXPECT_EQ(dt.date.year, 1998);
    EXPECT_EQ(dt.date.day, 27);
    EXPECT_EQ(dt.time.minute, 30);
    EXPECT_EQ(dt.time.utc, 1);
    EXPECT_EQ(VLIB_parseAsDateTime("19980127t123000", &dt), 0);
    EXPECT_EQ(VLIB_parseAsDateTime("19980127 123000", &dt), 1) << "no T";
    EXPECT_EQ(VLIB_parseAsDateTime("19981327T123000", &dt), 1) << "the date's failure";
    EXPECT_EQ(VLIB_parseAsDateTime("19980127T1230", &dt), 1) << "the time's failure";

    vPeriod p{};
    EXPECT_EQ(VLIB_parseAsPeriod("19980127T120000Z/P1DT2H", &p), 0);
    EXPECT_EQ(p.endIsDateTime, 0);
    EXPECT_EQ(p.duration.days, 1);
    EXPECT_EQ(p.duration.hours, 2);
    EXPECT_EQ(p.start.time.hour, 12);
    EXPECT_EQ(VLIB_parseAsPeriod("19980127T120000Z/19980128T080000Z", &p), 0);
    EXPECT_EQ(p.endIsDateTime, 1);
    EXPECT_EQ(p.end.date.day, 28);
    EXPECT_EQ(p.end.time.hour, 8);
    EXPECT_EQ(VLIB_parseAsPeriod("19980127T120000Z/p2w", &p), 0);
    EXPECT_EQ(p.duration.weeks, 2);
    EXPECT_EQ(VLIB_parseAsPeriod("19980127T120000Z", &p), 1) << "no slash";
    EXPECT_EQ(VLIB_parseAsPeriod("1998T120000Z/P1D", &p), 1) << "the start's failure";
}

TEST(TypedValues, Durations) {
    struct Case {
        const char *text;
        int32_t result;
        vDuration d; // seconds, minutes, hours, weeks, days, months, years
    } cases[] = {
        {"P1Y2M3DT4H5M6S", 0, {6, 5, 4, 0, 3, 2, 1}},
        {"P2W", 0, {0, 0, 0, 2, 0, 0, 0}},
        {"PT15M", 0, {0, 15, 0, 0, 0, 0, 0}},
        {"1D", 1, {0, 0, 0, 0, 1, 0, 0}},
        {"P1X2D", 1, {0, 0, 0, 0, 12, 0, 0}}, // the X is skipped, the number goes on
        {"P99999999999D", 0, {0, 0, 0, 0, INT32_MAX, 0, 0}},
        {"p1d", 0, {0, 0, 0, 0, 1, 0, 0}},
        {"", 1, {}},
    };
    for (const Case &c : cases) {
        vDuration d{1, 1, 1, 1, 1, 1, 1};
        EXPECT_EQ(VLIB_parseAsDuration(c.text, &d), c.result) << c.text;
        EXPECT_EQ(std::memcmp(&d, &c.d, sizeof d), 0) << c.text;
    }
}

TEST(TypedValues, Numbers) {
    struct FloatCase {
        const char *text;
        int32_t result;
        double value;
    } floats[] = {
        {"3.25", 0, 3.25}, {" -1.5", 0, -1.5}, {"+2", 0, 2.0},   {"7.5x", 0, 7.5},
        {"", 0, 0.0},      {"1x.5", 1, 0.0},   {"-.5", 0, -0.5}, {"abc", 1, 0.0},
    };
    for (const FloatCase &c : floats) {
        double v = 99.0;
        EXPECT_EQ(VLIB_parseAsFloat(c.text, &v), c.result) << c.text;
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
    struct IntCase {
        const char *text;
        int32_t result;
        int32_t value;
    } integers[] = {
        {"42", 0, 42},
        {" -17", 0, -17},
        {"12 34", 0, 12},
        {"+-5", 0, 0},
        {"12a", 1, 0},
        {"", 0, 0},
        {"99999999999", 0, INT32_MAX},
    };
    for (const IntCase &c : integers) {
        int32_t v = 99;
        EXPECT_EQ(VLIB_parseAsInteger(c.text, &v), c.result) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    struct BoolCase {
        const char *text;
        int32_t result;
        int32_t value;
    } booleans[] = {
        {"TRUE", 0, 1}, {"yes", 0, 1},   {"False", 0, 0},
        {"NO", 0, 0},   {"maybe", 1, 0}, {" TRUE", 1, 0},
    };
    for (const BoolCase &c : booleans) {
        int32_t v = 99;
        EXPECT_EQ(VLIB_parseAsBoolean(c.text, &v), c.result) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST(TypedValues, OffsetsAddressesAndUrls) {
    struct OffsetCase {
        const char *text;
        int32_t result;
        int32_t hours, minutes;
    } offsets[] = {
        {"-0500", 0, -5, 0}, {"+05 30", 0, 5, 30}, {"00130", 0, 1, 30},
        {"-05:00", 1, 0, 0}, {"+2400", 1, 0, 0},   {"+050", 1, 0, 0},
    };
    for (const OffsetCase &c : offsets) {
        vUtcOffset o{9, 9};
        EXPECT_EQ(VLIB_parseAsUtcOffset(c.text, &o), c.result) << c.text;
        EXPECT_EQ(o.hours, c.hours) << c.text;
        EXPECT_EQ(o.minutes, c.minutes) << c.text;
    }
    struct AddressCase {
        const char *text;
        const char *address;
        const char *name;
    } addresses[] = {
        {"John Doe <jdoe@example.com>", "jdoe@example.com", "John Doe"},
        {"  MAILTO:jdoe@example.com", "jdoe@example.com", ""},
        {"mailto:Jane <  j@x.org  >", "j@x.org", "Jane"},
        {"<j@x.org", "j@x.org", ""},
        {"just text ", "just text ", ""},
    };
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
         "http://x/"},
    };
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

// Every type once: the record is handed back whatever the result.
TEST(TypedValues, ParseValueAllocatesTheRecord) {
    struct Case {
        int32_t datatype;
        const char *text;
        int32_t result;
    } cases[] = {
        {VLIB_TYPE_DATE, "19980127", 0},
        {VLIB_TYPE_DATE_TIME, "19980127T120000Z", 0},
        {VLIB_TYPE_DURATION, "P1D", 0},
        {VLIB_TYPE_FLOAT, "1.5", 0},
        {VLIB_TYPE_PERIOD, "x", 1},
        {VLIB_TYPE_TEXT, "text", VLIB_ERR_NOT_SUPPORTED},
        {VLIB_TYPE_TIME, "120000", 0},
        {VLIB_TYPE_URL, "u", 0},
        {VLIB_TYPE_UTC_OFFSET, "+0100", 0},
        {VLIB_TYPE_BOOLEAN, "no", 0},
        {VLIB_TYPE_CAL_ADDRESS, "a <b@c>", 0},
        {VLIB_TYPE_PERIOD, "19980127T120000Z/P1D", 0},
    };
    for (const Case &c : cases) {
        void *record = nullptr;
        EXPECT_EQ(VLIB_parseValue(c.datatype, c.text, &record), c.result) << c.text;
        EXPECT_NE(record, nullptr) << c.text;
        std::free(record);
    }
    void *record = reinterpret_cast<void *>(1);
    EXPECT_EQ(VLIB_parseValue(0x100, "x", &record), VLIB_ERR_BAD_DATATYPE);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(VLIB_parseValue(0x10F, "x", &record), VLIB_ERR_BAD_DATATYPE);
    EXPECT_EQ(VLIB_parseValue(VLIB_TYPE_DATE, nullptr, &record), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_parseValue(VLIB_TYPE_DATE, "x", nullptr), VLIB_ERR_NULL_ARGUMENT);
    int32_t *i = nullptr;
    EXPECT_EQ(VLIB_parseValue(VLIB_TYPE_INTEGER, "77", reinterpret_cast<void **>(&i)), 0);
    EXPECT_EQ(*i, 77);
    std::free(i);
}

} // namespace
