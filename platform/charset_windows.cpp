// Charsets through the code pages of Windows.
#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/charset.h"

namespace charset {
namespace {

struct CodePage {
    const char *name;
    unsigned page;
};

// The charsets vCard and vCalendar files name, by their usual names.
constexpr CodePage kPages[] = {
    {"UTF-8", 65001},       {"US-ASCII", 20127},    {"ISO-8859-1", 28591},  {"ISO-8859-2", 28592},
    {"ISO-8859-3", 28593},  {"ISO-8859-4", 28594},  {"ISO-8859-5", 28595},  {"ISO-8859-6", 28596},
    {"ISO-8859-7", 28597},  {"ISO-8859-8", 28598},  {"ISO-8859-9", 28599},  {"ISO-8859-10", 28600},
    {"ISO-8859-11", 874},   {"ISO-8859-13", 28603}, {"ISO-8859-14", 28604}, {"ISO-8859-15", 28605},
    {"WINDOWS-1250", 1250}, {"WINDOWS-1251", 1251}, {"WINDOWS-1252", 1252}, {"WINDOWS-1253", 1253},
    {"WINDOWS-1254", 1254}, {"WINDOWS-1255", 1255}, {"WINDOWS-1256", 1256}, {"WINDOWS-1257", 1257},
    {"WINDOWS-1258", 1258}, {"KOI8-R", 20866},      {"KOI8-U", 21866},      {"SHIFT_JIS", 932},
    {"GB2312", 936},        {"GBK", 936},           {"GB18030", 54936},     {"BIG5", 950},
    {"EUC-JP", 20932},      {"EUC-KR", 51949},      {"ISO-2022-JP", 50220},
};

unsigned pageOf(const char *name) {
    for (const CodePage &p : kPages) {
        if (_stricmp(p.name, name) == 0) return p.page;
    }
    return 0;
}

} // namespace

Outcome toUtf8(const char *name, const char *in, size_t length, char **out, size_t *outLength) {
    *out = nullptr;
    *outLength = 0;
    // UTF-16 is the system's own form: no code page converts into it, the
    // units are taken as they are (swapped when big-endian).
    const bool little = _stricmp(name, "UTF-16LE") == 0;
    const bool big = _stricmp(name, "UTF-16BE") == 0;
    const unsigned page = little || big ? 0 : pageOf(name);
    if (page == 0 && !little && !big) return Outcome::UnknownCharset;
    const int n = static_cast<int>(length);
    bool replaced = false;
    int wide = 0;
    DWORD flags = MB_ERR_INVALID_CHARS;
    if (little || big) {
        wide = n / 2;
    } else {
        wide = n == 0 ? 0 : MultiByteToWideChar(page, flags, in, n, nullptr, 0);
        if (n > 0 && wide == 0) {
            // Invalid bytes: the system puts its replacement in their place.
            flags = 0;
            replaced = true;
            wide = MultiByteToWideChar(page, flags, in, n, nullptr, 0);
        }
    }
    wchar_t *units = static_cast<wchar_t *>(std::malloc((static_cast<size_t>(wide) + 1) * 2));
    if (units == nullptr) return Outcome::NoMemory;
    if (little || big) {
        for (int i = 0; i < wide; ++i) {
            const auto lo = static_cast<unsigned char>(in[2 * i + (big ? 1 : 0)]);
            const auto hi = static_cast<unsigned char>(in[2 * i + (big ? 0 : 1)]);
            units[i] = static_cast<wchar_t>(lo | (hi << 8));
        }
    } else if (n > 0) {
        MultiByteToWideChar(page, flags, in, n, units, wide);
    }
    const int bytes =
        wide == 0 ? 0 : WideCharToMultiByte(CP_UTF8, 0, units, wide, nullptr, 0, nullptr, nullptr);
    char *buffer = static_cast<char *>(std::malloc(static_cast<size_t>(bytes) + 1));
    if (buffer == nullptr) {
        std::free(units);
        return Outcome::NoMemory;
    }
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, units, wide, buffer, bytes, nullptr, nullptr);
    std::free(units);
    buffer[bytes] = '\0';
    *out = buffer;
    *outLength = static_cast<size_t>(bytes);
    return replaced ? Outcome::Replaced : Outcome::Converted;
}

} // namespace charset
#endif
