// Recurrence expansion against a reference computation over generated
// rules, the rule texts' odd corners, the occurrence time list, messages
// and allocation failures.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recur/vcalrcur.h"
#include "support/alloc_hook.h"
#include "support/log_capture.h"

namespace {

// ---------------------------------------------------------------------------
// The reference: civil dates as serial day numbers (days from 1970-01-01,
// by the closed formula, not by month tables), and each rule kind as its
// plain description.

struct Ymd {
    int y, m, d; // m 1..12
    bool operator==(const Ymd &o) const { return y == o.y && m == o.m && d == o.d; }
    bool operator<(const Ymd &o) const { return y != o.y ? y < o.y : m != o.m ? m < o.m : d < o.d; }
    bool operator>(const Ymd &o) const { return o < *this; }
};

long serial(Ymd t) {
    const long y = t.m <= 2 ? t.y - 1 : t.y;
    const long era = y / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (t.m + (t.m > 2 ? -3 : 9)) + 2) / 5 + t.d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

Ymd fromSerial(long z) {
    z += 719468;
    const long era = z / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0)), m, d};
}

Ymd plusDays(Ymd t, long n) { return fromSerial(serial(t) + n); }
int weekday(Ymd t) { return static_cast<int>(((serial(t) % 7) + 11) % 7); } // 1970-01-01: Thursday
int monthLength(int y, int m) {
    return static_cast<int>(serial(m == 12 ? Ymd{y + 1, 1, 1} : Ymd{y, m + 1, 1}) -
                            serial({y, m, 1}));
}
Ymd firstOfMonthsLater(Ymd t, long months) {
    const long index = t.y * 12L + (t.m - 1) + months;
    return {static_cast<int>(index / 12), static_cast<int>(index % 12) + 1, 1};
}

enum Kind { Daily, Weekly, MonthlyByDay, MonthlyByPos, YearlyByDay, YearlyByMonth };
constexpr const char *kKindLetters[] = {"D", "W", "MD", "MP", "YD", "YM"};
constexpr int kMaxima[] = {60, 52, 24, 24, 10, 10};
constexpr const char *kCodes[] = {"SU", "MO", "tu", "We", "TH", "fr", "SA"};

struct Group {
    std::vector<std::pair<int, char>> ordinals; // 1..5 with '+' or '-'
    std::vector<int> weekdays;
};

struct Rule {
    Kind kind = Daily;
    int interval = 1;
    std::string count; // digits after "#", or none
    bool hasEnd = false;
    Ymd end{};
    std::vector<int> numbers; // weekdays, days, day numbers or months
    std::vector<int> fromEnd; // MD: n-
    bool lastDay = false;     // MD: LD
    std::vector<Group> groups;
    bool plusDays = false; // MD: days written "n+"
};

std::string text(const Rule &r) {
    std::string s = std::string(kKindLetters[r.kind]) + std::to_string(r.interval);
    for (int n : r.numbers)
        s += " " + (r.kind == Weekly ? std::string(kCodes[n])
                                     : std::to_string(n) + (r.plusDays ? "+" : ""));
    for (int n : r.fromEnd)
        s += " " + std::to_string(n) + "-";
    if (r.lastDay) s += " LD";
    for (const Group &g : r.groups) {
        for (auto [n, sign] : g.ordinals)
            s += " " + std::to_string(n) + sign;
        for (int w : g.weekdays)
            s += std::string(" ") + kCodes[w];
    }
    if (!r.count.empty()) s += " #" + r.count;
    if (r.hasEnd) {
        char end[20];
        std::snprintf(end, sizeof end, " %04d%02d%02dT235900Z", r.end.y, r.end.m, r.end.d);
        s += end;
    }
    return s;
}

