// The log entry points: message shapes and the size limit, silence while
// the switch is off, and records as they land in their files once a host
// switches logging on.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "diag/errlog.h"
#include "platform/calapi.h"
#include "platform/win32.h"
#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "versit_core.h"
#include "versit_list.h"

namespace {

const std::string kDashes(79, '-');
// "DATE = Tue Jan 27 19:45:29.042 1998"
const std::string kDatePattern =
    "DATE = (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
    "[ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\.[0-9]{3} [0-9]{4}\n";

std::string header() {
    return kDashes + "\n" + kDatePattern + "PID = " + std::to_string(calapi::QVT_Getpid()) + "\n";
}

std::string quote(const std::string &text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

class LogWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = temp_.path().string();
        fallback_ = dir_ + "/console.log"; // kept as a pointer
        errlog::setFallbackFile(fallback_.c_str());
        ASSERT_EQ(KL_ListCreate(&list_, sizeof(uint32_t), sizeof(errlog::Destination), 0, nullptr,
                                nullptr),
                  0);
        errlog::setDestinations(list_);
        errlog::setOptions(errlog::kCopyToKey2);
        errlog::setEnabled(true);
        // On Windows the socket error is the thread's last error, which
        // setting up may have left behind.
        win32::WSASetLastError(0);
    }
    void TearDown() override {
        errlog::setEnabled(false);
        errlog::setDestinations(nullptr);
        errlog::setFallbackFile(nullptr);
        errlog::setOptions(errlog::kCopyToKey2);
        KL_ListDestroy(&list_);
    }
    // A destination writing to `name` (in the test's directory unless absolute).
    void destination(uint32_t key, const std::string &name, bool active = true) {
        errlog::Destination d{};
        d.key = key;
        const std::string path =
            std::filesystem::path(name).is_absolute() ? name : dir_ + "/" + name;
        std::snprintf(d.fileName, sizeof d.fileName, "%s", path.c_str());
        d.active = active ? 1 : 0;
        ASSERT_EQ(KL_ListAddTo(list_, &key, &d), 0);
    }
    std::string read(const std::string &name) const {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool exists(const std::string &name) const { return temp_.exists(name); }

    TempDir temp_;
    std::string dir_, fallback_;
    KL_HLIST list_ = nullptr;
};

void expectRecord(const std::string &actual, const std::string &pattern) {
    EXPECT_TRUE(std::regex_match(actual, std::regex(pattern))) << "record:\n"
                                                               << actual << "\npattern:\n"
                                                               << pattern;
}

// A pending socket error is reported once and cleared; a long message is
// cut but its record still ends its line.
TEST_F(LogWriter, ErrorRecordLayout) {
    destination(2, "two.log");
    VLIB_logError("VLIB_new_vValue()", 0x1850C, "Not enough core");
    win32::WSASetLastError(10061);
    VLIB_logError(nullptr, 95768, nullptr);
    EXPECT_EQ(win32::WSAGetLastError(), 0);
    expectRecord(read("two.log"),
                 header() +
                     quote("KELMORA ERRCODE Ox1850C -> VLIB_new_vValue():  Not enough core\n") +
                     header() + quote("SYSTEM errno = 10061 -> Connection refused\n") +
                     quote("KELMORA ERRCODE Ox17618 -> VLIB error\n"));
    EXPECT_FALSE(exists("console.log"));
    const size_t before = read("two.log").size();
    WriteErrLog(2, 1, std::string(5000, 'm').c_str());
    const std::string record = read("two.log").substr(before);
    EXPECT_EQ(record.size(), 1407u);
    EXPECT_EQ(record.back(), '\n');
}

TEST_F(LogWriter, LevelsReachTheirSharedFiles) {
    destination(2, "two.log");
    destination(3, "three.log");
    destination(4, "four.log");
    destination(7, "seven.log");
    struct Case {
        uint32_t level, options;
        const char *files; // which of two/three/four/seven get the record
    } cases[] = {
        {2, 4, "two"},         {3, 4, "two three"}, // levels 3 and 4 share slot 3, copied to key 2
        {3, 0, "three"},       {7, 6, "seven"},     // 5 to 255: their own file alone
        {300, 4, "two"},                            // not listed: counts as known but inactive
        {300, 6, "two three"}, {0x1000000, 2, "four"}};
    int n = 0;
    for (const Case &c : cases) {
        errlog::setOptions(c.options);
        const std::string message = "case " + std::to_string(++n);
        WriteErrLog(c.level, 1, message.c_str());
        for (const char *f : {"two", "three", "four", "seven"}) {
            const std::string content = read(std::string(f) + ".log");
            const bool expected = std::strstr(c.files, f) != nullptr;
            EXPECT_EQ(content.find(" -> " + message + "\n") != std::string::npos, expected)
                << message << " options " << c.options << " in " << f;
        }
    }
    EXPECT_FALSE(exists("console.log"));
}

// Inactive or unlisted destinations, or no list at all, send the record to
// the fallback file; when even that cannot be opened nothing is written.
TEST_F(LogWriter, FallbackFile) {
    destination(2, "two.log", false);
    WriteErrLog(2, 1, "inactive");
    WriteErrLog(1, 1, "unlisted");
    errlog::setDestinations(nullptr);
    WriteErrLog(2, 5, "no list");
    EXPECT_FALSE(exists("two.log"));
    expectRecord(read("console.log"),
                 header() + quote("KELMORA ERRCODE Ox1 -> inactive\n") + header() +
                     quote("KELMORA ERRCODE Ox1 -> unlisted\n") + header() +
                     quote("LIST SYSTEM ERROR\nKELMORA ERRCODE Ox5 -> no list\n"));
    fallback_ = dir_ + "/missing/console.log";
    errlog::setFallbackFile(fallback_.c_str());
    WriteErrLog(2, 5, "lost");
    EXPECT_EQ(read("console.log").find("lost"), std::string::npos);
}

TEST_F(LogWriter, UnopenableFilesAreNamedInTheNotes) {
    const std::string missing = dir_ + "/no/such/dir/three.log";
    const std::string tooLong = "/" + std::string(140, 'x') + "/two.log";
    destination(3, missing);
    destination(2, tooLong);
    WriteErrLog(3, 0x18D19, "Out of memory");
    expectRecord(read("console.log"),
                 header() + quote("UNABLE TO OPEN LOG FILE -> name too long to print\n") +
                     std::string(24, ' ') + quote("-> \"" + missing + "\"\n") +
                     quote("KELMORA ERRCODE Ox18D19 -> Out of memory\n"));
}

char *upperCopy(void *argument) {
    char *copy = strdup(static_cast<const char *>(argument));
    for (char *p = copy; *p != '\0'; ++p)
        *p = static_cast<char>(std::toupper(*p));
    return copy;
}

TEST_F(LogWriter, TraceDirectives) {
    destination(2, "two.log");
    const unsigned char bytes[20] = {'H', 'i', 0,   0x7F, 'A', 'B', 'C', 'D', 'E',  'F',
                                     'G', 'H', 'I', 'J',  'K', 'L', 'M', 'N', 0xFF, ' '};
    WriteTraceLog(
        2, "b=%b c=%c d=%d u=%u o=%o x=%x ld=%ld lu=%lu lo=%lo lx=%lx lq=%lq %% %z s=%s f=%f n=%f|",
        0x1FF, 'Q', -42, 4000000000u, 8u, 0xBEEFu, -7, 7u, 9u, 255u, "text", upperCopy,
        const_cast<char *>("abc"), upperCopy, nullptr);
    expectRecord(
        read("two.log"),
        header() + quote("b=255 c=Q d=-42 u=4000000000 o=10 x=BEEF ld=-7 lu=7 lo=11 lx=FF lq=q % z "
                         "s=text f=ABC n=|\n"));

    WriteTraceLog(2, "%m", bytes, 20u);
    const std::string text = read("two.log");
    const std::string dump = text.substr(text.rfind("PID = "));
    const std::string line1 = " 48 69 00 7F 41 42 43 44 45 46 47 48 49 4A 4B 4C   Hi..ABCDEFGHIJKL";
    const std::string line2 = " 4D 4E FF 20" + std::string(12 * 3, ' ') + "   MN. ";
    expectRecord(dump, "PID = [0-9]+\n[0-9A-F]{8} " + quote(line1) + "\n[0-9A-F]{8} " +
                           quote(line2) + "\n");
    // A long text stops short of its room.
    const size_t before = read("two.log").size();
    const std::string longText(5000, 's');
    WriteTraceLog(2, "%s", longText.c_str());
    const std::string record = read("two.log").substr(before);
    const size_t header = record.find("PID = ");
    const size_t body = record.find('\n', header) + 1;
    // The expanded text stops 20 bytes short of the room the header leaves.
    EXPECT_EQ(record.size() - body, 2432 - body - 20 + 1);

    const std::string longFormat(5000, 'f');
    WriteTraceLog(2, longFormat.c_str());
    const std::string second = read("two.log").substr(before + record.size());
    EXPECT_EQ(second.size(), record.size());
}

TEST_F(LogWriter, OutOfMemoryRecordUsesNoHeap) {
    destination(2, "two.log");
    alloc_hook::failAfter(0);
    WriteErrLog(2, 0x18D19, "message kept");
    alloc_hook::failAfter(-1);
    EXPECT_FALSE(exists("two.log"));
    const std::string timeLine = kDatePattern.substr(7) + "\n"; // without "DATE = "
    expectRecord(read("console.log"),
                 kDashes + "\n" + quote("!! CANTOR: OUT OF MEMORY CONDITION !!\n") + timeLine +
                     std::to_string(calapi::QVT_Getpid()) + "\nOx18D19\nmessage kept\n");
}

TEST(ErrnoText, SocketTableAndSystemTexts) {
    EXPECT_STREQ(ErrnoText(10061), "Connection refused");
    EXPECT_STREQ(ErrnoText(10046), "Protocol family not supported ");
    EXPECT_STREQ(ErrnoText(11002), "Host not found in hosts file");
    EXPECT_STREQ(ErrnoText(987654), "Invalid errno");
    const std::string system = ErrnoText(2);
    EXPECT_FALSE(system.empty());
    EXPECT_EQ(system.find('\n'), std::string::npos) << "the line break is cut";
    EXPECT_NE(system, "Invalid errno");
}

} // namespace
