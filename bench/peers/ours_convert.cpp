// Our conversion in one process, the file in memory first:
//   ours_convert vcard4|ical FILE
// The output is counted, not kept, as a program streaming it to a file
// would; `versit convert` is the same call behind the tool's file handling.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "peer_common.h"
#include "versit_convert.h"

namespace {

int countOutput(void *user, const char *, size_t length) {
    *static_cast<size_t *>(user) += length;
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ours_convert vcard4|ical FILE\n");
        return 2;
    }
    const bool cards = std::strcmp(argv[1], "vcard4") == 0;
    if (!cards && std::strcmp(argv[1], "ical") != 0) {
        std::fprintf(stderr, "ours_convert: unknown target %s\n", argv[1]);
        return 2;
    }
    size_t size = 0;
    char *text = peerLoad(argv[2], &size);
    size_t written = 0;
    VI_ConvertCounts counts{};
    const double start = peerNow();
    const int32_t rc =
        VI_convert(text, size, VI_FORMAT_UNKNOWN, cards ? VI_FORMAT_VCARD40 : VI_FORMAT_ICAL20,
                   countOutput, &written, nullptr, nullptr, &counts);
    const double seconds = peerNow() - start;
    if (rc != 0) {
        std::fprintf(stderr, "ours_convert: conversion failed (%d)\n", static_cast<int>(rc));
        return 1;
    }
    peerReport(static_cast<unsigned long long>(counts.written), seconds,
               cards ? "VI_convert to vCard 4.0" : "VI_convert to iCalendar");
    peerRelease(text, size);
    return 0;
}
