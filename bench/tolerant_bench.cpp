// Tolerant card reading against the strict card-by-card import, on the
// same bytes, so the price of tolerance reads off the ratio of the two.
// Three texts made from the generated cards:
//  - generated: as the generator writes them, most cards with a
//    quoted-printable soft break continued without indentation (the strict
//    import reads such a continuation as a line of its own);
//  - clean: every such continuation indented, so no card needs a repair
//    and the tolerant reader hands each one out in place;
//  - repaired: the clean text with each card's FN written quoted-printable
//    and broken by a soft break without indentation, so every card is
//    rebuilt.
// The tolerant import's two parts are also timed apart: the scan alone
// (CardScanner), and the exact imports given the breaks it found.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "interop/recover/cardRecover.h"
#include "vcard/vcInternal.h"
#include "versit/vParse.h"
#include "versit_interop.h"
#include "versit_vcard.h"
#include "workload.h"

namespace {

struct Context {
    VCardContext *c = nullptr;
    Context() { VCARD_createContext(&c); }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;
    ~Context() { VCARD_destroyContext(&c); }
};

enum class Text { Generated, Clean, Repaired };

bool startsWithBlank(const std::string &line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// Every line after a quoted-printable soft break indented.
std::string indentSoftBreaks(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 50);
    bool quotedPrintable = false;
    bool softBreak = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end + 2;
        const std::string line = text.substr(at, end - at);
        const std::string bare = line.substr(0, line.find_last_not_of("\r\n") + 1);
        if (softBreak && !startsWithBlank(bare)) {
            out += ' ';
        } else if (!softBreak && !startsWithBlank(bare)) {
            const std::string head = bare.substr(0, bare.find(':'));
            quotedPrintable = head.find("QUOTED-PRINTABLE") != std::string::npos;
        }
        softBreak = quotedPrintable && !bare.empty() && bare.back() == '=';
        out += line;
        at = end;
    }
    return out;
}

// A quoted-printable value broken in the middle, outside an escape and
// before no blank, by a soft break whose continuation is not indented.
std::string brokenValue(const std::string &value) {
    for (size_t at = value.size() / 2; at > 1; --at) {
        if (value[at] != ' ' && value[at - 1] != '=' && value[at - 2] != '=')
            return value.substr(0, at) + "=\r\n" + value.substr(at);
    }
    return value;
}

std::string breakNames(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 20);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end + 2;
        std::string line = text.substr(at, end - at);
        at = end;
        if (line.compare(0, 3, "FN:") != 0 && line.compare(0, 3, "FN;") != 0) {
            out += line;
            continue;
        }
        const size_t colon = line.find(':');
        std::string head = line.substr(0, colon);
        std::string value = line.substr(colon + 1, line.size() - colon - 3);
        if (head.find("QUOTED-PRINTABLE") == std::string::npos) {
            head += ";ENCODING=QUOTED-PRINTABLE";
            std::string escaped;
            for (char c : value)
                escaped += c == '=' ? std::string("=3D") : std::string(1, c);
            value = escaped;
        }
        out += head + ":" + brokenValue(value) + "\r\n";
    }
    return out;
}

const std::string &text(benchmark::State &state, Text which) {
    static std::string texts[3];
    std::string &t = texts[static_cast<int>(which)];
    if (t.empty()) {
        const std::string generated = loadWorkload(state, "vcards-10k.vcf");
        if (generated.empty()) return t;
        texts[0] = generated;
        texts[1] = indentSoftBreaks(generated);
        texts[2] = breakNames(texts[1]);
    }
    return t;
}

void count(void *user, const VI_Report *) { ++*static_cast<uint64_t *>(user); }

