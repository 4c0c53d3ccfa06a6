// The log record writer behind WriteErrLog and WriteTraceLog.
//
// Each record is built whole in one buffer and appended to every file its
// level leads to, each file opened and closed around the one write, so
// records from separate calls never interleave.
#include "diag/errlog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "diag/logbuf.h"
#include "platform/calapi.h"
#include "platform/crt.h"
#include "platform/win32.h"

namespace {

constexpr char kDefaultFallback[] = "\\console.log";
constexpr size_t kErrorRecordSize = 1408;
constexpr size_t kTraceRecordSize = 2432;
constexpr size_t kNotesSize = 768;
constexpr size_t kSlotCount = 5;
constexpr size_t kLongestPrintedName = 128;
constexpr int kOpenFlags = crt::OpenWriteOnly | crt::OpenAppend | crt::OpenCreate;
constexpr int kOpenMode = crt::PermissionRead | crt::PermissionWrite;
static_assert(kOpenFlags == 0x109 && kOpenMode == 0x180, "log files open as they always have");
constexpr char kSeparator[] =
    "-------------------------------------------------------------------------------\n";
static_assert(sizeof kSeparator == 81, "79 dashes and a line feed");

bool logEnabled = false;
const errlog::Observer *logObserver = nullptr;
KL_HLIST destinations = nullptr;
uint32_t logOptions = errlog::kCopyToKey2;
const char *fallbackFile = kDefaultFallback;

// "Www Mmm dd hh:mm:ss.mmm yyyy", local time. Allocates nothing, so the
// out-of-memory record can use it too.
bool formatTime(char *out, size_t size) {
    crt::TimeB now{};
    crt::currentTime(&now);
    const time_t seconds = now.time;
    const std::tm *local = std::localtime(&seconds);
    if (local == nullptr || local->tm_wday < 0 || local->tm_wday > 6 || local->tm_mon < 0 ||
        local->tm_mon > 11)
        return false;
    static constexpr char kDays[] = "SunMonTueWedThuFriSat";
    static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const int n = std::snprintf(out, size, "%.3s %.3s %2d %02d:%02d:%02d.%03u %d",
                                &kDays[3 * static_cast<size_t>(local->tm_wday)],
                                &kMonths[3 * static_cast<size_t>(local->tm_mon)], local->tm_mday,
                                local->tm_hour, local->tm_min, local->tm_sec,
                                static_cast<unsigned>(now.millitm), local->tm_year + 1900);
    return n > 0;
}

struct Slot {
    int fd = -1;
    const char *failedName = nullptr;
};

struct Outputs {
    Slot slots[kSlotCount];