// The dates of `r` from `start`, in the order the list holds them.
std::vector<Ymd> reference(const Rule &r, Ymd start) {
    const int maximum = kMaxima[r.kind];
    const bool present = r.hasEnd && !(r.end < start);
    int count = present ? maximum : 2;
    if (!r.count.empty()) {
        const int v = r.count.size() <= 2 ? std::stoi(r.count) : 0;
        count = v == 0 || v > maximum ? maximum : v;
    }
    const Ymd end =
        present && r.end.y <= start.y + 10 ? r.end : Ymd{std::min(start.y + 10, 2036), start.m, 1};
    std::vector<Ymd> out;
    const int step = r.interval;
    if (r.kind == Daily || r.kind == Weekly) {
        int limit = count;
        if (r.kind == Weekly && r.numbers.size() > 1)
            limit = std::min<int>(count * static_cast<int>(r.numbers.size()), 52);
        for (Ymd running = start;;) {
            const size_t before = out.size();
            if (r.kind == Daily) out.push_back(running);
            for (int j = 0; r.kind == Weekly && j < 7; ++j) {
                const Ymd day = plusDays(running, j);
                if (day > end) break;
                if (std::count(r.numbers.begin(), r.numbers.end(), weekday(day)) > 0)
                    out.push_back(day);
            }
            if (step == 0 && out.size() == before) break;
            running = plusDays(running, (r.kind == Weekly ? 7L : 1L) * step);
            if (running > end || static_cast<int>(out.size()) >= limit) break;
        }
        return out;
    }
    std::vector<Ymd> produced;
    auto offer = [&](Ymd t, bool &afterEnd) {
        if (t > end) afterEnd = true;
        if (!(t < start) && !(t > end)) produced.push_back(t);
    };
    if (r.kind == MonthlyByDay || r.kind == MonthlyByPos) {
        std::vector<Ymd> months;
        for (Ymd running{start.y, start.m, 1};;) {
            const bool got = !(running > end);
            if (got) months.push_back(running);
            if (step == 0 && !got) break;
            running = firstOfMonthsLater(running, step);
            if (running > end || static_cast<int>(months.size()) >= count) break;
        }
        std::vector<Group> groups = r.groups;
        if (r.kind == MonthlyByPos && groups.empty())
            groups.push_back({{{(start.d - 1) / 7 + 1, '+'}}, {weekday(start)}});
        std::vector<int> days = r.numbers;
        if (r.kind == MonthlyByDay && days.empty() && r.fromEnd.empty() && !r.lastDay)
            days.push_back(start.d);
        auto has = [](const std::vector<int> &v, int n) {
            return std::find(v.begin(), v.end(), n) != v.end();
        };
        bool unused = false;
        for (const Ymd &m : months) {
            const int length = monthLength(m.y, m.m);
            if (r.kind == MonthlyByDay) {
                for (int i = 0; i < 31; ++i) {
                    if (has(days, i + 1) && i + 1 <= length) offer({m.y, m.m, i + 1}, unused);
                    if (has(r.fromEnd, i + 1) && i < length) offer({m.y, m.m, length - i}, unused);
                }
                if (r.lastDay) offer({m.y, m.m, length}, unused);
                continue;
            }
            for (int i = 0; i < 35; ++i) {
                const int n = i / 7 + 1;
                std::vector<int> these; // the days of the month on weekday i % 7
                for (int d = 1; d <= length; ++d) {
                    if (weekday({m.y, m.m, d}) == i % 7) these.push_back(d);
                }
                for (char sign : {'+', '-'}) {
                    bool marked = false;
                    for (const Group &g : groups) {
                        marked = marked || (has(g.weekdays, i % 7) &&
                                            std::count(g.ordinals.begin(), g.ordinals.end(),
                                                       std::make_pair(n, sign)) > 0);
                    }
                    if (!marked || n > static_cast<int>(these.size())) continue;
                    offer({m.y, m.m, sign == '+' ? these[n - 1] : these[these.size() - n]}, unused);
                }
            }
        }
    } else {
        std::vector<int> marks = r.numbers;
        if (marks.empty())
            marks.push_back(r.kind == YearlyByMonth
                                ? start.m
                                : static_cast<int>(serial(start) - serial({start.y, 1, 1})) + 1);
        std::sort(marks.begin(), marks.end());
        marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
        bool afterEnd = false;
        for (int n = 0; n < count && !afterEnd; ++n) {
            const int y = start.y + n * step;
            for (int mark : marks) {
                if (r.kind == YearlyByDay)
                    offer(plusDays({y, 1, 1}, mark - 1), afterEnd);
                else if (start.d <= monthLength(y, mark))
                    offer({y, mark, start.d}, afterEnd);
            }
        }
    }
    std::reverse(produced.begin(), produced.end());
    return produced;
}

// ---------------------------------------------------------------------------
// Running the library.

std::string show(const std::vector<Ymd> &v) {
    std::string s;
    for (const Ymd &t : v) {
        char one[16];
        std::snprintf(one, sizeof one, "%s%04d%02d%02d", s.empty() ? "" : " ", t.y, t.m, t.d);
        s += one;
    }
    return s;
}

