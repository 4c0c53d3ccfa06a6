// The typed value codecs over any text and any record: a result code every
// time, and text written only within the buffer given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "versit_core.h"

namespace {

// Generates into a buffer of exactly `size` bytes, so that writing past it
// is an overflow the sanitizer sees.
template <class Record, class Generate>
void generate(const uint8_t *data, size_t size, int32_t bufferSize, Generate g) {
    Record record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, data, size < sizeof record ? size : sizeof record);
    auto *buffer = static_cast<char *>(std::malloc(static_cast<size_t>(bufferSize)));
    check(buffer != nullptr);
    if (g(buffer, bufferSize, &record) == 0)
        check(std::memchr(buffer, '\0', bufferSize) != nullptr);
    std::free(buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const int32_t datatype = 0x100 + data[0] % 16;
    const int32_t bufferSize = 1 + data[1] % 200;
    const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);
    const char *t = text.c_str();

    void *record = nullptr;
    VLIB_parseValue(datatype, t, &record);
    std::free(record);

    vDate date;
    vTime time;
    vDateTime dateTime;
    vDuration duration;
    vPeriod period;
    vUtcOffset offset;
    vCalAddress address;
    char url[VLIB_URL_SIZE];
    double number = 0;
    int32_t integer = 0;
    VLIB_parseAsDate(t, &date);
    VLIB_parseAsTime(t, &time);
    VLIB_parseAsDateTime(t, &dateTime);
    VLIB_parseAsDuration(t, &duration);
    VLIB_parseAsPeriod(t, &period);
    VLIB_parseAsUtcOffset(t, &offset);
    check(VLIB_parseAsCalAddress(t, &address) == 0);
    check(std::strlen(address.address) < sizeof address.address);
    check(std::strlen(address.name) < sizeof address.name);
    check(VLIB_parseAsUrl(t, url) == 0 && std::strlen(url) < sizeof url);
    VLIB_parseAsFloat(t, &number);
    VLIB_parseAsInteger(t, &integer);
    VLIB_parseAsBoolean(t, &integer);

    const uint8_t *raw = data + 2;
    const size_t rawSize = size - 2;
    generate<vDate>(raw, rawSize, bufferSize, VLIB_generateAsDate);
    generate<vTime>(raw, rawSize, bufferSize, VLIB_generateAsTime);
    generate<vDateTime>(raw, rawSize, bufferSize, VLIB_generateAsDateTime);
    generate<vDuration>(raw, rawSize, bufferSize, VLIB_generateAsDuration);
    generate<vPeriod>(raw, rawSize, bufferSize, VLIB_generateAsPeriod);
    generate<vUtcOffset>(raw, rawSize, bufferSize, VLIB_generateAsUtcOffset);
    generate<vCalAddress>(raw, rawSize, bufferSize, VLIB_generateAsCalAddress);
    generate<double>(raw, rawSize, bufferSize, VLIB_generateAsFloat);
    generate<int32_t>(raw, rawSize, bufferSize, VLIB_generateAsInteger);
    generate<int32_t>(raw, rawSize, bufferSize, VLIB_generateAsBoolean);
    struct Url {
        char text[VLIB_URL_SIZE];
    };
    generate<Url>(raw, rawSize, bufferSize, [](char *b, int32_t n, const Url *u) {
        return VLIB_generateAsUrl(b, n, u->text);
    });
    return 0;
}
