// Reading vCalendar streams one byte per callback call, as a client does.
// The generated workloads give the throughput (5,000 events and 1,000
// to-dos, in blocks of 200 or in one calendar); the grown inputs show that
// the time per byte stays flat for one ever longer line, ever more
// messages and ever more events in one calendar.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "support/memory_source.h"
#include "versit_vcal.h"
#include "workload.h"

namespace {

// One whole reading; returns its result.
int32_t readOnce(const std::string &text) {
    int32_t rc = 0;
    ParseTreeHandle *tree = readTree(text.data(), text.size(), &rc);
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return rc;
}

void readText(benchmark::State &state, const std::string &text) {
    for (auto _ : state)
        benchmark::DoNotOptimize(readOnce(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.SetComplexityN(static_cast<int64_t>(text.size()));
}

void BM_VcalReadWorkload(benchmark::State &state, const char *name) {
    const std::string text = loadWorkload(state, name);
    if (!text.empty()) readText(state, text);
}
BENCHMARK_CAPTURE(BM_VcalReadWorkload, blocks, "vcal-5k.vcs")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VcalReadWorkload, one_block, "vcal-5k-1block.vcs")
    ->Unit(benchmark::kMillisecond);

const char kHead[] = "BEGIN:VCALENDAR\r\nVERSION:1.0\r\n";
const char kEvent[] = "BEGIN:VEVENT\r\nDTSTART:19980101T100000Z\r\nDTEND:19980101T110000Z\r\n"
                      "SUMMARY:meeting\r\nEND:VEVENT\r\n";

// One DESCRIPTION of range(0) bytes, half of it behind quoted-printable soft
// breaks, half folded.
void BM_VcalLongLine(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    std::string text = std::string(kHead) +
                       "BEGIN:VEVENT\r\nDTSTART:19980101T100000Z\r\nDTEND:19980101T110000Z\r\n"
                       "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:";
    while (text.size() < n / 2)
        text += "some text=\r\n";
    while (text.size() < n)
        text += "folded text\r\n ";
    text += "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    readText(state, text);
}
BENCHMARK(BM_VcalLongLine)
    ->RangeMultiplier(4)
    ->Range(1 << 14, 1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// range(0) unknown lines, each a warning, and as many refused values, each
// an error.
void BM_VcalManyMessages(benchmark::State &state) {
    std::string text = kHead;
    for (int64_t i = 0; i < state.range(0) / 2; ++i)
        text += "BEGIN:VTODO\r\nUNKNOWN\r\nDUE:x\r\nEND:VTODO\r\n";
    text += "END:VCALENDAR\r\n";
    readText(state, text);
}
BENCHMARK(BM_VcalManyMessages)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// range(0) events in one calendar.
void BM_VcalManyEvents(benchmark::State &state) {
    std::string text = kHead;
    for (int64_t i = 0; i < state.range(0); ++i)
        text += kEvent;
    text += "END:VCALENDAR\r\n";
    readText(state, text);
}
BENCHMARK(BM_VcalManyEvents)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