    void open(size_t slot, const char *name) {
        const int fd = crt::_open(name, kOpenFlags, kOpenMode);
        if (fd >= 0)
            slots[slot].fd = fd;
        else
            slots[slot].failedName = name;
    }
    bool anyOpen() const {
        for (const Slot &s : slots) {
            if (s.fd >= 0) return true;
        }
        return false;
    }
    void write(const LogBuffer &record) const {
        for (const Slot &s : slots) {
            if (s.fd >= 0) crt::_write(s.fd, record.data, static_cast<unsigned>(record.length));
        }
    }
    void close() {
        for (Slot &s : slots) {
            if (s.fd >= 0) crt::_close(s.fd);
            s.fd = -1;
        }
    }
};

size_t primarySlot(uint32_t level) {
    if (level <= 2) return level;
    return level <= 4 ? 3 : 4;
}

bool copiesToKey2(uint32_t level) { return level == 3 || level == 4 || level >= 256; }

enum class Found { yes, no, error };

Found lookUp(uint32_t key, errlog::Destination &destination) {
    const int32_t rc = KL_ListGet(destinations, &key, &destination);
    if (rc == 0) {
        destination.fileName[sizeof destination.fileName - 1] = '\0';
        return Found::yes;
    }
    return rc == KL_LIST_NOT_FOUND ? Found::no : Found::error;
}

// Opens the files the level leads to and writes what went wrong into the
// notes. Falls back to the fallback file when nothing opened.
void openDestinations(uint32_t level, LogBuffer &notes, Outputs &out) {
    errlog::Destination own{}, shared2{}, shared34{};
    Found foundOwn = lookUp(level, own);
    if (foundOwn == Found::no && level >= 256) {
        // High levels stand for themselves: known, but not written alone.
        foundOwn = Found::yes;
        own.active = 0;
    }
    Found found2 = copiesToKey2(level) ? lookUp(2, shared2) : Found::no;
    Found found34 = level >= 256 ? lookUp(level >= 0x1000000 ? 4 : 3, shared34) : Found::no;
    const char *ownName = own.fileName;
    if (foundOwn == Found::error || found2 == Found::error || found34 == Found::error) {
        notes.append("LIST SYSTEM ERROR\n");
        level = 0;
        foundOwn = Found::yes;
        own.active = 1;
        ownName = fallbackFile;
        found2 = found34 = Found::no;
    }

    if (foundOwn == Found::yes && own.active != 0) out.open(primarySlot(level), ownName);
    if (level >= 256 && (logOptions & errlog::kCopyHighLevels) != 0 && found34 == Found::yes &&
        shared34.active != 0)
        out.open(3, shared34.fileName);
    if (copiesToKey2(level) && (logOptions & errlog::kCopyToKey2) != 0 && found2 == Found::yes &&
        shared2.active != 0)
        out.open(2, shared2.fileName);

    bool first = true;
    for (const Slot &s : out.slots) {
        if (s.failedName == nullptr) continue;
        if (first)
            notes.append("UNABLE TO OPEN LOG FILE -> ");
        else {
            notes.repeat(' ', 24);
            notes.append("-> ");
        }
        first = false;
        if (std::strlen(s.failedName) > kLongestPrintedName) {
            notes.append("name too long to print\n");
        } else {
            notes.append('"');
            notes.append(s.failedName);
            notes.append("\"\n");
        }
    }
    if (!out.anyOpen()) out.open(primarySlot(level), fallbackFile);
}

// Written when the record buffers cannot be had: straight to the fallback
// file from static buffers, allocating nothing.
void writeOutOfMemory(int32_t code, const char *message) {
    static char timeText[80];
    static char pidText[80];
    static char codeText[80];
    const int fd = crt::_open(fallbackFile, kOpenFlags, kOpenMode);
    if (fd < 0) return;
    auto put = [fd](const char *text, size_t n) {
        crt::_write(fd, text, static_cast<unsigned>(n));
    };
    auto putText = [&put](const char *text) { put(text, std::strlen(text)); };

    putText(kSeparator);
    putText("!! CANTOR: OUT OF MEMORY CONDITION !!\n");
    if (formatTime(timeText, sizeof timeText)) {
        putText(timeText);
        putText("\n\n");
    } else {
        putText("!! CANTOR: DATE UNAVAILABLE !!\n");
    }
    LogBuffer pid(pidText, sizeof pidText);
    pid.appendSigned(calapi::QVT_Getpid());
    pid.append('\n');
    put(pid.data, pid.length);
    LogBuffer hex(codeText, sizeof codeText);
    hex.append("Ox");
    hex.appendUnsigned(static_cast<uint32_t>(code), 16);
    hex.append('\n');
    put(hex.data, hex.length);
    putText(message);
    putText("\n");
    crt::_close(fd);
}

void appendHeader(LogBuffer &record) {
    record.append(kSeparator);
    record.append("DATE = ");
    char timeText[80];
    if (formatTime(timeText, sizeof timeText)) record.append(timeText);
    record.append('\n');
    record.append("PID = ");
    record.appendSigned(calapi::QVT_Getpid());
    record.append('\n');
}

// The steps both writers share: buffers, destinations, header and notes
// on the way in; the write, closing, and the socket error reset on the way
// out. The writer adds the body in between.
class Record {
  public:
    Record(uint32_t level, size_t size, int32_t code, const char *message)
        : record_(static_cast<char *>(std::malloc(size))),
          notes_(static_cast<char *>(std::malloc(kNotesSize))), text_(record_, size) {
        if (record_ == nullptr || notes_ == nullptr) {
            writeOutOfMemory(code, message);
            return;
        }
        socketError_ = win32::WSAGetLastError();
        LogBuffer notes(notes_, kNotesSize);
        openDestinations(level, notes, out_);
        appendHeader(text_);
        headerLength_ = text_.length;
        text_.append(notes.data, notes.length);
        writing_ = out_.anyOpen();
    }
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;
    ~Record() {
        if (writing_) out_.write(text_);
        out_.close();
        if (record_ != nullptr && notes_ != nullptr) win32::WSASetLastError(0);
        std::free(record_);
        std::free(notes_);
    }

    // Whether a body is wanted: false when the record cannot be written.
    bool writing() const { return writing_; }
    LogBuffer &text() { return text_; }
    int socketError() const { return socketError_; }
    size_t headerLength() const { return headerLength_; }

  private:
    char *record_;
    char *notes_;
    LogBuffer text_;
    Outputs out_;
    int socketError_ = 0;
    size_t headerLength_ = 0;
    bool writing_ = false;
};

using TraceTextFunction = char *(*)(void *);

// The hex dump of %m: 16 bytes a line, address, bytes, then the printable
// characters.
void appendDump(LogBuffer &out, const unsigned char *bytes, uint32_t size) {
    for (uint32_t line = 0; line < size; line += 16) {
        if (line > 0) out.append('\n');
        out.appendHex(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bytes + line)), 8);
        out.append(' ');
        for (uint32_t i = line; i < line + 16; ++i) {
            if (i < size) {
                out.append(' ');
                out.appendHex(bytes[i], 2);
            } else {
                out.append("   ");
            }
        }
        out.append("   ");
        for (uint32_t i = line; i < line + 16 && i < size; ++i)
            out.append(bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : '.');
    }
}

