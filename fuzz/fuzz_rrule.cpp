// Arbitrary recurrence rule and DTSTART lines through the expansion and the
// occurrence time list. The input is the rule line, a line feed, then the
// DTSTART line. Whatever they hold, nothing may fault or leak: a rule is
// expanded into a bounded list, found not valid (no list), or fails with
// a list or date library code (no list).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "recur/vcalrcur.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\n');
    const std::string rule = input.substr(0, split);
    const std::string start = split == std::string::npos ? "" : input.substr(split + 1);
    KL_HLIST list = reinterpret_cast<KL_HLIST>(&check);
    uint8_t valid = 9;
    const int32_t rc =
        recur::vCal_GenerateDateFromRrule(&list, rule.c_str(), start.c_str(), &valid);
    if (rc != 0) check(rc >= KL_LIST_DUPLICATE && rc <= KL_DATE_E_RANGE);
    check(valid == (rc == 0 && list != nullptr ? 1 : 0));
    if (list == nullptr) return 0;
    // The caps: 60 days, 52 weeks of 7 days, 24 months of 35 positions
    // from either end, 10 years of 366 days (an interval of 0 repeats them),
    // whichever is most.
    uint32_t count = 0;
    check(KL_ListGetElemNum(list, &count) == 0 && count <= 10 * 366);
    // The rule's own dates as exceptions leave nothing.
    PropertyParam item{};
    item.flags.flag[VCAL_SLOT_RRULE] = 1;
    item.flags.flag[VCAL_SLOT_EXRULE] = 1;
    TimePlaceRecurList result{};
    if (recur::GetRecurTimeList(&result, &item, list, list, nullptr, nullptr, 600, 60, 0) == 0) {
        uint32_t left = 1;
        check(KL_ListGetElemNum(result.timeList, &left) == 0 && left == 0);
        KL_ListDestroy(&result.timeList);
    }
    check(KL_ListDestroy(&list) == 0 && list == nullptr);
    return 0;
}
