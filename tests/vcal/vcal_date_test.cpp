// Date and time texts into CalapiTime minutes, against a day count of the
// test's own.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "versit_vcal.h"

namespace {

// Minutes from 1 January 1991 to midnight of the date, counted day by day.
uint32_t midnight(int year, int month, int day) {
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint32_t days = 0;
    for (int y = 1991; y < year; ++y)
        days += y % 4 == 0 ? 366 : 365;
    for (int m = 1; m < month; ++m)
        days += static_cast<uint32_t>(lengths[m - 1] + (m == 2 && year % 4 == 0 ? 1 : 0));
    return (days + static_cast<uint32_t>(day) - 1) * 1440;
}

} // namespace

TEST(VcalDates, DateTimeToMinutes) {
    const int32_t east = 60;
    const int32_t west = -300;
    const struct {
        const char *text;
        const int32_t *zone;
        int32_t rc;
        uint32_t minutes;
        const char *log;
    } cases[] = {
        {"19980612T140000Z", &west, 0, midnight(1998, 6, 12) + 14 * 60, nullptr},
        {"19980612T140000", nullptr, 0, midnight(1998, 6, 12) + 14 * 60, nullptr},
        {"19980612T090000", &west, 0, midnight(1998, 6, 12) + 14 * 60, nullptr},
        // The "z" does not follow the sixth time digit: local time.
        {"DTSTART:19980612t0915009z", &east, 0, midnight(1998, 6, 12) + 8 * 60 + 15, nullptr},
        {"19910101T000000", nullptr, 0, 0, nullptr},
        {"19910101T003000", &east, 0, 0u - 30u, nullptr}, // before the epoch: it wraps
        {"20361231T235900", nullptr, 0, midnight(2036, 12, 31) + 23 * 60 + 59, nullptr},
        {"20000229T120000", nullptr, 0, midnight(2000, 2, 29) + 12 * 60, nullptr},
        {nullptr, nullptr, VCAL_ERR_NULL_ARGUMENT, 0, "(null pointer)"},
        {"no digits", nullptr, VCAL_ERR_BAD_DATE_TIME, 0, "(date 3)"},
        {"1998061T140000", nullptr, VCAL_ERR_BAD_DATE_TIME, 0, "(date 3)"},
        {"19980612 140000", nullptr, VCAL_ERR_BAD_DATE_TIME, 0, "(date 2)"},
        {"199806120T140000", nullptr, VCAL_ERR_BAD_DATE_TIME, 0, "(date 2)"},
        {"19980612T2400", nullptr, VCAL_ERR_BAD_DATE_TIME, 0, "(date 1)"},
        {"19901231T235900", nullptr, VCAL_ERR_BAD_YEAR, 0, "(year)"},
        {"20370101T000000", nullptr, VCAL_ERR_BAD_YEAR, 0, "(year)"},
        {"19980612T246000", nullptr, VCAL_ERR_BAD_HOUR, 0, "(hour)"},
        {"19980612T236000", nullptr, VCAL_ERR_BAD_MINUTE, 0, "(minute)"},
        {"19980230T120000", nullptr, VCAL_ERR_BAD_DAY, 0, "(day)"},
        {"19980600T120000", nullptr, VCAL_ERR_BAD_DAY, 0, "(day)"},
        {"19981301T120000", nullptr, VCAL_ERR_BAD_MONTH, 0, "(month)"},
        {"19980001T120000", nullptr, VCAL_ERR_BAD_MONTH, 0, "(month)"}};
    for (const auto &c : cases) {
        LogCapture log;
        uint32_t minutes = 12345;
        EXPECT_EQ(vCal_ConvertDateStrToMinute(c.text, &minutes, 0, c.zone), c.rc)
            << (c.text != nullptr ? c.text : "null");
        EXPECT_EQ(minutes, c.rc == 0 ? c.minutes : 12345u) << (c.text != nullptr ? c.text : "");
        if (c.log == nullptr) {
            EXPECT_TRUE(log.records().empty());
        } else {
            ASSERT_EQ(log.records().size(), 1u);
            EXPECT_EQ(log.records()[0].message,
                      std::string("vCal_ConvertDateStrToMinute ") + c.log);
            EXPECT_EQ(log.records()[0].code, c.rc);
            EXPECT_EQ(log.records()[0].level, 2u);
        }
    }
}

