// The stand-ins for the client library and the Windows runtime behave as
// the library relies on.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/calapi.h"
#include "platform/crt.h"
#include "platform/win32.h"
#include "support/temp_dir.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(CaseCompare, AsciiLettersOnly) {
    struct Case {
        const char *a;
        const char *b;
        int expect;
    } cases[] = {
        // Only ASCII letters fold: "[" and "{" compare as they are, and
        // bytes above 0x7F never fold, whatever the locale.
        {"TEL", "tel", 0},   {"X-Foo", "x-fOO", 0}, {"", "", 0},
        {"TEL", "TELX", -1}, {"TELX", "TEL", 1},    {"A", "B", -1},
        {"[", "{", -1},      {"\xC9", "\xE9", -1},  {"a\xFF", "A\xFF", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(sign(calapi::strcasecmp(c.a, c.b)), c.expect) << c.a << " / " << c.b;
    EXPECT_EQ(calapi::strncasecmp("VERSION:2.1", "version:3.0", 8), 0);
    EXPECT_NE(calapi::strncasecmp("VERSION:2.1", "version:3.0", 9), 0);
    EXPECT_EQ(calapi::strncasecmp("ab", "AB", 100), 0) << "stops at the NUL";
    EXPECT_EQ(calapi::strncasecmp("x", "y", 0), 0);
}

// Files open with Windows flags and separators; the clock, the socket
// error and the system texts as the log writer uses them.
TEST(Runtime, FilesClockSocketErrorAndMessages) {
    TempDir dir;
    for (const char *chunk : {"one ", "two"}) {
        const int fd = crt::_open((dir.path().string() + "\\log.txt").c_str(),
                                  crt::OpenWriteOnly | crt::OpenAppend | crt::OpenCreate,
                                  crt::PermissionRead | crt::PermissionWrite);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(crt::_write(fd, chunk, static_cast<unsigned>(std::strlen(chunk))),
                  static_cast<int>(std::strlen(chunk)));
        EXPECT_EQ(crt::_close(fd), 0);
    }
    char text[128] = {};
    FILE *f = std::fopen(dir.file("log.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fread(text, 1, sizeof text - 1, f), 7u);
    std::fclose(f);
    EXPECT_STREQ(text, "one two") << "append mode keeps earlier records";
    EXPECT_EQ(crt::_open(nullptr, crt::OpenWriteOnly, 0), -1);
    EXPECT_EQ(crt::_strdup(nullptr), nullptr);
    crt::TimeB now{};
    crt::currentTime(&now);
    EXPECT_GT(now.time, 1700000000);
    EXPECT_LT(now.millitm, 1000);

    win32::WSASetLastError(10061);
    EXPECT_EQ(win32::WSAGetLastError(), 10061);
    win32::WSASetLastError(0);
    EXPECT_EQ(win32::SleepEx(0, 1) + win32::SleepEx(1, 1), 0u);
    const uint32_t n = win32::FormatMessageA(win32::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2,
                                             win32::LANG_USER_DEFAULT, text, sizeof text, nullptr);
    ASSERT_GE(n, 2u);
    EXPECT_EQ(std::string(text + n - 2), "\r\n") << "system texts end in a line break";
    EXPECT_EQ(win32::FormatMessageA(0, nullptr, 987654, 0, text, sizeof text, nullptr), 0u);
    char tiny[4];
    EXPECT_LE(win32::FormatMessageA(0, nullptr, 2, 0, tiny, sizeof tiny, nullptr), 3u);
    EXPECT_EQ(tiny[3], '\0');
    EXPECT_GT(calapi::QVT_Getpid(), 0);
}

} // namespace
