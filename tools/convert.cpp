// versit convert [--to FORMAT] [-o FILE] FILE...: cards and calendars
// from one format to another, the input's format read from its content.
#include <cstring>
#include <string>
#include <vector>

#include "tool.h"
#include "versit_convert.h"

namespace {

constexpr const char *kUsage =
    "usage: versit convert [--to vcard21|vcard3|vcard4|jcard|vcal10|ical|jcal] [-o FILE]\n"
    "                      [--verbose] FILE|-...\n"
    "  The input's format is read from its content. Without --to, vCard 2.1 becomes\n"
    "  vCard 4.0, vCalendar 1.0 becomes iCalendar, and the other way round.\n";

struct Options {
    int32_t to = VI_FORMAT_UNKNOWN;
    bool verbose = false;
    std::vector<const char *> files;
};

int32_t formatNamed(const char *name) {
    for (int32_t f = VI_FORMAT_VCARD21; f <= VI_FORMAT_JCAL; ++f) {
        if (std::strcmp(VI_formatName(f), name) == 0) return f;
    }
    if (std::strcmp(name, "vcard30") == 0) return VI_FORMAT_VCARD30;
    if (std::strcmp(name, "vcard40") == 0) return VI_FORMAT_VCARD40;
    if (std::strcmp(name, "ical20") == 0 || std::strcmp(name, "icalendar") == 0)
        return VI_FORMAT_ICAL20;
    return VI_FORMAT_UNKNOWN;
}

int32_t defaultTarget(int32_t from) {
    switch (from) {
    case VI_FORMAT_VCARD21:
        return VI_FORMAT_VCARD40;
    case VI_FORMAT_VCARD30:
    case VI_FORMAT_VCARD40:
        return VI_FORMAT_VCARD21;
    case VI_FORMAT_VCAL10:
        return VI_FORMAT_ICAL20;
    default:
        return VI_FORMAT_VCAL10;
    }
}

bool isJson(int32_t f) { return f == VI_FORMAT_JCARD || f == VI_FORMAT_JCAL; }

// Where converted text goes: straight to the output file, or, for JSON of
// several files, gathered so the files' objects become one array.
struct Output {
    FILE *file;
    std::string *gathered;
    Progress *progress;
    uint64_t written = 0;
};

int writeOutput(void *user, const char *bytes, size_t length) {
    auto *out = static_cast<Output *>(user);
    out->written += length;
    out->progress->update(out->written >> 20);
    if (out->gathered != nullptr) {
        out->gathered->append(bytes, length);
        return 0;
    }
    return std::fwrite(bytes, 1, length, out->file) == length ? 0 : 1;
}

// The objects of one file's JSON: one object alone, or the items of an array.
void appendJsonItems(const std::string &json, std::vector<std::string> &items) {
    size_t i = json.find_first_not_of(" \r\n\t");
    if (i == std::string::npos) return;
    size_t k = json.find_first_not_of(" \r\n\t", i + 1);
    if (json[i] == '[' && k != std::string::npos && json[k] == '"') {
        items.push_back(json.substr(i, json.find_last_not_of(" \r\n\t") + 1 - i));
        return;
    }
    // An array of objects, each starting a line after the first: "[obj,\nobj]".
    std::string inner = json.substr(k, json.find_last_of(']') - k);
    size_t start = 0;
    for (;;) {
        const size_t comma = inner.find(",\n[\"", start);
        if (comma == std::string::npos) break;
        items.push_back(inner.substr(start, comma - start));
        start = comma + 2;
    }
    if (start < inner.size()) items.push_back(inner.substr(start));
}

} // namespace

