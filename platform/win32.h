// The few Windows services the library uses: the pending socket error of
// the socket library, the alertable sleep and the system error texts.
// On Windows these are the system's own; elsewhere win32_posix.cpp
// provides small equivalents.
#pragma once

#include <cstdint>

namespace win32 {

constexpr uint32_t FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr uint32_t FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr uint32_t LANG_USER_DEFAULT = 0x0400;

// The socket library's per-process pending error number.
int WSAGetLastError();
void WSASetLastError(int error);

// Gives up the processor for `milliseconds` (0: just yields). Returns 0.
uint32_t SleepEx(uint32_t milliseconds, int alertable);

// Writes the system's text for `messageId` into `buffer` (at most `size`
// bytes, NUL included), ending in CR LF as the system's texts do. Returns
// the length written, or 0 when the system has no text for the number.
uint32_t FormatMessageA(uint32_t flags, const void *source, uint32_t messageId, uint32_t languageId,
                        char *buffer, uint32_t size, void *arguments);

} // namespace win32
