// Charsets through the C library's iconv.
#ifndef _WIN32
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <iconv.h>

#include "platform/charset.h"

namespace charset {
namespace {

// An open conversion, closed at scope end.
class Converter {
  public:
    explicit Converter(const char *from) : cd_(iconv_open("UTF-8", from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    // iconv_open says it failed with (iconv_t)-1, a pointer made of -1.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

} // namespace

Outcome toUtf8(const char *name, const char *in, size_t length, char **out, size_t *outLength) {
    *out = nullptr;
    *outLength = 0;
    Converter converter(name);
    if (!converter.ok()) return Outcome::UnknownCharset;
    // No charset we meet needs more than four UTF-8 bytes per input byte
    // (a replacement character takes three for one byte).
    const size_t room = length * 4 + 1;
    char *buffer = static_cast<char *>(std::malloc(room));
    if (buffer == nullptr) return Outcome::NoMemory;
    char *source = const_cast<char *>(in);
    size_t sourceLeft = length;
    char *target = buffer;
    size_t targetLeft = room - 1;
    bool replaced = false;
    while (sourceLeft > 0) {
        if (iconv(converter.get(), &source, &sourceLeft, &target, &targetLeft) !=
            static_cast<size_t>(-1))
            break;
        if ((errno != EILSEQ && errno != EINVAL) || targetLeft < 3) {
            std::free(buffer);
            return Outcome::NoMemory;
        }
        // One byte that does not belong: U+FFFD in its place, on with the next.
        std::memcpy(target, "\xEF\xBF\xBD", 3);
        target += 3;
        targetLeft -= 3;
        ++source;
        --sourceLeft;
        replaced = true;
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    *target = '\0';
    *out = buffer;
    *outLength = static_cast<size_t>(target - buffer);
    return replaced ? Outcome::Replaced : Outcome::Converted;
}

} // namespace charset
#endif
