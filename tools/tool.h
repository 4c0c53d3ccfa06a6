// The versit tool's commands and the few helpers they share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Each command gets its own name as argv[0] and returns the exit status.
int runParse(int argc, char **argv);
int runVcard(int argc, char **argv);
int runVcal(int argc, char **argv);
int runAb(int argc, char **argv);
int runConvert(int argc, char **argv);

// The symbolic name of a result code ("(no name)" for an unknown one).
const char *resultName(int32_t code);
// "what: NAME (meaning)" on one line.
void printResult(FILE *out, const char *what, int32_t code);
// The number of bytes of the valid UTF-8 character at `p` (of `left`
// bytes), or 0 when the bytes there are no valid UTF-8: output must be
// UTF-8 whatever the input held, so such bytes are shown as U+FFFD.
size_t utf8Length(const unsigned char *p, size_t left);
constexpr const char kReplacement[] = "\xEF\xBF\xBD";

// Where a tolerant reader's reports go: standard error, "FILE:LINE: kind:
// message"; repairs and notes only when verbose, losses always.
struct ReportSink {
    const char *path;
    bool verbose;
};
// A VI_ReportFn whose user data is a ReportSink.
struct VI_Report;
void printReport(void *user, const VI_Report *report);

// The whole file, or standard input for "-". False, after saying why on
// standard error, when it cannot be read or is too large for the library's
// 32-bit lengths.
bool readInput(const char *path, std::string &text);
