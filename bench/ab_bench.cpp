// The address-book exchange over the 10,000-card workload, in a book in
// memory: cards imported into entries, entries exported as vCards, and our
// own export read back in one call; each at several sizes, to show the
// cost grows linearly with the number of cards.
//
// The workload's notes carry QUOTED-PRINTABLE soft breaks whose next line
// has no leading blank; the parser reads such a line as a line of its own
// (VLIB_ERR_NO_COLON), and that ends an import run. So the workload is
// imported card by card, as a client that goes on after a failing card
// does; the counters tell how many cards became entries.
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "calapi32.h"
#include "versit_abx.h"
#include "workload.h"

namespace {

using Span = std::pair<size_t, size_t>; // offset, length

// Where each card of the text starts and ends.
std::vector<Span> splitCards(const std::string &text) {
    std::vector<Span> cards;
    size_t at = text.find("BEGIN:VCARD");
    while (at != std::string::npos) {
        const size_t next = text.find("\nBEGIN:VCARD", at);
        const size_t end = next == std::string::npos ? text.size() : next + 1;
        cards.emplace_back(at, end - at);
        at = next == std::string::npos ? next : next + 1;
    }
    return cards;
}

struct Session {
    CalapiClient *book = nullptr;
    VCardContext *context = nullptr;
    KL_HLIST list = nullptr;
    Session() {
        CalapiOpen(nullptr, 1, 2, &book);
        VCARD_createContext(&context);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    ~Session() {
        if (list != nullptr) KL_ListDestroy(&list);
        VCARD_destroyContext(&context);
        CalapiClose(&book);
    }
    // Imports `length` bytes of `text` in one call; the number of entries.
    uint32_t import(const char *text, size_t length, int32_t *result = nullptr) {
        uint16_t skipped = 0;
        uint32_t budget = 0xFFFFFFFFu;
        const int32_t r = GetNewABRecIDsFromVCardStream(
            book, context, text, nullptr, static_cast<int32_t>(length), &list, &skipped, &budget);
        if (result != nullptr) *result = r;
        uint32_t entries = 0;
        KL_ListGetElemNum(list, &entries);
        return entries;
    }
    // Every entry of the book as vCard text, one after the other.
    std::string exportAll(size_t *bytes = nullptr) {
        std::string all;
        size_t total = 0;
        ABEntryId id = {};
        ABEntryRecord record;
        for (int32_t r = ABEntryGetNext(book, nullptr, &id, &record); r == 0;
             r = ABEntryGetNext(book, &id, &id, &record)) {
            char *text = nullptr;
            int32_t length = 0;
            if (GetVCardStreamFromABRecID(book, context, &record, &text, &length) == 0) {
                total += static_cast<size_t>(length);
                if (bytes == nullptr) all.append(text, static_cast<size_t>(length));
            }
            std::free(text);
        }
        if (bytes != nullptr) *bytes = total;
        return all;
    }
};

const std::string &workload(benchmark::State &state) {
    static const std::string text = loadWorkload(state, "vcards-10k.vcf");
    return text;
}

void BM_ImportCardByCard(benchmark::State &state) {
    const std::string &text = workload(state);
    if (text.empty()) return;
    const std::vector<Span> cards = splitCards(text);
    const auto n = std::min(static_cast<size_t>(state.range(0)), cards.size());
    uint32_t entries = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        Session s;
        entries = 0;
        bytes = 0;
        for (size_t i = 0; i < n; ++i) {
            entries += s.import(text.data() + cards[i].first, cards[i].second);
            bytes += cards[i].second;
        }
    }
    state.SetComplexityN(static_cast<int64_t>(n));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["cards"] = static_cast<double>(n);
    state.counters["entries"] = entries;
}
BENCHMARK(BM_ImportCardByCard)
    ->Arg(1000)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A book filled from the first `n` cards of the workload.
void fill(Session &s, const std::string &text, const std::vector<Span> &cards, size_t n) {
    for (size_t i = 0; i < n && i < cards.size(); ++i)
        s.import(text.data() + cards[i].first, cards[i].second);
}

void BM_ExportEntries(benchmark::State &state) {
    const std::string &text = workload(state);
    if (text.empty()) return;
    const std::vector<Span> cards = splitCards(text);
    Session s;
    fill(s, text, cards, static_cast<size_t>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state)
        s.exportAll(&bytes);
    uint32_t entries = 0;
    for (ABEntryId id = {}; ABEntryGetNext(s.book, entries ? &id : nullptr, &id, nullptr) == 0;)
        ++entries;
    state.SetComplexityN(entries);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["entries"] = entries;
}
BENCHMARK(BM_ExportEntries)
    ->Arg(1000)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// What the export wrote, read back in one call: the run walks the whole
// text card after card.
void BM_ImportExportedText(benchmark::State &state) {
    const std::string &text = workload(state);
    if (text.empty()) return;
    const std::vector<Span> cards = splitCards(text);
    std::string exported;
    {
        Session s;
        fill(s, text, cards, static_cast<size_t>(state.range(0)));
        exported = s.exportAll();
    }
    uint32_t entries = 0;
    int32_t result = 0;
    for (auto _ : state) {
        Session s;
        entries = s.import(exported.data(), exported.size(), &result);
    }
    state.SetComplexityN(entries);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * exported.size()));
    state.counters["entries"] = entries;
    state.counters["result"] = result;
}
BENCHMARK(BM_ImportExportedText)
    ->Arg(1000)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
