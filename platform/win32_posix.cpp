#include "platform/win32.h"

#ifndef _WIN32
#include <cstring>
#include <sched.h>
#include <time.h>

namespace win32 {
namespace {
int pendingSocketError = 0;
} // namespace

int WSAGetLastError() { return pendingSocketError; }

void WSASetLastError(int error) { pendingSocketError = error; }

uint32_t SleepEx(uint32_t milliseconds, int /*alertable*/) {
    if (milliseconds == 0) {
        sched_yield();
        return 0;
    }
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(milliseconds / 1000);
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    nanosleep(&ts, nullptr);
    return 0;
}

uint32_t FormatMessageA(uint32_t /*flags*/, const void * /*source*/, uint32_t messageId,
                        uint32_t /*languageId*/, char *buffer, uint32_t size,
                        void * /*arguments*/) {
    if (buffer == nullptr || size == 0) return 0;
    // The library is single-threaded by contract, so strerror's shared
    // buffer is safe here.
    const char *text = std::strerror(static_cast<int>(messageId)); // NOLINT(concurrency-mt-unsafe)
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return 0;
    const size_t room = size - 1;
    size_t n = std::strlen(text);
    if (n > room) n = room;
    std::memcpy(buffer, text, n);
    // Windows ends every system text with a line break; callers cut it.
    if (n < room) buffer[n++] = '\r';
    if (n < room) buffer[n++] = '\n';
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}

} // namespace win32
#endif
