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

// What a text that holds no card or calendar looks like instead, for the
// message that says so: "it is empty", "it looks like JSON", ...
std::string looksLike(const std::string &text);

// Progress of a long run on standard error: only when standard error is a
// terminal and the run has taken more than a second, redrawn at most four
// times a second on one line, which is cleared at the end. --quiet (taken
// by main) silences it.
extern bool gQuiet;
// Clears the progress line, if one is shown, before a message.
void clearProgress();
class Progress {
  public:
    explicit Progress(const char *what);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;
    // `done` units so far (of `total`, 0 when not known).
    void update(uint64_t done, uint64_t total = 0);

  private:
    const char *what_;
    bool enabled_;
    bool shown_ = false;
    long long start_;
    long long last_ = 0;
};

// versit ab (abKept.cpp): what an address-book entry's record cannot hold.
struct vComponent;
// Moves every property of `original` (a card as read) that `exact` (the
// card the exchange writes for the entry made of it) does not give back
// into a new card, *kept (VERSION 2.1 first; null when nothing is left
// over). False, *kept null and `original` whole, when memory ran out.
bool keptProperties(vComponent *original, const vComponent *exact, vComponent **kept);
// Moves the kept properties into `exact`: one of a name a card holds once
// replaces the exact card's of that name; any other is added after the
// last of its name. What `kept` still holds (VERSION) stays there.
void mergeKept(vComponent *exact, vComponent *kept);
