/* The ceiling: counting the lines of a file with memchr is as little as
 * any reader can do with the bytes, so no parser's MB/s can pass it. */
#include "peer_common.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: ceiling_lines FILE\n");
        return 2;
    }
    size_t size = 0;
    char *text = peerLoad(argv[1], &size);
    const double start = peerNow();
    unsigned long long lines = 0;
    const char *at = text;
    const char *end = text + size;
    while ((at = (const char *)memchr(at, '\n', (size_t)(end - at))) != NULL) {
        ++lines;
        ++at;
    }
    peerReport(lines, peerNow() - start, "memchr line count");
    peerRelease(text, size);
    return 0;
}
