// Texts for system and socket error numbers, as log records print them.
#include <cstring>

#include "diag/errlog.h"
#include "platform/win32.h"

namespace {

struct ErrnoRow {
    int number;
    const char *text;
};

// The socket library's numbers have no system text worth printing; these
// are the texts log readers have always seen.
constexpr ErrnoRow kSocketErrors[] = {
    {10009, "Bad socket number"},
    {10022, "Invalid argument"},
    {10035, "Operation would block"},
    {10036, "Windows Socket API function called while blocking function in prgs"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported "},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down or general winsock failure"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {11001, "Host not found in hosts file"},
    {11002, "Host not found in hosts file"},
    {11003, "No recovery for last operation"},
    {11004, "No data for last operation"},
};

constexpr size_t kTextSize = 128;
char errnoText[kTextSize];

} // namespace

const char *ErrnoText(int number) {
    std::memset(errnoText, 0, sizeof errnoText);
    const char *text = nullptr;
    for (const ErrnoRow &row : kSocketErrors) {
        if (row.number == number) text = row.text;
    }
    char system[kTextSize] = {};
    if (text == nullptr) {
        const uint32_t n = win32::FormatMessageA(
            win32::FORMAT_MESSAGE_FROM_SYSTEM | win32::FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
            static_cast<uint32_t>(number), win32::LANG_USER_DEFAULT, system, sizeof system,
            nullptr);
        if (n > 0) {
            // The system's texts end in a line break the record adds itself.
            if (n >= 2) system[n - 2] = '\0';
            text = system;
        } else {
            text = "Invalid errno";
        }
    }
    // The last byte stays NUL, so the text is always terminated.
    std::memcpy(errnoText, text, strnlen(text, sizeof errnoText - 1));
    return errnoText;
}
