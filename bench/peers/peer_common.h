/*
 * What every program of the side-by-side run shares: the whole file in
 * memory before the clock starts, a monotonic clock, and one result
 * line the runner reads:
 *   items=N parse_seconds=S what=TEXT
 * parse_seconds covers only the work named by `what` (the file is already
 * in memory); the runner times the whole process itself.
 * Plain C, so the C peers include it as the C++ programs do.
 */
#ifndef PEER_COMMON_H
#define PEER_COMMON_H

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

/* The file's bytes plus a NUL (every reader here wants one), or exits 2.
 * The file is mapped, not copied: copying ten megabytes into fresh memory
 * costs the process more page faults than some readers spend on the text,
 * and that is the harness's time, not the reader's. The page's tail past
 * the end of the file reads as zeros, which gives the NUL; a file that
 * fills its last page exactly is read into memory instead. Give the text
 * back with peerRelease. */
/* Whether a file of `size` bytes is mapped rather than read. */
static inline int peerMapped(size_t size) {
    const long page = sysconf(_SC_PAGESIZE);
    return size > 0 && page > 0 && size % (size_t)page != 0;
}

static inline char *peerLoad(const char *path, size_t *size) {
    const int fd = open(path, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        fprintf(stderr, "cannot open %s\n", path);
        exit(2);
    }
    const size_t end = (size_t)st.st_size;
    char *text = NULL;
    if (peerMapped(end)) {
        /* Private and writable, as a malloc'ed copy would be. */
        void *mapped = mmap(NULL, end, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (mapped == MAP_FAILED) {
            fprintf(stderr, "cannot map %s\n", path);
            exit(2);
        }
        text = (char *)mapped;
    } else {
        text = (char *)malloc(end + 1);
        size_t got = 0;
        while (text != NULL && got < end) {
            const ssize_t n = read(fd, text + got, end - got);
            if (n <= 0) break;
            got += (size_t)n;
        }
        if (text == NULL || got != end) {
            fprintf(stderr, "cannot read %s\n", path);
            exit(2);
        }
        text[end] = '\0';
    }
    close(fd);
    *size = end;
    return text;
}

static inline void peerRelease(char *text, size_t size) {
    if (peerMapped(size))
        munmap(text, size);
    else
        free(text);
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
