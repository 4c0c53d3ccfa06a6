#include "interop/recover/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "versit/vMemory.h"

namespace interop {

namespace {

// Appends to a text cut at `size` - 1 bytes, as vsnprintf cuts it.
struct Bounded {
    char *out;
    size_t room; // bytes that may still be written, the NUL's not counted
    void put(const char *p, size_t n) {
        if (n > room) n = room;
        std::memcpy(out, p, n);
        out += n;
        room -= n;
    }
    void put(char c) { put(&c, 1); }
    void decimal(unsigned long long v, bool negative) {
        char digits[24];
        char *p = digits + sizeof digits;
        do {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        if (negative) *--p = '-';
        put(p, static_cast<size_t>(digits + sizeof digits - p));
    }
    void integer(long long v) {
        // (The magnitude as unsigned: the most negative value has one too.)
        const bool negative = v < 0;
        const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(v)
                                                      : static_cast<unsigned long long>(v);
        decimal(magnitude, negative);
    }
};

} // namespace

// (The analyzer loses track of the caller's va_start, as in operator()
// below.)
// NOLINTBEGIN(clang-analyzer-valist.Uninitialized)
bool formatPlain(char *out, size_t size, const char *format, va_list args) {
    Bounded b{out, size - 1};
    for (const char *f = format; *f != '\0';) {
        const char *percent = std::strchr(f, '%');
        if (percent == nullptr) {
            b.put(f, std::strlen(f));
            break;
        }
        b.put(f, static_cast<size_t>(percent - f));
        f = percent + 1;
        // A precision, for strings only: ".*" or digits.
        bool precise = false;
        size_t precision = 0;
        if (*f == '.') {
            precise = true;
            ++f;
            if (*f == '*') {
                const int given = va_arg(args, int);
                // (A negative one is taken as none.)
                if (given < 0) precise = false;
                precision = given < 0 ? 0 : static_cast<size_t>(given);
                ++f;
            } else {
                if (*f < '0' || *f > '9') return false;
                for (; *f >= '0' && *f <= '9'; ++f) {
                    precision = precision * 10 + static_cast<size_t>(*f - '0');
                    if (precision > 4096) return false;
                }
            }
            if (*f != 's') return false;
        }
        int longs = 0;
        bool sized = false;
        for (; *f == 'l' && longs < 2; ++f)
            ++longs;
        if (longs == 0 && *f == 'z') {
            sized = true;
            ++f;
        }
        const char conversion = *f++;
        if ((longs > 0 || sized) && conversion != 'd' && conversion != 'u') return false;
        switch (conversion) {
        case '%':
            if (precise) return false;
            b.put('%');
            break;
        case 'c':
            b.put(static_cast<char>(va_arg(args, int)));
            break;
        case 's': {
            const char *text = va_arg(args, const char *);
            // (What the C library writes for a null string depends on the
            // precision: left to it.)
            if (text == nullptr) return false;
            size_t n = 0;
            if (precise) {
                // (Not past the precision: the text may end there unended.)
                while (n < precision && text[n] != '\0')
                    ++n;
            } else {
                n = std::strlen(text);
            }
            b.put(text, n);
            break;
        }
        case 'd':
            if (sized) return false;
            b.integer(longs == 0   ? va_arg(args, int)
                      : longs == 1 ? va_arg(args, long)
                                   : va_arg(args, long long));
            break;
        case 'u':
            b.decimal(sized        ? va_arg(args, size_t)
                      : longs == 0 ? va_arg(args, unsigned)
                      : longs == 1 ? va_arg(args, unsigned long)
                                   : va_arg(args, unsigned long long),
                      false);
            break;
        default:
            return false;
        }
    }
    *b.out = '\0';
    return true;
}
// NOLINTEND(clang-analyzer-valist.Uninitialized)

void Reporter::note(VI_ReportKind kind) {
    for (Reporter *r = this; r != nullptr;
         r = r->fn_ == forward ? static_cast<Reporter *>(r->user_) : nullptr) {
        if (kind == VI_REPORT_REPAIRED) r->repaired_ = true;
        if (kind == VI_REPORT_LOST) r->repaired_ = r->lossy_ = true;
    }
}

bool Reporter::heard() const {
    const Reporter *r = this;
    while (r->fn_ == forward)
        r = static_cast<const Reporter *>(r->user_);
    return r->fn_ != nullptr;
}

void Reporter::operator()(uint64_t line, VI_ReportKind kind, const char *format, ...) {
    // A message handed on only to reporters that hand it to nobody is not
    // made: the converters read with no report function as often as not,
    // and a card may carry a dozen repairs.
    if (!heard()) {
        note(kind);
        return;
    }
    if (kind == VI_REPORT_REPAIRED) repaired_ = true;
    if (kind == VI_REPORT_LOST) repaired_ = lossy_ = true;
    if ((line & kDeferred) != 0)
        line = resolve_ != nullptr ? resolve_(resolveUser_, line & ~kDeferred) : 0;
    char message[320];
    va_list args;
    va_start(args, format);
    // Most messages are words alone, or one handed on as "%s": they are
    // given as they stand, as printf would write them, when they fit.
    // (The analyzer loses track of va_start in a variadic operator.)
    const char *text = message;
    if (std::strchr(format, '%') == nullptr) {
        text = format;
    } else if (std::strcmp(format, "%s") == 0) {
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
        text = va_arg(args, const char *);
        if (text == nullptr) text = "(null)"; // as the C library writes it
    } else {
        va_list plain;
        va_copy(plain, args);
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
        const bool made = formatPlain(message, sizeof message, format, plain);
        va_end(plain);
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
        if (!made) std::vsnprintf(message, sizeof message, format, args);
    }
    va_end(args);
    if (text != message && std::strlen(text) >= sizeof message) {
        std::memcpy(message, text, sizeof message - 1);
        message[sizeof message - 1] = '\0';
        text = message;
    }
    const VI_Report report = {line, kind, text};
    // The caller's function may make records of its own: they must be
    // malloc's, not the arena's of a card being read.
    const vmem::ArenaScope plain(nullptr);
    fn_(user_, &report);
}

void Reporter::forward(void *reporter, const VI_Report *report) {
    (*static_cast<Reporter *>(reporter))(report->line, static_cast<VI_ReportKind>(report->kind),
                                         "%s", report->message);
}

} // namespace interop
