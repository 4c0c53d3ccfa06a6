#include <cerrno>
#include <chrono>
#include <cstring>

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#define VERSIT_ISATTY _isatty
#define VERSIT_FILENO _fileno
#else
#include <unistd.h>
#define VERSIT_ISATTY isatty
#define VERSIT_FILENO fileno
#endif

#include "tool.h"
#include "versit_interop.h"

const char *resultName(int32_t code) {
    const char *name = VI_resultName(code);
    return name != nullptr ? name : "(no name)";
}

void printResult(FILE *out, const char *what, int32_t code) {
    if (out == stderr) clearProgress();
    if (const char *name = VI_resultName(code))
        std::fprintf(out, "%s: %s (%s)\n", what, name, VI_resultText(code));
    else
        std::fprintf(out, "%s: %ld\n", what, static_cast<long>(code));
}

size_t utf8Length(const unsigned char *p, size_t left) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    const size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || n > left) return 0;
    uint32_t value = c & (0x7F >> n);
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    static constexpr uint32_t kLowest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLowest[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return n;
}

void printReport(void *user, const VI_Report *report) {
    const auto *sink = static_cast<const ReportSink *>(user);
    static const char *const kKinds[] = {"note", "repaired", "lost", "skipped"};
    if (!sink->verbose && report->kind < VI_REPORT_LOST) return;
    clearProgress();
    std::fprintf(stderr, "%s:%llu: %s: %s\n", sink->path,
                 static_cast<unsigned long long>(report->line), kKinds[report->kind & 3],
                 report->message);
}

bool readInput(const char *path, std::string &text) {
    const bool standardInput = std::strcmp(path, "-") == 0;
    struct stat about {};
    if (!standardInput && stat(path, &about) == 0 && S_ISDIR(about.st_mode)) {
        std::fprintf(stderr, "versit: cannot read '%s': it is a directory\n", path);
        return false;
    }
    errno = 0;
    FILE *in = standardInput ? stdin : std::fopen(path, "rb");
    bool ok = in != nullptr;
    if (ok) {
        // A file's size is known: room for it at once, or growing the text
        // would hold an old copy beside a new one half again as large.
        struct stat file {};
        if (fstat(VERSIT_FILENO(in), &file) == 0 && S_ISREG(file.st_mode) && file.st_size > 0 &&
            static_cast<unsigned long long>(file.st_size) <= 0x7FFFFFFFull)
            text.reserve(text.size() + static_cast<size_t>(file.st_size));
        char buffer[1 << 16];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            text.append(buffer, n);
        ok = std::ferror(in) == 0;
        if (in != stdin) std::fclose(in);
    }
    if (!ok) {
        const int why = errno;
        std::fprintf(stderr, "versit: cannot read '%s': %s\n",
                     standardInput ? "standard input" : path,
                     why != 0 ? std::strerror(why) : "read error");
        return false;
    }
    if (text.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "versit: '%s' is too large (2 GB or more)\n", path);
        return false;
    }
    return true;
}

bool gQuiet = false;

namespace {

// The progress line now on the terminal, if any: a message clears it first
// and the next update draws it again below the message.
bool gProgressShown = false;

long long millisecondsNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

Progress::Progress(const char *what)
    : what_(what), enabled_(!gQuiet && VERSIT_ISATTY(2) != 0), start_(millisecondsNow()) {}

Progress::~Progress() {
    if (shown_) clearProgress();
}

void clearProgress() {
    if (!gProgressShown) return;
    std::fputs("\r\033[K", stderr);
    gProgressShown = false;
}

void Progress::update(uint64_t done, uint64_t total) {
    if (!enabled_) return;
    const long long now = millisecondsNow();
    if (now - start_ < 1000 || now - last_ < 250) return;
    last_ = now;
    shown_ = true;
    gProgressShown = true;
    if (total > 0)
        std::fprintf(stderr, "\r%s: %llu of %llu (%llu%%)\033[K", what_,
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                     static_cast<unsigned long long>(done * 100 / total));
    else
        std::fprintf(stderr, "\r%s: %llu\033[K", what_, static_cast<unsigned long long>(done));
}

std::string looksLike(const std::string &text) {
    size_t i = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
        ++i;
    if (i == text.size()) return "it is empty";
    size_t controls = 0;
    const size_t sample = text.size() - i < 512 ? text.size() - i : 512;
    for (size_t k = i; k < i + sample; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') ++controls;
    }
    if (controls * 10 > sample) return "it looks like binary data";
    const char first = text[i];
    if (first == '{' || first == '[') return "it looks like JSON";
    if (first == '<') return "it looks like HTML or XML";
    size_t end = i;
    while (end < text.size() && end - i < 40 && text[end] != '\r' && text[end] != '\n')
        ++end;
    std::string start;
    for (size_t k = i; k < end; ++k)
        start += static_cast<unsigned char>(text[k]) < 0x20 ? '?' : text[k];
    return "it starts with \"" + start + (end - i == 40 ? "...\"" : "\"");
}