int runConvert(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const char *value = nullptr;
        if (std::strncmp(a, "--to=", 5) == 0) {
            value = a + 5;
        } else if (std::strcmp(a, "--to") == 0 || std::strcmp(a, "-t") == 0) {
            if (++i == argc) {
                std::fprintf(stderr, "versit convert: %s needs a format\n%s", a, kUsage);
                return 2;
            }
            value = argv[i];
        }
        if (value != nullptr) {
            o.to = formatNamed(value);
            if (o.to == VI_FORMAT_UNKNOWN) {
                std::fprintf(stderr, "versit convert: unknown format '%s'\n%s", value, kUsage);
                return 2;
            }
        } else if (std::strcmp(a, "--verbose") == 0 || std::strcmp(a, "-v") == 0) {
            o.verbose = true;
        } else if (a[0] == '-' && a[1] != '\0') {
            std::fprintf(stderr, "versit convert: unknown option '%s'\n%s", a, kUsage);
            return 2;
        } else {
            o.files.push_back(a);
        }
    }
    if (o.files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // -o FILE was taken by main, which sent standard output there.
    FILE *file = stdout;
    const bool gather = isJson(o.to) && o.files.size() > 1;
    std::vector<std::string> jsonItems;
    int status = 0;
    for (const char *path : o.files) {
        std::string text;
        if (!readInput(path, text)) {
            status = 2;
            continue;
        }
        const int32_t from = VI_detectFormat(text.data(), text.size());
        if (from == VI_FORMAT_UNKNOWN) {
            std::fprintf(stderr, "versit convert: '%s' holds no vCard or vCalendar: %s\n", path,
                         looksLike(text).c_str());
            status = 2;
            continue;
        }
        const int32_t to = o.to != VI_FORMAT_UNKNOWN ? o.to : defaultTarget(from);
        std::string gathered;
        const std::string what = std::string(path) + ": MB written";
        Progress progress(what.c_str());
        Output out{file, gather ? &gathered : nullptr, &progress};
        ReportSink sink{path, true};
        VI_ConvertCounts counts{};
        // Without --verbose nothing is printed but the counts: with no one
        // to hear them, the library makes no messages (nor looks for their
        // lines).
        const int32_t rc = VI_convert(text.data(), text.size(), from, to, writeOutput, &out,
                                      o.verbose ? printReport : nullptr, &sink, &counts);
        const bool cards = from <= VI_FORMAT_VCARD40;
        if (rc != 0) {
            if (rc == VI_ERR_NOT_CONVERTIBLE)
                std::fprintf(stderr, "versit convert: '%s' holds %s, which cannot become %s\n",
                             path, cards ? "cards" : "calendars", VI_formatName(to));
            else
                printResult(stderr, (std::string("versit convert: ") + path).c_str(), rc);
            status = 2;
            continue;
        }
        if (gather) appendJsonItems(gathered, jsonItems);
        const char *unit = cards ? "card" : "item";
        std::fprintf(stderr, "%s: converted %llu of %llu %s%s from %s to %s", path,
                     static_cast<unsigned long long>(counts.written),
                     static_cast<unsigned long long>(counts.read), unit,
                     counts.read == 1 ? "" : "s", VI_formatName(from), VI_formatName(to));
        if (counts.lossy > 0)
            std::fprintf(stderr, ", %llu with something not carried over%s",
                         static_cast<unsigned long long>(counts.lossy),
                         o.verbose ? "" : " (--verbose says what)");
        if (counts.skipped > 0)
            std::fprintf(stderr, ", %llu skipped", static_cast<unsigned long long>(counts.skipped));
        std::fputs("\n", stderr);
        if (counts.read == 0 && counts.skipped == 0)
            std::fprintf(stderr, "versit convert: no %s in '%s'\n",
                         cards ? "vCard" : "event or to-do", path);
        if ((counts.lossy > 0 || counts.skipped > 0 || counts.written < counts.read ||
             counts.read == 0) &&
            status < 1)
            status = 1;
    }
    if (gather) {
        std::string json;
        if (jsonItems.size() != 1) json += "[";
        for (size_t i = 0; i < jsonItems.size(); ++i) {
            if (i > 0) json += ",\n";
            json += jsonItems[i];
        }
        if (jsonItems.size() != 1) json += "]";
        json += "\n";
        if (std::fwrite(json.data(), 1, json.size(), file) != json.size()) status = 2;
    }
    if (std::fflush(file) != 0 || std::ferror(file) != 0) {
        std::fputs("versit convert: cannot write the output\n", stderr);
        status = 2;
    }
    return status;
}
