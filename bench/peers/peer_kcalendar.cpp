// KCalendarCore as a whole process, for the side-by-side run; only its
// public headers are used:
//   peer_kcalendar parse|ical FILE
// parse: VCalFormat::fromRawString into one MemoryCalendar (events and
// to-dos counted), once per VCALENDAR block, because one call reads the
// first block of a text and no more; ical: that and ICalFormat::toString of the
// calendar (the peer of `versit convert --to ical`).
#include <KCalendarCore/ICalFormat>
#include <KCalendarCore/MemoryCalendar>
#include <KCalendarCore/VCalFormat>
#include <QByteArray>
#include <QTimeZone>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "peer_common.h"

namespace {

bool startsCalendar(const char *at, const char *end) {
    static const char begin[] = "BEGIN:VCALENDAR";
    return static_cast<size_t>(end - at) >= sizeof begin - 1 &&
           std::memcmp(at, begin, sizeof begin - 1) == 0;
}

// The start of the next block after `from` (a line start), or `end`.
const char *nextCalendar(const char *from, const char *end) {
    const char *at = from;
    while ((at = static_cast<const char *>(std::memchr(at, '\n', end - at))) != nullptr) {
        ++at;
        if (startsCalendar(at, end)) return at;
    }
    return end;
}

// Every block into `calendar`; false when one was refused.
bool readBlocks(const KCalendarCore::MemoryCalendar::Ptr &calendar, const QByteArray &data) {
    KCalendarCore::VCalFormat format;
    const char *end = data.constData() + data.size();
    const char *at = startsCalendar(data.constData(), end) ? data.constData()
                                                           : nextCalendar(data.constData(), end);
    while (at < end) {
        const char *next = nextCalendar(at, end);
        const QByteArray block = QByteArray::fromRawData(at, static_cast<int>(next - at));
        if (!format.fromRawString(calendar, block)) return false;
        at = next;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: peer_kcalendar parse|ical FILE\n");
        return 2;
    }
    const bool write = std::strcmp(argv[1], "ical") == 0;
    if (!write && std::strcmp(argv[1], "parse") != 0) {
        std::fprintf(stderr, "peer_kcalendar: unknown mode %s\n", argv[1]);
        return 2;
    }
    size_t size = 0;
    char *text = peerLoad(argv[2], &size);
    const QByteArray data(text, static_cast<int>(size));
    peerRelease(text, size);
    const double start = peerNow();
    KCalendarCore::MemoryCalendar::Ptr calendar(
        new KCalendarCore::MemoryCalendar(QTimeZone::utc()));
    const bool read = readBlocks(calendar, data);
    const auto items =
        static_cast<unsigned long long>(calendar->rawEvents().size() + calendar->rawTodos().size());
    qsizetype written = 0;
    if (read && write) written = KCalendarCore::ICalFormat().toString(calendar).toUtf8().size();
    const double seconds = peerNow() - start;
    if (!read || items == 0 || (write && written == 0)) {
        std::fprintf(stderr, "peer_kcalendar: the calendar was not read (%llu items)\n", items);
        return 1;
    }
    peerReport(items, seconds,
               write ? "VCalFormat::fromRawString per block and ICalFormat::toString"
                     : "VCalFormat::fromRawString per block into a MemoryCalendar");
    return 0;
}