TEST(VcalDates, ClientDatesAndTimes) {
    const struct {
        const char *text;
        char separator;
        uint8_t valid;
        uint32_t minutes;
    } dates[] = {{"6/12/98", '/', 1, midnight(1998, 6, 12)},
                 {"06/12/1998", '/', 1, midnight(1998, 6, 12)},
                 {"006-001-00", '-', 1, midnight(2000, 6, 1)},
                 {"12/31/90", '/', 0, 0}, // 2090
                 {"1/1/91", '/', 1, 0},
                 {"6/12/0", '/', 0, 0},
                 {"6/12/198", '/', 0, 0},
                 {"13/1/1998", '/', 0, 0},
                 {"0/1/1998", '/', 0, 0},
                 {"1/32/1998", '/', 0, 0},
                 {"1/1/2037", '/', 0, 0},
                 {"1-1-1998", '/', 0, 0},
                 {"1234/1/1998", '/', 0, 0}};
    for (const auto &d : dates) {
        uint32_t minutes = 777;
        uint8_t valid = 9;
        ASSERT_EQ(
            vCal_DateStrToCalapiTime(d.text, &minutes, static_cast<uint8_t>(d.separator), &valid),
            0)
            << d.text;
        EXPECT_EQ(valid, d.valid) << d.text;
        EXPECT_EQ(minutes, d.valid != 0 ? d.minutes : 777u) << d.text;
    }
    // A day the month does not have passes the text checks and is refused
    // by the date library, with its own code.
    LogCapture log;
    uint32_t minutes = 777;
    uint8_t valid = 9;
    EXPECT_EQ(vCal_DateStrToCalapiTime("4/31/1998", &minutes, '/', &valid), KL_DATE_E_DAY_IN_MONTH);
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(minutes, 777u);
    EXPECT_EQ(log.errors(), std::vector<std::string>{"vCal_DateStrToCalapiTime: KL_DateSet"});

    const struct {
        const char *text;
        uint8_t valid;
        uint32_t minutes;
    } times[] = {{"9:05", 1, 545}, {"009:059", 1, 599}, {"0:00", 1, 0}, {"23:59", 1, 1439},
                 {"9:5", 0, 0},    {"24:00", 0, 0},     {"9:60", 0, 0}, {"905", 0, 0},
                 {":05", 0, 0},    {"1234:05", 0, 0}};
    for (const auto &t : times) {
        uint32_t got = 777;
        uint8_t ok = 9;
        EXPECT_EQ(vCal_TimeStrToCalapiTime(t.text, &got, &ok), 0) << t.text;
        EXPECT_EQ(ok, t.valid) << t.text;
        EXPECT_EQ(got, t.valid != 0 ? t.minutes : 777u) << t.text;
    }
}

TEST(VcalDates, OriginalDateString) {
    std::string dtstartNoColon = "DTSTART 19980101T000000\r";
    std::string dtstart = "DTSTART: \t19980612T140000Z;more\r";
    std::string second = "DTSTART:20000101T000000\r";
    std::string due = "DUE:19990101T000000\r";
    PropertyNode n4{VCAL_PROP_DUE, due.data(), nullptr};
    PropertyNode n3{VCAL_PROP_DTSTART, second.data(), &n4};
    PropertyNode n2{VCAL_PROP_DTSTART, dtstart.data(), &n3};
    PropertyNode n1{VCAL_PROP_DTSTART, dtstartNoColon.data(), &n2};
    VEventNode event{};
    event.properties = &n1;

    char out[32] = "untouched";
    uint8_t found = 9;
    EXPECT_EQ(vCal_GetOriginalDateString(&event, VCAL_ITEM_EVENT, VCAL_PROP_DTSTART, out,
                                         sizeof out, &found),
              0);
    EXPECT_STREQ(out, "19980612T140000Z");
    EXPECT_EQ(found, 1);
    EXPECT_EQ(vCal_GetOriginalDateString(&event, VCAL_ITEM_TODO, VCAL_PROP_DUE, out, 16, nullptr),
              0);
    EXPECT_STREQ(out, "19990101T000000");
    std::strcpy(out, "untouched");
    EXPECT_EQ(vCal_GetOriginalDateString(&event, VCAL_ITEM_EVENT, VCAL_PROP_COMPLETED, out,
                                         sizeof out, &found),
              0);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(found, 0);
    // A 16-byte buffer holds 15 characters and the NUL.
    EXPECT_EQ(
        vCal_GetOriginalDateString(&event, VCAL_ITEM_EVENT, VCAL_PROP_DTSTART, out, 16, nullptr),
        0);
    EXPECT_STREQ(out, "19980612T140000");

    const struct {
        const void *entity;
        uint32_t type;
        uint32_t property;
        char *buffer;
        uint32_t size;
        int32_t rc;
        const char *log;
    } faults[] = {
        {nullptr, 2, VCAL_PROP_DTSTART, out, 32, VCAL_ERR_NULL_ARGUMENT, "EventOrTodoPtr"},
        {&event, 2, VCAL_PROP_DTSTART, nullptr, 32, VCAL_ERR_NULL_BUFFER, "DateStr"},
        {&event, 2, VCAL_PROP_DTSTART, out, 15, VCAL_ERR_BUFFER_TOO_SMALL, "SizeOfDateStr"},
        {&event, 2, VCAL_PROP_DTSTART, out, 0x10000, VCAL_ERR_BUFFER_TOO_SMALL, "SizeOfDateStr"},
        {&event, 1, VCAL_PROP_DTSTART, out, 32, VCAL_ERR_BAD_ITEM_TYPE, "Not a event or todo"},
        {&event, 3, VCAL_PROP_SUMMARY, out, 32, VCAL_ERR_NOT_DATE_PROPERTY, "token"}};
    for (const auto &f : faults) {
        LogCapture log;
        found = 9;
        EXPECT_EQ(
            vCal_GetOriginalDateString(f.entity, f.type, f.property, f.buffer, f.size, &found),
            f.rc);
        EXPECT_EQ(found, 9);
        EXPECT_EQ(log.errors(),
                  std::vector<std::string>{std::string("vCal_GetOriginalDateString: ") + f.log});
    }
}
