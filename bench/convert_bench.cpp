// Conversion to today's formats and back, in bytes of input per second:
// vCard 2.1 to 3.0, 4.0 and jCard, and vCalendar 1.0 to iCalendar and
// jCal, with the output counted but not kept (as a program streaming it
// to a file would); and the way back from what the first step wrote.
#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

#include "versit_convert.h"
#include "workload.h"

namespace {

int countOutput(void *user, const char *, size_t length) {
    *static_cast<size_t *>(user) += length;
    return 0;
}

int keepOutput(void *user, const char *bytes, size_t length) {
    static_cast<std::string *>(user)->append(bytes, length);
    return 0;
}

void BM_Convert(benchmark::State &state, const char *name, int32_t to) {
    const std::string text = loadWorkload(state, name);
    if (text.empty()) return;
    size_t written = 0;
    VI_ConvertCounts counts{};
    for (auto _ : state) {
        written = 0;
        const int32_t rc = VI_convert(text.data(), text.size(), VI_FORMAT_UNKNOWN, to, countOutput,
                                      &written, nullptr, nullptr, &counts);
        if (rc != 0) {
            state.SkipWithError("conversion failed");
            return;
        }
    }
    state.counters["items"] = static_cast<double>(counts.written);
    state.counters["output_ratio"] =
        static_cast<double>(written) / static_cast<double>(text.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}

// The way back: the input is what converting the workload to `via` gave.
void BM_ConvertBack(benchmark::State &state, const char *name, int32_t via, int32_t to) {
    const std::string original = loadWorkload(state, name);
    if (original.empty()) return;
    std::string text;
    if (VI_convert(original.data(), original.size(), VI_FORMAT_UNKNOWN, via, keepOutput, &text,
                   nullptr, nullptr, nullptr) != 0) {
        state.SkipWithError("first conversion failed");
        return;
    }
    size_t written = 0;
    for (auto _ : state) {
        written = 0;
        if (VI_convert(text.data(), text.size(), VI_FORMAT_UNKNOWN, to, countOutput, &written,
                       nullptr, nullptr, nullptr) != 0) {
            state.SkipWithError("conversion failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}

BENCHMARK_CAPTURE(BM_Convert, vcard21_to_vcard3, "vcards-10k.vcf", VI_FORMAT_VCARD30)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, vcard21_to_vcard4, "vcards-10k.vcf", VI_FORMAT_VCARD40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, vcard21_to_jcard, "vcards-10k.vcf", VI_FORMAT_JCARD)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertBack, vcard4_to_vcard21, "vcards-10k.vcf", VI_FORMAT_VCARD40,
                  VI_FORMAT_VCARD21)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, vcal10_to_ical, "vcal-5k.vcs", VI_FORMAT_ICAL20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, vcal10_to_ical_one_block, "vcal-5k-1block.vcs", VI_FORMAT_ICAL20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, vcal10_to_jcal, "vcal-5k.vcs", VI_FORMAT_JCAL)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertBack, ical_to_vcal10, "vcal-5k.vcs", VI_FORMAT_ICAL20, VI_FORMAT_VCAL10)
    ->Unit(benchmark::kMillisecond);

} // namespace