// Expands `format` into `out` until the expanded text comes within 20
// bytes of `room`.
void expandTrace(LogBuffer &out, size_t room, const char *format, va_list args) {
    const size_t start = out.length;
    auto used = [&] { return out.length - start; };
    for (const char *f = format; *f != '\0';) {
        if (used() + 20 >= room) break;
        const char c = *f++;
        if (c != '%') {
            out.append(c);
            continue;
        }
        char directive = *f;
        if (directive == '\0') break;
        ++f;
        if (directive == 'l') {
            directive = *f;
            if (directive == '\0') break;
            ++f;
            if (std::strchr("duox", directive) == nullptr) {
                out.append(directive);
                continue;
            }
        }
        switch (directive) {
        case 'b':
            out.appendUnsigned(static_cast<uint32_t>(va_arg(args, int)) & 0xFF, 10);
            break;
        case 'c':
            out.append(static_cast<char>(va_arg(args, int)));
            break;
        case 'd':
            out.appendSigned(va_arg(args, int32_t));
            break;
        case 'u':
            out.appendUnsigned(va_arg(args, uint32_t), 10);
            break;
        case 'o':
            out.appendUnsigned(va_arg(args, uint32_t), 8);
            break;
        case 'x':
            out.appendUnsigned(va_arg(args, uint32_t), 16);
            break;
        case 'p':
            out.appendUnsigned(
                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(va_arg(args, void *))), 16);
            break;
        case 's': {
            const char *s = va_arg(args, const char *);
            if (s == nullptr) break;
            const size_t cut = room > used() + 20 ? room - used() - 20 : 0;
            const size_t n = std::strlen(s);
            out.append(s, n < cut ? n : cut);
            break;
        }
        case 'f': {
            const auto function = va_arg(args, TraceTextFunction);
            void *argument = va_arg(args, void *);
            if (function == nullptr || argument == nullptr) break;
            char *text = function(argument);
            if (text != nullptr) {
                out.append(text);
                std::free(text);
            }
            break;
        }
        case 'm': {
            const auto *bytes = va_arg(args, const unsigned char *);
            const uint32_t size = va_arg(args, uint32_t);
            if (bytes != nullptr) appendDump(out, bytes, size);
            break;
        }
        default:
            out.append(directive);
            break;
        }
    }
}

} // namespace

namespace errlog {

void setEnabled(bool on) { logEnabled = on; }

bool enabled() { return logEnabled; }

void setDestinations(KL_HLIST list) { destinations = list; }

void setOptions(uint32_t options) { logOptions = options; }

void setFallbackFile(const char *path) { fallbackFile = path != nullptr ? path : kDefaultFallback; }

const Observer *setObserver(const Observer *observer) {
    const Observer *previous = logObserver;
    logObserver = observer;
    return previous;
}

} // namespace errlog

void WriteErrLog(uint32_t level, int32_t code, const char *message) {
    if (message == nullptr) message = "WriteErrLog: errmesg is NULL";
    if (logObserver != nullptr && logObserver->error != nullptr)
        logObserver->error(logObserver->user, level, code, message);
    if (!logEnabled) return;
    Record record(level, kErrorRecordSize, code, message);
    if (!record.writing()) return;
    LogBuffer &text = record.text();
    if (record.socketError() != 0) {
        text.append("SYSTEM errno = ");
        text.appendSigned(record.socketError());
        text.append(" -> ");
        text.append(ErrnoText(record.socketError()));
        text.append('\n');
    }
    text.append("KELMORA ERRCODE Ox");
    text.appendUnsigned(static_cast<uint32_t>(code), 16);
    text.append(" -> ");
    text.append(message);
    text.endLine();
}

void WriteTraceLog(uint32_t level, const char *format, ...) {
    if (format == nullptr) format = "";
    if (logObserver != nullptr && logObserver->trace != nullptr)
        logObserver->trace(logObserver->user, level, format);
    if (!logEnabled) return;
    Record record(level, kTraceRecordSize, 0, format);
    if (!record.writing()) return;
    const size_t room =
        kTraceRecordSize > record.headerLength() ? kTraceRecordSize - record.headerLength() : 0;
    va_list args;
    va_start(args, format);
    expandTrace(record.text(), room, format, args);
    va_end(args);
    record.text().endLine();
}
