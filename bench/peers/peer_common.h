/*
 * What every program of the side-by-side run shares: the whole file read
 * into memory before the clock starts, a monotonic clock, and one result
 * line the runner reads:
 *   items=N parse_seconds=S what=TEXT
 * parse_seconds covers only the work named by `what` (the file is already
 * in memory); the runner times the whole process itself.
 * Plain C, so the C peers include it as the C++ programs do.
 */
#ifndef PEER_COMMON_H
#define PEER_COMMON_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* The file's bytes plus a NUL (every reader here wants one), or exits 2. */
static inline char *peerLoad(const char *path, size_t *size) {
    FILE *f = fopen(path, "rb");
    if (f == NULL) {
        fprintf(stderr, "cannot open %s\n", path);
        exit(2);
    }
    fseek(f, 0, SEEK_END);
    const long end = ftell(f);
    fseek(f, 0, SEEK_SET);
    char *text = (char *)malloc((size_t)end + 1);
    if (text == NULL || fread(text, 1, (size_t)end, f) != (size_t)end) {
        fprintf(stderr, "cannot read %s\n", path);
        exit(2);
    }
    fclose(f);
    text[end] = '\0';
    *size = (size_t)end;
    return text;
}

static inline double peerNow(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static inline void peerReport(unsigned long long items, double seconds, const char *what) {
    printf("items=%llu parse_seconds=%.6f what=%s\n", items, seconds, what);
}

#endif