void BM_StrictCards(benchmark::State &state, Text which) {
    const std::string &t = text(state, which);
    if (t.empty()) return;
    Context context;
    size_t cards = 0;
    size_t faulty = 0; // cards read with a non-zero result
    for (auto _ : state) {
        cards = faulty = 0;
        VI_CardReader reader;
        VI_cardReaderStart(&reader, context.c, t.c_str(), static_cast<int32_t>(t.size()));
        vComponent *card = nullptr;
        for (int32_t result = VI_readCard(&reader, &card); result != VCARD_ERR_NO_CARD;
             result = VI_readCard(&reader, &card)) {
            cards += card != nullptr ? 1 : 0;
            faulty += result != 0 ? 1 : 0;
            VCARD_destroyCard(context.c, &card);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
    state.counters["cards"] = static_cast<double>(cards);
    state.counters["faulty"] = static_cast<double>(faulty);
}

void BM_TolerantCards(benchmark::State &state, Text which) {
    const std::string &t = text(state, which);
    if (t.empty()) return;
    Context context;
    VI_ReadCounts counts{};
    uint64_t reports = 0;
    for (auto _ : state) {
        reports = 0;
        VI_TolerantReader *reader = nullptr;
        VI_tolerantReaderCreate(&reader, t.data(), t.size(), count, &reports);
        vComponent *card = nullptr;
        while (VI_readCardTolerantly(reader, context.c, &card) == 0)
            VCARD_destroyCard(context.c, &card);
        VI_tolerantReaderCounts(reader, &counts);
        VI_tolerantReaderDestroy(&reader);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
    state.counters["cards"] = static_cast<double>(counts.read);
    state.counters["repaired"] = static_cast<double>(counts.repaired);
    state.counters["reports"] = static_cast<double>(reports);
}

void BM_CardScan(benchmark::State &state, Text which) {
    const std::string &t = text(state, which);
    if (t.empty()) return;
    Context context;
    size_t cards = 0;
    for (auto _ : state) {
        interop::CardScanner scanner(t.data(), t.size());
        interop::Reporter report(nullptr, nullptr);
        interop::CardText card;
        cards = 0;
        while (scanner.next(context.c, report, card) == interop::CardScanner::Step::Card)
            ++cards;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
    state.counters["cards"] = static_cast<double>(cards);
}

// Each card as the scan hands it out, with copies of its breaks (the
// scan's own lists hold one card's at a time).
struct ScannedCard {
    const char *text;
    size_t importLength;
    std::vector<size_t> breaks;
    std::vector<size_t> joins;
};

void BM_ImportsGivenBreaks(benchmark::State &state, Text which) {
    const std::string &t = text(state, which);
    if (t.empty()) return;
    Context context;
    std::vector<ScannedCard> scanned;
    {
        interop::CardScanner scanner(t.data(), t.size());
        interop::Reporter report(nullptr, nullptr);
        interop::CardText card;
        while (scanner.next(context.c, report, card) == interop::CardScanner::Step::Card) {
            // (Only cards used in place: a rebuilt one's copy is gone with
            // the next card.)
            if (card.text < t.data() || card.text >= t.data() + t.size()) continue;
            scanned.push_back({card.text, card.importLength,
                               std::vector<size_t>(card.breaks, card.breaks + card.breakCount),
                               std::vector<size_t>(card.joins, card.joins + card.joinCount)});
        }
    }
    for (auto _ : state) {
        for (const ScannedCard &c : scanned) {
            const vparse::KnownBreaks breaks{c.text, c.breaks.data(), c.breaks.size(),
                                             c.joins.data(), c.joins.size()};
            vComponent *card = nullptr;
            const char *rest = nullptr;
            int32_t left = 0;
            vcard::importObject(context.c, &card, c.text, static_cast<int32_t>(c.importLength),
                                &rest, &left, c.breaks.empty() ? nullptr : &breaks);
            VCARD_destroyCard(context.c, &card);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
    state.counters["cards"] = static_cast<double>(scanned.size());
}

BENCHMARK_CAPTURE(BM_StrictCards, generated, Text::Generated)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TolerantCards, generated, Text::Generated)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StrictCards, clean, Text::Clean)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TolerantCards, clean, Text::Clean)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StrictCards, repaired, Text::Repaired)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TolerantCards, repaired, Text::Repaired)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CardScan, clean, Text::Clean)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportsGivenBreaks, clean, Text::Clean)->Unit(benchmark::kMillisecond);

} // namespace
