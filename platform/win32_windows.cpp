// The Windows services on Windows: the system's own.
#ifdef _WIN32
// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <cstdint>

namespace {

uint32_t systemFormatMessage(uint32_t flags, const void *source, uint32_t id, uint32_t language,
                             char *buffer, uint32_t size) {
    return FormatMessageA(flags, source, id, language, buffer, size, nullptr);
}

} // namespace

// Our constants share the system's names, which windows.h defines as macros.
#undef FORMAT_MESSAGE_FROM_SYSTEM
#undef FORMAT_MESSAGE_IGNORE_INSERTS
#undef LANG_USER_DEFAULT
#include "platform/win32.h"

namespace win32 {

int WSAGetLastError() { return ::WSAGetLastError(); }

void WSASetLastError(int error) { ::WSASetLastError(error); }

uint32_t SleepEx(uint32_t milliseconds, int alertable) {
    return ::SleepEx(milliseconds, alertable != 0 ? TRUE : FALSE);
}

uint32_t FormatMessageA(uint32_t flags, const void *source, uint32_t messageId, uint32_t languageId,
                        char *buffer, uint32_t size, void * /*arguments*/) {
    if (buffer == nullptr || size == 0) return 0;
    return systemFormatMessage(flags, source, messageId, languageId, buffer, size);
}

} // namespace win32
#endif