struct Expansion {
    int32_t rc = -1;
    uint8_t valid = 9;
    bool listed = false;
    std::string dates;
};

Expansion expand(const std::string &rule, const std::string &start) {
    Expansion e;
    KL_HLIST list = reinterpret_cast<KL_HLIST>(&e); // must be overwritten
    e.rc = recur::vCal_GenerateDateFromRrule(&list, ("RRULE:" + rule + "\r\r").c_str(),
                                             ("DTSTART:" + start + "\r").c_str(), &e.valid);
    e.listed = list != nullptr;
    if (list != nullptr) {
        std::vector<Ymd> dates;
        KL_DATE d{};
        for (int32_t rc = KL_ListGetFirst(list, nullptr, &d); rc == 0;
             rc = KL_ListGetNext(list, nullptr, &d))
            dates.push_back({d.year, d.month + 1, d.day});
        e.dates = show(dates);
        KL_ListDestroy(&list);
    }
    return e;
}

std::string dateText(Ymd t) {
    char s[20];
    std::snprintf(s, sizeof s, "%04d%02d%02dT093000", t.y, t.m, t.d);
    return s;
}

} // namespace

TEST(Recurrence, AgreesWithTheReference) {
    std::mt19937 rng(20240603);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto chance = [&](int percent) { return pick(1, 100) <= percent; };
    const int intervals[] = {0, 1, 1, 1, 2, 3, 5, 12, 9999};
    int compared = 0;
    int nonEmpty = 0;
    for (int kind = Daily; kind <= YearlyByMonth; ++kind) {
        for (int n = 0; n < 400; ++n) {
            Rule r;
            r.kind = static_cast<Kind>(kind);
            r.interval = intervals[pick(0, 8)];
            // Month ends, leap days and the years next to 2036 come often.
            Ymd start{pick(1991, 2036), pick(1, 12), 1};
            const int length = monthLength(start.y, start.m);
            start.d = chance(40) ? length - pick(0, 2) : pick(1, length);
            if (chance(10)) start = {pick(2030, 2036), pick(1, 12), pick(2, 28)};
            if (chance(5)) start = {4 * pick(498, 509), 2, 29};
            const int c = pick(0, 5);
            r.count = c == 0   ? ""
                      : c == 1 ? "0"
                      : c == 2 ? std::to_string(pick(100, 999))
                               : std::to_string(pick(1, 99));
            if (chance(50)) {
                r.hasEnd = true;
                r.end = plusDays(start, pick(-40, chance(20) ? 6000 : 900));
            }
            const int modifiers = pick(kind == Weekly ? 1 : 0, 3);
            for (int i = 0; i < modifiers; ++i) {
                switch (r.kind) {
                case Weekly:
                    r.numbers.push_back(pick(0, 6));
                    break;
                case MonthlyByDay:
                    (chance(70) ? r.numbers : r.fromEnd).push_back(pick(1, 31));
                    r.lastDay = r.lastDay || chance(10);
                    break;
                case MonthlyByPos: {
                    Group g;
                    for (int k = pick(1, 2); k > 0; --k)
                        g.ordinals.push_back({pick(1, 5), chance(50) ? '+' : '-'});
                    for (int k = pick(1, 2); k > 0; --k)
                        g.weekdays.push_back(pick(0, 6));
                    r.groups.push_back(g);
                    break;
                }
                case YearlyByDay:
                    r.numbers.push_back(chance(10) ? 366 : pick(1, 365));
                    break;
                case YearlyByMonth:
                    r.numbers.push_back(pick(1, 12));
                    break;
                default:
                    break;
                }
            }
            r.plusDays = r.kind == MonthlyByDay && chance(20);
            const std::string rule = text(r);
            const Expansion e = expand(rule, dateText(start));
            const std::string expected = show(reference(r, start));
            ASSERT_EQ(e.rc, 0) << rule << " from " << dateText(start);
            ASSERT_EQ(e.valid, 1) << rule;
            ASSERT_TRUE(e.listed) << rule;
            ASSERT_EQ(e.dates, expected) << rule << " from " << dateText(start);
            ++compared;
            nonEmpty += expected.empty() ? 0 : 1;
        }
    }
    EXPECT_GT(nonEmpty, compared * 3 / 4);
}

