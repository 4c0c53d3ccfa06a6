// The parser over any bytes, every component it finds printed back: no
// crash, no read or write out of bounds, no leak, and the printed text
// exactly as long as counted.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "versit_core.h"

namespace {

void printBack(vComponent *component, int32_t flags) {
    const int32_t length = VLIB_length_vComponent(component, flags);
    check(length >= 0);
    // Exactly the size the interface asks for, so that one byte too many
    // is an overflow the sanitizer sees.
    auto *buffer = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
    check(buffer != nullptr);
    check(VLIB_sprint_vComponent(buffer, component, flags) == 0);
    check(buffer[length] == '\0');
    check(std::strlen(buffer) == static_cast<size_t>(length));
    // What was printed parses again.
    vComponent *again = nullptr;
    int32_t remaining = length;
    VLIB_buildComponentFromBuffer(&again, buffer, 0, &remaining, nullptr);
    VLIB_destroy_vComponent(&again);
    std::free(buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const int32_t parseFlags = data[0] & 0x1D;
    const int32_t printFlags = data[1] & 0x1D;
    const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);

    const char *at = text.c_str();
    auto remaining = static_cast<int32_t>(text.size());
    for (int calls = 0; at != nullptr && remaining > 0; ++calls) {
        check(calls <= static_cast<int>(text.size()));
        vComponent *component = nullptr;
        char *rest = nullptr;
        const int32_t before = remaining;
        VLIB_buildComponentFromBuffer(&component, at, parseFlags, &remaining, &rest);
        check(remaining < before || rest == nullptr);
        if (component != nullptr) printBack(component, printFlags);
        VLIB_destroy_vComponent(&component);
        at = rest;
    }

    // The parameter parser on its own, from the first semicolon on.
    std::string line = text;
    const size_t semicolon = line.find(';');
    if (semicolon != std::string::npos) {
        const std::string before = line;
        vParameter *list = nullptr;
        int32_t running = 0;
        int32_t consumed = 0;
        VLIB_getParameterList(&list, &running, &line[semicolon + 1], &consumed, parseFlags);
        check(line == before);
        check(consumed >= 0 &&
              static_cast<size_t>(consumed) <= std::strlen(line.c_str() + semicolon + 1));
        VLIB_destroy_vParameter(&list);
    }
    return 0;
}
