// The date records as ISO 8601 text and struct tm. The known values were
// worked out with GNU date, not with the code under test.
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "versit_dates.h"

namespace {

constexpr int64_t kBad = -int64_t{VCAL_ERR_BAD_DATE_TIME};
constexpr int64_t kRange = -int64_t{KL_DATE_E_RANGE};

// Minutes, or the result code as a negative number. `time` by reference:
// it is read after the call that fills it, whatever the argument order.
int64_t outcome(int32_t result, const CalapiTime &time) {
    return result == 0 ? time : -int64_t{result};
}
int64_t minutes(const char *text) {
    CalapiTime time = 0;
    return outcome(VI_isoToCalapiTime(text, &time), time);
}
std::string iso(const vDateTime &value) {
    char text[VI_ISO_TEXT_SIZE];
    const int32_t result = VI_dateTimeToIso(&value, text, sizeof text);
    return result == 0 ? std::string(text) : "error " + std::to_string(result);
}

TEST(Dates, TextToCalapiTimeInEveryFormAndZone) {
    // clang-format off
    const struct {
        const char *text;
        int64_t minutes;
    } kCases[] = {
        // Forms; a date alone is its midnight UTC, a local time is UTC; seconds are dropped.
        {"20240603T070000Z", 17578500}, {"2024-06-03T07:00Z", 17578500},
        {"20240603T0700Z", 17578500}, {"2024-06-03T07:00:00", 17578500},
        {"20240603", 17578080}, {"1992-02-28T23:59:60Z", 610559},
        {"2024-06-03T07:00:59.999Z", 17578500}, {"20240603T070059,5Z", 17578500},
        // Offsets, across midnight, a leap day and year ends.
        {"2024-06-03T09:00+02", 17578500}, {"20240603T0900+0200", 17578500},
        {"2024-06-03T01:00+05:30", 17577810}, {"2024-02-29T22:15-03:45", 17442840},
        {"1999-12-31T23:30-01:00", 4733310}, {"2000-01-01T00:30+01:00", 4733250},
        {"2100-02-28T23:00-02:00", 57414300}, {"2024-06-03T07:00-00:00", 17578500},
        // The ends of the range, and just past them.
        {"1991-01-01T00:30+00:30", 0}, {"1990-12-31T23:30-01:00", 30},
        {"1990-12-31T23:59:59Z", kRange}, {"1991-01-01T00:30+01:00", kRange},
        {"-00001-01-01", kRange},
        {"+10157-02-15T04:15:59Z", 4294967295}, {"+101570215T0415Z", 4294967295},
        {"+10157-02-15T05:15+01:00", 4294967295}, {"+10157-02-15T04:16Z", kRange},
        {"+10157-02-15T03:16-01:00", kRange}};
    // clang-format on
    for (const auto &c : kCases)
        EXPECT_EQ(minutes(c.text), c.minutes) << c.text;
}

TEST(Dates, MalformedTextIsRefusedEverywhere) {
    // clang-format off
    const char *const kMalformed[] = {
        "", "2024", "2024-06", "2024-6-3", "24-06-03", "2024-13-01", "2024-00-10", "2023-02-29",
        "2100-02-29", "2024-04-31", "2024-06-00", "10157-02-15", "+1015-02-15", "2024-06-03T",
        "2024-06-03T07", "2024-06-03T7:00", "2024-06-03T24:00", "2024-06-03T23:60",
        "2024-06-03T23:59:61", "2024-06-03T07:00:00.", "2024-06-03T07:00.5", "2024-06-03t07:00",
        "2024-06-03 07:00", "2024-06-03T07:00z", "2024-06-03Z", "2024-06-03T07:00:00Z ",
        " 2024-06-03", "2024-06-03T07:00+2", "2024-06-03T07:00+02:0", "2024-06-03T07:00+24:00",
        "2024-06-03T07:00+02:60", "2024-06-03T07:00+", "2024-06-03T07:00Z+01", "20240603T07:00",
        "2024-06-03T0700", "2024-0603", "202406-03", "2024-W23-1", "2024-155"};
    // clang-format on
    for (const char *text : kMalformed) {
        SCOPED_TRACE(text);
        EXPECT_EQ(minutes(text), kBad);
        vDateTime value;
        std::memset(&value, 0x55, sizeof value);
        EXPECT_EQ(VI_isoToDateTime(text, &value), VCAL_ERR_BAD_DATE_TIME);
        EXPECT_EQ(value.date.year, 0x55555555); // untouched
        ABDate date{};
        EXPECT_EQ(VI_isoToAbDate(text, &date), text[0] == '\0' ? 0 : VCAL_ERR_BAD_DATE_TIME);
    }
}

TEST(Dates, DateTimeRecordsToCalapiTime) {
    const std::string bad = "error " + std::to_string(VCAL_ERR_BAD_DATE_TIME);
    const struct {
        vDateTime value;
        int64_t minutes;
        std::string text;
    } kCases[] = {// local before utc before the offset, as VLIB_generateAsTime decides.
                  {{{2024, 6, 3}, {9, 0, 0, 2, 0, 0, 0}}, 17578500, "2024-06-03T09:00:00+02:00"},
                  {{{2024, 6, 3}, {9, 0, 0, 2, 0, 1, 0}}, 17578620, "2024-06-03T09:00:00Z"},
                  {{{2024, 6, 3}, {7, 0, 0, 99, 9, 1, 1}}, 17578500, "2024-06-03T07:00:00"},
                  {{{1990, 12, 31}, {23, 59, 0, -1, -1, 0, 0}}, 60, "1990-12-31T23:59:00-01:01"},
                  {{{1990, 12, 31}, {23, 59, 60, 0, 0, 1, 0}}, kRange, "1990-12-31T23:59:60Z"},
                  {{{100000, 1, 1}, {0, 0, 0, 0, 0, 1, 0}}, kRange, bad},
                  {{{2024, 2, 30}, {0, 0, 0, 0, 0, 1, 0}}, kBad, bad},
                  {{{2024, 6, 3}, {24, 0, 0, 0, 0, 1, 0}}, kBad, bad},
                  {{{2024, 6, 3}, {7, 0, 0, 2, -30, 0, 0}}, kBad, bad},
                  {{{2024, 6, 3}, {7, 0, 0, 0, 60, 0, 0}}, kBad, bad}};
    for (const auto &c : kCases) {
        CalapiTime time = 7;
        const int32_t result = VI_dateTimeToCalapiTime(&c.value, &time);
        EXPECT_EQ(outcome(result, time), c.minutes) << c.text;
        EXPECT_TRUE(result == 0 || time == 7);
        EXPECT_EQ(iso(c.value), c.text);
    }
}

TEST(Dates, TmFieldsAreNormalisedAsTimegmWould) {
    constexpr int kMin = -0x7fffffff - 1, kMax = 0x7fffffff;
    // clang-format off
    const struct {
        int year, mon, mday, hour, min, sec;
        int64_t minutes;
    } kCases[] = {
        {124, 5, 3, 7, 0, 59, 17578500},     {124, 5, 3, 7, 0, -60, 17578499},
        {124, 5, 3, 7, 0, -61, 17578498},    {124, 5, 3, 31, -1440, 0, 17578500},
        {124, 4, 34, 7, 0, 0, 17578500},     {124, 6, 0, 7, 0, 0, 17617380},
        {125, -7, 3, 7, 0, 0, 17578500},     {123, 17, 3, 7, 0, 0, 17578500},
        {200, 1, 29, 0, 0, 0, 57414240},     {90, 11, 31, 24, 0, 0, 0},
        {91, 0, 1, 0, 0, -1, kRange},        {8257, 1, 15, 4, 15, 59, 4294967295},
        {8257, 1, 15, 4, 16, 0, kRange},     {kMax, kMax, kMax, kMax, kMax, kMax, kRange},
        {kMin, kMin, kMin, kMin, kMin, kMin, kRange}};
    // clang-format on
    for (const auto &c : kCases) {
        struct tm tm {};
        tm.tm_year = c.year, tm.tm_mon = c.mon, tm.tm_mday = c.mday;
        tm.tm_hour = c.hour, tm.tm_min = c.min, tm.tm_sec = c.sec;
        tm.tm_wday = 9, tm.tm_yday = -5, tm.tm_isdst = 1; // not read
        CalapiTime time = 7;
        EXPECT_EQ(outcome(VI_tmToCalapiTime(&tm, &time), time), c.minutes)
            << c.year << " " << c.mon << " " << c.mday << " " << c.hour << " " << c.min;
    }
}

TEST(Dates, BuffersAndNullArguments) {
    // The text and its NUL, exactly; one byte less leaves the buffer alone.
    char text[VI_ISO_TEXT_SIZE] = "unchanged";
    EXPECT_EQ(VI_calapiTimeToIso(0, text, 20), VCAL_ERR_BUFFER_TOO_SMALL);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(VI_calapiTimeToIso(0, text, 21), 0);
    EXPECT_EQ(VI_calapiTimeToIso(4294967295u, text, 22), VCAL_ERR_BUFFER_TOO_SMALL);
    const vDateTime widest{{-99999, 12, 31}, {23, 59, 60, -23, -59, 0, 0}};
    EXPECT_EQ(VI_dateTimeToIso(&widest, text, 27), VCAL_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(VI_dateTimeToIso(&widest, text, 28), 0);
    EXPECT_STREQ(text, "-99999-12-31T23:59:60-23:59");
    const ABDate date{1, 0, 2000};
    EXPECT_EQ(VI_abDateToIso(&date, text, 10), VCAL_ERR_BUFFER_TOO_SMALL);

    CalapiTime time = 0;
    struct tm tm {};
    vDateTime value{};
    ABDate ab{};
    // clang-format off
    const int32_t kNullResults[] = {
        VI_calapiTimeToIso(0, nullptr, 32), VI_isoToCalapiTime(nullptr, &time),
        VI_isoToCalapiTime("1991-01-01", nullptr), VI_calapiTimeToTm(0, nullptr),
        VI_tmToCalapiTime(nullptr, &time), VI_tmToCalapiTime(&tm, nullptr),
        VI_dateTimeToIso(nullptr, text, 32), VI_dateTimeToIso(&value, nullptr, 32),
        VI_isoToDateTime(nullptr, &value), VI_isoToDateTime("1991-01-01", nullptr),
        VI_dateTimeToCalapiTime(nullptr, &time), VI_dateTimeToCalapiTime(&value, nullptr),
        VI_calapiTimeToDateTime(0, nullptr), VI_abDateToIso(nullptr, text, 32),
        VI_abDateToIso(&ab, nullptr, 32), VI_isoToAbDate(nullptr, &ab),
        VI_isoToAbDate("", nullptr)};
    // clang-format on
    for (const int32_t result : kNullResults)
        EXPECT_EQ(result, VLIB_ERR_NULL_ARGUMENT);
}

} // namespace