// Rule texts the generator does not write, and examples worth keeping in
// sight. Dates are listed as the list holds them.
TEST(Recurrence, RuleTexts) {
    const struct {
        const char *rule, *start;
        uint8_t valid;
        const char *dates;
    } cases[] = {
        {"MD1 1 1- #2", "19990115T090000", 1, "19990228 19990201 19990131"},
        {"MP1 1+ 1- MO #1", "19990101", 1, "19990125 19990104"},
        {"YM1 2 #3", "19990131", 1, ""},
        // An end date more than ten years on gives way to the first of the
        // start's month ten years on; never after 2036.
        {"YM1 6 20200101T000000", "19990615", 1,
         "20080615 20070615 20060615 20050615 20040615 20030615 20020615 20010615 20000615 "
         "19990615"},
        {"YM1 6 #10", "20300615", 1, "20350615 20340615 20330615 20320615 20310615 20300615"},
        // An end date behind the ordinals still counts.
        {"MP2 2+ WE 19990401T000000", "19990113", 1, "19990310 19990113"},
        {"X1", "19990101", 0, nullptr},
        {"D12345 #2", "19990101", 0, nullptr},
        {"W1 MON", "19990104", 0, nullptr},
        {"D1", "1999011", 0, nullptr},
        // A single letter among weekday codes is passed over.
        {"W1 X TU #1", "19990104", 1, "19990105"},
        // "#" with three digits means the maximum; without digits, no count.
        {"YM1 #100", "20300101", 1,
         "20360101 20350101 20340101 20330101 20320101 20310101 20300101"},
        {"D1 # 5", "19990101", 1, "19990101 19990102"},
        // A sign without a digit before it ends the positions; the start's own
        // position (first Friday) is marked besides.
        {"MP1 1+ MO +2 TU #1", "19990101", 1, "19990101 19990104"},
        // Any other character cancels what a number list found: the start's
        // month is added to those marked.
        {"YM1 3 5, #1", "19990115", 1, "19990515 19990315 19990115"},
        // A day followed by a letter or digit is no day.
        {"MD1 3x 40 #1", "19990101", 1, "19990101"},
        // The rule kind letters in any case, a blank before them.
        {" mp1 2- fr #1", "19990101", 1, "19990122"}};
    for (const auto &c : cases) {
        LogCapture log;
        const Expansion e = expand(c.rule, c.start);
        EXPECT_EQ(e.rc, 0) << c.rule;
        EXPECT_EQ(e.valid, c.valid) << c.rule;
        EXPECT_EQ(e.listed, c.dates != nullptr) << c.rule;
        if (c.dates != nullptr) {
            EXPECT_EQ(e.dates, c.dates) << c.rule;
        }
        EXPECT_TRUE(log.errors().empty()) << c.rule;
    }
}

// Every allocation of a representative rule of each kind, and of the time
// list, may fail: the list library's code comes back, nothing leaks.
TEST(Recurrence, AllocationFailures) {
    const char *rules[] = {"RRULE:D1 #4",           "RRULE:W1 MO FR #3",  "RRULE:MD1 1 2- LD #3",
                           "RRULE:MP1 1+ 1- TU #3", "RRULE:YD1 1 200 #3", "RRULE:YM1 2 3 #2"};
    for (const char *rule : rules) {
        const int points = alloc_hook::sweep([&] {
            LogCapture log;
            KL_HLIST list = nullptr;
            uint8_t valid = 0;
            const int32_t rc =
                recur::vCal_GenerateDateFromRrule(&list, rule, "DTSTART:19990104", &valid);
            if (rc == 0) {
                EXPECT_EQ(valid, 1) << rule;
                PropertyParam item{};
                item.flags.flag[VCAL_SLOT_RRULE] = 1;
                item.flags.flag[VCAL_SLOT_EXRULE] = 1;
                TimePlaceRecurList result{};
                if (recur::GetRecurTimeList(&result, &item, list, list, nullptr, nullptr, 0, 60,
                                            0) == 0)
                    KL_ListDestroy(&result.timeList);
            } else {
                EXPECT_EQ(list, nullptr) << rule;
                EXPECT_EQ(valid, 0) << rule;
                EXPECT_EQ(log.records().back().message.rfind("vCal_GenerateDateFromRrule: ", 0), 0u)
                    << rule;
            }
            if (list != nullptr) KL_ListDestroy(&list);
        });
        EXPECT_GT(points, 3) << rule;
    }
}
